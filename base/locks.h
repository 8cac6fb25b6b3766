// The five locks the main window owns. They exist from WM_CREATE to WM_DESTROY, before any
// worker can start and after the last one has ended. No code takes one while holding another.
#pragma once

#include <windows.h>

class CriticalSection {
public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Initialize() { InitializeCriticalSection(&section_); }
    void Delete() { DeleteCriticalSection(&section_); }
    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_{};
};

class LockGuard {
public:
    explicit LockGuard(CriticalSection& lock) : lock_(lock) { lock_.Enter(); }
    ~LockGuard() { lock_.Leave(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    CriticalSection& lock_;
};

// Guards the run cursors and the claim of a row.
extern CriticalSection gCursorLock;
// Guard the four URL files: the download list file and the three logs.
extern CriticalSection gDownloadListFileLock;
extern CriticalSection gDownloadLogLock;
extern CriticalSection gCancelLogLock;
extern CriticalSection gErrorLogLock;

// Both in the same order: cursor, download list file, download, cancel and error log.
void InitializeMainLocks();
void DeleteMainLocks();
