// The built program under Wine: start, single instance, keys, real message boxes, closing.
#include "tests/e2e/program_driver.h"

#include <gtest/gtest.h>

#include <iostream>

TEST(Program, StartsWithItsWindowAndWritesNothingUntilASettingChanges) {
    ProgramDriver program;
    ASSERT_TRUE(program.StartAndWaitForWindow()) << "no VLMR_DL_MAIN window appeared";
    std::cout << "start-up to first idle (window painted): " << program.startupMs() << " ms\n";
    RecordProperty("startup_ms", static_cast<int>(program.startupMs()));

    wchar_t title[64];
    GetWindowTextW(program.window(), title, 64);
    EXPECT_STREQ(title, L"Velmora Downloader");
    EXPECT_NE(GetMenu(program.window()), nullptr);

    PostMessageW(program.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(program.process(), 10000), 0u);
    EXPECT_EQ(GetFileAttributesW(program.SettingsFile().c_str()), INVALID_FILE_ATTRIBUTES)
        << "the settings file was written although nothing changed";
}

TEST(Program, SecondStartSaysItIsAlreadyRunningAndLeavesTheFirstAlone) {
    ProgramDriver program;
    ASSERT_TRUE(program.StartAndWaitForWindow());

    PROCESS_INFORMATION second = program.Start();
    MessageBoxSeen box = program.WaitForMessageBox(L"確認", second.dwProcessId, 10000);
    ASSERT_NE(box.box, nullptr) << "the second copy showed no message";
    EXPECT_EQ(box.text, L"既に起動しています");
    program.Answer(box, IDOK);
    EXPECT_EQ(program.WaitForExit(second.hProcess, 10000), 0u);
    CloseHandle(second.hProcess);
    CloseHandle(second.hThread);

    EXPECT_TRUE(program.Running());
    EXPECT_TRUE(IsWindow(program.window()));
    PostMessageW(program.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(program.process(), 10000), 0u);
}

TEST(Program, FunctionKeyReachesItsCommandAndItsMessageIsAnswered) {
    ProgramDriver program;
    ASSERT_TRUE(program.StartAndWaitForWindow());
    // F9 edits the download list file; no path is set, so the program says so.
    PostMessageW(program.window(), WM_KEYDOWN, VK_F9, 1);
    MessageBoxSeen box = program.WaitForMessageBox(L"確認", GetProcessId(program.process()), 10000);
    ASSERT_NE(box.box, nullptr);
    EXPECT_EQ(box.text, L"ファイルのパスが不正です");
    program.Answer(box, IDOK);
    PostMessageW(program.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(program.process(), 10000), 0u);
}

TEST(Program, ExitQuestionNoKeepsItRunningYesEndsItAndTheSettingStays) {
    ProgramDriver program;
    program.WriteSetting(L"OPTION", L"ASK_EXIT", L"1");
    ASSERT_TRUE(program.StartAndWaitForWindow());
    DWORD processId = GetProcessId(program.process());

    PostMessageW(program.window(), WM_CLOSE, 0, 0);
    MessageBoxSeen box = program.WaitForMessageBox(L"確認", processId, 10000);
    ASSERT_NE(box.box, nullptr);
    EXPECT_EQ(box.text, L"プログラムを終了しますか？");
    program.Answer(box, IDNO);
    EXPECT_EQ(program.WaitForExit(program.process(), 1000), static_cast<DWORD>(STILL_ACTIVE));

    PostMessageW(program.window(), WM_CLOSE, 0, 0);
    box = program.WaitForMessageBox(L"確認", processId, 10000);
    ASSERT_NE(box.box, nullptr);
    program.Answer(box, IDYES);
    EXPECT_EQ(program.WaitForExit(program.process(), 10000), 0u);

    wchar_t value[16];
    GetPrivateProfileStringW(L"OPTION", L"ASK_EXIT", L"", value, 16,
                             program.SettingsFile().c_str());
    EXPECT_STREQ(value, L"1");
}
