// What the FTP client makes of a URL and of the server's replies.
#include "engine/ftp_text.h"

#include <gtest/gtest.h>

TEST(FtpText, UrlGivesHostPortAndSingleBytePath) {
    struct Case {
        const wchar_t* url;
        const char* host;
        uint16_t port;
        const char* path;
    };
    const Case cases[] = {
        {L"ftp://ftp.example.jp/pub/readme.txt", "ftp.example.jp", 21, "pub/readme.txt"},
        {L"ftp://127.0.0.1:2121/a/b.bin", "127.0.0.1", 2121, "a/b.bin"},
        {L"ftp://host", "host", 21, ""},
        {L"ftp://host/", "host", 21, ""},
        {L"FTP://host:0/x", "host:0", 21, "x"},              // not a port: part of the host
        {L"ftp://user:pw@host/x", "user:pw@host", 21, "x"},  // never resolves: handed on
        {L"ftp://hös†/dir/日本~x.txt", "hs", 21, "dir/~x.txt"},
    };
    for (const Case& c : cases) {
        FtpTarget target = ParseFtpUrl(c.url);
        EXPECT_EQ(target.host, c.host);
        EXPECT_EQ(target.port, c.port);
        EXPECT_EQ(target.path, c.path);
    }
}

TEST(FtpText, CommandsEndWithCrLf) {
    EXPECT_EQ(RestCommand(0), "REST 0\r\n");
    EXPECT_EQ(RestCommand(5000000000.0), "REST 5000000000\r\n");
    EXPECT_EQ(RetrCommand(""), "RETR /\r\n");
    EXPECT_EQ(RetrCommand("pub/f.zip"), "RETR /pub/f.zip\r\n");
}

TEST(FtpText, PassiveReplyGivesThePortOfAWellFormedAddress) {
    struct Case {
        std::string reply;
        bool parsed;
        uint16_t port;
    };
    const Case cases[] = {
        {"227 Entering Passive Mode (127,0,0,1,4,1)", true, 1025},
        {"227 Entering Passive Mode (10,1,2,3,255,255).", true, 65535},
        {"227 =127,0,0,1,4,1", false, 0},   // no "("
        {"227 (127,0,0,1,4)", false, 0},    // four commas
        {"227 (127,0,0,x,4,1)", false, 0},  // not an address
        {"227 (", false, 0},
        {"227 (1,2,3,4,300,1)", true, 300 * 256 % 65536 + 1},
        {"227 (" + std::string(5000, '9'), false, 0},            // however long, nothing overflows
        {"227 (127,0,0,1," + std::string(1100, '1'), false, 0},  // the commas lie past the copy
    };
    for (const Case& c : cases) {
        uint16_t port = 0;
        EXPECT_EQ(ParsePassivePort(c.reply, port), c.parsed) << c.reply.substr(0, 40);
        if (c.parsed) {
            EXPECT_EQ(port, c.port) << c.reply.substr(0, 40);
        }
    }
}

TEST(FtpText, RepliesAreSortedByTheirFirstCharacters) {
    EXPECT_EQ(ClassifyFtpReply("227 Entering Passive Mode (1,2,3,4,5,6)"), FtpReplyKind::kPassive);
    EXPECT_EQ(ClassifyFtpReply("227-continued"), FtpReplyKind::kOther);
    EXPECT_EQ(ClassifyFtpReply("530 Login incorrect."), FtpReplyKind::kRefused);
    EXPECT_EQ(ClassifyFtpReply("450 busy"), FtpReplyKind::kRefused);
    EXPECT_EQ(ClassifyFtpReply("226 Transfer complete.\r"), FtpReplyKind::kComplete);
    EXPECT_EQ(ClassifyFtpReply("250 OK"), FtpReplyKind::kComplete);
    EXPECT_EQ(ClassifyFtpReply("150 Opening"), FtpReplyKind::kOther);
    EXPECT_EQ(ClassifyFtpReply(""), FtpReplyKind::kOther);
}
