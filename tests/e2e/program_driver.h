// Drives the built program as a separate process: a fresh folder with a copy of the .exe,
// start and stop, its main window, and its real message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct MessageBoxSeen {
    HWND box = nullptr;
    std::wstring text;
};

class ProgramDriver {
public:
    ProgramDriver();
    ~ProgramDriver();
    ProgramDriver(const ProgramDriver&) = delete;
    ProgramDriver& operator=(const ProgramDriver&) = delete;

    const std::wstring& folder() const { return folder_; }
    // "<folder><user> Velmora Downloader<suffix>", as the program names its own files.
    std::wstring PerUserFile(const wchar_t* suffix) const;
    std::wstring SettingsFile() const;
    std::wstring ListFile() const;
    void WriteSetting(const wchar_t* section, const wchar_t* key, const wchar_t* value);
    // A list file of the given record lines ("state|text|size|URL[|total]").
    void WriteList(const std::vector<std::wstring>& records) const;
    // The records of the list file as the program last saved them.
    std::vector<std::wstring> ReadList() const;

    // Starts one more copy of the program from the folder.
    PROCESS_INFORMATION Start() const;
    // Starts the program and waits for its main window; false on time-out.
    bool StartAndWaitForWindow();
    // Milliseconds from process start until its message loop first waited for input.
    DWORD startupMs() const { return startupMs_; }

    HWND window() const { return window_; }
    HANDLE process() const { return process_.hProcess; }
    bool Running() const;
    // Ends the program at once, as a crash or a power cut would; it can be started again.
    void Kill();
    // Waits for the process to end; returns its exit code, or STILL_ACTIVE on time-out.
    DWORD WaitForExit(HANDLE process, DWORD timeoutMs) const;

    // Waits for a message box with this caption shown by the given process.
    MessageBoxSeen WaitForMessageBox(const wchar_t* caption, DWORD processId,
                                     DWORD timeoutMs) const;
    void Answer(const MessageBoxSeen& box, int buttonId) const;

    // Posts a command to the main window, as a menu item or key would.
    void PostCommand(UINT id) const;
    // Waits until the main window's title reads title; false on time-out.
    bool WaitForTitle(const wchar_t* title, DWORD timeoutMs) const;

private:
    std::wstring folder_;
    std::wstring exe_;
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
    DWORD startupMs_ = 0;
};

// The main window of class VLMR_DL_MAIN that belongs to processId, or null.
HWND FindMainWindowOf(DWORD processId);
