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

// What a save writes, and where.
struct SaveJob {
    std::wstring path;
    std::string bytes;
    DWORD delayMs = 0;  // a pause before writing: the retry pause after a failed save
};

// Never throws: it runs on the saving thread, where an exception would end the program.
bool WriteRecords(const SaveJob& job) noexcept {
    try {
        return ReplaceFileAtomically(job.path, job.bytes);
    } catch (const std::bad_alloc&) {
        return false;  // tried again like any failed save
    }
}

// The thread that writes the file: it takes one job at a time from the interface thread and
// hands back whether it was written, telling the interface thread through finished.
class SavingThread {
public:
    explicit SavingThread(void (*finished)()) : finished_(finished) {}

    // Hands the job over, starting the thread the first time; false, with the job untouched,
    // when the system gives no thread.
    bool Submit(SaveJob& job) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (!thread_.joinable()) {
                quit_ = false;
                try {
                    thread_ = std::thread([this] { Loop(); });
                } catch (const std::system_error&) {
                    return false;
                }
            }
            job_ = std::move(job);
            jobWaiting_ = true;
        }
        wake_.notify_all();
        return true;
    }

    // The result of the last job, once it has one: true in ready, and whether it was saved.
    bool TakeResult(bool& saved) {
        std::lock_guard<std::mutex> guard(lock_);
        if (!resultReady_) {
            return false;
        }
        resultReady_ = false;
        saved = resultSaved_;
        return true;
    }

    void WaitForResult() {
        std::unique_lock<std::mutex> lock(lock_);
        done_.wait(lock, [this] { return resultReady_; });
    }

    // Ends the thread after the job it is writing, dropping any result.
    void Stop() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            quit_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
        resultReady_ = false;
        jobWaiting_ = false;
    }

private:
    void Loop() {
        std::unique_lock<std::mutex> lock(lock_);
        for (;;) {
            wake_.wait(lock, [this] { return jobWaiting_ || quit_; });
            if (!jobWaiting_) {
                return;
            }
            SaveJob job = std::move(job_);
            jobWaiting_ = false;
            if (job.delayMs != 0) {
                wake_.wait_for(lock, std::chrono::milliseconds(job.delayMs),
                               [this] { return quit_; });
            }
            lock.unlock();
            bool saved = WriteRecords(job);
            lock.lock();
            resultReady_ = true;
            resultSaved_ = saved;
            done_.notify_all();
            // The interface thread may be waiting for this result itself; it learns of it
            // without being sent anything. Without the memory for that it learns of it at the
            // next change or flush.
            try {
                PostToInterfaceThread(finished_);
            } catch (const std::bad_alloc&) {
            }
        }
    }

    void (*finished_)();
    std::mutex lock_;
    std::condition_variable wake_;  // a job or the end for the thread
    std::condition_variable done_;  // a result for the interface thread
    bool jobWaiting_ = false;
    SaveJob job_;
    bool resultReady_ = false;
    bool resultSaved_ = false;
    bool quit_ = false;
    std::thread thread_;
};

// The list file of this window's life: where it is, what a save writes, when the next save is
// due, and what start-up did with a file it could not read. On the interface thread, but for
// the saving thread it owns.
class ListFileSaver {
public:
    explicit ListFileSaver(void (*finished)()) : thread_(finished) {}

    void Load(const std::wstring& path, ListFileBytes fileBytes,
              const std::function<bool(LoadedRow&)>& takeRow);
    void TellOfUnreadFile(HWND owner);
    bool Save();
    bool Flush();
    void Close();
    // The saving thread has a result: takes it, and starts the next save if one is due.
    void OnSaveFinished();
    // The pace allows the save that was put off.
    void OnPaceTimer();

private:
    DWORD RetryDelay() const;
    void SetPauseAfterSave();
    void TakeSaveResult();
    void StartSaveIfDue(bool now = false);
    void WaitForRunningSave();
    void SetUnreadFileAside();
    void ReadRows(const std::function<bool(LoadedRow&)>& takeRow);

    // Given when the list is loaded and used by every save of this window's life.
    std::wstring path_;
    ListFileBytes fileBytes_;

    // A list file that start-up could not read whole is the user's data all the same: it is
    // moved aside before anything can save over it. Where it would not move, nothing is saved.
    std::wstring unreadFileAside_;  // where it went
    bool savingRefused_ = false;
    bool unreadFileToTell_ = false;

    bool changed_ = false;  // a change the file does not hold yet, nor the running save
    bool saveRunning_ = false;
    DWORD lastSaveStart_ = 0;
    DWORD lastSaveDelay_ = 0;  // of the retry pause the saving thread kept before writing
    DWORD lastSaveEnd_ = 0;
    DWORD pauseMs_ = kShortestPauseMs;  // before the next save
    UINT_PTR paceTimer_ = 0;            // a save put off until the pace allows it
    int failedSaves_ = 0;               // in a row, for the pause before the next attempt

    SavingThread thread_;
};

void OnSaveFinished();
void CALLBACK OnPaceTimer(HWND, UINT, UINT_PTR, DWORD);

// The window has one list and so one list file; the saving thread and the pace timer reach it
// through plain callbacks.
ListFileSaver gListFile(OnSaveFinished);

void OnSaveFinished() {
    gListFile.OnSaveFinished();
}

void CALLBACK OnPaceTimer(HWND, UINT, UINT_PTR, DWORD) {
    gListFile.OnPaceTimer();
}

