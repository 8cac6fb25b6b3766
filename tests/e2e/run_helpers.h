// What the end-to-end tests of download runs share: a fixture that starts the HTTP server and
// prepares the program's folders and logs, readers for the list file and the logs, and ways
// to look into the running program's window from outside.
#pragma once

#include <windows.h>

#include "res/resource.h"
#include "tests/e2e/program_driver.h"
#include "tests/support/http_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Long enough for any run of these tests; a run that takes longer has hung.
constexpr DWORD kRunTimeoutMs = 60000;
extern const wchar_t kIdleTitle[];
extern const wchar_t kRunningTitle[];
extern const wchar_t kCompletionNotice[];

// One saved list line taken apart: state|text|size text|URL[|total].
struct ListRecord {
    std::wstring state;
    std::wstring text;
    std::wstring size;
    std::wstring url;
    std::wstring total;
};
ListRecord ParseRecord(const std::wstring& line);

// Bytes that differ from position to position, so a shifted or repeated block shows. A
// different seed gives different bytes of the same size.
std::string Pattern(size_t size, uint32_t seed = 12345);

// Readable while the program still writes the file, unlike its content.
uint64_t FileSize(const std::wstring& path);

// The lines of a log as the program's own text layer reads them (any encoding).
std::vector<std::wstring> LogLines(const std::wstring& path);
// How often url appears as a whole line of the log.
size_t CountInLog(const std::wstring& path, const std::wstring& url);

// Polls done() every 20 ms until it holds or the time runs out.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);

std::wstring WindowTitle(HWND window);
// The edit field of a path bar (3000 + bar id) of the main window.
HWND PathBarField(HWND mainWindow, int barId);
// Types text into a path bar field of another process (the field writes its setting).
void SetPathBarText(HWND mainWindow, int barId, const std::wstring& text);
HWND ListViewOf(HWND mainWindow);
// Selects exactly the given rows of a list view in another process.
bool SelectListRows(HWND listView, const std::vector<int>& rows);

// The requests for one served file (by the path's last part), in arrival order.
std::vector<RecordedRequest> RequestsFor(const std::vector<RecordedRequest>& requests,
                                         std::string_view name);

// While it lives, programs started by the test wait silenceMs, not a minute, for a silent
// server (the environment variable the program reads its silence bound from).
class ShortSilenceBound {
public:
    explicit ShortSilenceBound(DWORD silenceMs);
    ~ShortSilenceBound();
    ShortSilenceBound(const ShortSilenceBound&) = delete;
    ShortSilenceBound& operator=(const ShortSilenceBound&) = delete;
};

// The program started on its own folder with the HTTP server, a save folder and three empty
// logs set in its settings.
class ProgramRunTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::wstring DownloadLog() const { return program_.folder() + L"done.txt"; }
    std::wstring CancelLog() const { return program_.folder() + L"cancel.txt"; }
    std::wstring ErrorLog() const { return program_.folder() + L"error.txt"; }
    std::wstring Saved(const std::wstring& name) const { return saveFolder_ + L"\\" + name; }
    DWORD ProcessId() const { return GetProcessId(program_.process()); }

    void Serve(const std::wstring& name, const std::string& bytes);
    static std::wstring Waiting(const std::wstring& url) { return L"0|スタンバイ||" + url; }

    // Posts the command that starts a run and waits until it ends with the completion notice,
    // which is answered; then waits for the idle title.
    void RunUntilNotice(UINT command = IDM_DOWNLOAD);
    // Writes the list, starts the program and runs F5 until the completion notice.
    void RunToCompletion(const std::vector<std::wstring>& records);
    // The row ended Done with the whole file saved, its size stored and its URL logged once.
    void ExpectDownloadedWhole(size_t row, const std::wstring& name, const std::string& bytes,
                               const std::wstring& url);
    // Waits for the completion notice of a run already going, answers it and waits for idle.
    void ExpectNoticeAndIdle();
    // A stopped run shows no notice: none appears within a while after the idle title.
    void ExpectIdleWithoutNotice();
    // Gives the stop command and returns how long the run took to reach the idle title, also
    // printed after what; a run still going after 10 s fails the test.
    DWORD StopAndTimeToIdle(const char* what);

    std::vector<std::wstring> ListLines() const { return program_.ReadList(); }
    ListRecord RecordOf(size_t row) const;

    std::wstring served_;
    std::wstring saveFolder_;
    HttpFixture server_;
    ProgramDriver program_;
};
