#include "list/url_file_commands.h"

#include "list/download_list.h"
#include "list/list_file.h"
#include "list/url_list.h"

#include <unordered_set>

CriticalSection& UrlFileLock(UrlFileKind kind) {
    CriticalSection* const locks[] = {&gDownloadListFileLock, &gDownloadLogLock, &gCancelLogLock,
                                      &gErrorLogLock};
    return *locks[kind];
}

bool AddUrlFileToList(const std::wstring& path) {
    UrlList urls;
    if (!ReadUrlFile(path, urls)) {
        return false;
    }
    std::unordered_set<std::wstring> rowUrls;
    int rows = RowCount();
    for (int row = 0; row < rows; ++row) {
        rowUrls.insert(RowText(row, kColumnUrl));
    }
    {
        ListRedrawPause pause;
        for (size_t index = 0; index < urls.size(); ++index) {
            if (!rowUrls.contains(urls[index])) {
                AddEntry(urls[index]);  // a row that cannot be made is left out
            }
        }
    }
    SaveListFile();
    TellCountsChanged(CountsNotice::kAtOnce);
    return true;
}

bool AppendSelectedToUrlFile(const std::wstring& path, UrlFileKind kind) {
    LockGuard lock(UrlFileLock(kind));
    UrlList present;
    if (!ReadUrlFile(path, present)) {
        return false;
    }
    // URLs written here are not added to present: two selected rows with the same URL both
    // append it, as the file is only checked for what it held before.
    for (int row : SelectedRows()) {
        std::wstring url = RowText(row, kColumnUrl);
        if (!present.Contains(url) && !AppendTextLine(path, url)) {
            return false;
        }
    }
    return true;
}

bool RemoveSelectedFromUrlFile(const std::wstring& path, UrlFileKind kind) {
    LockGuard lock(UrlFileLock(kind));
    std::vector<TextLine> lines;
    if (!ReadTextFile(path, kUrlFilePieceChars, lines)) {
        return false;
    }
    UrlList removed;
    for (int row : SelectedRows()) {
        removed.Add(RowText(row, kColumnUrl));
    }
    RemainingLines remaining = RemoveUrlLines(std::move(lines), removed);
    return RewriteTextFileUtf16(path, remaining.lines, remaining.lastLineHasLineFeed);
}
