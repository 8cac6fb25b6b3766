// Times the list at scale in the real window: adding a 100,000-URL download list file to an
// empty list, saving it, loading the saved 100,000 rows as a start does, and the commands that
// touch every row. Each run uses a
// fresh folder. Prints one line per figure.
#include "app/main_window.h"
#include "app/settings.h"
#include "base/text_file.h"
#include "list/download_list.h"
#include "list/list_commands.h"
#include "list/list_file.h"
#include "list/list_sort.h"
#include "list/list_selection.h"
#include "list/url_file_commands.h"

#include <cstdio>
#include <string>

namespace {

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

void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder =
        std::wstring(temp) + L"vlmr_bench_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    SetProgramFolder(folder);
    LoadSettings();

    std::wstring urls;
    for (int index = 0; index < count; ++index) {
        urls += L"http://127.0.0.1/files/" + std::to_wstring(index) + L".bin\n";
    }
    std::wstring urlFile = folder + L"list.txt";
    ReplaceFileAtomically(urlFile, EncodeUtf16LeText(urls));

    HWND window = StartMainWindow(GetModuleHandleW(nullptr));
    Pump();
    LARGE_INTEGER start = Now();
    AddUrlFileToList(urlFile);
    LARGE_INTEGER added = Now();
    std::printf("add %d-URL download list file to an empty list: %.2f s (rows %d)\n", count,
                Seconds(start, added), RowCount());
    FlushListFile();  // the save that the addition started
    start = Now();
    SaveListFile();
    FlushListFile();
    std::printf("save %d rows: %.2f s\n", count, Seconds(start, Now()));
    DestroyWindow(window);
    Pump();

    start = Now();
    window = StartMainWindow(GetModuleHandleW(nullptr));
    LARGE_INTEGER loaded = Now();
    std::printf("load a saved %d-row list at window creation: %.2f s (rows %d)\n", count,
                Seconds(start, loaded), RowCount());

    // The commands that touch every row, on the loaded list; each saves the list once.
    std::wstring log = folder + L"done.txt";
    ReplaceFileAtomically(log, EncodeUtf16LeText(urls));
    auto time = [&](const char* what, auto&& command) {
        LARGE_INTEGER from = Now();
        command();
        std::printf("%s: %.2f s\n", what, Seconds(from, Now()));
    };
    time("apply a 100,000-URL download log", [&] { ApplyLogFile(log, LogKind::kDownload); });
    time("set all rows to Standby", [] { SetRowsState(0, L"スタンバイ", false); });
    time("set all rows to Done", [] { SetRowsState(3, L"ダウンロード済み", false); });
    time("select Done rows", [] { SelectRowsByState(3); });
    time("sort by URL", [] { SortRowsByColumn(5); });
    time("sort by URL again (descending)", [] { SortRowsByColumn(5); });
    time("delete all rows", [] { DeleteAllRows(); });
    DestroyWindow(window);
    Pump();
    DeleteFileW(log.c_str());

    DeleteFileW(urlFile.c_str());
    DeleteFileW(ListFilePath().c_str());
    RemoveDirectoryW(folder.c_str());
    return 0;
}
