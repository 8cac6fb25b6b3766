#include "list/row_record.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <utility>

namespace {

constexpr wchar_t kFieldSeparator = L'|';
// Stands for a "|" of a URL inside a record; see the header.
constexpr wchar_t kUrlSeparatorInRecord = L'\x1F';
constexpr unsigned long kHighestState = 5;

// Position of the n-th "|" (1-based), or npos.
size_t FindSeparator(const std::wstring& text, int n) {
    size_t position = 0;
    for (;;) {
        position = text.find(kFieldSeparator, position);
        if (position == std::wstring::npos || --n == 0) {
            return position;
        }
        ++position;
    }
}

std::wstring Replace(std::wstring text, wchar_t from, wchar_t to) {
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

// A piece of a list file line, cut where the loader's 1024-character room ends.
std::wstring ListPiece(const std::wstring& line, size_t begin, size_t end) {
    size_t length = end == std::wstring::npos ? line.size() - begin : end - begin;
    return line.substr(begin, std::min(length, kMaxListFieldChars));
}

// The fifth field split at its first space: the total's text and the validator after it.
std::pair<std::wstring, std::wstring> FifthField(const std::wstring& record) {
    std::wstring tail = RecordTail(record);
    if (tail.empty()) {
        return {};
    }
    size_t space = tail.find(L' ');
    if (space == std::wstring::npos) {
        return {tail.substr(1), std::wstring()};
    }
    return {tail.substr(1, space - 1), tail.substr(space + 1)};
}

// Everything from the fourth "|" (or, without one, from the line feed) becomes
// "|total[ validator]\n".
void ReplaceFifthField(std::wstring& record, const std::wstring& total,
                       const std::wstring& validator) {
    size_t from = FindSeparator(record, 4);
    if (from == std::wstring::npos) {
        from = record.find(L'\n');
    }
    if (from != std::wstring::npos) {
        record.resize(from);
    }
    record += kFieldSeparator;
    record += total;
    if (!validator.empty()) {
        record += L' ';
        record += validator;
    }
    record += L'\n';
}

}  // namespace

std::wstring UrlToRecordForm(const std::wstring& url) {
    return Replace(url, kFieldSeparator, kUrlSeparatorInRecord);
}

std::wstring UrlFromRecordForm(const std::wstring& recordUrl) {
    return Replace(recordUrl, kUrlSeparatorInRecord, kFieldSeparator);
}

std::wstring ComposeRowRecord(int state, const std::wstring& stateText,
                              const std::wstring& sizeText, const std::wstring& url,
                              const std::wstring& tail) {
    std::wstring record;
    AppendRowRecord(record, state, stateText, sizeText, url, tail);
    return record;
}

void AppendRowRecord(std::wstring& out, int state, const std::wstring& stateText,
                     const std::wstring& sizeText, const std::wstring& url,
                     const std::wstring& tail) {
    // A state is one digit, 0-5. Written as a character, not formatted: formatting it took about
    // a third of the time to put a million records together for a save.
    out += static_cast<wchar_t>(L'0' + state);
    out += kFieldSeparator;
    out += stateText;
    out += kFieldSeparator;
    out += sizeText;
    out += kFieldSeparator;
    size_t urlStart = out.size();
    out += url;
    std::replace(out.begin() + static_cast<std::ptrdiff_t>(urlStart), out.end(), kFieldSeparator,
                 kUrlSeparatorInRecord);
    out += tail;
    out += L'\n';
}

std::wstring RecordTail(const std::wstring& record) {
    size_t fourth = FindSeparator(record, 4);
    if (fourth == std::wstring::npos) {
        return std::wstring();
    }
    size_t lineFeed = record.find(L'\n', fourth);
    return record.substr(fourth,
                         lineFeed == std::wstring::npos ? std::wstring::npos : lineFeed - fourth);
}

void StoreTotalSizeInRecord(std::wstring& record, double bytes) {
    wchar_t total[400];  // a double printed whole has at most 309 digits
    std::swprintf(total, sizeof total / sizeof total[0], L"%1.0f", bytes);
    ReplaceFifthField(record, total, ReadResumeValidatorFromRecord(record));
}

void StoreResumeValidatorInRecord(std::wstring& record, const std::wstring& validator) {
    std::wstring total = FifthField(record).first;
    if (total.empty() && validator.empty()) {
        return;  // nothing to keep and nothing to add: the record stays as it is
    }
    ReplaceFifthField(record, total.empty() ? L"0" : total, validator);
}

std::wstring ReadResumeValidatorFromRecord(const std::wstring& record) {
    return FifthField(record).second;
}

double ReadTotalSizeFromRecord(const std::wstring& record) {
    size_t fourth = FindSeparator(record, 4);
    if (fourth == std::wstring::npos) {
        return -1;
    }
    double bytes = std::floor(std::wcstod(record.c_str() + fourth + 1, nullptr));
    return bytes > 0 ? bytes : -1;
}

bool ParseListLine(const std::wstring& line, ListLine& out) {
    // The state is read like the runtime reads a number: leading blanks and a sign are
    // allowed, the digits end at the first other character, no digits give 0. Taken as
    // unsigned, "-1" is far above the highest state and the line is skipped.
    unsigned long state = static_cast<unsigned long>(std::wcstol(line.c_str(), nullptr, 10));
    if (state > kHighestState) {
        return false;
    }
    size_t first = FindSeparator(line, 1);
    size_t second = FindSeparator(line, 2);
    size_t third = FindSeparator(line, 3);
    if (third == std::wstring::npos) {
        return false;
    }
    size_t fourth = FindSeparator(line, 4);
    std::wstring url = UrlFromRecordForm(ListPiece(line, third + 1, fourth));
    if (!PathIsURLW(url.c_str())) {
        return false;
    }
    out.state = static_cast<int>(state);
    out.stateText = ListPiece(line, first + 1, second);
    out.sizeText = ListPiece(line, second + 1, third);
    out.url = std::move(url);
    return true;
}
