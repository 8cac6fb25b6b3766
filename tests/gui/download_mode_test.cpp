// Idle mode and download mode of the main window, and the end of a run with its notice.
#include "tests/gui/main_window_fixture.h"

#include "app/download_mode.h"
#include "app/main_window.h"
#include "app/run_window.h"
#include "app/settings.h"
#include "app/tray.h"
#include "app/window_layout.h"
#include "bars/main_toolbar.h"
#include "base/window_ids.h"
#include "engine/download_run.h"
#include "engine/host_pause.h"
#include "engine/run_claims.h"
#include "list/download_list.h"
#include "engine/run_state.h"
#include "res/resource.h"

#include <atomic>
#include <map>
#include <mutex>
#include <ostream>
#include <thread>
#include <utility>

namespace {

const wchar_t kRunningTitle[] = L"ダウンロード実行中 - Velmora Downloader";
const wchar_t kCompletion[] = L"ダウンロードが完了しました";

// Everything the two modes could touch: each command's menu state, each toolbar button's
// enabled state by bar, each path bar field's enabled state.
struct Controls {
    std::map<UINT, UINT> menuStates;
    std::map<std::pair<int, UINT>, bool> buttons;
    std::map<int, bool> fields;
    std::wstring downloadMenuText;

    bool operator==(const Controls&) const = default;
};

// Lets a failed comparison show which control differs.
void PrintTo(const Controls& controls, std::ostream* out) {
    *out << "menu";
    for (const auto& [id, state] : controls.menuStates) {
        *out << ' ' << id << '=' << state;
    }
    *out << "; buttons";
    for (const auto& [key, enabled] : controls.buttons) {
        *out << ' ' << key.first << '/' << key.second << '=' << enabled;
    }
    *out << "; fields";
    for (const auto& [barId, enabled] : controls.fields) {
        *out << ' ' << barId << '=' << enabled;
    }
    *out << "; 1005 text length " << controls.downloadMenuText.size();
}

Controls ReadControls(HWND window) {
    Controls controls;
    HMENU menu = GetMenu(window);
    for (UINT id = IDM_FIRST; id <= IDM_STOP; ++id) {
        UINT state = GetMenuState(menu, id, MF_BYCOMMAND);
        if (state != static_cast<UINT>(-1)) {
            controls.menuStates[id] = state & (MF_GRAYED | MF_DISABLED);
        }
    }
    for (int barId = kMainToolbarId; barId <= kRefererBarId; ++barId) {
        HWND bar = GetDlgItem(window, barId);
        int count = static_cast<int>(SendMessageW(bar, TB_BUTTONCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            TBBUTTON button = {};
            SendMessageW(bar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
            if (!(button.fsStyle & BTNS_SEP)) {
                controls.buttons[{barId, static_cast<UINT>(button.idCommand)}] =
                    SendMessageW(bar, TB_ISBUTTONENABLED, button.idCommand, 0) != 0;
            }
        }
        if (barId != kMainToolbarId) {
            controls.fields[barId] = IsWindowEnabled(GetDlgItem(bar, kPathBarEditBase + barId));
        }
    }
    wchar_t text[128] = L"";
    GetMenuStringW(menu, IDM_DOWNLOAD, text, 128, MF_BYCOMMAND);
    controls.downloadMenuText = text;
    return controls;
}

std::wstring Title(HWND window) {
    wchar_t title[128] = L"";
    GetWindowTextW(window, title, 128);
    return title;
}

HICON ClassIcon(HWND window) {
    return reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICON));
}

// What the user could see when the completion box came up. The download list field is the
// last control that idle mode gives back.
struct NoticeMoment {
    UserMessage message;
    bool runActive;
    int32_t cursor;
    bool listFieldEnabled;
};

class DownloadModeTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // The end of a run shows its box on the worker's thread.
        SetMessageResponder([this](const UserMessage& message) {
            HWND field = GetDlgItem(GetDlgItem(window_, kDownloadListBarId),
                                    kPathBarEditBase + kDownloadListBarId);
            NoticeMoment moment{message, IsRunActive(), gRunClaims.Cursor(),
                                IsWindowEnabled(field) != 0};
            std::lock_guard<std::mutex> guard(mutex_);
            notices_.push_back(std::move(moment));
            return IDOK;
        });
        SetTrayObserver([this](DWORD message, const NOTIFYICONDATAW& data) {
            std::lock_guard<std::mutex> guard(mutex_);
            trayCalls_.push_back({message, data});
            return TRUE;
        });
    }

    void TearDown() override {
        for (size_t number = 0; number < gConnectionSlots.size(); ++number) {
            EndWorker(number);
        }
        FinishEndOfRun();
        SetTrayObserver(nullptr);
        gRunClaims.End();
        MainWindowTest::TearDown();
    }

    // The state a run start leaves behind: download mode, the running title and busy icon,
    // and every slot busy.
    void EnterRun() {
        BeginDownloadMode(window_);
        SetWindowTextW(window_, kRunningTitle);
        SetClassLongPtrW(window_, GCLP_HICON, reinterpret_cast<LONG_PTR>(gBusyIcon));
        for (size_t number = 0; number < gConnectionSlots.size(); ++number) {
            ConnectionSlot& slot = gConnectionSlots[number];
            WriteSlotBusy(slot, 1);
            // The other workers' threads, as the end of the run waits for them: signalled when
            // the test ends the worker.
            if (number != 0) {
                slot.thread = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            }
        }
        // A run that has gone down seven finished rows.
        DeleteEveryRow();
        for (int row = 0; row < 7; ++row) {
            AddEntry(L"http://example.com/done" + std::to_wstring(row));
            SetRowState(row, kDone);
        }
        gConnectionSlots[0].hosts = &hosts_;
        ASSERT_TRUE(gRunClaims.Begin(RunScope::kAllEntries));
        ClaimedEntry entry;
        ASSERT_FALSE(gRunClaims.Next(gConnectionSlots[0], entry));
        ASSERT_EQ(gRunClaims.Cursor(), 7);
    }

    // A worker's last acts: its slot is no longer busy, and its thread ends.
    static void EndWorker(size_t number) {
        ConnectionSlot& slot = gConnectionSlots[number];
        WriteSlotBusy(slot, 0);
        if (number != 0 && slot.thread != nullptr) {
            SetEvent(slot.thread);
        }
    }

    // Slot 0 ends the run with the door and the inputs a run start hands it.
    void StartEndOfRun() {
        inputs_ = RunWindowOf(window_).ReadInputs();
        gConnectionSlots[0].window = &RunWindowOf(window_);
        gConnectionSlots[0].inputs = &inputs_;
        ended_ = false;
        worker_ = std::thread([this] {
            EndOfRun(gConnectionSlots[0]);
            ended_ = true;
        });
    }

    // Serves the worker's sent messages until it has returned.
    bool FinishEndOfRun() {
        if (!worker_.joinable()) {
            return true;
        }
        bool ended = PumpUntil([this] { return ended_.load(); }, 5000);
        if (ended) {
            worker_.join();
        } else {
            worker_.detach();  // fails the test rather than hanging the suite
        }
        return ended;
    }

    std::vector<NoticeMoment> Notices() {
        std::lock_guard<std::mutex> guard(mutex_);
        return notices_;
    }

    std::vector<std::pair<DWORD, NOTIFYICONDATAW>> TrayCalls() {
        std::lock_guard<std::mutex> guard(mutex_);
        return trayCalls_;
    }

    std::mutex mutex_;
    std::vector<NoticeMoment> notices_;
    std::vector<std::pair<DWORD, NOTIFYICONDATAW>> trayCalls_;
    RunInputs inputs_;
    HostPauses hosts_;
    std::thread worker_;
    std::atomic<bool> ended_{false};
};

