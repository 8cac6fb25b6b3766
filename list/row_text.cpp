#include "list/row_text.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cwchar>

namespace {

constexpr double kBytesPerKilobyte = 1024;
constexpr double kBytesPerMegabyte = 1024 * 1024;
constexpr int32_t kSpeedBytesPerKilobyte = 1024;
constexpr int32_t kSpeedBytesPerMegabyte = 1024 * 1024;

constexpr uint32_t kMillisecondsPerSecond = 1000;
constexpr uint32_t kMillisecondsPerMinute = 60 * kMillisecondsPerSecond;
constexpr uint32_t kMillisecondsPerHour = 60 * kMillisecondsPerMinute;

// A row's texts are composed into 1024 characters. Even two doubles printed whole (at most
// 309 digits each) fit, so nothing that the formats below produce is ever cut.
constexpr size_t kTextBufferChars = 1024;

std::wstring PrintText(const wchar_t* format, ...) {
    wchar_t buffer[kTextBufferChars];
    va_list args;
    va_start(args, format);
    int length = std::vswprintf(buffer, kTextBufferChars, format, args);
    va_end(args);
    if (length < 0) {
        return std::wstring();
    }
    return std::wstring(buffer, std::min(static_cast<size_t>(length), kTextBufferChars - 1));
}

// D / T x 100 cut to a whole number. A total far below the received count would overflow an
// int, so the percentage stops at the int's limits instead.
int WholePercent(double received, double total) {
    double percent = received / total * 100;
    if (std::isnan(percent)) {
        return 0;
    }
    if (percent >= static_cast<double>(INT_MAX)) {
        return INT_MAX;
    }
    if (percent <= static_cast<double>(INT_MIN)) {
        return INT_MIN;
    }
    return static_cast<int>(percent);
}

// The part of a state text after its prefix, for each unit, by what is known of the total.
struct TransferForms {
    double bytesPerUnit;
    const wchar_t* noTotal;
    const wchar_t* zeroTotal;
    const wchar_t* withTotal;
};

constexpr TransferForms kByteForms = {
    1,
    L"%4.0fByte/ ？Byte( ？%%)",
    L"%4.0fByte/    0Byte( ？%%)",
    L"%4.0fByte/ %4.0fByte(%3d%%)",
};
constexpr TransferForms kKilobyteForms = {
    kBytesPerKilobyte,
    L"%4.0f KB / ？ KB ( ？%%)",
    L"%4.0f KB /    0 KB ( ？%%)",
    L"%4.0f KB / %4.0f KB (%3d%%)",
};
constexpr TransferForms kMegabyteForms = {
    kBytesPerMegabyte,
    L"%4.0f MB / ？ MB ( ？%%)",
    L"%4.0f MB /    0 MB ( ？%%)",
    L"%4.0f MB / %4.0f MB (%3d%%)",
};

const TransferForms& FormsFor(ByteUnit unit) {
    switch (unit) {
        case ByteUnit::kMegabyte:
            return kMegabyteForms;
        case ByteUnit::kKilobyte:
            return kKilobyteForms;
        case ByteUnit::kByte:
            break;
    }
    return kByteForms;
}

// The three state-text formatters differ only in their prefix; the prefix is joined outside
// the format so that it can never be read as a conversion.
std::wstring FormatTransferText(const wchar_t* prefix, double received, double total) {
    const TransferForms& forms = FormsFor(ByteUnitOf(received));
    double shownReceived = received / forms.bytesPerUnit;
    std::wstring text = prefix;
    if (total < 0) {
        text += PrintText(forms.noTotal, shownReceived);
    } else if (total == 0) {
        text += PrintText(forms.zeroTotal, shownReceived);
    } else {
        text += PrintText(forms.withTotal, shownReceived, total / forms.bytesPerUnit,
                          WholePercent(received, total));
    }
    return text;
}

}  // namespace

ByteUnit ByteUnitOf(double bytes) {
    if (std::trunc(bytes / 10240000) != 0) {
        return ByteUnit::kMegabyte;
    }
    if (std::trunc(bytes / 10000) != 0) {
        return ByteUnit::kKilobyte;
    }
    return ByteUnit::kByte;
}

std::wstring FormatSpeedText(int32_t bytesPerSecond) {
    // Every int32_t is exact as a double, so the shared rule picks the same unit as whole
    // number division would.
    switch (ByteUnitOf(bytesPerSecond)) {
        case ByteUnit::kMegabyte:
            return PrintText(L"%4d MB /s", bytesPerSecond / kSpeedBytesPerMegabyte);
        case ByteUnit::kKilobyte:
            return PrintText(L"%4d KB /s", bytesPerSecond / kSpeedBytesPerKilobyte);
        case ByteUnit::kByte:
            break;
    }
    return PrintText(L"%4dByte/s", bytesPerSecond);
}

std::wstring FormatElapsedText(uint32_t milliseconds) {
    if (milliseconds == kNoElapsedTime) {
        return std::wstring();
    }
    unsigned hours = milliseconds / kMillisecondsPerHour;
    unsigned seconds = (milliseconds % kMillisecondsPerMinute) / kMillisecondsPerSecond;
    if (hours != 0) {
        unsigned minutes = (milliseconds % kMillisecondsPerHour) / kMillisecondsPerMinute;
        return PrintText(L"%02u:%02u:%02u", hours, minutes, seconds);
    }
    return PrintText(L"%02u : %02u", milliseconds / kMillisecondsPerMinute, seconds);
}

std::wstring FormatSizeText(double bytes) {
    if (bytes == kUnknownSize) {
        return L" ？ Byte";
    }
    switch (ByteUnitOf(bytes)) {
        case ByteUnit::kMegabyte:
            return PrintText(L"%4.0f MB ", bytes / kBytesPerMegabyte);
        case ByteUnit::kKilobyte:
            return PrintText(L"%4.0f KB ", bytes / kBytesPerKilobyte);
        case ByteUnit::kByte:
            break;
    }
    return PrintText(L"%4.0fByte", bytes);
}

std::wstring FormatProgressText(double received, double total) {
    return FormatTransferText(L"DL中：", received, total);
}

std::wstring FormatInterruptedText(double received, double total) {
    return FormatTransferText(L"DL中断：", received, total);
}

// A read that fails ends the transfer as an error whether or not the server gave a total, so
// this text has the no-total and zero-total forms of the other two as well.
std::wstring FormatLineErrorText(double received, double total) {
    return FormatTransferText(L"回線エラー：", received, total);
}

std::wstring FormatLoggedInterruptedText(double total) {
    wchar_t text[1024];
    if (!(total > 0)) {
        return L"DL中断：？？ KB / ？？ KB ( ？%)";
    }
    switch (ByteUnitOf(total)) {
        case ByteUnit::kMegabyte:
            swprintf(text, 1024, L"DL中断：？？ MB / %4.0f MB ( ？%%)", total / 1048576.0);
            break;
        case ByteUnit::kKilobyte:
            swprintf(text, 1024, L"DL中断：？？ KB / %4.0f KB ( ？%%)", total / 1024.0);
            break;
        case ByteUnit::kByte:
            swprintf(text, 1024, L"DL中断：？？Byte/ %4.0fByte( ？%%)", total);
            break;
    }
    return text;
}
