// The list commands that work on the four URL files: adding a download list file to the
// list, and adding the selected rows' URLs to, or removing them from, one of the files.
#pragma once

#include "base/locks.h"

#include <string>

// The four URL files, in the order of their path bars (2 to 5).
enum UrlFileKind {
    kDownloadListFile = 0,
    kDownloadLogFile = 1,
    kCancelLogFile = 2,
    kErrorLogFile = 3,
};

// Held while the file is read and written, so an engine append to the same log comes wholly
// before or after a command's read-and-write.
CriticalSection& UrlFileLock(UrlFileKind kind);

// Adds a row for every URL of the file that no row has yet, in file order; then saves the
// list and tells that the counts changed.
bool AddUrlFileToList(const std::wstring& path);
// Appends each selected row's URL that the file does not hold yet.
bool AppendSelectedToUrlFile(const std::wstring& path, UrlFileKind kind);
// Rewrites the file (as UTF-16LE) without the lines equal to a selected row's URL.
bool RemoveSelectedFromUrlFile(const std::wstring& path, UrlFileKind kind);