// The controls expected in download mode, derived from the idle ones.
Controls DownloadModeOf(Controls idle) {
    idle.downloadMenuText = L"ダウンロード中止(&D)\tF5";
    for (UINT id : {1000, 1007, 1001, 1002, 1003, 1004, 1062, 1030, 1031, 1063, 1019}) {
        idle.menuStates[id] = MFS_GRAYED;
    }
    for (UINT id : {1005, 1062, 1030, 1031, 1019}) {
        idle.buttons[{kMainToolbarId, id}] = false;
    }
    idle.buttons[{kMainToolbarId, IDM_STOP}] = true;
    idle.buttons[{kDownloadListBarId, IDM_ADD_DL_LIST}] = false;
    for (int k = 0; k < 5; ++k) {
        idle.buttons[{kDownloadListBarId + k, static_cast<UINT>(IDM_SELECT_DL_LIST + k)}] = false;
        idle.fields[kDownloadListBarId + k] = false;
    }
    return idle;
}

}  // namespace

TEST_F(DownloadModeTest, DownloadModeLocksWhatARunReadsAndRestoreGivesItAllBack) {
    WriteSetting(L"TOOLBAR", L"REFERER_ON", L"1");  // the Referer field starts usable
    CreateWindowUnderTest();
    Controls idle = ReadControls(window_);
    ASSERT_EQ(idle.downloadMenuText, L"ダウンロード実行(&D)\tF5");
    ASSERT_TRUE(idle.fields[kRefererBarId]);
    ASSERT_FALSE(idle.buttons.at({kMainToolbarId, IDM_STOP}));

    BeginDownloadMode(window_);
    Controls running = ReadControls(window_);
    EXPECT_EQ(running, DownloadModeOf(idle));
    // Begin leaves the title and icon to the run start.
    EXPECT_EQ(Title(window_), L"Velmora Downloader");

    SetWindowTextW(window_, kRunningTitle);
    SetClassLongPtrW(window_, GCLP_HICON, reinterpret_cast<LONG_PTR>(gBusyIcon));
    RestoreIdleMode(window_);
    EXPECT_EQ(ReadControls(window_), idle);
    EXPECT_EQ(Title(window_), L"Velmora Downloader");
    ASSERT_NE(IdleIcon(), nullptr);
    EXPECT_NE(IdleIcon(), gBusyIcon);
    EXPECT_EQ(ClassIcon(window_), IdleIcon());
    // A visible window has no tray icon to change.
    EXPECT_TRUE(TrayCalls().empty());
}

