// The HTTP server of the download tests (tests/fixtures/http_fixture.py) run from a test
// executable under Wine: started on a free port of 127.0.0.1 serving one folder, asked for
// misbehaviour through its URLs, read back through its request log, and ended with the test.
#pragma once

#include "tests/support/linux_process.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One request as the server received it. Texts are the bytes on the wire.
struct RecordedRequest {
    std::string method;
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers;
    double time = 0;  // when it arrived, in seconds since 1970 by the server's clock

    // The first header of that name, ignoring case; nothing when it was not sent.
    std::optional<std::string> Header(std::string_view name) const;
};

class HttpFixture {
public:
    // Starts the server on the files of rootFolder (a Windows path) and waits up to 10 s for
    // its port. False with Error() saying why, including the server's own error output.
    bool Start(const std::wstring& rootFolder);
    // Ends the server and waits up to 5 s until its process has gone. Also done on
    // destruction; false with Error() when the process did not end.
    bool Stop() { return server_.Stop(); }

    bool Running() const { return server_.Running(); }
    unsigned short Port() const { return server_.Port(); }
    // L"http://127.0.0.1:PORT/options/name"; empty options mean "plain".
    std::wstring Url(std::wstring_view options, std::wstring_view name) const;
    // Every request received so far, oldest first. A request is recorded before it is
    // answered, so a request whose answer has arrived is always there.
    std::vector<RecordedRequest> Requests() const;
    const std::string& Error() const { return server_.Error(); }

private:
    FixtureServer server_;  // move-only: so is the fixture
};