DWORD ListFileSaver::RetryDelay() const {
    if (failedSaves_ == 0) {
        return 0;
    }
    return std::min<DWORD>(kLongestRetryMs, kFirstRetryMs << std::min(failedSaves_ - 1, 5));
}

// The pause before the next save, from how long the last one took.
void ListFileSaver::SetPauseAfterSave() {
    lastSaveEnd_ = GetTickCount();
    DWORD took = lastSaveEnd_ - lastSaveStart_;
    took = took > lastSaveDelay_ ? took - lastSaveDelay_ : 0;
    pauseMs_ = std::clamp(took * kPauseTimesSave, kShortestPauseMs, kLongestPauseMs);
}

// Takes the result of the running save, if it has one.
void ListFileSaver::TakeSaveResult() {
    bool saved = false;
    if (!thread_.TakeResult(saved)) {
        return;
    }
    saveRunning_ = false;
    SetPauseAfterSave();
    if (saved) {
        failedSaves_ = 0;
    } else {
        ++failedSaves_;
        changed_ = true;
    }
}

void ListFileSaver::OnPaceTimer() {
    KillTimer(nullptr, paceTimer_);
    paceTimer_ = 0;
    StartSaveIfDue();
}

// Starts a save of the records as they are now, when the list has changed and no save runs;
// unless now is given, not sooner than the pause after the last one allows.
void ListFileSaver::StartSaveIfDue(bool now) {
    if (saveRunning_ || !changed_ || path_.empty()) {
        return;
    }
    DWORD sinceLast = GetTickCount() - lastSaveEnd_;
    if (!now && sinceLast < pauseMs_) {
        if (paceTimer_ == 0) {
            paceTimer_ = SetTimer(nullptr, 0, pauseMs_ - sinceLast, ::OnPaceTimer);
        }
        if (paceTimer_ != 0) {
            return;
        }
    }
    lastSaveStart_ = GetTickCount();
    lastSaveDelay_ = RetryDelay();
    SaveJob job{path_, fileBytes_(), lastSaveDelay_};
    changed_ = false;
    if (thread_.Submit(job)) {
        saveRunning_ = true;
        return;
    }
    // No thread to be had: this save is made here and now.
    if (!WriteRecords(job)) {
        ++failedSaves_;
        changed_ = true;
    }
}

void ListFileSaver::OnSaveFinished() {
    TakeSaveResult();
    StartSaveIfDue();
}

void ListFileSaver::WaitForRunningSave() {
    if (!saveRunning_) {
        return;
    }
    thread_.WaitForResult();
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

void ListFileSaver::SetUnreadFileAside() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    unreadFileToTell_ = true;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring aside = AsideName(path_, now, attempt);
        if (MoveFileExW(path_.c_str(), aside.c_str(), 0)) {
            unreadFileAside_ = aside;
            return;
        }
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            break;
        }
    }
    savingRefused_ = true;
}

// Hands each row of the list file to takeRow; see LoadListFile.
void ListFileSaver::ReadRows(const std::function<bool(LoadedRow&)>& takeRow) {
    std::vector<TextLine> lines;
    if (!ReadTextFile(path_, kListFilePieceChars, lines)) {
        if (!FileIsMissing(path_)) {
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

void ListFileSaver::Load(const std::wstring& path, ListFileBytes fileBytes,
                         const std::function<bool(LoadedRow&)>& takeRow) {
    path_ = path;
    fileBytes_ = std::move(fileBytes);
    changed_ = false;
    failedSaves_ = 0;
    unreadFileAside_.clear();
    savingRefused_ = false;
    unreadFileToTell_ = false;
    // Reading the file costs about what writing it does: the first save waits as if the load
    // had been one, so that a run started at once in a long list does not begin with a save.
    lastSaveStart_ = GetTickCount();
    lastSaveDelay_ = 0;
    ReadRows(takeRow);
    SetPauseAfterSave();
}

void ListFileSaver::TellOfUnreadFile(HWND owner) {
    if (!unreadFileToTell_) {
        return;
    }
    unreadFileToTell_ = false;
    if (savingRefused_) {
        ShowFailure(owner, L"リストファイルを読み込めませんでした。\n" + path_ +
                               L"\nこのファイルを残すため、今回はリストを保存しません。");
    } else {
        ShowFailure(owner, L"リストファイルを読み込めなかったため、次の名前で残しました。\n" +
                               unreadFileAside_);
    }
}

bool ListFileSaver::Save() {
    if (savingRefused_) {
        return false;
    }
    changed_ = true;
    TakeSaveResult();
    StartSaveIfDue();
    return true;
}

bool ListFileSaver::Flush() {
    DWORD start = GetTickCount();
    for (;;) {
        WaitForRunningSave();
        if (!changed_) {
            return true;
        }
        if (GetTickCount() - start > kFlushPatienceMs) {
            return false;
        }
        StartSaveIfDue(true);
    }
}

void ListFileSaver::Close() {
    Flush();
    if (paceTimer_ != 0) {
        KillTimer(nullptr, paceTimer_);
        paceTimer_ = 0;
    }
    thread_.Stop();
    saveRunning_ = false;
    changed_ = false;
}

}  // namespace

void LoadListFile(const std::wstring& path, ListFileBytes fileBytes,
                  const std::function<bool(LoadedRow&)>& takeRow) {
    gListFile.Load(path, std::move(fileBytes), takeRow);
}

void TellOfUnreadListFile(HWND owner) {
    gListFile.TellOfUnreadFile(owner);
}

bool SaveListFile() {
    return gListFile.Save();
}

bool FlushListFile() {
    return gListFile.Flush();
}

void CloseListFile() {
    gListFile.Close();
}
