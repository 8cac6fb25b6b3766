#include "base/locks.h"

CriticalSection gCursorLock;
CriticalSection gDownloadListFileLock;
CriticalSection gDownloadLogLock;
CriticalSection gCancelLogLock;
CriticalSection gErrorLogLock;

namespace {

CriticalSection* const kMainLocks[] = {&gCursorLock, &gDownloadListFileLock, &gDownloadLogLock,
                                       &gCancelLogLock, &gErrorLogLock};

}  // namespace

void InitializeMainLocks() {
    for (CriticalSection* lock : kMainLocks) {
        lock->Initialize();
    }
}

void DeleteMainLocks() {
    for (CriticalSection* lock : kMainLocks) {
        lock->Delete();
    }
}
