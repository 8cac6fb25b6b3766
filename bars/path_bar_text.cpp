#include "bars/path_bar_text.h"

#include "app/window_ids.h"

std::wstring ReadPathBarText(HWND mainWindow, int barId) {
    wchar_t buffer[1024] = L"";
    HWND bar = GetDlgItem(mainWindow, barId);
    if (bar != nullptr) {
        GetDlgItemTextW(bar, kPathBarEditBase + barId, buffer, 1024);
    }
    return buffer;
}
