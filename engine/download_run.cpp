#include "engine/download_run.h"

#include "app/main_window.h"
#include "app/settings.h"
#include "app/tray.h"
#include "bars/download_mode.h"
#include "base/interface_thread.h"
#include "base/locks.h"
#include "base/message_box.h"
#include "base/path_bar_text.h"
#include "base/window_ids.h"
#include "engine/ftp_transfer.h"
#include "engine/http_text.h"
#include "engine/http_transfer.h"
#include "engine/run_state.h"
#include "engine/save_name.h"
#include "list/download_list.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <new>

namespace {

const wchar_t kRunningTitle[] = L"ダウンロード実行中 - Velmora Downloader";

// The three logs in the order they are checked and loaded.
struct LogDefinition {
    int barId;
    UrlList ConnectionSlot::*list;
    const wchar_t* missingQuestion;
    const wchar_t* readFailure;
};

const LogDefinition kLogs[] = {
    {kDownloadLogBarId, &ConnectionSlot::downloadLog,
     L"ダウンロードログファイルの指定が不正です。\nダウンロードログを保存しませんがダウンロードを実"
     L"行しますか？",
     L"ダウンロードログファイルの読み込みに失敗しました"},
    {kCancelLogBarId, &ConnectionSlot::cancelLog,
     L"中断ログファイルの指定が不正です。\n中断ログを保存しませんがダウンロードを実行しますか？",
     L"中断ログファイルの読み込みに失敗しました"},
    {kErrorLogBarId, &ConnectionSlot::errorLog,
     L"エラーログファイルの指定が不正です。\nエラーログを保存しませんがダウンロードを実行しますか"
     L"？",
     L"エラーログファイルの読み込みに失敗しました"},
};

// What a slot's worker holds for one run: its lists, its buffer and its heap.
void ReleaseSlot(ConnectionSlot& slot) {
    slot.downloadLog.clear();
    slot.cancelLog.clear();
    slot.errorLog.clear();
    if (slot.heap != nullptr) {
        HeapDestroy(slot.heap);  // the buffer with it
    }
    slot.heap = nullptr;
    slot.buffer = nullptr;
    slot.bufferBytes = 0;
}

void ReleaseSlots(size_t first) {
    for (size_t index = first; index < gConnectionSlots.size(); ++index) {
        ReleaseSlot(gConnectionSlots[index]);
    }
}

// A start that does not go ahead leaves the window and the flags as they were.
void AbandonStart(HWND mainWindow) {
    ReleaseSlots(0);
    RestoreIdleMode(mainWindow);
    gPreparingFlag = 0;
    SetRunActive(false);
}

// After a "No", or after the window was closed during a question: then the window and the
// slots are gone already, and only the flags are left to clear.
void EndAbandonedStart(HWND mainWindow, bool windowGone) {
    if (windowGone) {
        gPreparingFlag = 0;
    } else {
        AbandonStart(mainWindow);
    }
}

bool FileExistsAt(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Asks the run start's question. False when the start is not to go on, also when the window
// was closed while the question was open (closing is allowed then, and takes the slots).
bool AskToGoOn(HWND mainWindow, const wchar_t* question, bool& windowGone) {
    bool yes = AskYesNo(mainWindow, question);
    windowGone = !IsWindow(mainWindow);
    return yes && !windowGone;
}

// A claimed entry with what its transfer needs of the list and the bars, all taken in the
// same step as the claim: one crossing to the interface thread per entry, not three.
struct ClaimedEntry {
    int state = kStandby;
    SavePathSource source;  // its row, URL and save path parts
    bool read = false;
};

void ReadClaimedEntry(HWND mainWindow, int row, ClaimedEntry& entry) {
    entry.read = ReadSavePathSource(mainWindow, row, entry.source);
    if (entry.read) {
        entry.state = RowState(row);
    }
}

// The claim of the next entry: under the cursor lock, always on the interface thread, so the
// state test and the cursor move are one step for all workers. False when none is left.
bool ClaimNextEligible(HWND mainWindow, int rowCount, ClaimedEntry& entry) {
    bool claimed = false;
    RunOnInterfaceThread([&] {
        LockGuard guard(gCursorLock);
        while (gRunCursor < rowCount) {
            int row = gRunCursor++;
            int state = RowState(row);
            if (state == kStandby || state == kInterrupted) {
                claimed = true;
                ReadClaimedEntry(mainWindow, row, entry);
                return;
            }
        }
    });
    return claimed;
}

bool ClaimNextSelected(HWND mainWindow, ClaimedEntry& entry) {
    int claimed = -1;
    {
        LockGuard guard(gCursorLock);
        while (claimed < 0 &&
               gSelectedRunCursor < static_cast<int32_t>(gSelectionSnapshot.size())) {
            int row = gSelectedRunCursor++;
            if (gSelectionSnapshot[row] != 0) {
                claimed = row;
            }
        }
    }
    if (claimed < 0) {
        return false;
    }
    RunOnInterfaceThread([&] { ReadClaimedEntry(mainWindow, claimed, entry); });
    return true;
}

// Hands one claimed entry to its transfer. Interrupted entries continue their partial file;
// everything else starts afresh.
void TransferEntry(ConnectionSlot& slot, const ClaimedEntry& entry) {
    int row = entry.source.row;
    const std::wstring& url = entry.source.url;
    int state = entry.state;
    std::wstring savePath;
    if (entry.read) {
        BuildSavePath(entry.source, savePath);
    }
    if (state == kInterrupted) {
        HttpResume(row, url, savePath, slot);
    } else if (IsFtpUrl(url)) {
        FtpDownload(row, url, savePath, slot, FtpStart::kFresh);
    } else {
        HttpDownload(row, url, savePath, slot);
    }
}

DWORD RunWorker(ConnectionSlot& slot, RunScope scope) {
    try {
        int rowCount = 0;
        RunOnInterfaceThread([&] { rowCount = RowCount(); });
        while (!gStopFlag) {
            ClaimedEntry entry;
            bool claimed = scope == RunScope::kAllEntries
                               ? ClaimNextEligible(slot.owner, rowCount, entry)
                               : ClaimNextSelected(slot.owner, entry);
            if (!claimed) {
                break;
            }
            TransferEntry(slot, entry);
        }
    } catch (...) {
        // Out of memory in the middle of an entry: this worker takes no further entries, the
        // others go on, and the run still ends properly.
    }
    ReleaseSlot(slot);
    if (slot.number != 0) {
        WriteSlotBusy(slot, 0);
        return 0;
    }
    bool selected = scope == RunScope::kSelectedEntries;
    // Once the run has ended the slot array may be resized or freed (options, closing) while
    // the notice is open: nothing of the slot is read after EndOfRun.
    HWND owner = slot.owner;
    EndOfRun(slot, selected ? gSelectedRunCursor : gRunCursor);
    if (selected) {
        // The rows of the run lose their colour.
        InvalidateRect(GetDlgItem(owner, kListViewId), nullptr, TRUE);
    }
    return 0;
}

DWORD WINAPI AllEntriesWorker(LPVOID parameter) {
    return RunWorker(*static_cast<ConnectionSlot*>(parameter), RunScope::kAllEntries);
}

DWORD WINAPI SelectedEntriesWorker(LPVOID parameter) {
    return RunWorker(*static_cast<ConnectionSlot*>(parameter), RunScope::kSelectedEntries);
}

// Takes each row's selected state as the run's list of entries.
bool TakeSelectionSnapshot() {
    try {
        int count = RowCount();
        gSelectionSnapshot.assign(static_cast<size_t>(count), 0);
        for (int row : SelectedRows()) {
            gSelectionSnapshot[row] = 1;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// A run needs no more workers than it has entries: a slot past that would only take a thread,
// a buffer and copies of the logs and find nothing to do. Slot 0 always works: its worker
// ends the run.
size_t SlotsForRun(RunScope scope) {
    size_t entries = 0;
    if (scope == RunScope::kAllEntries) {
        const auto& counts = RowStateCounts();
        entries = static_cast<size_t>(counts[kStandby]) + static_cast<size_t>(counts[kInterrupted]);
    } else {
        entries = static_cast<size_t>(
            std::count(gSelectionSnapshot.begin(), gSelectionSnapshot.end(), 1));
    }
    return std::clamp<size_t>(entries, 1, gConnectionSlots.size());
}

// Each working slot gets its heap and buffer, and its own copy of every log that exists.
bool PrepareSlots(HWND mainWindow, size_t slotCount, const std::wstring (&logPaths)[3],
                  const bool (&logUsed)[3]) {
    for (size_t index = 0; index < slotCount; ++index) {
        ConnectionSlot& slot = gConnectionSlots[index];
        slot.heap = HeapCreate(0, 0, 0);
        slot.bufferBytes = static_cast<size_t>(gSettings.bufferBytes);
        slot.buffer = slot.heap != nullptr ? HeapAlloc(slot.heap, 0, slot.bufferBytes) : nullptr;
        if (slot.buffer == nullptr) {
            AbandonStart(mainWindow);
            ShowFailure(mainWindow, kOutOfMemoryText);
            return false;
        }
    }
    for (int log = 0; log < 3; ++log) {
        if (!logUsed[log]) {
            continue;
        }
        for (size_t index = 0; index < slotCount; ++index) {
            ConnectionSlot& slot = gConnectionSlots[index];
            bool read = false;
            try {
                read = ReadUrlFile(logPaths[log], slot.*kLogs[log].list);
            } catch (const std::bad_alloc&) {
            }
            if (!read) {
                AbandonStart(mainWindow);
                ShowFailure(mainWindow, kLogs[log].readFailure);
                return false;
            }
        }
    }
    return true;
}

void ShowRunningTitleAndIcon(HWND mainWindow) {
    SetWindowTextW(mainWindow, kRunningTitle);
    SetClassLongPtrW(mainWindow, GCLP_HICON, reinterpret_cast<LONG_PTR>(gBusyIcon));
    if (!IsWindowVisible(mainWindow)) {
        ModifyTrayIcon(mainWindow, gBusyIcon, kRunningTitle);
    }
}

void StartWorkers(HWND mainWindow, RunScope scope, size_t slotCount) {
    LPTHREAD_START_ROUTINE worker =
        scope == RunScope::kAllEntries ? AllEntriesWorker : SelectedEntriesWorker;
    for (size_t index = 0; index < slotCount; ++index) {
        ConnectionSlot& slot = gConnectionSlots[index];
        WriteSlotBusy(slot, 1);
        HANDLE thread = CreateThread(nullptr, 0, worker, &slot, 0, nullptr);
        if (thread != nullptr) {
            CloseHandle(thread);  // the busy flags tell when a worker has ended
            continue;
        }
        // The workers already started see the stop and end the run without a notice.
        gStopFlag = 1;
        ReleaseSlots(index);
        if (index == 0) {
            RestoreIdleMode(mainWindow);
        }
        WriteSlotBusy(slot, 0);
        ShowFailure(mainWindow, L"スレッドの作成に失敗しました");
        return;
    }
}

}  // namespace

void StartDownloadRun(HWND mainWindow, RunScope scope) {
    gPreparingFlag = 1;
    SetRunActive(true);
    gStopFlag = 0;
    gSelectedRunFlag = scope == RunScope::kSelectedEntries ? 1 : 0;
    BeginDownloadMode(mainWindow);

    if (scope == RunScope::kSelectedEntries && !TakeSelectionSnapshot()) {
        AbandonStart(mainWindow);
        ShowFailure(mainWindow, kOutOfMemoryText);
        return;
    }
    bool windowGone = false;
    std::wstring folder = ReadPathBarText(mainWindow, kSaveFolderBarId);
    if (!PathIsDirectoryW(folder.c_str()) &&
        !AskToGoOn(mainWindow,
                   L"保存フォルダの指定が不正です。\nダウンロードしたファイルを、デスクトップに保存"
                   L"しますがいいですか？",
                   windowGone)) {
        EndAbandonedStart(mainWindow, windowGone);
        return;
    }
    std::wstring logPaths[3];
    bool logUsed[3] = {};
    for (int log = 0; log < 3; ++log) {
        logPaths[log] = ReadPathBarText(mainWindow, kLogs[log].barId);
        logUsed[log] = FileExistsAt(logPaths[log]);
        if (!logUsed[log] && !AskToGoOn(mainWindow, kLogs[log].missingQuestion, windowGone)) {
            EndAbandonedStart(mainWindow, windowGone);
            return;
        }
    }
    gPreparingFlag = 0;
    size_t slotCount = SlotsForRun(scope);
    if (!PrepareSlots(mainWindow, slotCount, logPaths, logUsed)) {
        return;
    }
    AllowConnectionsPerServer(static_cast<int>(gConnectionSlots.size()));
    ShowRunningTitleAndIcon(mainWindow);
    StartWorkers(mainWindow, scope, slotCount);
}
