#include "base/path_bar_text.h"

#include "base/window_ids.h"

std::wstring ReadPathBarText(HWND mainWindow, int barId) {
    wchar_t buffer[1024] = L"";
    HWND bar = GetDlgItem(mainWindow, barId);
    if (bar != nullptr) {
        GetDlgItemTextW(bar, kPathBarEditBase + barId, buffer, 1024);
    }
    return buffer;
}

std::wstring ReadWholePathBarText(HWND mainWindow, int barId) {
    HWND field = GetDlgItem(GetDlgItem(mainWindow, barId), kPathBarEditBase + barId);
    if (field == nullptr) {
        return std::wstring();
    }
    // The length may only grow between the two calls if the user types in between: then the
    // text read is simply the one of the first moment, cut to that length.
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    text.resize(GetWindowTextW(field, text.data(), static_cast<int>(text.size())));
    return text;
}
