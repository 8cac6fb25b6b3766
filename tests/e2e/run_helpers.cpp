#include "tests/e2e/run_helpers.h"

#include "base/text_file.h"
#include "base/window_ids.h"
#include "tests/support/test_files.h"

#include <commctrl.h>

#include <algorithm>
#include <iostream>

const wchar_t kIdleTitle[] = L"Velmora Downloader";
const wchar_t kRunningTitle[] = L"ダウンロード実行中 - Velmora Downloader";
const wchar_t kCompletionNotice[] = L"ダウンロードが完了しました";

ShortSilenceBound::ShortSilenceBound(DWORD silenceMs) {
    SetEnvironmentVariableW(L"VELMORA_SILENCE_MS", std::to_wstring(silenceMs).c_str());
}

ShortSilenceBound::~ShortSilenceBound() {
    SetEnvironmentVariableW(L"VELMORA_SILENCE_MS", nullptr);
}

ListRecord ParseRecord(const std::wstring& line) {
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        size_t bar = line.find(L'|', start);
        fields.push_back(line.substr(start, bar - start));
        if (bar == std::wstring::npos) {
            break;
        }
        start = bar + 1;
    }
    fields.resize(5);
    return {fields[0], fields[1], fields[2], fields[3], fields[4]};
}

std::string Pattern(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t value = seed;
    for (char& byte : bytes) {
        value = value * 1103515245 + 12345;
        byte = static_cast<char>(value >> 16);
    }
    return bytes;
}

uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<std::wstring> LogLines(const std::wstring& path) {
    std::vector<TextLine> pieces;
    ReadTextFile(path, kUrlFilePieceChars, pieces);
    std::vector<std::wstring> lines;
    for (const TextLine& piece : pieces) {
        lines.push_back(piece.text);
    }
    return lines;
}

size_t CountInLog(const std::wstring& path, const std::wstring& url) {
    size_t count = 0;
    for (const std::wstring& line : LogLines(path)) {
        count += line == url;
    }
    return count;
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done()) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        Sleep(20);
    }
}

std::wstring WindowTitle(HWND window) {
    wchar_t title[256] = L"";
    GetWindowTextW(window, title, 256);
    return title;
}

HWND PathBarField(HWND mainWindow, int barId) {
    return GetDlgItem(GetDlgItem(mainWindow, barId), kPathBarEditBase + barId);
}

void SetPathBarText(HWND mainWindow, int barId, const std::wstring& text) {
    SendMessageW(PathBarField(mainWindow, barId), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(text.c_str()));
}

HWND ListViewOf(HWND mainWindow) {
    return GetDlgItem(mainWindow, kListViewId);
}

