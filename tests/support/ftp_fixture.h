// The FTP servers of the download tests run from a test executable under Wine: the scripted
// server (tests/fixtures/ftp_fixture.py), told how to misbehave when it starts, and the real
// pyftpdlib server (tests/fixtures/ftp_real.py). Both serve one folder on a free port of
// 127.0.0.1, record the command lines they receive, and end with the test.
#pragma once

#include "tests/support/linux_process.h"

#include <string>
#include <string_view>
#include <vector>

class FtpFixture {
public:
    // Starts the scripted server on the files of rootFolder (a Windows path) with options such
    // as "--reply=PASS:530", "--pasv=overlong" or "--data=stall:3000" (all of them are listed
    // in ftp_fixture.py), and waits up to 10 s for its port. False with Error() saying why,
    // including the server's own error output (an unknown option, a missing folder).
    bool Start(const std::wstring& rootFolder, const std::vector<std::string>& options = {});
    // The same with pyftpdlib: anonymous, read-only, passive ports chosen by the system.
    bool StartReal(const std::wstring& rootFolder);
    // Ends the server and waits up to 5 s until its process has gone. Also done on
    // destruction; false with Error() when the process did not end.
    bool Stop() { return server_.Stop(); }

    bool Running() const { return server_.Running(); }
    unsigned short Port() const { return server_.Port(); }
    // L"ftp://127.0.0.1:PORT/" followed by path (given without its leading "/").
    std::wstring Url(std::wstring_view path) const;
    // Every command line received so far on any control connection, oldest first, as the
    // bytes on the wire with their CR LF. A line is recorded before it is answered, so a
    // command whose answer has arrived is always there.
    std::vector<std::string> Commands() const;
    // The same lines grouped by control connection, in the order the connections came.
    std::vector<std::vector<std::string>> Sessions() const;
    const std::string& Error() const { return server_.Error(); }

private:
    FixtureServer server_;  // move-only: so is the fixture
};
