#include "engine/download_run.h"

#include "base/interface_thread.h"
#include "base/message_box.h"
#include "engine/ftp_transfer.h"
#include "engine/host_pause.h"
#include "engine/http_text.h"
#include "engine/library_transfer.h"
#include "engine/run_claims.h"
#include "engine/run_state.h"
#include "engine/save_name.h"
#include "list/download_list.h"
#include "list/list_file.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

// What the current run took at its start; replaced only by the next run's start.
RunInputs gInputs;
// The hosts that asked the current run to come back later; cleared by the next run's start.
HostPauses gHostPauses;

// The three logs in the order they are checked and loaded.
struct LogDefinition {
    UrlList ConnectionSlot::*list;
    const wchar_t* missingQuestion;
    const wchar_t* readFailure;
};

const LogDefinition kLogs[] = {
    {&ConnectionSlot::downloadLog,
     L"ダウンロードログファイルの指定が不正です。\nダウンロードログを保存しませんがダウンロードを実"
     L"行しますか？",
     L"ダウンロードログファイルの読み込みに失敗しました"},
    {&ConnectionSlot::cancelLog,
     L"中断ログファイルの指定が不正です。\n中断ログを保存しませんがダウンロードを実行しますか？",
     L"中断ログファイルの読み込みに失敗しました"},
    {&ConnectionSlot::errorLog,
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
void AbandonStart(RunWindow& window) {
    ReleaseSlots(0);
    window.RestoreIdleMode();
    gPreparingFlag = 0;
    SetRunActive(false);
}

// After a "No", or after the window was closed during a question: then the window and the
// slots are gone already, and only the flags are left to clear.
void EndAbandonedStart(RunWindow& window, bool windowGone) {
    if (windowGone) {
        gPreparingFlag = 0;
    } else {
        AbandonStart(window);
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

// Hands one claimed entry to its transfer: the one place that chooses between the program's
// FTP client and the library. Interrupted entries continue their partial file; everything
// else starts afresh. Through a proxy only the library reaches ftp servers; otherwise the
// program's own client resumes with a restart offset.
void RunTransfer(ConnectionSlot& slot, ClaimedEntry& entry) {
    TransferEntry& transfer = entry.transfer;
    transfer.row = entry.source.row;
    transfer.url = entry.source.url;
    if (entry.read) {
        BuildSavePath(entry.source, transfer.savePath);
    }
    int state = entry.state;
    bool ownFtp = IsFtpUrl(transfer.url) && !(state == kInterrupted && slot.inputs->proxyOn);
    if (state == kInterrupted && ownFtp) {
        FtpDownload(transfer, slot, FtpStart::kResume);
    } else if (state == kInterrupted) {
        LibraryResume(transfer, slot);
    } else if (ownFtp) {
        FtpDownload(transfer, slot, FtpStart::kFresh);
    } else {
        LibraryDownload(transfer, slot);
    }
}

DWORD WINAPI RunWorker(LPVOID parameter) {
    ConnectionSlot& slot = *static_cast<ConnectionSlot*>(parameter);
    try {
        while (!gRunStop.IsSet()) {
            ClaimedEntry entry;
            if (!gRunClaims.Next(slot, entry)) {
                break;
            }
            RunTransfer(slot, entry);
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
    bool selected = gRunClaims.Scope() == RunScope::kSelectedEntries;
    // Once the run has ended the slot array may be resized or freed (options, closing) while
    // the notice is open: nothing of the slot is read after EndOfRun.
    RunWindow* window = slot.window;
    EndOfRun(slot);
    if (selected) {
        window->SelectedRunEnded();
    }
    return 0;
}

// A run needs no more workers than it has entries: a slot past that would only take a thread,
// a buffer and copies of the logs and find nothing to do. Slot 0 always works: its worker
// ends the run.
size_t SlotsForRun() {
    return std::clamp<size_t>(gRunClaims.EntryCount(), 1, gConnectionSlots.size());
}

// Each working slot gets its heap and buffer, and its own copy of every log that exists.
bool PrepareSlots(HWND mainWindow, RunWindow& window, size_t slotCount, const bool (&logUsed)[3]) {
    for (size_t index = 0; index < slotCount; ++index) {
        ConnectionSlot& slot = gConnectionSlots[index];
        slot.window = &window;
        slot.inputs = &gInputs;
        slot.hosts = &gHostPauses;
        slot.heap = HeapCreate(0, 0, 0);
        slot.bufferBytes = static_cast<size_t>(gInputs.bufferBytes);
        slot.buffer = slot.heap != nullptr ? HeapAlloc(slot.heap, 0, slot.bufferBytes) : nullptr;
        if (slot.buffer == nullptr) {
            AbandonStart(window);
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
                read = ReadUrlFile(gInputs.logPaths[log], slot.*kLogs[log].list);
            } catch (const std::bad_alloc&) {
            }
            if (!read) {
                AbandonStart(window);
                ShowFailure(mainWindow, kLogs[log].readFailure);
                return false;
            }
        }
    }
    return true;
}

void StartWorkers(HWND mainWindow, RunWindow& window, size_t slotCount) {
    for (size_t index = 0; index < slotCount; ++index) {
        ConnectionSlot& slot = gConnectionSlots[index];
        WriteSlotBusy(slot, 1);
        // Kept until the run's end, which waits for the other workers on their handles.
        slot.thread = CreateThread(nullptr, 0, RunWorker, &slot, 0, nullptr);
        if (slot.thread != nullptr) {
            continue;
        }
        // The workers already started see the stop and end the run without a notice.
        gRunStop.Request();
        ReleaseSlots(index);
        if (index == 0) {
            window.RestoreIdleMode();
        }
        WriteSlotBusy(slot, 0);
        ShowFailure(mainWindow, L"スレッドの作成に失敗しました");
        return;
    }
}

// CONNECT_NUM as the run took it, never more than the slots that exist.
size_t ConnectionCount(const RunInputs& inputs) {
    return std::min(static_cast<size_t>(std::max(inputs.connectionCount, 1)),
                    gConnectionSlots.size());
}

// Waits until every worker but slot 0's own has ended, and lets go of their handles. A worker
// may still be handing its last row updates to the interface thread, which this wait never
// blocks. A thread's end orders everything it did before it for this thread.
void WaitForOtherWorkers(const RunInputs& inputs) {
    size_t workers = ConnectionCount(inputs);
    std::vector<HANDLE> threads;
    for (size_t number = 1; number < workers; ++number) {
        if (gConnectionSlots[number].thread != nullptr) {
            threads.push_back(gConnectionSlots[number].thread);
        }
    }
    for (size_t first = 0; first < threads.size(); first += MAXIMUM_WAIT_OBJECTS) {
        DWORD count =
            static_cast<DWORD>(std::min<size_t>(threads.size() - first, MAXIMUM_WAIT_OBJECTS));
        WaitForMultipleObjects(count, threads.data() + first, TRUE, INFINITE);
    }
    for (size_t number = 1; number < workers; ++number) {
        if (HANDLE thread = std::exchange(gConnectionSlots[number].thread, nullptr)) {
            CloseHandle(thread);
        }
    }
}

}  // namespace

void EndOfRun(ConnectionSlot& slot0) {
    RunWindow& window = *slot0.window;
    const RunInputs& inputs = *slot0.inputs;

    WaitForOtherWorkers(inputs);

    // The windows belong to the interface thread, which carries the change out in one sent
    // message while this thread holds no lock.
    // The list file is current before the user hears that the run is over.
    RunOnInterfaceThread([&window] {
        FlushListFile();
        window.RestoreIdleMode();
    });

    // No worker is left to claim.
    gRunClaims.End();
    // Read before the next run's start may replace what this one took.
    bool balloon = inputs.balloon;
    // This worker's own handle: nothing waits on it.
    if (HANDLE own = std::exchange(slot0.thread, nullptr)) {
        CloseHandle(own);
    }
    // From here on a new run may start, and the slot array may change: slot 0 is not
    // touched again.
    WriteSlotBusy(slot0, 0);

    if (gRunStop.IsSet()) {
        return;
    }
    // Runs its own modal loop on this thread; the user may already start the next run.
    window.TellRunComplete(balloon);
}

void StartDownloadRun(HWND mainWindow, RunWindow& window, RunScope scope) {
    gPreparingFlag = 1;
    SetRunActive(true);
    gRunStop.Reset();
    gSelectedRunFlag = scope == RunScope::kSelectedEntries ? 1 : 0;
    window.BeginDownloadMode();

    if (!gRunClaims.Begin(scope)) {
        AbandonStart(window);
        ShowFailure(mainWindow, kOutOfMemoryText);
        return;
    }
    bool windowGone = false;
    gInputs = window.ReadInputs();
    if (!PathIsDirectoryW(gInputs.saveFolder.c_str()) &&
        !AskToGoOn(mainWindow,
                   L"保存フォルダの指定が不正です。\nダウンロードしたファイルを、デスクトップに保存"
                   L"しますがいいですか？",
                   windowGone)) {
        EndAbandonedStart(window, windowGone);
        return;
    }
    bool logUsed[3] = {};
    for (int log = 0; log < 3; ++log) {
        logUsed[log] = FileExistsAt(gInputs.logPaths[log]);
        if (!logUsed[log] && !AskToGoOn(mainWindow, kLogs[log].missingQuestion, windowGone)) {
            EndAbandonedStart(window, windowGone);
            return;
        }
    }
    gPreparingFlag = 0;
    gHostPauses.Clear();
    size_t slotCount = SlotsForRun();
    if (!PrepareSlots(mainWindow, window, slotCount, logUsed)) {
        return;
    }
    AllowConnectionsPerServer(static_cast<int>(gConnectionSlots.size()));
    window.ShowRunning();
    StartWorkers(mainWindow, window, slotCount);
}
