#include "tests/gui/main_window_fixture.h"

#include "app/main_window.h"
#include "app/settings.h"
#include "engine/run_state.h"
#include "list/download_list.h"

#include <shlwapi.h>

#include <array>

void MainWindowTest::SetUp() {
    folder_ = MakeFreshFolder(L"vlmr_gui_");
    SetProgramFolder(folder_);
    SetMessageResponder([this](const UserMessage& message) {
        messages_.push_back(message);
        if (!answers_.empty()) {
            int answer = answers_.front();
            answers_.pop_front();
            return answer;
        }
        return (message.type & MB_YESNO) ? IDNO : IDOK;
    });
    SetShellObserver([this](const ShellCall& call) { shellCalls_.push_back(call); });
    accelerators_ = LoadAcceleratorsW(GetModuleHandleW(nullptr), L"VLMR_DL_ACC");
}

void MainWindowTest::TearDown() {
    if (window_ != nullptr && IsWindow(window_)) {
        // Whatever the test did to the rows, the kept counts per state are what a count finds.
        std::array<int, kEntryStateCount> counted{};
        for (int row = 0; row < RowCount(); ++row) {
            int state = RowState(row);
            if (state >= 0 && state < kEntryStateCount) {
                ++counted[state];
            }
        }
        EXPECT_EQ(RowStateCounts(), counted);
        SetRunActive(false);
        DestroyWindow(window_);
    }
    PumpPending();
    gRunStop.Reset();
    gPreparingFlag = 0;
    gSelectedRunFlag = 0;
    SetMessageResponder(nullptr);
    SetShellObserver(nullptr);
    SetProgramFolder(L"");
    RemoveFolder(folder_);
}

void MainWindowTest::WriteSetting(const wchar_t* section, const wchar_t* key,
                                  const wchar_t* value) {
    ASSERT_TRUE(WritePrivateProfileStringW(section, key, value, SettingsFile().c_str()));
}

void MainWindowTest::CreateWindowUnderTest() {
    LoadSettings();
    window_ = StartMainWindow(GetModuleHandleW(nullptr));
    ASSERT_NE(window_, nullptr);
    PumpPending();
}

bool MainWindowTest::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        PumpPending();
        if (done()) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void MainWindowTest::PumpPending() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            continue;
        }
        DispatchMainWindowMessage(window_, accelerators_, message);
    }
}

void MainWindowTest::SendCommand(UINT id) {
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    PumpPending();
}

void MainWindowTest::PressKey(UINT virtualKey) {
    PostMessageW(window_, WM_KEYDOWN, virtualKey, 1);
    PumpPending();
}

void MainWindowTest::SetBarText(int barId, const std::wstring& text) {
    SetDlgItemTextW(GetDlgItem(window_, barId), 3000 + barId, text.c_str());
}

std::wstring MainWindowTest::SettingsFile() const {
    return SettingsFilePath();
}

std::wstring MainWindowTest::ReadSetting(const wchar_t* section, const wchar_t* key) const {
    wchar_t buffer[1024];
    GetPrivateProfileStringW(section, key, L"<missing>", buffer, 1024, SettingsFile().c_str());
    return buffer;
}
