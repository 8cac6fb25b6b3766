#include "engine/http_text.h"

#include <algorithm>

namespace {

constexpr DWORD kPartialContent = 206;
constexpr DWORD kFirstErrorStatus = 400;
// No file comes near this size; stopping here keeps every sum of two such numbers in range.
constexpr int64_t kLargestByteCount = int64_t{1} << 62;

wchar_t AsciiLower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool EqualsIgnoringCase(const std::wstring& text, size_t position, const wchar_t* word) {
    for (; *word != L'\0'; ++word, ++position) {
        if (position >= text.size() || AsciiLower(text[position]) != *word) {
            return false;
        }
    }
    return true;
}

void SkipSpaces(const std::wstring& text, size_t& position) {
    while (position < text.size() && (text[position] == L' ' || text[position] == L'\t')) {
        ++position;
    }
}

// Reads the decimal digits at position into value; false when there are none or the number
// is larger than any file.
bool ReadWholeNumber(const std::wstring& text, size_t& position, int64_t& value) {
    size_t start = position;
    value = 0;
    for (; position < text.size() && text[position] >= L'0' && text[position] <= L'9'; ++position) {
        int digit = text[position] - L'0';
        if (value > (kLargestByteCount - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    return position > start;
}

std::wstring Trimmed(const std::wstring& text) {
    size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) {
        return std::wstring();
    }
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// A validator goes into the list file line and into a request header as it is: printable
// ASCII only, and short enough that the line stays well inside what the loader reads as one.
bool IsKeepableValidator(const std::wstring& validator) {
    constexpr size_t kLongestValidator = 200;
    return validator.size() <= kLongestValidator &&
           std::all_of(validator.begin(), validator.end(),
                       [](wchar_t c) { return c >= L' ' && c <= L'~'; });
}

std::wstring RefererHeader(int refererOn, const std::wstring& referer) {
    if (!refererOn || referer.empty()) {
        return std::wstring();
    }
    return L"Referer:" + referer + L"\r\n\r\n";
}

}  // namespace

bool IsFtpUrl(const std::wstring& url) {
    // Only "ftp:" itself may stand before the first "/".
    return url.find(L'/') == 4 && EqualsIgnoringCase(url, 0, L"ftp:");
}

std::wstring FreshRequestHeaders(int refererOn, const std::wstring& referer) {
    return RefererHeader(refererOn, referer);
}

std::wstring ResumeRequestHeaders(int64_t partialSize, const std::wstring& validator, int refererOn,
                                  const std::wstring& referer) {
    std::wstring headers = L"Range: bytes=" + std::to_wstring(partialSize) + L"-\r\n\r\n";
    if (!validator.empty()) {
        headers += L"If-Range: " + validator + L"\r\n\r\n";
    }
    return headers + RefererHeader(refererOn, referer);
}

std::wstring ResumeValidator(const std::wstring& etag, const std::wstring& lastModified) {
    std::wstring strongEtag = Trimmed(etag);
    // A weak ETag (W/"...") may name a file that is not byte for byte the same: If-Range
    // takes only strong ones.
    bool strong = strongEtag.size() >= 2 && strongEtag.front() == L'"' && strongEtag.back() == L'"';
    std::wstring validator = strong ? strongEtag : Trimmed(lastModified);
    return IsKeepableValidator(validator) ? validator : std::wstring();
}

double ContentLengthValue(const std::wstring& text) {
    size_t position = 0;
    int64_t value = 0;
    SkipSpaces(text, position);
    if (!ReadWholeNumber(text, position, value)) {
        return -1;
    }
    SkipSpaces(text, position);
    return position == text.size() ? static_cast<double>(value) : -1;
}

bool ParseContentRange(const std::wstring& value, ContentRange& range) {
    size_t position = 0;
    SkipSpaces(value, position);
    if (!EqualsIgnoringCase(value, position, L"bytes")) {
        return false;
    }
    position += 5;
    size_t afterUnit = position;
    SkipSpaces(value, position);
    if (position == afterUnit) {
        return false;
    }
    ContentRange read = {0, 0, -1};
    if (!ReadWholeNumber(value, position, read.first) || position >= value.size() ||
        value[position++] != L'-' || !ReadWholeNumber(value, position, read.last) ||
        position >= value.size() || value[position++] != L'/') {
        return false;
    }
    if (position < value.size() && value[position] == L'*') {
        ++position;
    } else if (!ReadWholeNumber(value, position, read.total)) {
        return false;
    }
    SkipSpaces(value, position);
    if (position != value.size() || read.last < read.first ||
        (read.total != -1 && read.last >= read.total)) {
        return false;
    }
    range = read;
    return true;
}

bool ResumeContinuesFile(DWORD status, const std::wstring& contentRange, int64_t partialSize,
                         double storedTotal) {
    ContentRange range;
    if (status != kPartialContent || !ParseContentRange(contentRange, range) ||
        range.first != partialSize) {
        return false;
    }
    // A stored total is the size of the file the partial one belongs to. An answer that
    // states another total, or none, may come from a file that has changed meanwhile.
    return storedTotal < 0 ||
           (range.total != -1 && static_cast<double>(range.total) == storedTotal);
}

bool IsHttpErrorStatus(DWORD status) {
    return status >= kFirstErrorStatus;
}

std::wstring HttpErrorText(DWORD status) {
    return L"HTTPエラー：" + std::to_wstring(status);
}
