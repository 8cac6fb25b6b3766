// URL files: the download list file and the three logs.
//
// Each line holds at most one URL, exactly as written (nothing is trimmed); every other line
// (empty lines, notes) is ignored by readers and kept by rewrites. Lines are read in pieces
// of at most 1023 characters, so a longer URL is cut after 1023 characters.
#pragma once

#include "base/text_file.h"

#include <string>
#include <unordered_set>
#include <vector>

// True when the shell accepts the line as a URL (a known scheme followed by its colon).
bool IsUrlLine(const std::wstring& line);

// The distinct URLs of one URL file in file order; the first occurrence wins. URLs are
// compared code unit by code unit, so letter case and spaces count.
class UrlList {
public:
    UrlList() = default;
    UrlList(UrlList&&) = default;
    UrlList& operator=(UrlList&&) = default;
    UrlList(const UrlList&) = delete;
    UrlList& operator=(const UrlList&) = delete;

    // Adds url after the others unless it is already held; true when it was added.
    bool Add(std::wstring url);
    bool Contains(const std::wstring& url) const { return urls_.contains(url); }

    size_t size() const { return order_.size(); }
    bool empty() const { return order_.empty(); }
    const std::wstring& operator[](size_t index) const { return *order_[index]; }
    void clear();
    // Room for this many URLs, so that adding them moves nothing.
    void reserve(size_t count);

private:
    // The set owns the strings; its nodes never move (not on rehash, not when the list is
    // moved), so the order can point into it.
    std::unordered_set<std::wstring> urls_;
    std::vector<const std::wstring*> order_;
};

// Reads the URLs of a URL file, skipping lines that are not URLs and repeated URLs.
// False, with list empty, when the file cannot be read or starts with FE FF.
bool ReadUrlFile(const std::wstring& path, UrlList& list);

// What remains of a URL file when URLs are removed from it, ready for RewriteTextFileUtf16.
struct RemainingLines {
    std::vector<std::wstring> lines;
    // Whether the last line read, kept or removed, ended with a line feed.
    bool lastLineHasLineFeed = false;
};

// Drops every line (read in pieces of kUrlFilePieceChars) that equals one of the removed
// URLs exactly; every other line stays in order, whether a URL, a repeat, a note or empty.
RemainingLines RemoveUrlLines(std::vector<TextLine> linesRead, const UrlList& removed);
