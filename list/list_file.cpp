#include "list/list_file.h"

#include "base/interface_thread.h"
#include "base/message_box.h"
#include "base/text_file.h"

#include <algorithm>
#include <condition_variable>
#include <cwchar>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>

namespace {

// A failed save is tried again after a pause that doubles from the first to the last value:
// another program (a virus scanner, an indexer) may hold the file for a moment, a full disk
// may get room again.
constexpr DWORD kFirstRetryMs = 100;
constexpr DWORD kLongestRetryMs = 2000;
// How long the end of a run or closing the window keeps trying a file that will not be written.
constexpr DWORD kFlushPatienceMs = 5000;
// The pause between the end of one save and the start of the next: this many times as long as
// the last save took, within the bounds below. Taking the records costs the interface thread
// time in proportion to the list, and during a run the changes never stop: back-to-back saves
// of a long list would take a core for themselves. The longest pause keeps a change of a
// million-row list on disk within about fifteen seconds, the shortest one of ten thousand
// rows within a second.
constexpr DWORD kPauseTimesSave = 9;
constexpr DWORD kShortestPauseMs = 250;
constexpr DWORD kLongestPauseMs = 9000;

// Given when the list is loaded and used by every save of this window's life.
std::wstring gListFilePath;
ListFileBytes gFileBytes;

// A list file that start-up could not read whole is the user's data all the same: it is moved
// aside before anything can save over it. Where it would not move, nothing is saved at all.
std::wstring gUnreadFileAside;  // where it went
bool gSavingRefused = false;
bool gUnreadFileToTell = false;

// Interface thread only.
bool gListChanged = false;  // a change the file does not hold yet, nor the running save
bool gSaveRunning = false;
DWORD gLastSaveStart = 0;
DWORD gLastSaveDelay = 0;  // of the retry pause the saving thread kept before writing
DWORD gLastSaveEnd = 0;
DWORD gPauseMs = kShortestPauseMs;  // before the next save
UINT_PTR gPaceTimer = 0;            // a save put off until the pace allows it
int gFailedSaves = 0;               // in a row, for the pause before the next attempt

// What the interface thread and the saving thread share, under gSaverLock.
struct SaveJob {
    std::wstring path;
    std::string bytes;
    DWORD delayMs = 0;
};
std::mutex gSaverLock;
std::condition_variable gSaverWake;  // a job or the end for the saving thread
std::condition_variable gSaveDone;   // a result for the interface thread
bool gJobWaiting = false;
SaveJob gJob;
bool gResultReady = false;
bool gResultSaved = false;
bool gSaverQuit = false;
std::thread gSaver;

void OnSaveFinished();

// Never throws: it runs on the saving thread, where an exception would end the program.
bool WriteRecords(const SaveJob& job) noexcept {
    try {
        return ReplaceFileAtomically(job.path, job.bytes);
    } catch (const std::bad_alloc&) {
        return false;  // tried again like any failed save
    }
}

void SaverLoop() {
    std::unique_lock<std::mutex> lock(gSaverLock);
    for (;;) {
        gSaverWake.wait(lock, [] { return gJobWaiting || gSaverQuit; });
        if (!gJobWaiting) {
            return;
        }
        SaveJob job = std::move(gJob);
        gJobWaiting = false;
        if (job.delayMs != 0) {
            gSaverWake.wait_for(lock, std::chrono::milliseconds(job.delayMs),
                                [] { return gSaverQuit; });
        }
        lock.unlock();
        bool saved = WriteRecords(job);
        lock.lock();
        gResultReady = true;
        gResultSaved = saved;
        gSaveDone.notify_all();
        // The interface thread may be waiting for this result itself; it learns of it
        // without being sent anything. Without the memory for that it learns of it at the
        // next change or flush.
        try {
            PostToInterfaceThread(OnSaveFinished);
        } catch (const std::bad_alloc&) {
        }
    }
}

DWORD RetryDelay() {
    if (gFailedSaves == 0) {
        return 0;
    }
    return std::min<DWORD>(kLongestRetryMs, kFirstRetryMs << std::min(gFailedSaves - 1, 5));
}

// The pause before the next save, from how long the last one took.
void SetPauseAfterSave() {
    gLastSaveEnd = GetTickCount();
    DWORD took = gLastSaveEnd - gLastSaveStart;
    took = took > gLastSaveDelay ? took - gLastSaveDelay : 0;
    gPauseMs = std::clamp(took * kPauseTimesSave, kShortestPauseMs, kLongestPauseMs);
}

// Takes the result of the running save, if it has one.
void TakeSaveResult() {
    std::lock_guard<std::mutex> guard(gSaverLock);
    if (!gResultReady) {
        return;
    }
    gResultReady = false;
    gSaveRunning = false;
    SetPauseAfterSave();
    if (gResultSaved) {
        gFailedSaves = 0;
    } else {
        ++gFailedSaves;
        gListChanged = true;
    }
}

void StartSaveIfDue(bool now = false);

void CALLBACK OnPaceTimer(HWND, UINT, UINT_PTR, DWORD) {
    KillTimer(nullptr, gPaceTimer);
    gPaceTimer = 0;
    StartSaveIfDue();
}

// Starts a save of the records as they are now, when the list has changed and no save runs;
// unless now is given, not sooner than the pause after the last one allows.
void StartSaveIfDue(bool now) {
    if (gSaveRunning || !gListChanged || gListFilePath.empty()) {
        return;
    }
    DWORD sinceLast = GetTickCount() - gLastSaveEnd;
    if (!now && sinceLast < gPauseMs) {
        if (gPaceTimer == 0) {
            gPaceTimer = SetTimer(nullptr, 0, gPauseMs - sinceLast, OnPaceTimer);
        }
        if (gPaceTimer != 0) {
            return;
        }
    }
    gLastSaveStart = GetTickCount();
    gLastSaveDelay = RetryDelay();
    SaveJob job{gListFilePath, gFileBytes(), gLastSaveDelay};
    gListChanged = false;
    {
        std::lock_guard<std::mutex> guard(gSaverLock);
        if (!gSaver.joinable()) {
            gSaverQuit = false;
            try {
                gSaver = std::thread(SaverLoop);
            } catch (const std::system_error&) {
                // No thread to be had: this save is made here and now.
                if (!WriteRecords(job)) {
                    ++gFailedSaves;
                    gListChanged = true;
                }
                return;
            }
        }
        gJob = std::move(job);
        gJobWaiting = true;
        gSaveRunning = true;
    }
    gSaverWake.notify_all();
}

void OnSaveFinished() {
    TakeSaveResult();
    StartSaveIfDue();
}

void WaitForRunningSave() {
    if (!gSaveRunning) {
        return;
    }
    {
        std::unique_lock<std::mutex> lock(gSaverLock);
        gSaveDone.wait(lock, [] { return gResultReady; });
    }
    TakeSaveResult();
}

bool FileIsMissing(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// "<name> (読めなかったファイル 2026-12-07 153012).txt" beside the list file; a number
// follows the time when that name is taken.
std::wstring AsideName(const std::wstring& path, const SYSTEMTIME& now, int attempt) {
    wchar_t stamp[64];
    swprintf(stamp, 64, L" (読めなかったファイル %04u-%02u-%02u %02u%02u%02u)", now.wYear,
             now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    std::wstring name = path;
    std::wstring extension;
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && name.find(L'\\', dot) == std::wstring::npos) {
        extension = name.substr(dot);
        name.erase(dot);
    }
    name += stamp;
    if (attempt > 0) {
        name.insert(name.size() - 1, L" " + std::to_wstring(attempt + 1));
    }
    return name + extension;
}

void SetUnreadFileAside() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    gUnreadFileToTell = true;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring aside = AsideName(gListFilePath, now, attempt);
        if (MoveFileExW(gListFilePath.c_str(), aside.c_str(), 0)) {
            gUnreadFileAside = aside;
            return;
        }
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            break;
        }
    }
    gSavingRefused = true;
}

