#include "tests/support/linux_process.h"

#include "tests/support/test_files.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <string_view>
#include <utility>

#ifndef VELMORA_SOURCE_DIR
#error "the build passes the repository's Unix path as VELMORA_SOURCE_DIR"
#endif

namespace {

constexpr const wchar_t* kPython = L"Z:\\usr\\bin\\python3";
constexpr const char* kScriptFolder = VELMORA_SOURCE_DIR "/tests/fixtures/";
constexpr DWORD kStartTimeoutMs = 10000;
constexpr DWORD kStopTimeoutMs = 5000;

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

// One argument quoted so that the usual command-line splitting gives it back unchanged.
void AppendArgument(std::wstring& commandLine, const std::wstring& argument) {
    if (!commandLine.empty()) {
        commandLine += L' ';
    }
    commandLine += L'"';
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            commandLine.append(backslashes * 2 + 1, L'\\');
        } else {
            commandLine.append(backslashes, L'\\');
        }
        backslashes = 0;
        commandLine += c;
    }
    commandLine.append(backslashes * 2, L'\\');
    commandLine += L'"';
}

// Pairs two connected loopback sockets: one end for the server's stdin and stdout, one for us.
bool ConnectedPair(SOCKET& ours, SOCKET& theirs) {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) {
        return false;
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    bool ok = bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              listen(listener, 1) == 0 &&
              getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ours = ok ? socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
    ok = ours != INVALID_SOCKET &&
         connect(ours, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    theirs = ok ? accept(listener, nullptr, nullptr) : INVALID_SOCKET;
    closesocket(listener);
    if (theirs == INVALID_SOCKET) {
        if (ours != INVALID_SOCKET) {
            closesocket(ours);
        }
        return false;
    }
    return true;
}

// Receives until a line feed, the end of the connection, or the deadline (GetTickCount).
std::string ReceiveLine(SOCKET from, DWORD deadline) {
    std::string line;
    char c = 0;
    for (;;) {
        int left = static_cast<int>(deadline - GetTickCount());
        if (left <= 0) {
            break;
        }
        DWORD timeout = static_cast<DWORD>(left);
        setsockopt(from, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof timeout);
        if (recv(from, &c, 1, 0) != 1 || c == '\n') {
            break;
        }
        line += c;
    }
    return line;
}

}  // namespace

std::string UnixPathOf(const std::wstring& windowsPath) {
    using Converter = char*(__cdecl*)(const wchar_t*);
    FARPROC exported = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    auto convert = reinterpret_cast<Converter>(reinterpret_cast<void*>(exported));
    if (convert == nullptr) {
        return {};
    }
    char* unixPath = convert(windowsPath.c_str());
    if (unixPath == nullptr) {
        return {};
    }
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    while (result.size() > 1 && result.back() == '/') {
        result.pop_back();
    }
    return result;
}

LinuxProcess::~LinuxProcess() {
    Stop();
}

LinuxProcess::LinuxProcess(LinuxProcess&& other) noexcept
    : control_(std::exchange(other.control_, INVALID_SOCKET)),
      port_(std::exchange(other.port_, 0)),
      winsockStarted_(std::exchange(other.winsockStarted_, false)),
      name_(std::move(other.name_)),
      error_(std::move(other.error_)) {}

