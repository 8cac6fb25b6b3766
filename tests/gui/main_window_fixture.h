// Creates the real main window inside the test process, with a fresh program folder, the
// message boxes answered by a script and the shell calls recorded.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "base/message_box.h"
#include "base/shell.h"
#include "tests/support/test_files.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes "key=value" into the settings file before the window is created.
    void WriteSetting(const wchar_t* section, const wchar_t* key, const wchar_t* value);
    // Loads the settings and creates the window, as the program's start does.
    void CreateWindowUnderTest();

    // Runs the message loop (accelerators included) until done() or the time runs out.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
    void PumpPending();
    void SendCommand(UINT id);
    // Posts a function key press and lets the loop translate it.
    void PressKey(UINT virtualKey);

    // Types text into path bar barId's field (which writes its key, as typing does).
    void SetBarText(int barId, const std::wstring& text);

    std::wstring SettingsFile() const;
    std::wstring ReadSetting(const wchar_t* section, const wchar_t* key) const;

    std::wstring folder_;
    HWND window_ = nullptr;
    HACCEL accelerators_ = nullptr;
    std::vector<UserMessage> messages_;
    std::deque<int> answers_;  // answers for the next boxes; IDOK / IDNO when empty
    std::vector<ShellCall> shellCalls_;
};