// Hands each row of the list file to takeRow; see LoadListFile.
void ReadListRows(const std::function<bool(LoadedRow&)>& takeRow) {
    std::vector<TextLine> lines;
    if (!ReadTextFile(gListFilePath, kListFilePieceChars, lines)) {
        if (!FileIsMissing(gListFilePath)) {
            SetUnreadFileAside();
        }
        return;
    }
    for (TextLine& line : lines) {
        LoadedRow row;
        if (!ParseListLine(line.text, row.fields)) {
            continue;
        }
        // The record keeps the line exactly as read until the row is next rebuilt.
        row.record = std::move(line.text);
        row.record += L'\n';
        if (!takeRow(row)) {
            // The file still holds the rows that did not fit: it is kept whole.
            SetUnreadFileAside();
            return;
        }
    }
}

}  // namespace

void LoadListFile(const std::wstring& path, ListFileBytes fileBytes,
                  const std::function<bool(LoadedRow&)>& takeRow) {
    gListFilePath = path;
    gFileBytes = std::move(fileBytes);
    gListChanged = false;
    gFailedSaves = 0;
    gUnreadFileAside.clear();
    gSavingRefused = false;
    gUnreadFileToTell = false;
    // Reading the file costs about what writing it does: the first save waits as if the load
    // had been one, so that a run started at once in a long list does not begin with a save.
    gLastSaveStart = GetTickCount();
    gLastSaveDelay = 0;
    ReadListRows(takeRow);
    SetPauseAfterSave();
}

void TellOfUnreadListFile(HWND owner) {
    if (!gUnreadFileToTell) {
        return;
    }
    gUnreadFileToTell = false;
    if (gSavingRefused) {
        ShowFailure(owner, L"リストファイルを読み込めませんでした。\n" + gListFilePath +
                               L"\nこのファイルを残すため、今回はリストを保存しません。");
    } else {
        ShowFailure(owner, L"リストファイルを読み込めなかったため、次の名前で残しました。\n" +
                               gUnreadFileAside);
    }
}

bool SaveListFile() {
    if (gSavingRefused) {
        return false;
    }
    gListChanged = true;
    TakeSaveResult();
    StartSaveIfDue();
    return true;
}

bool FlushListFile() {
    DWORD start = GetTickCount();
    for (;;) {
        WaitForRunningSave();
        if (!gListChanged) {
            return true;
        }
        if (GetTickCount() - start > kFlushPatienceMs) {
            return false;
        }
        StartSaveIfDue(true);
    }
}

void CloseListFile() {
    FlushListFile();
    if (gPaceTimer != 0) {
        KillTimer(nullptr, gPaceTimer);
        gPaceTimer = 0;
    }
    {
        std::lock_guard<std::mutex> guard(gSaverLock);
        gSaverQuit = true;
    }
    gSaverWake.notify_all();
    if (gSaver.joinable()) {
        gSaver.join();
    }
    gSaveRunning = false;
    gResultReady = false;
    gJobWaiting = false;
    gListChanged = false;
}