LinuxProcess& LinuxProcess::operator=(LinuxProcess&& other) noexcept {
    if (this != &other) {
        Stop();
        control_ = std::exchange(other.control_, INVALID_SOCKET);
        port_ = std::exchange(other.port_, 0);
        winsockStarted_ = std::exchange(other.winsockStarted_, false);
        name_ = std::move(other.name_);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool LinuxProcess::Start(const char* script, const std::vector<std::string>& arguments,
                         const std::wstring& workFolder, const std::string& name) {
    Stop();
    error_.clear();
    name_ = name;
    if (GetFileAttributesW(kPython) == INVALID_FILE_ATTRIBUTES) {
        error_ = "/usr/bin/python3 is missing (run scripts/setup.sh)";
        return false;
    }
    std::string unixWork = UnixPathOf(workFolder);
    if (unixWork.empty()) {
        error_ = "no Unix path for the folders (the tests run under Wine only)";
        return false;
    }
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) {
        error_ = "Winsock did not start";
        return false;
    }
    winsockStarted_ = true;

    SOCKET ours = INVALID_SOCKET;
    SOCKET theirs = INVALID_SOCKET;
    if (!ConnectedPair(ours, theirs)) {
        error_ = "no loopback socket pair for the server's standard input";
        Release();
        return false;
    }
    control_ = ours;

    std::wstring commandLine;
    AppendArgument(commandLine, L"python3");
    AppendArgument(commandLine, L"-I");
    AppendArgument(commandLine, Widen(std::string(kScriptFolder) + script));
    for (const std::string& argument : arguments) {
        AppendArgument(commandLine, Widen(argument));
    }
    AppendArgument(commandLine, L"--stderr");
    AppendArgument(commandLine, Widen(unixWork + "/stderr.txt"));
    AppendArgument(commandLine, L"--stdin-stop");

    // Wine runs a Unix program named in CreateProcessW as a detached Unix process of its own:
    // no process handle comes back, and of the standard handles only stdin and stdout reach it,
    // as Unix descriptors, which works for a socket but not for a Windows pipe. So one socket
    // serves as both: the server prints its port into it, ends when we shut our side, and
    // the end of its process closes it. Console flags (CREATE_NO_WINDOW and the like) would
    // make Wine drop both handles.
    STARTUPINFOW startup = {sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = reinterpret_cast<HANDLE>(theirs);
    startup.hStdOutput = reinterpret_cast<HANDLE>(theirs);
    startup.hStdError = reinterpret_cast<HANDLE>(theirs);
    PROCESS_INFORMATION process = {};
    DWORD deadline = GetTickCount() + kStartTimeoutMs;
    BOOL started = CreateProcessW(kPython, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process);
    closesocket(theirs);  // the server holds its own copy now
    if (process.hProcess != nullptr) {
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    if (!started) {
        error_ = "CreateProcessW could not start /usr/bin/python3 (error " +
                 std::to_string(GetLastError()) + ")";
        Release();
        return false;
    }

    std::string line = ReceiveLine(control_, deadline);
    unsigned long port = 0;
    if (line.rfind("port ", 0) == 0) {
        port = std::strtoul(line.c_str() + 5, nullptr, 10);
    }
    if (port == 0 || port > 65535) {
        bool timedOut = static_cast<int>(deadline - GetTickCount()) <= 0;
        error_ = "the " + name_ +
                 (timedOut ? " gave no port within 10 s" : " ended before it gave its port");
        std::string serverErrors = ReadBytes(workFolder + L"stderr.txt");
        if (!serverErrors.empty()) {
            error_ += "; its error output: " + serverErrors;
        }
        Release();
        return false;
    }
    port_ = static_cast<unsigned short>(port);
    return true;
}

bool LinuxProcess::Stop() {
    if (control_ == INVALID_SOCKET) {
        Release();
        return true;
    }
    // The server takes the end of its stdin as the order to stop; its stdout, the same
    // socket, closes only when its process is gone.
    shutdown(control_, SD_SEND);
    DWORD deadline = GetTickCount() + kStopTimeoutMs;
    bool ended = false;
    char discard[256];
    while (static_cast<int>(deadline - GetTickCount()) > 0) {
        DWORD timeout = deadline - GetTickCount();
        setsockopt(control_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof timeout);
        int received = recv(control_, discard, sizeof discard, 0);
        if (received == 0 || (received < 0 && WSAGetLastError() != WSAETIMEDOUT)) {
            ended = true;
            break;
        }
    }
    if (!ended) {
        error_ = "the " + name_ + " on port " + std::to_string(port_) + " did not end within 5 s";
    }
    Release();
    return ended;
}

void LinuxProcess::Release() {
    if (control_ != INVALID_SOCKET) {
        closesocket(control_);
        control_ = INVALID_SOCKET;
    }
    port_ = 0;
    if (winsockStarted_) {
        WSACleanup();
        winsockStarted_ = false;
    }
}

FixtureServer::~FixtureServer() {
    Stop();
}

FixtureServer::FixtureServer(FixtureServer&& other) noexcept
    : process_(std::move(other.process_)),
      workFolder_(std::exchange(other.workFolder_, {})),
      logName_(std::move(other.logName_)),
      error_(std::move(other.error_)) {}

FixtureServer& FixtureServer::operator=(FixtureServer&& other) noexcept {
    if (this != &other) {
        Stop();
        process_ = std::move(other.process_);
        workFolder_ = std::exchange(other.workFolder_, {});
        logName_ = std::move(other.logName_);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool FixtureServer::Start(const char* script, const std::wstring& rootFolder,
                          const wchar_t* logName, const std::vector<std::string>& options,
                          const std::string& name) {
    Stop();
    error_.clear();
    workFolder_ = MakeFreshFolder(L"vlmr_fixture_");
    logName_ = logName;
    std::string unixWork = UnixPathOf(workFolder_);
    std::string unixRoot = UnixPathOf(rootFolder);
    if (unixWork.empty() || unixRoot.empty()) {
        error_ = "no Unix path for the folders (the tests run under Wine only)";
        Release();
        return false;
    }
    std::vector<std::string> arguments = {"--root", unixRoot, "--log",
                                          UnixPathOf(workFolder_ + logName_)};
    arguments.insert(arguments.end(), options.begin(), options.end());
    if (!process_.Start(script, arguments, workFolder_, name)) {
        error_ = process_.Error();
        Release();
        return false;
    }
    return true;
}

bool FixtureServer::Stop() {
    bool ended = process_.Stop();
    if (!ended) {
        error_ = process_.Error();
    }
    Release();
    return ended;
}

std::wstring FixtureServer::LogPath() const {
    return workFolder_.empty() ? std::wstring() : workFolder_ + logName_;
}

void FixtureServer::Release() {
    if (!workFolder_.empty()) {
        RemoveFolder(workFolder_);
        workFolder_.clear();
    }
}