TEST_F(DownloadModeTest, DownloadModeWithoutTheStopButtonOnTheToolbar) {
    CreateWindowUnderTest();
    gMainToolbarLayout = ParseToolbarLayout(L"0");
    RebuildMainToolbar(window_);
    PumpPending();
    HWND toolbar = GetDlgItem(window_, kMainToolbarId);
    ASSERT_EQ(SendMessageW(toolbar, TB_COMMANDTOINDEX, IDM_STOP, 0), -1);
    Controls idle = ReadControls(window_);

    BeginDownloadMode(window_);
    EXPECT_EQ(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0), 1);
    EXPECT_FALSE(SendMessageW(toolbar, TB_ISBUTTONENABLED, IDM_DOWNLOAD, 0));
    // The menu is then the way to stop the run.
    Controls running = ReadControls(window_);
    EXPECT_EQ(running.downloadMenuText, L"ダウンロード中止(&D)\tF5");
    EXPECT_EQ(running.menuStates.at(IDM_DOWNLOAD), 0u);

    RestoreIdleMode(window_);
    EXPECT_EQ(ReadControls(window_), idle);
}

TEST_F(DownloadModeTest, DownloadModeEndOfRunWaitsForTheOtherWorkersBeforeAnythingChanges) {
    WriteSetting(L"OPTION", L"CONNECT_NUM", L"3");
    CreateWindowUnderTest();
    ASSERT_EQ(gConnectionSlots.size(), 3u);
    Controls idle = ReadControls(window_);
    EnterRun();
    Controls running = ReadControls(window_);

    StartEndOfRun();
    // Several polls go by with two workers busy, then with one: nothing changes.
    auto expectUnchanged = [&] {
        EXPECT_FALSE(PumpUntil([this] { return ended_.load(); }, 700));
        EXPECT_EQ(ReadControls(window_), running);
        EXPECT_EQ(Title(window_), kRunningTitle);
        EXPECT_TRUE(IsRunActive());
        EXPECT_EQ(gRunClaims.Cursor(), 7);
        EXPECT_TRUE(Notices().empty());
    };
    expectUnchanged();
    EndWorker(1);
    expectUnchanged();

    EndWorker(2);
    ASSERT_TRUE(FinishEndOfRun()) << "the end of the run did not return";
    EXPECT_EQ(ReadControls(window_), idle);
    EXPECT_EQ(Title(window_), L"Velmora Downloader");
    EXPECT_EQ(ClassIcon(window_), IdleIcon());
    EXPECT_FALSE(IsRunActive());
    EXPECT_EQ(gRunClaims.Cursor(), 0);

    // The notice comes only once the interface takes a new run.
    auto notices = Notices();
    ASSERT_EQ(notices.size(), 1u);
    const NoticeMoment& notice = notices[0];
    EXPECT_EQ(notice.message.owner, window_);
    EXPECT_EQ(notice.message.text, kCompletion);
    EXPECT_EQ(notice.message.caption, L"確認");
    EXPECT_EQ(notice.message.type, static_cast<UINT>(MB_OK));
    EXPECT_FALSE(notice.runActive);
    EXPECT_EQ(notice.cursor, 0);
    EXPECT_TRUE(notice.listFieldEnabled);
    EXPECT_TRUE(TrayCalls().empty());
}

