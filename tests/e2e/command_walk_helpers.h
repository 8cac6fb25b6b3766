// Giving the running program its commands from outside its process, the ways a user does, and
// looking at what they did: windows it opened (its own dialogs, the programs the shell
// started), list view selections, settings values.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Memory in the address space of another process, for the control messages that take a
// pointer (the control reads and writes it in its own process).
class RemoteBuffer {
public:
    RemoteBuffer(HWND windowOfProcess, size_t size);
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    explicit operator bool() const { return address_ != nullptr; }
    LPARAM address() const { return reinterpret_cast<LPARAM>(address_); }
    bool Read(void* out, size_t size) const;
    bool Write(const void* in, size_t size) const;

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
};

// SendMessageW that gives up after a second, so a program that hangs fails the test instead
// of holding it. Returns 0 on time-out.
LRESULT SendWithin(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The text of a control in another process (GetWindowTextW does not ask another process's
// controls).
std::wstring ControlText(HWND control);

// Clicks a toolbar button as the mouse would: button down and up at the centre of the
// button's rectangle, posted to the toolbar, whose own click handling sends the command.
// False when the toolbar has no such button.
bool ClickToolbarButton(HWND toolbar, UINT command);
bool ToolbarHasButton(HWND toolbar, UINT command);
// The command ids of a toolbar's buttons, separators left out, in order.
std::vector<UINT> ToolbarCommands(HWND toolbar);

// A function key going down, posted to the window: the program's message loop offers it to
// its accelerator table.
void PressFunctionKey(HWND window, UINT virtualKey);

// Waits until the program's interface thread has handled every message posted to it before
// this call: posts a harmless change of a list column's width behind them and waits until the
// width reads back.
bool Settle(HWND mainWindow);

// Top-level windows of every process, as they are now.
struct TopWindow {
    HWND window = nullptr;
    DWORD processId = 0;
    std::wstring className;
    std::wstring title;
    HWND owner = nullptr;
    bool visible = false;
};
std::vector<TopWindow> TopWindows();
// The first visible top-level window that matches, waiting up to timeoutMs; null when none.
HWND WaitForTopWindow(const std::function<bool(const TopWindow&)>& match, DWORD timeoutMs);
// The visible dialogs (class #32770) a process shows at the moment.
std::vector<TopWindow> DialogsOf(DWORD processId);
// Posts WM_COMMAND with the button id to a dialog and waits until the dialog has gone.
bool AnswerDialog(HWND dialog, int buttonId);

// Closes a window of a program that the shell started for the program under test, and waits
// until it has gone; a program that does not close is ended by its process id.
void CloseStartedProgram(HWND window);

// The text of one cell of a list view in another process.
std::wstring ListCellText(HWND listView, int row, int column);

// The rows of a list view in another process that are selected.
std::vector<int> SelectedRows(HWND listView);

// A value of the settings file as the program wrote it (UTF-16LE or single-byte INI text);
// nothing when the section or key is missing.
std::optional<std::wstring> ReadIniValue(const std::wstring& file, const std::wstring& section,
                                         const std::wstring& key);
