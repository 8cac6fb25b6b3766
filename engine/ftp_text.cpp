#include "engine/ftp_text.h"

#include <winsock2.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr size_t kPassiveCopyChars = 1023;

// Characters up to "~" keep their low byte; anything else cannot be sent and is dropped.
std::string SingleBytes(const std::wstring& text) {
    std::string bytes;
    for (wchar_t c : text) {
        if (c <= L'~') {
            bytes += static_cast<char>(c);
        }
    }
    return bytes;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

}  // namespace

FtpTarget ParseFtpUrl(const std::wstring& url) {
    FtpTarget target = {std::string(), kFtpDefaultPort, std::string()};
    size_t second =
        url.find(L'/', url.find(L'/') == std::wstring::npos ? url.size() : url.find(L'/') + 1);
    if (second == std::wstring::npos) {
        return target;
    }
    size_t third = url.find(L'/', second + 1);
    target.host = SingleBytes(url.substr(second + 1, third - second - 1));
    if (third != std::wstring::npos) {
        target.path = SingleBytes(url.substr(third + 1));
    }
    // A port after the host's last colon; anything else stays part of the host, which then
    // simply does not resolve.
    size_t colon = target.host.rfind(':');
    if (colon != std::string::npos && colon + 1 < target.host.size() &&
        target.host.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
        unsigned long port = std::strtoul(target.host.c_str() + colon + 1, nullptr, 10);
        if (port >= 1 && port <= 65535) {
            target.port = static_cast<uint16_t>(port);
            target.host.resize(colon);
        }
    }
    return target;
}

std::string RestCommand(double offset) {
    char text[64];
    std::snprintf(text, sizeof text, "REST %1.0f\r\n", offset);
    return text;
}

std::string RetrCommand(const std::string& path) {
    return "RETR /" + path + "\r\n";
}

bool ParsePassivePort(const std::string& reply, uint16_t& port) {
    size_t open = reply.find('(');
    if (open == std::string::npos) {
        return false;
    }
    std::string copy = reply.substr(open + 1, kPassiveCopyChars);
    if (copy.empty()) {
        return false;
    }
    // h1,h2,h3,h4,p1,p2: the first three commas separate the address's parts, the fourth
    // ends it, the fifth separates the port's two bytes.
    size_t commas[5];
    size_t from = 0;
    for (size_t& comma : commas) {
        comma = copy.find(',', from);
        if (comma == std::string::npos) {
            return false;
        }
        from = comma + 1;
    }
    std::string address = copy.substr(0, commas[3]);
    for (int i = 0; i < 3; ++i) {
        address[commas[i]] = '.';
    }
    if (inet_addr(address.c_str()) == INADDR_NONE && address != "255.255.255.255") {
        return false;
    }
    long high = std::strtol(copy.c_str() + commas[3] + 1, nullptr, 10);
    long low = std::strtol(copy.c_str() + commas[4] + 1, nullptr, 10);
    port = static_cast<uint16_t>((high * 256 + low) & 0xFFFF);
    return true;
}

FtpReplyKind ClassifyFtpReply(const std::string& line) {
    if (StartsWith(line, "227 ")) {
        return FtpReplyKind::kPassive;
    }
    if (StartsWith(line, "4") || StartsWith(line, "5")) {
        return FtpReplyKind::kRefused;
    }
    if (StartsWith(line, "226") || StartsWith(line, "250")) {
        return FtpReplyKind::kComplete;
    }
    return FtpReplyKind::kOther;
}
