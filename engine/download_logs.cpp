#include "engine/download_logs.h"

#include "base/locks.h"
#include "base/path_bar_text.h"
#include "base/text_file.h"
#include "base/window_ids.h"

namespace {

// The slot's copy of the log is the log as it was when the run started; appends do not
// update it, so a URL that finishes twice in one run is written twice.
bool AppendToLog(const ConnectionSlot& slot, int barId, CriticalSection& lock,
                 const UrlList& knownUrls, const std::wstring& url) {
    // Read before the lock is taken: the read is served by the interface thread.
    std::wstring path = ReadPathBarText(slot.owner, barId);
    LockGuard guard(lock);
    if (knownUrls.Contains(url)) {
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    return AppendTextLine(path, url);
}

}  // namespace

bool AppendDownloadLog(const ConnectionSlot& slot, const std::wstring& url) {
    return AppendToLog(slot, kDownloadLogBarId, gDownloadLogLock, slot.downloadLog, url);
}

bool AppendCancelLog(const ConnectionSlot& slot, const std::wstring& url) {
    return AppendToLog(slot, kCancelLogBarId, gCancelLogLock, slot.cancelLog, url);
}

bool AppendErrorLog(const ConnectionSlot& slot, const std::wstring& url) {
    return AppendToLog(slot, kErrorLogBarId, gErrorLogLock, slot.errorLog, url);
}
