#include "tests/e2e/command_walk_helpers.h"

#include "base/text_file.h"
#include "base/window_ids.h"
#include "tests/e2e/run_helpers.h"

#include <commctrl.h>

#include <cstddef>

RemoteBuffer::RemoteBuffer(HWND windowOfProcess, size_t size) {
    DWORD processId = 0;
    GetWindowThreadProcessId(windowOfProcess, &processId);
    process_ =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process_ != nullptr) {
        address_ =
            VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
}

RemoteBuffer::~RemoteBuffer() {
    if (address_ != nullptr) {
        VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    if (process_ != nullptr) {
        CloseHandle(process_);
    }
}

bool RemoteBuffer::Read(void* out, size_t size) const {
    return address_ != nullptr && ReadProcessMemory(process_, address_, out, size, nullptr);
}

bool RemoteBuffer::Write(const void* in, size_t size) const {
    return address_ != nullptr && WriteProcessMemory(process_, address_, in, size, nullptr);
}

std::wstring ListCellText(HWND listView, int row, int column) {
    // The item and the text it points to, side by side in the list view's process.
    struct Remote {
        LVITEMW item;
        wchar_t text[512];
    };
    RemoteBuffer remote(listView, sizeof(Remote));
    Remote local = {};
    local.item.iSubItem = column;
    local.item.cchTextMax = 512;
    local.item.pszText = reinterpret_cast<wchar_t*>(remote.address() + offsetof(Remote, text));
    if (!remote || !remote.Write(&local, sizeof local) ||
        SendWithin(listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), remote.address()) <= 0 ||
        !remote.Read(&local, sizeof local)) {
        return L"";
    }
    local.text[511] = L'\0';
    return local.text;
}

LRESULT SendWithin(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 1000, &result)) {
        return 0;
    }
    return static_cast<LRESULT>(result);
}

std::wstring ControlText(HWND control) {
    wchar_t text[1024] = L"";
    SendWithin(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

bool ToolbarHasButton(HWND toolbar, UINT command) {
    return toolbar != nullptr &&
           static_cast<int>(SendWithin(toolbar, TB_COMMANDTOINDEX, command, 0)) >= 0;
}

bool ClickToolbarButton(HWND toolbar, UINT command) {
    if (!ToolbarHasButton(toolbar, command)) {
        return false;
    }
    RemoteBuffer remote(toolbar, sizeof(RECT));
    RECT rect = {};
    if (!remote || !SendWithin(toolbar, TB_GETRECT, command, remote.address()) ||
        !remote.Read(&rect, sizeof rect)) {
        return false;
    }
    LPARAM centre = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    PostMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, centre);
    PostMessageW(toolbar, WM_LBUTTONUP, 0, centre);
    return true;
}

std::vector<UINT> ToolbarCommands(HWND toolbar) {
    std::vector<UINT> commands;
    int count = static_cast<int>(SendWithin(toolbar, TB_BUTTONCOUNT, 0, 0));
    RemoteBuffer remote(toolbar, sizeof(TBBUTTON));
    for (int index = 0; index < count && remote; ++index) {
        TBBUTTON button = {};
        if (SendWithin(toolbar, TB_GETBUTTON, index, remote.address()) &&
            remote.Read(&button, sizeof button) && !(button.fsStyle & BTNS_SEP)) {
            commands.push_back(static_cast<UINT>(button.idCommand));
        }
    }
    return commands;
}

void PressFunctionKey(HWND window, UINT virtualKey) {
    PostMessageW(window, WM_KEYDOWN, virtualKey, 1);
}

bool Settle(HWND mainWindow) {
    HWND list = GetDlgItem(mainWindow, kListViewId);
    const int column = 2;
    int wanted = SendWithin(list, LVM_GETCOLUMNWIDTH, column, 0) == 71 ? 72 : 71;
    PostMessageW(list, LVM_SETCOLUMNWIDTH, column, wanted);
    return WaitUntil([&] { return SendWithin(list, LVM_GETCOLUMNWIDTH, column, 0) == wanted; },
                     10000);
}

namespace {

BOOL CALLBACK CollectTopWindow(HWND window, LPARAM parameter) {
    auto* windows = reinterpret_cast<std::vector<TopWindow>*>(parameter);
    TopWindow top;
    top.window = window;
    GetWindowThreadProcessId(window, &top.processId);
    wchar_t text[256] = L"";
    GetClassNameW(window, text, 256);
    top.className = text;
    text[0] = L'\0';
    GetWindowTextW(window, text, 256);
    top.title = text;
    top.owner = GetWindow(window, GW_OWNER);
    top.visible = IsWindowVisible(window) != 0;
    windows->push_back(top);
    return TRUE;
}

}  // namespace

std::vector<TopWindow> TopWindows() {
    std::vector<TopWindow> windows;
    EnumWindows(CollectTopWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND WaitForTopWindow(const std::function<bool(const TopWindow&)>& match, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (const TopWindow& top : TopWindows()) {
                if (top.visible && match(top)) {
                    found = top.window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

std::vector<TopWindow> DialogsOf(DWORD processId) {
    std::vector<TopWindow> dialogs;
    for (const TopWindow& top : TopWindows()) {
        if (top.visible && top.processId == processId && top.className == L"#32770") {
            dialogs.push_back(top);
        }
    }
    return dialogs;
}

bool AnswerDialog(HWND dialog, int buttonId) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, buttonId)));
    return WaitUntil([&] { return !IsWindow(dialog); }, 5000);
}

void CloseStartedProgram(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitUntil([&] { return !IsWindow(window); }, 5000)) {
        return;
    }
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (process != nullptr) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

std::vector<int> SelectedRows(HWND listView) {
    std::vector<int> rows;
    int count = static_cast<int>(SendWithin(listView, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        if (SendWithin(listView, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED) {
            rows.push_back(row);
        }
    }
    return rows;
}

std::optional<std::wstring> ReadIniValue(const std::wstring& file, const std::wstring& section,
                                         const std::wstring& key) {
    std::vector<TextLine> lines;
    if (!ReadTextFile(file, kListFilePieceChars, lines)) {
        return std::nullopt;
    }
    bool inSection = false;
    for (const TextLine& line : lines) {
        const std::wstring& text = line.text;
        if (!text.empty() && text.front() == L'[') {
            inSection = CompareStringOrdinal(text.c_str(), -1, (L"[" + section + L"]").c_str(), -1,
                                             TRUE) == CSTR_EQUAL;
        } else if (inSection) {
            size_t equals = text.find(L'=');
            if (equals != std::wstring::npos &&
                CompareStringOrdinal(text.c_str(), static_cast<int>(equals), key.c_str(), -1,
                                     TRUE) == CSTR_EQUAL) {
                return text.substr(equals + 1);
            }
        }
    }
    return std::nullopt;
}
