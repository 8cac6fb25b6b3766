#include "bars/main_toolbar.h"

#include "base/display_scale.h"
#include "base/program_files.h"
#include "base/text_file.h"
#include "base/window_ids.h"
#include "res/resource.h"

#include <cwchar>

namespace {

constexpr TBBUTTON CommandButton(int image, int command) {
    return {image, command, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0};
}

}  // namespace

const TBBUTTON kButtonCatalogue[kCatalogueSize] = {
    CommandButton(0, IDM_DOWNLOAD),
    CommandButton(1, IDM_STOP),
    CommandButton(2, IDM_DOWNLOAD_SELECTED),
    CommandButton(3, IDM_SELECT_STANDBY),
    CommandButton(4, IDM_INVERT_STANDBY),
    CommandButton(5, IDM_SELECT_DONE),
    CommandButton(6, IDM_INVERT_DONE),
    CommandButton(7, IDM_SELECT_INTERRUPTED),
    CommandButton(8, IDM_INVERT_INTERRUPTED),
    CommandButton(9, IDM_SELECT_ERROR),
    CommandButton(10, IDM_INVERT_ERROR),
    CommandButton(11, IDM_SELECT_ALL),
    CommandButton(12, IDM_INVERT_ALL),
    CommandButton(13, IDM_SELECTED_TO_STANDBY),
    CommandButton(14, IDM_ALL_TO_STANDBY),
    CommandButton(15, IDM_SELECTED_TO_DONE),
    CommandButton(16, IDM_ALL_TO_DONE),
    CommandButton(17, IDM_SELECTED_TO_INTERRUPTED),
    CommandButton(18, IDM_ALL_TO_INTERRUPTED),
    CommandButton(19, IDM_SELECTED_TO_ERROR),
    CommandButton(20, IDM_ALL_TO_ERROR),
    CommandButton(21, IDM_DELETE_SELECTED),
    CommandButton(22, IDM_DELETE_ALL),
    CommandButton(23, IDM_ADD_TO_DL_LIST),
    CommandButton(24, IDM_ADD_TO_DL_LOG),
    CommandButton(25, IDM_ADD_TO_CANCEL_LOG),
    CommandButton(26, IDM_ADD_TO_ERR_LOG),
    CommandButton(27, IDM_REMOVE_FROM_DL_LIST),
    CommandButton(28, IDM_REMOVE_FROM_DL_LOG),
    CommandButton(29, IDM_REMOVE_FROM_CANCEL_LOG),
    CommandButton(30, IDM_REMOVE_FROM_ERR_LOG),
    CommandButton(31, IDM_OPEN_PROGRAM_DIR),
    CommandButton(32, IDM_OPTIONS),
    CommandButton(33, IDM_README),
    CommandButton(34, IDM_ABOUT),
    CommandButton(kSeparatorMarkerImage, 0),
};

std::vector<TBBUTTON> gMainToolbarLayout = DefaultToolbarLayout();

TBBUTTON SeparatorButton() {
    return {0, 0, TBSTATE_ENABLED, BTNS_SEP, {}, 0, 0};
}

std::vector<TBBUTTON> ParseToolbarLayout(const std::wstring& line) {
    std::vector<TBBUTTON> layout;
    bool taken[kSeparatorMarkerImage] = {};
    size_t start = 0;
    while (layout.size() < kMaxLayoutButtons) {
        size_t comma = line.find(L',', start);
        std::wstring field = line.substr(start, comma - start);
        // Like the runtime's conversion: white space, a sign, digits; no digits give 0.
        long value = std::wcstol(field.c_str(), nullptr, 10);
        if (value < 0) {
            layout.push_back(SeparatorButton());
        } else if (value < kSeparatorMarkerImage && !taken[value]) {
            taken[value] = true;
            TBBUTTON button = kButtonCatalogue[value];
            if (value == kStopButtonImage) {
                button.fsState = 0;
            }
            layout.push_back(button);
        }
        if (comma == std::wstring::npos) {
            break;
        }
        start = comma + 1;
    }
    return layout;
}

std::vector<TBBUTTON> DefaultToolbarLayout() {
    return ParseToolbarLayout(
        L"0,1,2,-1,3,4,5,6,7,8,9,10,-1,11,12,-1,13,14,15,16,17,18,19,20,21,22,-1,"
        L"23,24,25,26,-1,27,28,29,30,-1,31,-1,32,-1,33,34");
}

std::wstring FormatToolbarLayout(const std::vector<TBBUTTON>& layout) {
    std::wstring line;
    for (const TBBUTTON& button : layout) {
        if (!line.empty()) {
            line += L',';
        }
        line += std::to_wstring((button.fsStyle & BTNS_SEP) ? -1 : button.iBitmap);
    }
    return line;
}

void LoadToolbarLayout() {
    gMainToolbarLayout = DefaultToolbarLayout();
    std::vector<TextLine> lines;
    if (!ReadTextFile(LayoutFilePath(), kUrlFilePieceChars, lines)) {
        return;
    }
    // A file with nothing after its mark is a toolbar without buttons.
    gMainToolbarLayout =
        lines.empty() ? std::vector<TBBUTTON>() : ParseToolbarLayout(lines.front().text);
}

void SaveToolbarLayout(HWND toolbar) {
    size_t count = SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0);
    std::vector<TBBUTTON> layout;
    for (size_t i = 0; i < count && i < kMaxLayoutButtons; ++i) {
        TBBUTTON button = {};
        SendMessageW(toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
        if (button.iBitmap == kStopButtonImage) {
            button.fsState = 0;
        } else if (button.iBitmap == kSeparatorMarkerImage) {
            button = SeparatorButton();
        }
        layout.push_back(button);
    }
    gMainToolbarLayout = layout;
    RewriteTextFileUtf16(LayoutFilePath(), {FormatToolbarLayout(layout)}, false);
}

HWND CreateMainToolbar(HWND mainWindow, HBITMAP images, bool visible) {
    // Sized by the window layout to the rows its buttons wrap into.
    DWORD style = WS_CHILD | TBSTYLE_TOOLTIPS | TBSTYLE_WRAPABLE | CCS_NORESIZE;
    if (visible) {
        style |= WS_VISIBLE;
    }
    return CreateToolbarEx(mainWindow, style, kMainToolbarId, kCatalogueSize, nullptr,
                           reinterpret_cast<UINT_PTR>(images), gMainToolbarLayout.data(),
                           static_cast<int>(gMainToolbarLayout.size()), 0, 0, ToolbarImageSize(),
                           ToolbarImageSize(), sizeof(TBBUTTON));
}
