// The command table: which ids exist, what a run refuses, and the commands built so far.
#include "tests/gui/main_window_fixture.h"

#include "app/commands.h"
#include "app/settings.h"
#include "base/window_ids.h"
#include "engine/run_state.h"
#include "res/resource.h"

#include <new>
#include <set>

// The test executable's own allocator, so that a test can make one allocation fail where the
// program would meet a full memory.
namespace {
thread_local bool tFailNextAllocation = false;
}  // namespace

void* operator new(size_t bytes) {
    if (tFailNextAllocation) {
        tFailNextAllocation = false;
        throw std::bad_alloc();
    }
    if (void* memory = HeapAlloc(GetProcessHeap(), 0, bytes != 0 ? bytes : 1)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    if (memory != nullptr) {
        HeapFree(GetProcessHeap(), 0, memory);
    }
}

void operator delete(void* memory, size_t) noexcept {
    operator delete(memory);
}

namespace {

const std::set<UINT> kRefusedDuringRun = {1000, 1001, 1002, 1003, 1004, 1007,
                                          1019, 1030, 1031, 1062, 1063};

}  // namespace

TEST(CommandTable, EveryIdHasItsRowAndNoOtherIdDoes) {
    for (UINT id = 990; id <= 2100; ++id) {
        bool inTable = (id >= IDM_FIRST && id <= IDM_LAST) || id == IDM_STOP;
        const CommandRow* row = FindCommand(id);
        ASSERT_EQ(row != nullptr, inTable) << id;
        if (row != nullptr) {
            EXPECT_EQ(row->id, id);
        }
    }
}

TEST(CommandTable, ElevenIdsAreRefusedDuringARunAndOnlyTheDownloadCommandStops) {
    std::set<UINT> refused;
    std::set<UINT> stops;
    for (UINT id = IDM_FIRST; id <= IDM_STOP; ++id) {
        const CommandRow* row = FindCommand(id);
        if (row == nullptr) {
            continue;
        }
        if (row->duringRun == DuringRun::kRefused) {
            refused.insert(id);
        }
        if (row->duringRun == DuringRun::kStops) {
            stops.insert(id);
        }
    }
    EXPECT_EQ(refused, kRefusedDuringRun);
    EXPECT_EQ(stops, std::set<UINT>{IDM_DOWNLOAD});
}

TEST_F(MainWindowTest, RefusedCommandsDoNothingDuringARunWhateverTheirSource) {
    CreateWindowUnderTest();
    SetRunActive(true);
    for (UINT id : kRefusedDuringRun) {
        SendCommand(id);
        // The notification code in the high word does not matter.
        SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, 1), 0);
    }
    for (UINT key : {VK_F2, VK_F3, VK_F4, VK_F6, VK_F7}) {
        PressKey(key);
    }
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(shellCalls_.empty());
    EXPECT_FALSE(gRunStop.IsSet());
    EXPECT_TRUE(IsWindow(window_));
}

TEST_F(MainWindowTest, DownloadKeyStopsARunAndStopCommandWorksAtAnyTime) {
    CreateWindowUnderTest();
    SendCommand(IDM_STOP);  // idle: only the flag
    EXPECT_TRUE(gRunStop.IsSet());
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(IsRunActive() == false);

    gRunStop.Reset();
    SetRunActive(true);
    PressKey(VK_F5);
    EXPECT_TRUE(gRunStop.IsSet());

    gRunStop.Reset();
    SendCommand(IDM_STOP);
    EXPECT_TRUE(gRunStop.IsSet());
}

TEST_F(MainWindowTest, EditCommandsOpenTheBarsFileOrSayThePathIsWrong) {
    CreateWindowUnderTest();
    // No paths at all: each key gives the notice.
    for (UINT key : {VK_F9, VK_F10, VK_F11, VK_F12}) {
        PressKey(key);
    }
    ASSERT_EQ(messages_.size(), 4u);
    for (const UserMessage& message : messages_) {
        EXPECT_EQ(message.text, L"ファイルのパスが不正です");
        EXPECT_EQ(message.caption, L"確認");
        EXPECT_EQ(message.type, static_cast<UINT>(MB_OK));
    }
    EXPECT_TRUE(shellCalls_.empty());

    // Existing files open in their program, also during a run.
    messages_.clear();
    const int bars[] = {kDownloadListBarId, kDownloadLogBarId, kCancelLogBarId, kErrorLogBarId};
    for (int bar : bars) {
        std::wstring file = folder_ + L"file" + std::to_wstring(bar) + L".txt";
        CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        SetBarText(bar, file);
    }
    SetRunActive(true);
    for (UINT key : {VK_F9, VK_F10, VK_F11, VK_F12}) {
        PressKey(key);
    }
    EXPECT_TRUE(messages_.empty());
    ASSERT_EQ(shellCalls_.size(), 4u);
    for (size_t index = 0; index < 4; ++index) {
        EXPECT_EQ(shellCalls_[index].verb, L"open");
        EXPECT_EQ(shellCalls_[index].target,
                  folder_ + L"file" + std::to_wstring(bars[index]) + L".txt");
    }
}

TEST_F(MainWindowTest, OpenFolderCommandsExploreTheFilesFolderOrSayItIsWrong) {
    CreateWindowUnderTest();
    SetBarText(kDownloadListBarId, folder_ + L"missing.txt");  // the folder exists
    SetBarText(kDownloadLogBarId, folder_ + L"nowhere\\log.txt");
    SendCommand(IDM_OPEN_DL_LIST_DIR);
    SendCommand(IDM_OPEN_DL_LOG_DIR);
    SendCommand(IDM_OPEN_CANCEL_LOG_DIR);  // empty path
    ASSERT_EQ(shellCalls_.size(), 1u);
    EXPECT_EQ(shellCalls_[0].verb, L"explore");
    EXPECT_EQ(shellCalls_[0].target, folder_);
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[0].text, L"フォルダのパスが不正です");
    EXPECT_EQ(messages_[1].text, L"フォルダのパスが不正です");

    // A command that runs out of memory is told so, and the window goes on working.
    messages_.clear();
    tFailNextAllocation = true;
    SendMessageW(window_, WM_COMMAND, IDM_OPEN_DL_LIST_DIR, 0);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, L"メモリの確保に失敗しました");
    EXPECT_EQ(messages_[0].owner, window_);
    SendCommand(IDM_OPEN_DL_LIST_DIR);
    EXPECT_EQ(shellCalls_.size(), 2u);
}

TEST_F(MainWindowTest, ReadmeAndProgramFolderComeFromTheProgramsFolder) {
    CreateWindowUnderTest();
    PressKey(VK_F1);  // the Readme need not exist: the shell reports that itself
    SendCommand(IDM_OPEN_PROGRAM_DIR);
    ASSERT_EQ(shellCalls_.size(), 2u);
    EXPECT_EQ(shellCalls_[0].verb, L"open");
    EXPECT_EQ(shellCalls_[0].target, folder_ + L"Readme.txt");
    EXPECT_EQ(shellCalls_[1].verb, L"explore");
    EXPECT_EQ(shellCalls_[1].target, folder_);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(MainWindowTest, ExitCommandClosesTheWindowLikeTheCloseBox) {
    WriteSetting(L"OPTION", L"ASK_EXIT", L"1");
    CreateWindowUnderTest();
    answers_ = {IDYES};
    SendCommand(IDM_EXIT);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window_); }, 2000));
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, L"プログラムを終了しますか？");
}
