// The texts of the program's FTP client: where an ftp URL points, the commands it sends and
// the replies it reads.
#pragma once

#include <cstdint>
#include <string>

constexpr uint16_t kFtpDefaultPort = 21;

// An ftp URL taken apart as the client sends it: single-byte host and path (characters
// above "~" are dropped), and the port after the host's last ":" when it is a number.
struct FtpTarget {
    std::string host;
    uint16_t port;
    std::string path;  // without its leading "/"
};

// Host: the text between the URL's second and third "/"; path: the rest after the third.
FtpTarget ParseFtpUrl(const std::wstring& url);

// "REST <size>\r\n" and "RETR /<path>\r\n".
std::string RestCommand(double offset);
std::string RetrCommand(const std::string& path);

// The port of a passive-mode reply ("227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)"). The
// address must be well formed but is not used: data always goes to the server the control
// connection talks to. False for a reply without "(", without five commas or with a bad
// address; only the first 1023 characters after "(" are looked at, however long the reply.
bool ParsePassivePort(const std::string& reply, uint16_t& port);

enum class FtpReplyKind {
    kPassive,   // "227 ": the data connection's port
    kRefused,   // a line starting with "4" or "5"
    kComplete,  // "226" or "250": the transfer has ended on the server's side
    kOther,
};

FtpReplyKind ClassifyFtpReply(const std::string& line);