TEST_F(DownloadModeTest, DownloadModeNoticeFollowsStopBalloonAndTray) {
    struct Case {
        const char* name;
        bool stopped;
        bool balloon;
        bool hidden;
        bool box;
        bool balloonShown;
    };
    const Case cases[] = {
        {"stopped, visible", true, false, false, false, false},
        {"stopped, in the tray with balloons", true, true, true, false, false},
        {"balloons, visible", false, true, false, true, false},
        {"balloons, in the tray", false, true, true, false, true},
        {"no balloons, in the tray", false, false, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CreateWindowUnderTest();  // the default five connections
        Controls idle = ReadControls(window_);
        gSettings.balloon = c.balloon ? 1 : 0;
        if (c.hidden) {
            ShowWindow(window_, SW_HIDE);
        }
        EnterRun();
        for (size_t number = 1; number < gConnectionSlots.size(); ++number) {
            EndWorker(number);
        }
        c.stopped ? gRunStop.Request() : gRunStop.Reset();
        {
            std::lock_guard<std::mutex> guard(mutex_);
            notices_.clear();
            trayCalls_.clear();
        }

        StartEndOfRun();
        ASSERT_TRUE(FinishEndOfRun()) << "the end of the run did not return";
        // A stopped run returns to idle mode all the same.
        EXPECT_EQ(ReadControls(window_), idle);
        EXPECT_FALSE(IsRunActive());

        auto notices = Notices();
        ASSERT_EQ(notices.size(), c.box ? 1u : 0u);
        if (c.box) {
            EXPECT_EQ(notices[0].message.text, kCompletion);
        }
        auto calls = TrayCalls();
        // In the tray the icon goes back to idle first, then the balloon may follow.
        ASSERT_EQ(calls.size(), (c.hidden ? 1u : 0u) + (c.balloonShown ? 1u : 0u));
        for (const auto& [message, data] : calls) {
            EXPECT_EQ(message, static_cast<DWORD>(NIM_MODIFY));
            EXPECT_EQ(data.hWnd, window_);
            EXPECT_EQ(data.uID, 1u);
        }
        if (c.hidden) {
            const NOTIFYICONDATAW& data = calls.front().second;
            EXPECT_EQ(data.uFlags, static_cast<UINT>(NIF_ICON | NIF_TIP));
            EXPECT_EQ(data.hIcon, IdleIcon());
            EXPECT_STREQ(data.szTip, L"Velmora Downloader");
        }
        if (c.balloonShown) {
            const NOTIFYICONDATAW& data = calls.back().second;
            EXPECT_EQ(data.uFlags, static_cast<UINT>(NIF_INFO));
            EXPECT_STREQ(data.szInfoTitle, L"確認");
            EXPECT_STREQ(data.szInfo, kCompletion);
            EXPECT_EQ(data.dwInfoFlags, 0u);
            EXPECT_EQ(data.uTimeout, 0u);
        }

        gRunStop.Reset();
        gSettings.balloon = 0;
        DestroyWindow(window_);
        window_ = nullptr;
        PumpPending();
    }
}
