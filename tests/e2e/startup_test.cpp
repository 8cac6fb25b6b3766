// The built program under Wine: start, single instance, keys, real message boxes, closing.
#include "tests/e2e/command_walk_helpers.h"
#include "tests/e2e/program_driver.h"
#include "tests/e2e/run_helpers.h"
#include "tests/support/test_files.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <iostream>

namespace {

// The names of the files in folder that match a wildcard pattern.
std::vector<std::wstring> FilesMatching(const std::wstring& folder, const wchar_t* pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + pattern).c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            names.push_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return names;
}

std::string Utf16Be(std::wstring_view text) {
    std::string bytes = "\xFE\xFF";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c >> 8);
        bytes += static_cast<char>(c & 0xFF);
    }
    return bytes;
}

// A download list file of one URL, set in the program's settings, for a change of the list.
void SetDownloadList(ProgramDriver& program, const char* url) {
    std::wstring file = program.folder() + L"urls.txt";
    WriteBytes(file, url);
    program.WriteSetting(L"TOOLBAR", L"DL_LIST", file.c_str());
}

LRESULT RowCountOf(const ProgramDriver& program) {
    return SendMessageW(ListViewOf(program.window()), LVM_GETITEMCOUNT, 0, 0);
}

}  // namespace

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
    EXPECT_EQ(GetFileAttributesW(program.ListFile().c_str()), INVALID_FILE_ATTRIBUTES)
        << "the list file was written although the list is empty and unchanged";
    EXPECT_EQ(GetFileAttributesW(program.PerUserFile(L" Tb.txt").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the toolbar layout file was written although the layout is unchanged";
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

// A list file that the program cannot read is the user's list all the same: it is moved aside
// whole and the user is told where, before anything saves over it. One that cannot even be
// moved (another program holds it) is never saved over in that session, and said so once.
TEST(Program, AListFileItCannotReadIsKeptAsideOrNeverSavedOver) {
    {
        ProgramDriver program;
        const std::string unread = Utf16Be(
            L"0|スタンバイ||http://example.com/1\n0|スタンバイ||http://example.com/2\n"
            L"3|ダウンロード完了| 100Byte|http://example.com/3\n");
        ASSERT_TRUE(WriteBytes(program.ListFile(), unread));
        SetDownloadList(program, "http://example.com/new");
        ASSERT_TRUE(program.StartAndWaitForWindow());
        MessageBoxSeen box =
            program.WaitForMessageBox(L"エラー", GetProcessId(program.process()), 10000);
        ASSERT_NE(box.box, nullptr) << "the user was not told";
        std::vector<std::wstring> aside =
            FilesMatching(program.folder(), L"* Lv (読めなかったファイル *).txt");
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_NE(box.text.find(program.folder() + aside[0]), std::wstring::npos) << box.text;
        program.Answer(box, IDOK);

        program.PostCommand(IDM_ADD_DL_LIST);
        ASSERT_TRUE(WaitUntil(
            [&] {
                std::vector<std::wstring> rows = program.ReadList();
                return rows.size() == 1 && ParseRecord(rows[0]).url == L"http://example.com/new";
            },
            10000))
            << "the added row was not saved";
        PostMessageW(program.window(), WM_CLOSE, 0, 0);
        EXPECT_EQ(program.WaitForExit(program.process(), 10000), 0u);
        EXPECT_EQ(ReadBytes(program.folder() + aside[0]), unread);
    }
    {
        ProgramDriver program;
        program.WriteList({L"0|スタンバイ||http://example.com/1", L"4|DL中断| 1 KB |http://x/2"});
        const std::string kept = ReadBytes(program.ListFile());
        HANDLE held = CreateFileW(program.ListFile().c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        SetDownloadList(program, "http://example.com/new");
        ASSERT_TRUE(program.StartAndWaitForWindow());
        DWORD processId = GetProcessId(program.process());
        MessageBoxSeen box = program.WaitForMessageBox(L"エラー", processId, 10000);
        ASSERT_NE(box.box, nullptr) << "the user was not told";
        EXPECT_NE(box.text.find(program.ListFile()), std::wstring::npos) << box.text;
        program.Answer(box, IDOK);
        program.PostCommand(IDM_ADD_DL_LIST);
        ASSERT_TRUE(WaitUntil([&] { return RowCountOf(program) == 1; }, 10000));
        program.PostCommand(IDM_ALL_TO_DONE);
        EXPECT_EQ(program.WaitForMessageBox(L"エラー", processId, 1500).box, nullptr)
            << "told more than once";
        PostMessageW(program.window(), WM_CLOSE, 0, 0);
        EXPECT_EQ(program.WaitForExit(program.process(), 10000), 0u);
        CloseHandle(held);
        EXPECT_EQ(ReadBytes(program.ListFile()), kept);
        EXPECT_TRUE(FilesMatching(program.folder(), L"*読めなかったファイル*").empty());
    }
}

// A connection count beyond what the options dialog offers is held to its maximum: the
// program opens its window (it used to end at once) and the dialog shows the maximum.
TEST(Program, AConnectionCountBeyondTheMaximumIsHeldToIt) {
    ProgramDriver program;
    program.WriteSetting(L"OPTION", L"CONNECT_NUM", L"20000000");
    ASSERT_TRUE(program.StartAndWaitForWindow()) << "no window";
    DWORD processId = GetProcessId(program.process());
    program.PostCommand(IDM_OPTIONS);
    HWND dialog = WaitForTopWindow(
        [&](const TopWindow& top) {
            return top.processId == processId && top.className == L"#32770" &&
                   top.title == L"オプション";
        },
        5000);
    ASSERT_NE(dialog, nullptr) << "the options dialog did not open";
    EXPECT_EQ(SendWithin(GetDlgItem(dialog, 2004), UDM_GETPOS32, 0, 0), 32767);
    ASSERT_TRUE(AnswerDialog(dialog, IDCANCEL));
    PostMessageW(program.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(program.process(), 10000), 0u);
}
