// Times the list at scale in the real window, each step through the program's own commands as
// the menu gives them: starting with a list file of N Standby rows (50-character URLs) until
// every row is shown, applying a download log of the same N URLs, setting all rows to
// Standby, sorting by URL, selecting by state, deleting all rows (after the question), then
// on a fresh start deleting every other row and closing with that change not yet saved.
// Prints the time and the resident memory after each step, and the memory the rows add over
// the empty program. Each run uses a fresh folder.
// Usage: list_bench [--limit=SECONDS for one step] [rows ...]
#define PSAPI_VERSION 2
#include "app/main_window.h"
#include "app/settings.h"
#include "base/message_box.h"
#include "base/program_files.h"
#include "base/text_file.h"
#include "base/window_ids.h"
#include "res/resource.h"

#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// A step that takes longer than this ends the benchmark with a line that says so.
DWORD gStepLimitMs = 600000;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

// Until the queue is empty: what the step left to do (a repaint, a status bar refresh) counts.
void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

double ResidentMb() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return double(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

HWND List(HWND window) {
    return GetDlgItem(window, kListViewId);
}

int Rows(HWND window) {
    return static_cast<int>(SendMessageW(List(window), LVM_GETITEMCOUNT, 0, 0));
}

// Shows the window and draws every visible row, as a start does.
void Show(HWND window) {
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    Pump();
}

// A URL of exactly 50 characters for each index.
std::wstring Url(int index) {
    wchar_t url[64];
    swprintf(url, 64, L"http://127.0.0.1:8080/data/set/files/f%011d.bin", index);
    return url;
}

void WriteListFile(int count) {
    std::wstring text;
    text.reserve(static_cast<size_t>(count) * 72);
    for (int index = 0; index < count; ++index) {
        text += L"0|スタンバイ| ？ Byte|" + Url(index) + L"\n";
    }
    ReplaceFileAtomically(ListFilePath(), EncodeUtf16LeText(text));
}

size_t ListFileLines() {
    std::vector<TextLine> lines;
    ReadTextFile(ListFilePath(), kListFilePieceChars, lines);
    return lines.size();
}

void Command(HWND window, UINT id) {
    SendMessageW(window, WM_COMMAND, id, 0);
}

void ClickHeader(HWND window, int column) {
    NMLISTVIEW notice = {};
    notice.hdr.hwndFrom = List(window);
    notice.hdr.idFrom = kListViewId;
    notice.hdr.code = LVN_COLUMNCLICK;
    notice.iItem = -1;
    notice.iSubItem = column;
    SendMessageW(window, WM_NOTIFY, kListViewId, reinterpret_cast<LPARAM>(&notice));
}

void SelectEveryOtherRow(HWND window) {
    HWND list = List(window);
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED;
    int rows = Rows(window);
    for (int row = 1; row < rows; row += 2) {
        SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }
}

void RunAt(int count, const std::wstring& folder) {
    std::printf("\n%d rows\n", count);
    std::wstring log = folder + L"done.txt";
    {
        std::wstring urls;
        for (int index = 0; index < count; ++index) {
            urls += Url(index) + L"\n";
        }
        ReplaceFileAtomically(log, EncodeUtf16LeText(urls));
    }
    DeleteFileW(ListFilePath().c_str());
    HWND window = StartMainWindow(GetModuleHandleW(nullptr));
    Show(window);
    double empty = ResidentMb();
    DestroyWindow(window);
    Pump();

    WriteListFile(count);
    auto step = [&](const char* what, auto&& action) {
        LARGE_INTEGER from = Now();
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread watchdog([done, what] {
            if (WaitForSingleObject(done, gStepLimitMs) == WAIT_TIMEOUT) {
                std::printf("  %-40s > %.0f s, stopped\n", what, gStepLimitMs / 1000.0);
                std::fflush(stdout);
                ExitProcess(2);
            }
        });
        action();
        Pump();
        SetEvent(done);
        watchdog.join();
        CloseHandle(done);
        std::printf("  %-40s %7.2f s  %7.1f MB  (rows %d)\n", what, Seconds(from, Now()),
                    ResidentMb(), window != nullptr && IsWindow(window) ? Rows(window) : 0);
        std::fflush(stdout);
    };
    step("start until every row is shown", [&] {
        window = StartMainWindow(GetModuleHandleW(nullptr));
        Show(window);
    });
    double loaded = ResidentMb();
    SetDlgItemTextW(GetDlgItem(window, kDownloadLogBarId), 3000 + kDownloadLogBarId, log.c_str());
    step("apply the download log (1010)", [&] { Command(window, IDM_APPLY_DL_LOG); });
    step("all rows to Standby (1023)", [&] { Command(window, IDM_ALL_TO_STANDBY); });
    step("sort by URL (header click)", [&] { ClickHeader(window, 5); });
    step("sort by URL again, descending", [&] { ClickHeader(window, 5); });
    step("select Standby rows (1054)", [&] { Command(window, IDM_SELECT_STANDBY); });
    SetMessageResponder([](const UserMessage&) { return IDYES; });
    step("delete all rows (1031, answered Yes)", [&] { Command(window, IDM_DELETE_ALL); });
    DestroyWindow(window);
    Pump();

    WriteListFile(count);
    window = StartMainWindow(GetModuleHandleW(nullptr));
    Show(window);
    SelectEveryOtherRow(window);
    step("delete half, every other row (1030)", [&] { Command(window, IDM_DELETE_SELECTED); });
    int left = Rows(window);
    step("close with that change pending", [&] {
        DestroyWindow(window);
        window = nullptr;
    });
    std::printf("  list file after closing: %zu lines for %d rows (%s)\n", ListFileLines(), left,
                ListFileLines() == static_cast<size_t>(left) ? "current" : "NOT CURRENT");
    std::printf("  the rows add %.0f bytes each (%.1f MB empty, %.1f MB loaded)\n",
                (loaded - empty) * 1024.0 * 1024.0 / count, empty, loaded);
    SetMessageResponder(nullptr);
    DeleteFileW(log.c_str());
    DeleteFileW(ListFilePath().c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int index = 1; index < argc; ++index) {
        if (std::strncmp(argv[index], "--limit=", 8) == 0) {
            gStepLimitMs = static_cast<DWORD>(std::atoi(argv[index] + 8)) * 1000;
        } else {
            counts.push_back(std::atoi(argv[index]));
        }
    }
    if (counts.empty()) {
        counts = {100000};
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder =
        std::wstring(temp) + L"vlmr_bench_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    SetProgramFolder(folder);
    LoadSettings();
    for (int count : counts) {
        RunAt(count, folder);
    }
    RemoveDirectoryW(folder.c_str());
    return 0;
}
