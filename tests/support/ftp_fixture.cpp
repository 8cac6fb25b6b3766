#include "tests/support/ftp_fixture.h"

#include "tests/support/test_files.h"

#include <windows.h>

#include <string_view>
#include <utility>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// One log line "S HEX": the connection's number from 1 and the command's bytes in lower-case
// hexadecimal. False for anything else.
bool ReadLogLine(std::string_view text, size_t& session, std::string& command) {
    size_t space = text.find(' ');
    if (space == 0 || space == std::string_view::npos || (text.size() - space - 1) % 2 != 0) {
        return false;
    }
    session = 0;
    for (char c : text.substr(0, space)) {
        if (c < '0' || c > '9') {
            return false;
        }
        session = session * 10 + static_cast<size_t>(c - '0');
    }
    command.clear();
    for (size_t i = space + 1; i < text.size(); i += 2) {
        int high = HexDigit(text[i]);
        int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        command += static_cast<char>(high * 16 + low);
    }
    return session > 0;
}

// The complete lines of the work folder's command log as (connection, command) pairs.
std::vector<std::pair<size_t, std::string>> ReadCommandLog(const std::wstring& path) {
    std::vector<std::pair<size_t, std::string>> entries;
    if (path.empty()) {
        return entries;
    }
    std::string log = ReadBytes(path);
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) {
            break;  // a line still being written
        }
        size_t session = 0;
        std::string command;
        if (ReadLogLine(std::string_view(log).substr(start, end - start), session, command)) {
            entries.emplace_back(session, std::move(command));
        }
        start = end + 1;
    }
    return entries;
}

}  // namespace

bool FtpFixture::Start(const std::wstring& rootFolder, const std::vector<std::string>& options) {
    return server_.Start("ftp_fixture.py", rootFolder, L"commands.log", options,
                         "scripted FTP server");
}

bool FtpFixture::StartReal(const std::wstring& rootFolder) {
    return server_.Start("ftp_real.py", rootFolder, L"commands.log", {}, "pyftpdlib FTP server");
}

std::wstring FtpFixture::Url(std::wstring_view path) const {
    std::wstring url = L"ftp://127.0.0.1:" + std::to_wstring(Port()) + L"/";
    url += path;
    return url;
}

std::vector<std::vector<std::string>> FtpFixture::Sessions() const {
    std::vector<std::vector<std::string>> sessions;
    for (auto& [session, command] : ReadCommandLog(server_.LogPath())) {
        if (sessions.size() < session) {
            sessions.resize(session);
        }
        sessions[session - 1].push_back(std::move(command));
    }
    return sessions;
}

std::vector<std::string> FtpFixture::Commands() const {
    std::vector<std::string> commands;
    for (auto& entry : ReadCommandLog(server_.LogPath())) {
        commands.push_back(std::move(entry.second));
    }
    return commands;
}
