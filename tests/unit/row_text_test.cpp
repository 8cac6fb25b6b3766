// The texts of a row's speed, time and size columns and its transfer state texts.
#include "list/row_text.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct SpeedCase {
    int32_t bytesPerSecond;
    const wchar_t* text;
};

struct ElapsedCase {
    uint32_t milliseconds;
    const wchar_t* text;
};

struct SizeCase {
    double bytes;
    const wchar_t* text;
};

// A state text without its prefix: the three formatters must agree on it.
struct TransferCase {
    double received;
    double total;
    const wchar_t* body;
};

constexpr double kMegabyte = 1024 * 1024;

}  // namespace

TEST(RowTextColumns, SpeedSwitchesUnitAtTenThousandAndDividesInWholeNumbers) {
    const SpeedCase cases[] = {
        {0, L"   0Byte/s"},        {9999, L"9999Byte/s"},     {10000, L"   9 KB /s"},
        {10239999, L"9999 KB /s"}, {10240000, L"   9 MB /s"}, {2147483647, L"2047 MB /s"},
    };
    for (const SpeedCase& c : cases) {
        EXPECT_EQ(FormatSpeedText(c.bytesPerSecond), c.text) << c.bytesPerSecond;
    }
}

TEST(RowTextColumns, ElapsedTimeShowsHoursOnlyFromOneHour) {
    const ElapsedCase cases[] = {
        {0, L"00 : 00"},
        {59999, L"00 : 59"},
        {3599999, L"59 : 59"},
        {3600000, L"01:00:00"},
        {3661000, L"01:01:01"},
        {100u * 3600000, L"100:00:00"},
        // The largest real time must be read unsigned: 1193 h 2 min 47 s.
        {0xFFFFFFFE, L"1193:02:47"},
        {kNoElapsedTime, L""},
    };
    for (const ElapsedCase& c : cases) {
        EXPECT_EQ(FormatElapsedText(c.milliseconds), c.text) << c.milliseconds;
    }
}

TEST(RowTextColumns, SizeIsRoundedInTheUnitOfTheRule) {
    const SizeCase cases[] = {
        {kUnknownSize, L" ？ Byte"},  // no number at all
        {0, L"   0Byte"},             // right-aligned in four places
        {9999, L"9999Byte"},          // the byte form has no trailing space
        {10000, L"  10 KB "},         // 9.77 KB rounded
        {10239999, L"10000 KB "},     // 9999.999 KB: the field widens
        {10240000, L"  10 MB "},      // 9.77 MB rounded
        {5368709120.0, L"5120 MB "},  // 5 GB, beyond 32 bits
    };
    for (const SizeCase& c : cases) {
        EXPECT_EQ(FormatSizeText(c.bytes), c.text) << c.bytes;
    }
}

TEST(RowTextStates, EachFormatterPrintsEveryUnitAndTotalCaseAfterItsPrefix) {
    const TransferCase cases[] = {
        // Bytes: no total, zero total, a total.
        {5, -1, L"   5Byte/ ？Byte( ？%)"},
        {5, 0, L"   5Byte/    0Byte( ？%)"},
        {5, 8, L"   5Byte/    8Byte( 62%)"},  // 62.5 %: cut, not rounded
        // The start of a transfer with a known total of 100 MB: the unit follows the bytes
        // received, so the total shows in bytes too.
        {0, 100 * kMegabyte, L"   0Byte/ 104857600Byte(  0%)"},
        // Kilobytes from 10,000 bytes received, the total shown in kilobytes as well.
        {10240, -1, L"  10 KB / ？ KB ( ？%)"},
        {10240, 0, L"  10 KB /    0 KB ( ？%)"},
        {10000, 100 * kMegabyte, L"  10 KB / 102400 KB (  0%)"},
        {5242880, 10485760, L"5120 KB / 10240 KB ( 50%)"},
        // Megabytes.
        {10 * kMegabyte, -1, L"  10 MB / ？ MB ( ？%)"},
        {10 * kMegabyte, 0, L"  10 MB /    0 MB ( ？%)"},
        {50 * kMegabyte, 100 * kMegabyte, L"  50 MB /  100 MB ( 50%)"},
        // More received than announced.
        {20000, 10000, L"  20 KB /   10 KB (200%)"},
        {30 * kMegabyte, 10 * kMegabyte, L"  30 MB /   10 MB (300%)"},
        // A tiny total against a large count: the percentage stays within an int.
        {1e12, 1, L"953674 MB /    0 MB (2147483647%)"},
    };
    struct Formatter {
        const wchar_t* prefix;
        std::function<std::wstring(double, double)> format;
    };
    const Formatter formatters[] = {
        {L"DL中：", FormatProgressText},
        {L"DL中断：", FormatInterruptedText},
        {L"回線エラー：", FormatLineErrorText},
    };
    for (const Formatter& formatter : formatters) {
        for (const TransferCase& c : cases) {
            EXPECT_EQ(formatter.format(c.received, c.total),
                      std::wstring(formatter.prefix) + c.body)
                << c.received << " of " << c.total;
        }
    }
}
