// The texts of an HTTP transfer: which URLs go to the FTP client, the extra request headers,
// the reading of the server's answer to a resume, and of its request to come back later.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// True when the text before the URL's first "/" is "ftp:" in any case. A URL without "/" is
// not an FTP URL.
bool IsFtpUrl(const std::wstring& url);

// The extra request headers of a fresh download: "Referer:<text>\r\n\r\n" when refererOn is set
// and the Referer text is not empty, else nothing. The Referer is sent whole, however long.
std::wstring FreshRequestHeaders(int refererOn, const std::wstring& referer);
// The headers of a resume from partialSize bytes on: "Range: bytes=<size>-\r\n\r\n", then,
// when the entry keeps a validator, "If-Range: <validator>\r\n\r\n", followed by the Referer
// header as for a fresh download. With If-Range a server whose file has changed answers with
// the whole new file instead of the rest of the old one.
std::wstring ResumeRequestHeaders(int64_t partialSize, const std::wstring& validator, int refererOn,
                                  const std::wstring& referer);

// What identifies the version of the file an answer carries, for a later resume's If-Range:
// the ETag when it is a strong one, else the Last-Modified date, else nothing. A value that
// could not be kept safely in the list file (control characters, characters outside ASCII,
// over 200 characters) counts as none.
std::wstring ResumeValidator(const std::wstring& etag, const std::wstring& lastModified);

// The value of a Content-Length header: its whole number of bytes, or -1 when it is not one
// (empty, signed, fractional, or followed by anything but spaces).
double ContentLengthValue(const std::wstring& text);

// A Content-Range header value "bytes first-last/total" or "bytes first-last/*".
struct ContentRange {
    int64_t first;
    int64_t last;
    int64_t total;  // -1 for "*"
};
// False for anything else, also for a range that ends before it starts or lies beyond the
// total, and for numbers too large for a file.
bool ParseContentRange(const std::wstring& value, ContentRange& range);

// Whether a resume may append the answer to the partial file: only a 206 answer whose
// Content-Range starts exactly at partialSize, and, when the entry has a stored total
// (storedTotal not -1), states that same total. Anything else means downloading afresh.
bool ResumeContinuesFile(DWORD status, const std::wstring& contentRange, int64_t partialSize,
                         double storedTotal);

// A final status of 400 or above: the server answered with an error page, not the file.
bool IsHttpErrorStatus(DWORD status);
// The state text of such a transfer: "HTTPエラー：" and the status number.
std::wstring HttpErrorText(DWORD status);

// 429 (too many requests) and 503 (service unavailable): the server asks to be asked again
// later, often saying when in a Retry-After header.
bool IsComeBackLaterStatus(DWORD status);
// The seconds since 1970 of an HTTP date in any of its three forms ("Sun, 06 Nov 1994
// 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994"); false for
// anything else.
bool ParseHttpDate(const std::wstring& text, int64_t& seconds);
// How many seconds a Retry-After value asks to wait: a number of seconds, or an HTTP date
// taken against now (seconds since 1970), a date already past meaning no wait. Numbers too
// large to count come out as the largest count. False when the value is neither.
bool RetryAfterSeconds(const std::wstring& value, int64_t now, int64_t& seconds);
// The state text of an entry waiting for its server: "サーバー待機中：残り" and the seconds.
std::wstring ServerWaitText(int64_t secondsLeft);
