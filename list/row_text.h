// The texts a download row shows: speed, elapsed time and size columns, and the state texts
// of a running, a stopped and a cut-short transfer.
//
// Every count shown with a unit follows one rule (ByteUnitOf): the next unit is taken at
// 10,000 of the smaller one, not at 1,024, so 10,000 bytes already show as KB.
#pragma once

#include <cstdint>
#include <string>

// An elapsed time of this many milliseconds means "no time": the column stays empty.
constexpr uint32_t kNoElapsedTime = 0xFFFFFFFF;
// A size of this many bytes means "not known": the column shows " ？ Byte".
constexpr double kUnknownSize = -1;

enum class ByteUnit { kByte, kKilobyte, kMegabyte };

// MB when bytes / 10,240,000 has a non-zero whole part, else KB when bytes / 10,000 has one,
// else bytes.
ByteUnit ByteUnitOf(double bytes);

// "%4d MB /s", "%4d KB /s" or "%4dByte/s", divided in whole numbers ("   9 KB /s" for 10,000).
std::wstring FormatSpeedText(int32_t bytesPerSecond);
// "hh:mm:ss" from one hour on (the hours widen past 99), else "mm : ss"; empty for
// kNoElapsedTime.
std::wstring FormatElapsedText(uint32_t milliseconds);
// "%4.0f MB ", "%4.0f KB " or "%4.0fByte"; " ？ Byte" for kUnknownSize.
std::wstring FormatSizeText(double bytes);

// State texts from the bytes received and the total (negative when the server gave none).
// Both numbers are shown in the unit of the received count; the percentage shows " ？" when
// the total is missing or zero.
//   "DL中：   0Byte/ 104857600Byte(  0%)"     a running transfer (Downloading)
//   "DL中断：  10 KB / ？ KB ( ？%)"          a transfer the user stopped (Interrupted)
//   "回線エラー：  50 MB /  100 MB ( 50%)"    a connection lost before the end (Error)
std::wstring FormatProgressText(double received, double total);
std::wstring FormatInterruptedText(double received, double total);
std::wstring FormatLineErrorText(double received, double total);

// The state text of a row marked Interrupted from the cancel log: the amount received is not
// known, only the stored total (or none, when total is not above 0), e.g.
// "DL中断：？？ KB / 4883 KB ( ？%)" for 5,000,000 bytes.
std::wstring FormatLoggedInterruptedText(double total);
