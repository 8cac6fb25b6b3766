// A path field's value is on disk the moment it is typed, so a killed program keeps it.
#include "tests/e2e/program_driver.h"

#include <gtest/gtest.h>

TEST(Program, TypedSaveFolderSurvivesAKillRightAfterTheKeystroke) {
    ProgramDriver program;
    program.WriteSetting(L"TOOLBAR", L"DL_DIR", L"C:\\Down");
    ASSERT_TRUE(program.StartAndWaitForWindow());
    HWND field = GetDlgItem(GetDlgItem(program.window(), 6), 3006);
    ASSERT_NE(field, nullptr);
    SendMessageW(field, EM_SETSEL, 7, 7);
    // Sent, not posted: when it returns the program has handled the keystroke completely.
    SendMessageW(field, WM_CHAR, L's', 1);
    TerminateProcess(program.process(), 9);
    program.WaitForExit(program.process(), 10000);

    wchar_t value[64] = L"";
    GetPrivateProfileStringW(L"TOOLBAR", L"DL_DIR", L"", value, 64, program.SettingsFile().c_str());
    EXPECT_STREQ(value, L"C:\\Downs");
}
