// A process killed at any instant while it replaces the list file or a URL file leaves the old
// file or the new one, never a cut one.
#include "tests/gui/main_window_fixture.h"

#include "app/main_window.h"
#include "app/settings.h"
#include "base/text_file.h"
#include "list/download_list.h"
#include "list/list_file.h"
#include "list/row_record.h"

#include <random>
#include <set>

namespace {

constexpr int kRows = 3000;
constexpr wchar_t kFolderVariable[] = L"VLMR_SAVE_LOOP_FOLDER";

std::vector<std::wstring> UrlFileLines(int version) {
    std::vector<std::wstring> lines;
    for (int index = 0; index < kRows; ++index) {
        lines.push_back(L"http://example.com/v" + std::to_wstring(version) + L"/" +
                        std::to_wstring(index));
    }
    return lines;
}

// The whole list file must hold every row, all from one save: each row's total size is the
// number of the save that wrote it.
void ExpectWholeFiles(const std::wstring& folder) {
    std::vector<TextLine> lines;
    ASSERT_TRUE(ReadTextFile(ListFilePath(), kListFilePieceChars, lines));
    ASSERT_EQ(lines.size(), static_cast<size_t>(kRows)) << "the list file was cut";
    std::set<double> versions;
    for (const TextLine& line : lines) {
        ListLine parsed;
        ASSERT_TRUE(ParseListLine(line.text, parsed)) << "a cut line";
        versions.insert(ReadTotalSizeFromRecord(line.text + L"\n"));
    }
    EXPECT_EQ(versions.size(), 1u) << "lines of two saves mixed";

    ASSERT_TRUE(ReadTextFile(folder + L"urls.txt", kUrlFilePieceChars, lines));
    ASSERT_EQ(lines.size(), static_cast<size_t>(kRows)) << "the URL file was cut";
    std::set<std::wstring> prefixes;
    for (const TextLine& line : lines) {
        prefixes.insert(line.text.substr(0, line.text.rfind(L'/')));
    }
    EXPECT_EQ(prefixes.size(), 1u);
}

}  // namespace

// Started by the test below as a child process; saves again and again until it is killed.
TEST_F(MainWindowTest, SaveLoopChildRunsOnlyWhenStartedByTheKillTest) {
    wchar_t folder[MAX_PATH];
    if (GetEnvironmentVariableW(kFolderVariable, folder, MAX_PATH) == 0) {
        GTEST_SKIP() << "only runs inside the kill test";
    }
    SetProgramFolder(folder);
    CreateWindowUnderTest();
    if (RowCount() == 0) {
        ListRedrawPause pause;
        for (int row = 0; row < kRows; ++row) {
            AddEntry(L"http://example.com/file" + std::to_wstring(row));
        }
    }
    for (int version = 1;; ++version) {
        for (int row = 0; row < kRows; ++row) {
            StoreTotalSize(row, version);
        }
        SaveListFile();
        FlushListFile();
        RewriteTextFileUtf16(std::wstring(folder) + L"urls.txt", UrlFileLines(version % 7), true);
    }
}

TEST_F(MainWindowTest, KilledWhileSavingLeavesTheOldOrTheNewFile) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = std::wstring(L"\"") + self +
                               L"\" --gtest_filter=MainWindowTest."
                               L"SaveLoopChildRunsOnlyWhenStartedByTheKillTest";
    std::mt19937 random(12345);
    SetEnvironmentVariableW(kFolderVariable, folder_.c_str());
    for (int round = 0; round < 12; ++round) {
        DeleteFileW((folder_ + L"urls.txt").c_str());
        STARTUPINFOW startup = {sizeof startup};
        PROCESS_INFORMATION child = {};
        ASSERT_TRUE(CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE,
                                   CREATE_NO_WINDOW, nullptr, nullptr, &startup, &child));
        // Wait until it has written both files at least once, then kill it at a random moment.
        ASSERT_TRUE(PumpUntil([&] { return FileExists(folder_ + L"urls.txt"); }, 20000));
        Sleep(std::uniform_int_distribution<DWORD>(10, 400)(random));
        TerminateProcess(child.hProcess, 1);
        WaitForSingleObject(child.hProcess, 10000);
        CloseHandle(child.hProcess);
        CloseHandle(child.hThread);
        ExpectWholeFiles(folder_);
        if (HasFatalFailure()) {
            break;
        }
    }
    SetEnvironmentVariableW(kFolderVariable, nullptr);
}