bool SelectListRows(HWND listView, const std::vector<int>& rows) {
    // The list view reads the item from its own address space, so the item is put there.
    DWORD processId = 0;
    GetWindowThreadProcessId(listView, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
    if (process == nullptr) {
        return false;
    }
    void* remote =
        VirtualAllocEx(process, nullptr, sizeof(LVITEMW), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    bool done = remote != nullptr;
    auto setState = [&](int row, UINT state) {
        LVITEMW item = {};
        item.stateMask = LVIS_SELECTED;
        item.state = state;
        done = done && WriteProcessMemory(process, remote, &item, sizeof item, nullptr) &&
               SendMessageW(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                            reinterpret_cast<LPARAM>(remote)) != 0;
    };
    setState(-1, 0);
    for (int row : rows) {
        setState(row, LVIS_SELECTED);
    }
    if (remote != nullptr) {
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return done;
}

std::vector<RecordedRequest> RequestsFor(const std::vector<RecordedRequest>& requests,
                                         std::string_view name) {
    std::vector<RecordedRequest> found;
    for (const RecordedRequest& request : requests) {
        std::string_view path = request.path;
        if (path.size() > name.size() && path.ends_with(name) &&
            path[path.size() - name.size() - 1] == '/') {
            found.push_back(request);
        }
    }
    return found;
}

void ProgramRunTest::SetUp() {
    served_ = MakeFreshFolder(L"vlmr_served_");
    ASSERT_TRUE(server_.Start(served_)) << server_.Error();
    saveFolder_ = program_.folder() + L"saved";
    ASSERT_TRUE(CreateDirectoryW(saveFolder_.c_str(), nullptr));
    for (const std::wstring& log : {DownloadLog(), CancelLog(), ErrorLog()}) {
        ASSERT_TRUE(WriteBytes(log, ""));
    }
    program_.WriteSetting(L"TOOLBAR", L"DL_DIR", saveFolder_.c_str());
    program_.WriteSetting(L"TOOLBAR", L"DL_LOG", DownloadLog().c_str());
    program_.WriteSetting(L"TOOLBAR", L"CANCEL_LOG", CancelLog().c_str());
    program_.WriteSetting(L"TOOLBAR", L"ERR_LOG", ErrorLog().c_str());
}

void ProgramRunTest::TearDown() {
    server_.Stop();
    RemoveFolder(served_);
}

void ProgramRunTest::Serve(const std::wstring& name, const std::string& bytes) {
    ASSERT_TRUE(WriteBytes(served_ + name, bytes));
}

void ProgramRunTest::RunToCompletion(const std::vector<std::wstring>& records) {
    program_.WriteList(records);
    ASSERT_TRUE(program_.StartAndWaitForWindow());
    RunUntilNotice();
}

void ProgramRunTest::ExpectDownloadedWhole(size_t row, const std::wstring& name,
                                           const std::string& bytes, const std::wstring& url) {
    SCOPED_TRACE(testing::PrintToString(name));
    // Compared without printing: the files run to megabytes.
    std::string saved = ReadBytes(Saved(name));
    auto differ = std::mismatch(saved.begin(), saved.end(), bytes.begin(), bytes.end());
    EXPECT_TRUE(saved == bytes) << "saved " << saved.size() << " bytes of " << bytes.size()
                                << ", first difference at " << (differ.first - saved.begin());
    ListRecord record = RecordOf(row);
    EXPECT_EQ(record.state, L"3");
    EXPECT_EQ(record.text, L"ダウンロード完了");
    // The total, before any validator of the file that follows it.
    EXPECT_EQ(record.total.substr(0, record.total.find(L' ')), std::to_wstring(bytes.size()));
    EXPECT_EQ(CountInLog(DownloadLog(), url), 1u);
}

void ProgramRunTest::RunUntilNotice(UINT command) {
    program_.PostCommand(command);
    ExpectNoticeAndIdle();
}

void ProgramRunTest::ExpectNoticeAndIdle() {
    MessageBoxSeen notice = program_.WaitForMessageBox(L"確認", ProcessId(), kRunTimeoutMs);
    ASSERT_NE(notice.box, nullptr) << "the run did not end with a notice";
    EXPECT_EQ(notice.text, kCompletionNotice);
    program_.Answer(notice, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(notice.box); }, 5000))
        << "the notice did not close";
    EXPECT_EQ(WindowTitle(program_.window()), kIdleTitle);
}

DWORD ProgramRunTest::StopAndTimeToIdle(const char* what) {
    DWORD start = GetTickCount();
    program_.PostCommand(IDM_STOP);
    bool idle = program_.WaitForTitle(kIdleTitle, 10000);
    DWORD ms = GetTickCount() - start;
    EXPECT_TRUE(idle) << "the run did not end after the stop";
    std::cout << "stop to idle " << what << ": " << ms << " ms\n";
    return ms;
}

void ProgramRunTest::ExpectIdleWithoutNotice() {
    ASSERT_TRUE(program_.WaitForTitle(kIdleTitle, 10000)) << "the run did not end";
    // The notice would follow the idle title at once.
    EXPECT_EQ(program_.WaitForMessageBox(L"確認", ProcessId(), 1000).box, nullptr)
        << "a stopped run showed a notice";
}

ListRecord ProgramRunTest::RecordOf(size_t row) const {
    std::vector<std::wstring> lines = program_.ReadList();
    return row < lines.size() ? ParseRecord(lines[row]) : ListRecord{};
}
