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
std::vector<std::pair<size_t, std::string>> ReadCommandLog(const std::wstring& workFolder) {
    std::vector<std::pair<size_t, std::string>> entries;
    if (workFolder.empty()) {
        return entries;
    }
    std::string log = ReadBytes(workFolder + L"commands.log");
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

FtpFixture::~FtpFixture() {
    Stop();
}

FtpFixture::FtpFixture(FtpFixture&& other) noexcept
    : process_(std::move(other.process_)),
      workFolder_(std::exchange(other.workFolder_, {})),
      error_(std::move(other.error_)) {}

FtpFixture& FtpFixture::operator=(FtpFixture&& other) noexcept {
    if (this != &other) {
        Stop();
        process_ = std::move(other.process_);
        workFolder_ = std::exchange(other.workFolder_, {});
        error_ = std::move(other.error_);
    }
    return *this;
}

bool FtpFixture::Start(const std::wstring& rootFolder, const std::vector<std::string>& options) {
    return Launch("ftp_fixture.py", rootFolder, options, "scripted FTP server");
}

bool FtpFixture::StartReal(const std::wstring& rootFolder) {
    return Launch("ftp_real.py", rootFolder, {}, "pyftpdlib FTP server");
}

bool FtpFixture::Launch(const char* script, const std::wstring& rootFolder,
                        const std::vector<std::string>& options, const std::string& name) {
    Stop();
    error_.clear();
    workFolder_ = MakeFreshFolder(L"vlmr_ftp_");
    std::string unixWork = UnixPathOf(workFolder_);
    std::string unixRoot = UnixPathOf(rootFolder);
    if (unixWork.empty() || unixRoot.empty()) {
        error_ = "no Unix path for the folders (the tests run under Wine only)";
        Release();
        return false;
    }
    std::vector<std::string> arguments = {"--root", unixRoot, "--log", unixWork + "/commands.log"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    if (!process_.Start(script, arguments, workFolder_, name)) {
        error_ = process_.Error();
        Release();
        return false;
    }
    return true;
}

bool FtpFixture::Stop() {
    bool ended = process_.Stop();
    if (!ended) {
        error_ = process_.Error();
    }
    Release();
    return ended;
}

void FtpFixture::Release() {
    if (!workFolder_.empty()) {
        RemoveFolder(workFolder_);
        workFolder_.clear();
    }
}

std::wstring FtpFixture::Url(std::wstring_view path) const {
    std::wstring url = L"ftp://127.0.0.1:" + std::to_wstring(Port()) + L"/";
    url += path;
    return url;
}

std::vector<std::vector<std::string>> FtpFixture::Sessions() const {
    std::vector<std::vector<std::string>> sessions;
    for (auto& [session, command] : ReadCommandLog(workFolder_)) {
        if (sessions.size() < session) {
            sessions.resize(session);
        }
        sessions[session - 1].push_back(std::move(command));
    }
    return sessions;
}

std::vector<std::string> FtpFixture::Commands() const {
    std::vector<std::string> commands;
    for (auto& entry : ReadCommandLog(workFolder_)) {
        commands.push_back(std::move(entry.second));
    }
    return commands;
}
