#include "engine/download_logs.h"

#include "base/locks.h"
#include "base/text_file.h"

namespace {

// The slot's copy of the log is the log as it was when the run started; appends do not
// update it, so a URL that finishes twice in one run is written twice.
bool AppendToLog(const std::wstring& path, CriticalSection& lock, const UrlList& knownUrls,
                 const std::wstring& url) {
    LockGuard guard(lock);
    if (knownUrls.Contains(url)) {
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    return AppendTextLine(path, url);
}

}  // namespace

bool AppendDownloadLog(const ConnectionSlot& slot, const std::wstring& url) {
    return AppendToLog(slot.inputs->logPaths[0], gDownloadLogLock, slot.downloadLog, url);
}

bool AppendCancelLog(const ConnectionSlot& slot, const std::wstring& url) {
    return AppendToLog(slot.inputs->logPaths[1], gCancelLogLock, slot.cancelLog, url);
}

bool AppendErrorLog(const ConnectionSlot& slot, const std::wstring& url) {
    return AppendToLog(slot.inputs->logPaths[2], gErrorLogLock, slot.errorLog, url);
}
