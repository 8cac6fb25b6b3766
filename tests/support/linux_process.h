// Fixture servers of tests/fixtures run as Linux processes from a test executable under Wine:
// started with /usr/bin/python3, told their port through their standard output, and ended
// with the test, even when the test crashes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The Unix path of a Windows path, through Wine's own export (the last part may not exist
// yet); empty when not running under Wine.
std::string UnixPathOf(const std::wstring& windowsPath);

class LinuxProcess {
public:
    LinuxProcess() = default;
    ~LinuxProcess();
    LinuxProcess(LinuxProcess&& other) noexcept;
    LinuxProcess& operator=(LinuxProcess&& other) noexcept;
    LinuxProcess(const LinuxProcess&) = delete;
    LinuxProcess& operator=(const LinuxProcess&) = delete;

    // Runs the server script tests/fixtures/<script> with the arguments (UTF-8, Unix paths)
    // followed by "--stderr <workFolder>stderr.txt --stdin-stop", and waits up to 10 s for
    // the "port N" line it prints. workFolder is a Windows folder ending with a backslash that
    // outlives the process. False with Error() saying why, including the script's own error
    // output; `name` names the server there.
    bool Start(const char* script, const std::vector<std::string>& arguments,
               const std::wstring& workFolder, const std::string& name);
    // Ends the server and waits up to 5 s until its process has gone. Also done on
    // destruction; false with Error() when the process did not end.
    bool Stop();

    bool Running() const { return port_ != 0; }
    unsigned short Port() const { return port_; }
    const std::string& Error() const { return error_; }

private:
    void Release();

    std::uintptr_t control_ = ~std::uintptr_t{0};  // our end of the server's stdin and stdout
    unsigned short port_ = 0;
    bool winsockStarted_ = false;
    std::string name_;
    std::string error_;
};

// A fixture server together with its work folder (its log and error output), which is
// removed when the server stops.
class FixtureServer {
public:
    FixtureServer() = default;
    ~FixtureServer();
    FixtureServer(FixtureServer&& other) noexcept;
    FixtureServer& operator=(FixtureServer&& other) noexcept;
    FixtureServer(const FixtureServer&) = delete;
    FixtureServer& operator=(const FixtureServer&) = delete;

    // Starts tests/fixtures/<script> on the files of rootFolder (a Windows path), writing its
    // log to logName in a fresh work folder, with the script's own options after. Stops a
    // server started before. False with Error() saying why.
    bool Start(const char* script, const std::wstring& rootFolder, const wchar_t* logName,
               const std::vector<std::string>& options, const std::string& name);
    // Ends the server and removes its work folder; false with Error() when it did not end.
    bool Stop();

    bool Running() const { return process_.Running(); }
    unsigned short Port() const { return process_.Port(); }
    // The server's log; empty when no server runs.
    std::wstring LogPath() const;
    const std::string& Error() const { return error_; }

private:
    void Release();

    LinuxProcess process_;
    std::wstring workFolder_;
    std::wstring logName_;
    std::string error_;
};
