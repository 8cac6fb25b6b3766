// The FTP test of a URL, the extra request headers, and the checks on a server's answer.
#include "engine/http_text.h"

#include <gtest/gtest.h>

TEST(HttpText, OnlyFtpColonBeforeTheFirstSlashMakesAnFtpUrl) {
    struct Case {
        const wchar_t* url;
        bool ftp;
    };
    const Case cases[] = {
        {L"ftp://host/f.zip", true},
        {L"FTP://host", true},
        {L"fTp:/x", true},
        {L"ftp:", false},
        {L"ftp:host", false},
        {L"ftps://host/", false},
        {L"http://host/ftp:/", false},
        {L"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsFtpUrl(c.url), c.ftp) << c.url;
    }
}

TEST(HttpText, RequestHeadersCarryTheRangeAndAnEnabledNonEmptyReferer) {
    EXPECT_EQ(FreshRequestHeaders(0, L"http://ref/"), L"");
    EXPECT_EQ(FreshRequestHeaders(1, L""), L"");
    EXPECT_EQ(FreshRequestHeaders(1, L"http://ref/"), L"Referer:http://ref/\r\n\r\n");

    EXPECT_EQ(ResumeRequestHeaders(0, L"", 1, L""), L"Range: bytes=0-\r\n\r\n");
    EXPECT_EQ(ResumeRequestHeaders(5368709120, L"", 0, L"http://ref/"),
              L"Range: bytes=5368709120-\r\n\r\n");
    EXPECT_EQ(ResumeRequestHeaders(1234, L"", 1, L"http://ref/"),
              L"Range: bytes=1234-\r\n\r\nReferer:http://ref/\r\n\r\n");
    EXPECT_EQ(ResumeRequestHeaders(1234, L"\"5f-a\"", 1, L"http://ref/"),
              L"Range: bytes=1234-\r\n\r\nIf-Range: \"5f-a\"\r\n\r\nReferer:http://ref/\r\n\r\n");

    // Far more than the 1024 characters a header once had room for.
    const std::wstring longReferer = L"http://ref/" + std::wstring(5000, L'r');
    EXPECT_EQ(ResumeRequestHeaders(1, L"", 1, longReferer),
              L"Range: bytes=1-\r\n\r\nReferer:" + longReferer + L"\r\n\r\n");
}

TEST(HttpText, TheValidatorIsAStrongEtagElseTheDateElseNone) {
    const wchar_t kDate[] = L"Tue, 08 Dec 2026 14:00:00 GMT";
    const std::wstring longest = L"\"" + std::wstring(198, L'x') + L"\"";
    const std::wstring tooLong = L"\"" + std::wstring(199, L'x') + L"\"";
    struct Case {
        const wchar_t* etag;
        const wchar_t* lastModified;
        const wchar_t* validator;
    };
    const Case cases[] = {
        {L"\"5f3a-1400000\"", kDate, L"\"5f3a-1400000\""},
        {L" \"a|b\" ", L"", L"\"a|b\""},
        {L"W/\"5f3a\"", kDate, kDate},  // weak: not byte for byte
        {L"W/\"5f3a\"", L"", L""},
        {L"5f3a", L"", L""},  // not quoted: not an ETag
        {L"\"", kDate, kDate},
        {L"", L"", L""},
        {L"\"caf\u00e9\"", L"", L""},             // not ASCII
        {L"", L"Tue, 08 Dec 2026\r\nX: 1", L""},  // a line break
        {longest.c_str(), L"", longest.c_str()},  // 200 characters
        {tooLong.c_str(), L"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResumeValidator(c.etag, c.lastModified), c.validator) << c.etag;
    }
}

TEST(HttpText, ContentLengthIsAWholeNumberOrNone) {
    struct Case {
        const wchar_t* text;
        double bytes;
    };
    const Case cases[] = {
        {L"1234", 1234}, {L" 1234 ", 1234}, {L"5368709120", 5368709120.0}, {L"", -1}, {L"-1", -1},
        {L"1.5", -1},    {L"12a", -1},      {L"99999999999999999999", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ContentLengthValue(c.text), c.bytes) << c.text;
    }
}

TEST(HttpText, ContentRangeIsReadOnlyWhenWellFormed) {
    struct Case {
        const wchar_t* value;
        bool valid;
        ContentRange range;
    };
    const Case cases[] = {
        {L"bytes 100-199/200", true, {100, 199, 200}},
        {L"Bytes 0-0/*", true, {0, 0, -1}},
        {L" bytes  5368709120-5368709121/5368709122 ", true, {5368709120, 5368709121, 5368709122}},
        {L"bytes */200", false, {}},        // the answer to an unsatisfiable range
        {L"bytes 100-199/150", false, {}},  // ends beyond the total
        {L"bytes 200-100/300", false, {}},
        {L"bytes 100-/200", false, {}},
        {L"bytes 100-199", false, {}},
        {L"bytes 100-199/200x", false, {}},
        {L"bytes 1-99999999999999999999/*", false, {}},
        {L"", false, {}},
    };
    for (const Case& c : cases) {
        ContentRange range = {-7, -7, -7};
        EXPECT_EQ(ParseContentRange(c.value, range), c.valid) << c.value;
        if (c.valid) {
            EXPECT_EQ(range.first, c.range.first) << c.value;
            EXPECT_EQ(range.last, c.range.last) << c.value;
            EXPECT_EQ(range.total, c.range.total) << c.value;
        }
    }
}

TEST(HttpText, ResumeContinuesOnlyWithTheRangeThatFollowsThePartialFile) {
    struct Case {
        DWORD status;
        const wchar_t* contentRange;
        double storedTotal;
        bool continues;
    };
    // The partial file holds 1000 bytes.
    const Case cases[] = {
        {206, L"bytes 1000-1999/2000", -1, true},
        {206, L"bytes 1000-1999/2000", 2000, true},
        {206, L"bytes 1000-1999/*", -1, true},
        {206, L"bytes 1000-1999/*", 2000, false},     // cannot show it is the same file
        {206, L"bytes 1000-2999/3000", 2000, false},  // the file changed on the server
        {206, L"bytes 0-1999/2000", -1, false},       // would repeat the start of the file
        {206, L"bytes 1001-1999/2000", -1, false},    // would leave a gap
        {206, L"", -1, false},
        {200, L"bytes 1000-1999/2000", -1, false},
        {416, L"bytes */1000", 1000, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResumeContinuesFile(c.status, c.contentRange, 1000, c.storedTotal), c.continues)
            << c.status << " " << c.contentRange << " " << c.storedTotal;
    }
}

TEST(HttpText, OnlyTooManyRequestsAndServiceUnavailableAskToComeBackLater) {
    for (DWORD status : {200u, 206u, 400u, 404u, 428u, 430u, 500u, 502u, 504u}) {
        EXPECT_FALSE(IsComeBackLaterStatus(status)) << status;
    }
    EXPECT_TRUE(IsComeBackLaterStatus(429));
    EXPECT_TRUE(IsComeBackLaterStatus(503));
}

TEST(HttpText, RetryAfterIsSecondsOrADateTakenAgainstNow) {
    // Sun, 06 Nov 1994 08:49:37 GMT
    constexpr int64_t kNow = 784111777;
    struct Case {
        const wchar_t* value;
        bool valid;
        int64_t seconds;
    };
    const Case cases[] = {
        {L"0", true, 0},
        {L"120", true, 120},
        {L" 7 ", true, 7},
        {L"99999999999999999999999", true, int64_t{1} << 40},  // as good as for ever
        {L"Sun, 06 Nov 1994 08:49:47 GMT", true, 10},
        {L"Sunday, 06-Nov-94 08:50:37 GMT", true, 60},
        {L"Sun Nov  6 09:49:37 1994", true, 3600},
        {L"sun, 06 nov 1994 08:49:38 gmt", true, 1},
        {L"Sun, 06 Nov 1994 08:49:36 GMT", true, 0},  // already past: no wait
        {L"Thu, 01 Jan 1970 00:00:00 GMT", true, 0},
        {L"Mon, 29 Feb 2016 00:00:00 GMT", true, 1456704000 - kNow},
        {L"Sat, 01 Jan 2000 00:00:00 GMT", true, 946684800 - kNow},
        {L"Thursday, 01-Jan-70 00:00:00 GMT", true, 0},
        {L"", false, 0},
        {L"-5", false, 0},
        {L"1.5", false, 0},
        {L"10 s", false, 0},
        {L"Sun, 06 Nov 1994 08:49:47", false, 0},      // no zone
        {L"Sun, 31 Nov 1994 08:49:47 GMT", false, 0},  // no such day
        {L"Tue, 29 Feb 2100 00:00:00 GMT", false, 0},  // not a leap year
        {L"Sun, 06 Nov 1994 24:00:00 GMT", false, 0},
        {L"Sun, 06 Xyz 1994 08:49:47 GMT", false, 0},
        {L"Sun, 06 Nov 94 08:49:47 GMT", false, 0},  // the short year only with dashes
        {L"Sun, 06 Nov 1994 08:49:47 GMT junk", false, 0},
    };
    for (const Case& c : cases) {
        int64_t seconds = -7;
        EXPECT_EQ(RetryAfterSeconds(c.value, kNow, seconds), c.valid) << c.value;
        if (c.valid) {
            EXPECT_EQ(seconds, c.seconds) << c.value;
        }
    }
}
