#include "engine/http_text.h"

#include <algorithm>

namespace {

constexpr DWORD kPartialContent = 206;
constexpr DWORD kFirstErrorStatus = 400;
constexpr DWORD kTooManyRequests = 429;
constexpr DWORD kServiceUnavailable = 503;
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

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

bool Take(const std::wstring& text, size_t& position, wchar_t c) {
    if (position < text.size() && text[position] == c) {
        ++position;
        return true;
    }
    return false;
}

// At least one space, and any that follow.
bool TakeSpaces(const std::wstring& text, size_t& position) {
    size_t start = position;
    SkipSpaces(text, position);
    return position > start;
}

// Between fewest and most decimal digits; `count` says how many there were.
bool ReadDigits(const std::wstring& text, size_t& position, size_t fewest, size_t most, int& value,
                size_t* count = nullptr) {
    size_t start = position;
    value = 0;
    while (position < text.size() && position - start < most && IsDigit(text[position])) {
        value = value * 10 + (text[position++] - L'0');
    }
    if (count != nullptr) {
        *count = position - start;
    }
    return position - start >= fewest && (position == text.size() || !IsDigit(text[position]));
}

// A day's name: only letters, at least three of them. Which day it names is not checked;
// the date itself says when it is.
bool SkipDayName(const std::wstring& text, size_t& position) {
    size_t start = position;
    while (position < text.size() && AsciiLower(text[position]) >= L'a' &&
           AsciiLower(text[position]) <= L'z') {
        ++position;
    }
    return position - start >= 3;
}

bool ReadMonth(const std::wstring& text, size_t& position, int& month) {
    static const wchar_t* const kMonths[] = {L"jan", L"feb", L"mar", L"apr", L"may", L"jun",
                                             L"jul", L"aug", L"sep", L"oct", L"nov", L"dec"};
    for (int index = 0; index < 12; ++index) {
        if (EqualsIgnoringCase(text, position, kMonths[index])) {
            position += 3;
            month = index + 1;
            return true;
        }
    }
    return false;
}

// "HH:MM:SS"; a leap second (60) is let through.
bool ReadTimeOfDay(const std::wstring& text, size_t& position, int& seconds) {
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!ReadDigits(text, position, 2, 2, hour) || !Take(text, position, L':') ||
        !ReadDigits(text, position, 2, 2, minute) || !Take(text, position, L':') ||
        !ReadDigits(text, position, 2, 2, second) || hour > 23 || minute > 59 || second > 60) {
        return false;
    }
    seconds = hour * 3600 + minute * 60 + second;
    return true;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1 January 1970 to the given day of the Gregorian calendar.
int64_t DaysSince1970(int year, int month, int day) {
    int64_t y = year - (month <= 2 ? 1 : 0);
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yearOfEra = y - era * 400;
    int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
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

bool IsComeBackLaterStatus(DWORD status) {
    return status == kTooManyRequests || status == kServiceUnavailable;
}

bool ParseHttpDate(const std::wstring& text, int64_t& seconds) {
    size_t position = 0;
    int day = 0;
    int month = 0;
    int year = 0;
    int timeOfDay = 0;
    SkipSpaces(text, position);
    if (!SkipDayName(text, position)) {
        return false;
    }
    if (Take(text, position, L',')) {
        SkipSpaces(text, position);
        if (!ReadDigits(text, position, 1, 2, day)) {
            return false;
        }
        if (Take(text, position, L'-')) {
            // "06-Nov-94": a two-digit year is the one nearest to now, as the date of an
            // answer always is.
            size_t yearDigits = 0;
            if (!ReadMonth(text, position, month) || !Take(text, position, L'-') ||
                !ReadDigits(text, position, 2, 4, year, &yearDigits) || yearDigits == 3) {
                return false;
            }
            if (yearDigits == 2) {
                year += year < 70 ? 2000 : 1900;
            }
        } else if (!TakeSpaces(text, position) || !ReadMonth(text, position, month) ||
                   !TakeSpaces(text, position) || !ReadDigits(text, position, 4, 4, year)) {
            return false;
        }
        if (!TakeSpaces(text, position) || !ReadTimeOfDay(text, position, timeOfDay) ||
            !TakeSpaces(text, position) || !EqualsIgnoringCase(text, position, L"gmt")) {
            return false;
        }
        position += 3;
    } else if (!TakeSpaces(text, position) || !ReadMonth(text, position, month) ||
               !TakeSpaces(text, position) || !ReadDigits(text, position, 1, 2, day) ||
               !TakeSpaces(text, position) || !ReadTimeOfDay(text, position, timeOfDay) ||
               !TakeSpaces(text, position) || !ReadDigits(text, position, 4, 4, year)) {
        return false;
    }
    SkipSpaces(text, position);
    if (position != text.size() || day < 1 || day > DaysInMonth(year, month)) {
        return false;
    }
    seconds = DaysSince1970(year, month, day) * 86400 + timeOfDay;
    return true;
}

bool RetryAfterSeconds(const std::wstring& value, int64_t now, int64_t& seconds) {
    // Far beyond any wait worth making: a longer number only has to stay that long.
    constexpr int64_t kLongestCount = int64_t{1} << 40;
    size_t position = 0;
    SkipSpaces(value, position);
    if (position < value.size() && IsDigit(value[position])) {
        int64_t count = 0;
        for (; position < value.size() && IsDigit(value[position]); ++position) {
            count = std::min(count * 10 + (value[position] - L'0'), kLongestCount);
        }
        SkipSpaces(value, position);
        if (position != value.size()) {
            return false;
        }
        seconds = count;
        return true;
    }
    int64_t at = 0;
    if (!ParseHttpDate(value, at)) {
        return false;
    }
    seconds = std::max<int64_t>(at - now, 0);
    return true;
}

std::wstring ServerWaitText(int64_t secondsLeft) {
    return L"サーバー待機中：残り" + std::to_wstring(secondsLeft) + L"秒";
}
