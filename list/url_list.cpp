#include "list/url_list.h"

#include <windows.h>
#include <shlwapi.h>

#include <new>
#include <utility>

bool IsUrlLine(const std::wstring& line) {
    return PathIsURLW(line.c_str()) != FALSE;
}

bool UrlList::Add(std::wstring url) {
    auto [position, added] = urls_.insert(std::move(url));
    if (added) {
        order_.push_back(&*position);
    }
    return added;
}

void UrlList::reserve(size_t count) {
    urls_.reserve(count);
    order_.reserve(count);
}

void UrlList::clear() {
    order_.clear();
    urls_.clear();
}

bool ReadUrlFile(const std::wstring& path, UrlList& list) {
    list.clear();
    std::vector<TextLine> lines;
    if (!ReadTextFile(path, kUrlFilePieceChars, lines)) {
        return false;
    }
    try {
        list.reserve(lines.size());
        for (TextLine& line : lines) {
            if (IsUrlLine(line.text)) {
                list.Add(std::move(line.text));
            }
        }
    } catch (const std::bad_alloc&) {
        list.clear();
        return false;
    }
    return true;
}

RemainingLines RemoveUrlLines(std::vector<TextLine> linesRead, const UrlList& removed) {
    RemainingLines remaining;
    if (!linesRead.empty()) {
        remaining.lastLineHasLineFeed = linesRead.back().hadLineFeed;
    }
    for (TextLine& line : linesRead) {
        if (!removed.Contains(line.text)) {
            remaining.lines.push_back(std::move(line.text));
        }
    }
    return remaining;
}
