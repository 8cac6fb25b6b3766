// A walk over the whole command table of the built program. Every command id is given every
// way the program offers it (its main menu item, its function key, its toolbar button), and
// each time the test waits for what the command visibly does in the real program: a dialog or
// message box, rows and their states, URL files and settings written, bars shown and hidden,
// the programs the shell starts, runs that start and stop. During a run the commands that a
// run refuses do nothing whichever way they come, and the download command stops the run.
// The details of each operation are proven by the in-process and run tests; this walk proves
// that each entry point reaches its command in the shipped program.
#include "base/window_ids.h"
#include "res/resource.h"
#include "tests/e2e/command_walk_helpers.h"
#include "tests/e2e/run_helpers.h"
#include "tests/support/test_files.h"

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

enum class Way { kMenu, kKey, kButton };

const char* NameOf(Way way) {
    switch (way) {
        case Way::kMenu:
            return "menu";
        case Way::kKey:
            return "key";
        case Way::kButton:
            return "button";
    }
    return "?";
}

// How the program offers one command: the text of its main menu item, its function key and
// the toolbar (by control id) that carries its button.
struct EntryPoints {
    UINT id;
    const wchar_t* menuText;  // null: not in the main menu
    UINT key;                 // 0: no function key
    int toolbar;              // 0: no button
};

constexpr int kMain = kMainToolbarId;
constexpr int kListBar = kDownloadListBarId;
constexpr int kDoneBar = kDownloadLogBarId;
constexpr int kCancelBar = kCancelLogBarId;
constexpr int kErrorBar = kErrorLogBarId;
constexpr int kFolderBar = kSaveFolderBarId;

const EntryPoints kEntryPoints[] = {
    {IDM_SELECT_DL_LIST, L"ファイルを選択(&O)...\tF2", VK_F2, kListBar},
    {IDM_SELECT_DL_LOG, L"ファイルを選択(&O)...", 0, kDoneBar},
    {IDM_SELECT_CANCEL_LOG, L"ファイルを選択(&O)...", 0, kCancelBar},
    {IDM_SELECT_ERR_LOG, L"ファイルを選択(&O)...", 0, kErrorBar},
    {IDM_SELECT_DL_DIR, L"保存フォルダを選択(&H)...\tF4", VK_F4, kFolderBar},
    {IDM_DOWNLOAD, L"ダウンロード実行(&D)\tF5", VK_F5, kMain},
    {IDM_OPEN_DL_DIR, L"保存フォルダを開く(&H)\tF8", VK_F8, kFolderBar},
    {IDM_ADD_DL_LIST, L"ダウンロードリストを追加(&A)\tF3", VK_F3, kListBar},
    {IDM_EDIT_DL_LIST, L"編集(&E)\tF9", VK_F9, kListBar},
    {IDM_OPEN_DL_LIST_DIR, L"フォルダを開く(&F)", 0, kListBar},
    {IDM_APPLY_DL_LOG, L"ファイルをリストに適用(&A)", 0, kDoneBar},
    {IDM_EDIT_DL_LOG, L"編集(&E)\tF10", VK_F10, kDoneBar},
    {IDM_OPEN_DL_LOG_DIR, L"フォルダを開く(&F)", 0, kDoneBar},
    {IDM_APPLY_CANCEL_LOG, L"ファイルをリストに適用(&A)", 0, kCancelBar},
    {IDM_EDIT_CANCEL_LOG, L"編集(&E)\tF11", VK_F11, kCancelBar},
    {IDM_OPEN_CANCEL_LOG_DIR, L"フォルダを開く(&F)", 0, kCancelBar},
    {IDM_APPLY_ERR_LOG, L"ファイルをリストに適用(&A)", 0, kErrorBar},
    {IDM_EDIT_ERR_LOG, L"編集(&E)\tF12", VK_F12, kErrorBar},
    {IDM_OPEN_ERR_LOG_DIR, L"フォルダを開く(&F)", 0, kErrorBar},
    {IDM_OPTIONS, L"オプション(&O)...", 0, kMain},
    {IDM_README, L"Readme.txt(&H)\tF1", VK_F1, kMain},
    {IDM_ABOUT, L"バージョン情報(&A)...", 0, kMain},
    {IDM_SELECTED_TO_STANDBY, L"選択URL(&S)", 0, kMain},
    {IDM_ALL_TO_STANDBY, L"全てのURL(&A)", 0, kMain},
    {IDM_SELECTED_TO_DONE, L"選択URL(&S)", 0, kMain},
    {IDM_ALL_TO_DONE, L"全てのURL(&A)", 0, kMain},
    {IDM_SELECTED_TO_INTERRUPTED, L"選択URL(&S)", 0, kMain},
    {IDM_ALL_TO_INTERRUPTED, L"全てのURL(&A)", 0, kMain},
    {IDM_SELECTED_TO_ERROR, L"選択URL(&S)", 0, kMain},
    {IDM_ALL_TO_ERROR, L"全てのURL(&A)", 0, kMain},
    {IDM_DELETE_SELECTED, L"選択URL(&S)", 0, kMain},
    {IDM_DELETE_ALL, L"全てのURL(&A)\tF7", VK_F7, kMain},
    {IDM_ADD_TO_DL_LIST, L"に追加(&A)", 0, kMain},
    {IDM_ADD_TO_DL_LOG, L"に追加(&A)", 0, kMain},
    {IDM_ADD_TO_CANCEL_LOG, L"に追加(&A)", 0, kMain},
    {IDM_ADD_TO_ERR_LOG, L"に追加(&A)", 0, kMain},
    {IDM_REMOVE_FROM_DL_LIST, L"から削除(&D)", 0, kMain},
    {IDM_REMOVE_FROM_DL_LOG, L"から削除(&D)", 0, kMain},
    {IDM_REMOVE_FROM_CANCEL_LOG, L"から削除(&D)", 0, kMain},
    {IDM_REMOVE_FROM_ERR_LOG, L"から削除(&D)", 0, kMain},
    {IDM_SELECT_ALL, L"を選択する(&A)", 0, kMain},
    {IDM_INVERT_ALL, L"の選択を反転する(&I)", 0, kMain},
    {IDM_OPEN_PROGRAM_DIR, L"プログラムの在るフォルダを開く(&P)", 0, kMain},
    {IDM_REFERER_TOGGLE, nullptr, 0, kRefererBarId},
    {IDM_EXIT, L"終了(&X)\tAlt+F4", 0, 0},
    {IDM_REFERER_DIALOG, L"Referer情報設定(&R)...", 0, 0},
    {IDM_VIEW_MAIN_TBAR, L"標準(&D)", 0, 0},
    {IDM_VIEW_DL_LIST_TBAR, L"ダウンロードリスト(&O)", 0, 0},
    {IDM_VIEW_DL_LOG_TBAR, L"ダウンロードログ(&L)", 0, 0},
    {IDM_VIEW_CANCEL_LOG_TBAR, L"中断ログ(&C)", 0, 0},
    {IDM_VIEW_ERR_LOG_TBAR, L"エラーログ(&E)", 0, 0},
    {IDM_VIEW_DL_DIR_TBAR, L"保存フォルダ(&H)", 0, 0},
    {IDM_VIEW_REF_TBAR, L"Referer情報(&R)", 0, 0},
    {IDM_VIEW_STATUSBAR, L"ステータスバー(&S)", 0, 0},
    {IDM_SELECT_STANDBY, L"を選択する(&A)", 0, kMain},
    {IDM_SELECT_DONE, L"を選択する(&A)", 0, kMain},
    {IDM_SELECT_INTERRUPTED, L"を選択する(&A)", 0, kMain},
    {IDM_SELECT_ERROR, L"を選択する(&A)", 0, kMain},
    {IDM_INVERT_STANDBY, L"の選択を反転する(&I)", 0, kMain},
    {IDM_INVERT_DONE, L"の選択を反転する(&I)", 0, kMain},
    {IDM_INVERT_INTERRUPTED, L"の選択を反転する(&I)", 0, kMain},
    {IDM_INVERT_ERROR, L"の選択を反転する(&I)", 0, kMain},
    {IDM_DOWNLOAD_SELECTED, L"選択URLのダウンロード実行(&F)\tF6", VK_F6, kMain},
    {IDM_CUSTOMIZE_TOOLBAR, L"カスタマイズ(&K)...", 0, 0},
    {IDM_STOP, nullptr, 0, kMain},
};

const EntryPoints& EntryPointsOf(UINT id) {
    for (const EntryPoints& row : kEntryPoints) {
        if (row.id == id) {
            return row;
        }
    }
    throw std::invalid_argument("no such command in the walk");
}

std::vector<Way> WaysOf(UINT id) {
    const EntryPoints& row = EntryPointsOf(id);
    std::vector<Way> ways;
    if (row.menuText != nullptr) {
        ways.push_back(Way::kMenu);
    }
    if (row.key != 0) {
        ways.push_back(Way::kKey);
    }
    if (row.toolbar != 0) {
        ways.push_back(Way::kButton);
    }
    return ways;
}

// The commands a run refuses, whichever way they come.
const UINT kRefusedDuringRun[] = {
    IDM_SELECT_DL_LIST, IDM_SELECT_DL_LOG,     IDM_SELECT_CANCEL_LOG, IDM_SELECT_ERR_LOG,
    IDM_SELECT_DL_DIR,  IDM_ADD_DL_LIST,       IDM_OPTIONS,           IDM_DELETE_SELECTED,
    IDM_DELETE_ALL,     IDM_DOWNLOAD_SELECTED, IDM_CUSTOMIZE_TOOLBAR};

std::string Narrow(const std::wstring& text) {
    std::string result;
    for (wchar_t c : text) {
        result += (c < 0x80) ? static_cast<char>(c) : '?';
    }
    return result;
}

bool StartsWith(const std::wstring& text, const std::wstring& start) {
    return text.compare(0, start.size(), start) == 0;
}

std::wstring LastPart(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    return path.substr(path.find_last_of(L'\\') + 1);
}

// A URL file of single-byte text as appends write it: each URL after a line break.
bool WriteUrlFile(const std::wstring& path, const std::vector<std::wstring>& urls) {
    std::string text;
    for (const std::wstring& url : urls) {
        text += "\r\n" + Narrow(url);
    }
    return WriteBytes(path, text);
}

// The URLs a URL file holds, empty lines left out.
std::vector<std::wstring> UrlsIn(const std::wstring& path) {
    std::vector<std::wstring> urls;
    for (const std::wstring& line : LogLines(path)) {
        if (!line.empty()) {
            urls.push_back(line);
        }
    }
    return urls;
}

std::wstring RowUrl(int row) {
    return L"http://127.0.0.1:9/walk/row" + std::to_wstring(row) + L".bin";
}

// The commands given so far, each with the ways it was given; every test checks at its end
// that its commands were given every way the program offers them.
class CommandWalk {
public:
    explicit CommandWalk(const ProgramDriver& program) : program_(program) {}

    void Give(UINT id, Way way) {
        SCOPED_TRACE(testing::Message() << "command " << id << " by " << NameOf(way));
        const EntryPoints& row = EntryPointsOf(id);
        HWND window = program_.window();
        switch (way) {
            case Way::kMenu:
                ASSERT_NE(row.menuText, nullptr) << "not in the menu";
                program_.PostCommand(id);
                break;
            case Way::kKey:
                ASSERT_NE(row.key, 0u) << "no function key";
                PressFunctionKey(window, row.key);
                break;
            case Way::kButton:
                ASSERT_NE(row.toolbar, 0) << "no toolbar button";
                ASSERT_TRUE(ClickToolbarButton(GetDlgItem(window, row.toolbar), id))
                    << "the button is not on toolbar " << row.toolbar;
                break;
        }
        given_.insert({id, way});
    }

    void ExpectEveryWayGiven(const std::vector<UINT>& ids) const {
        for (UINT id : ids) {
            for (Way way : WaysOf(id)) {
                EXPECT_TRUE(given_.count({id, way}))
                    << "command " << id << " never given by " << NameOf(way);
            }
        }
    }

private:
    const ProgramDriver& program_;
    std::set<std::pair<UINT, Way>> given_;
};

std::vector<UINT> IdRange(UINT first, UINT last) {
    std::vector<UINT> ids;
    for (UINT id = first; id <= last; ++id) {
        ids.push_back(id);
    }
    return ids;
}

// Wine's Notepad and explorer windows.
bool IsShellWindowClass(const std::wstring& className) {
    return className == L"Notepad" || className == L"ExplorerWClass";
}

class CommandWalkTest : public testing::Test {
protected:
    void SetUp() override {
        for (const TopWindow& top : TopWindows()) {
            windowsBefore_.insert(top.window);
        }
    }

    // Whatever the shell started and a failed step left open goes with the test.
    void TearDown() override {
        for (const TopWindow& top : TopWindows()) {
            if (!windowsBefore_.count(top.window) && IsShellWindowClass(top.className) &&
                top.processId != ProcessId()) {
                CloseStartedProgram(top.window);
            }
        }
    }

    void Start() { ASSERT_TRUE(program_.StartAndWaitForWindow()) << "the program did not start"; }
    HWND Window() const { return program_.window(); }
    HWND List() const { return ListViewOf(program_.window()); }
    DWORD ProcessId() const {
        return program_.process() != nullptr ? GetProcessId(program_.process()) : 0;
    }
    std::wstring InFolder(const std::wstring& name) const { return program_.folder() + name; }
    // The program's files are read only once it has handled everything given to it: a
    // reader holding a file open would make the program's own write of it fail.
    bool Settled() const { return Settle(program_.window()); }
    std::wstring Setting(const wchar_t* section, const wchar_t* key) const {
        return ReadIniValue(program_.SettingsFile(), section, key).value_or(L"<missing>");
    }

    // Waits for a message box of the program, checks its text and answers it.
    void ExpectBox(const wchar_t* caption, const std::wstring& text, int answer) {
        MessageBoxSeen box = program_.WaitForMessageBox(caption, ProcessId(), 5000);
        ASSERT_NE(box.box, nullptr) << "no message box \"" << Narrow(caption) << "\" appeared";
        EXPECT_EQ(box.text, text);
        ASSERT_TRUE(AnswerDialog(box.box, answer)) << "the message box did not close";
    }

    // Waits for a dialog of the program with this title; null when none came.
    HWND WaitForDialog(const std::wstring& title) {
        DWORD processId = ProcessId();
        return WaitForTopWindow(
            [&](const TopWindow& top) {
                return top.processId == processId && top.className == L"#32770" &&
                       top.title == title;
            },
            5000);
    }

    // Waits for a window of a program that the shell started (Notepad for a file, the
    // explorer for a folder) whose title begins with the name, and closes it again.
    void ExpectStartedProgram(const wchar_t* className, const std::wstring& name) {
        DWORD processId = ProcessId();
        HWND started = WaitForTopWindow(
            [&](const TopWindow& top) {
                return top.processId != processId && top.className == className &&
                       !windowsBefore_.count(top.window) && StartsWith(top.title, name);
            },
            10000);
        ASSERT_NE(started, nullptr)
            << "no " << Narrow(className) << " window for \"" << Narrow(name) << "\" appeared";
        CloseStartedProgram(started);
    }

    // The first field of each record of the list file: the rows' states.
    std::vector<std::wstring> States() const {
        std::vector<std::wstring> states;
        for (const std::wstring& line : program_.ReadList()) {
            states.push_back(ParseRecord(line).state);
        }
        return states;
    }
    std::vector<std::wstring> Urls() const {
        std::vector<std::wstring> urls;
        for (const std::wstring& line : program_.ReadList()) {
            urls.push_back(ParseRecord(line).url);
        }
        return urls;
    }

    // The list file follows the rows within a moment: it is saved behind the changes.
    bool StatesBecome(const std::vector<std::wstring>& states) const {
        return Settled() && WaitUntil([&] { return States() == states; }, 2000);
    }
    bool UrlsBecome(const std::vector<std::wstring>& urls) const {
        return Settled() && WaitUntil([&] { return Urls() == urls; }, 2000);
    }

    ProgramDriver program_;
    CommandWalk walk_{program_};
    std::set<HWND> windowsBefore_;
};

}  // namespace

// The table above is the program's own: its menu items and keys as the program file holds
// them (Wine does not let another process read a window's menu), its toolbars' buttons as the
// running program shows them.
TEST_F(CommandWalkTest, EntryPointsOfTheWalkAreThoseOfTheProgram) {
    std::set<UINT> ids;
    for (const EntryPoints& row : kEntryPoints) {
        EXPECT_TRUE(ids.insert(row.id).second) << row.id;
    }
    std::vector<UINT> expectedIds = IdRange(IDM_FIRST, IDM_LAST);
    expectedIds.push_back(IDM_STOP);
    EXPECT_EQ(ids, std::set<UINT>(expectedIds.begin(), expectedIds.end()));

    HMODULE file = LoadLibraryExW(InFolder(L"VelmoraDownloader.exe").c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(file, nullptr);
    HMENU menu = LoadMenuW(file, L"VLMR_DL_MENU");
    ASSERT_NE(menu, nullptr);
    std::map<WORD, WORD> keys;
    HACCEL accelerators = LoadAcceleratorsW(file, L"VLMR_DL_ACC");
    ASSERT_NE(accelerators, nullptr);
    ACCEL entries[32];
    int count = CopyAcceleratorTableW(accelerators, entries, 32);
    for (int index = 0; index < count; ++index) {
        keys[entries[index].key] = entries[index].cmd;
    }
    std::map<WORD, WORD> expectedKeys;
    for (const EntryPoints& row : kEntryPoints) {
        wchar_t text[128] = L"";
        int length = GetMenuStringW(menu, row.id, text, 128, MF_BYCOMMAND);
        if (row.menuText != nullptr) {
            EXPECT_STREQ(text, row.menuText) << row.id;
        } else {
            EXPECT_EQ(length, 0) << row.id << " should not be in the menu";
        }
        if (row.key != 0) {
            expectedKeys[static_cast<WORD>(row.key)] = static_cast<WORD>(row.id);
        }
    }
    EXPECT_EQ(keys, expectedKeys);
    DestroyMenu(menu);
    DestroyAcceleratorTable(accelerators);
    FreeLibrary(file);

    Start();
    for (int toolbar = kMainToolbarId; toolbar <= kRefererBarId; ++toolbar) {
        std::vector<UINT> shown = ToolbarCommands(GetDlgItem(Window(), toolbar));
        std::set<UINT> expected;
        for (const EntryPoints& row : kEntryPoints) {
            if (row.toolbar == toolbar) {
                expected.insert(row.id);
            }
        }
        EXPECT_EQ(std::set<UINT>(shown.begin(), shown.end()), expected) << "toolbar " << toolbar;
        EXPECT_EQ(shown.size(), expected.size()) << "toolbar " << toolbar;
    }
}

// Adding the download list file, applying the three logs, editing the four files, opening
// their folders, the save folder, the program's folder and the Readme.
TEST_F(CommandWalkTest, FileCommandsReachTheFilesTheirBarsName) {
    struct Bar {
        int barId;
        const wchar_t* key;
        const wchar_t* folder;
        const wchar_t* file;
        UINT edit;
        UINT openFolder;
    };
    // Text files have no program in the test's Wine prefix; .ini files open in Notepad. The
    // commands open whatever file the bar names.
    const Bar bars[] = {
        {kListBar, L"DL_LIST", L"lists", L"list.ini", IDM_EDIT_DL_LIST, IDM_OPEN_DL_LIST_DIR},
        {kDoneBar, L"DL_LOG", L"done", L"done.ini", IDM_EDIT_DL_LOG, IDM_OPEN_DL_LOG_DIR},
        {kCancelBar, L"CANCEL_LOG", L"cancel", L"cancel.ini", IDM_EDIT_CANCEL_LOG,
         IDM_OPEN_CANCEL_LOG_DIR},
        {kErrorBar, L"ERR_LOG", L"error", L"error.ini", IDM_EDIT_ERR_LOG, IDM_OPEN_ERR_LOG_DIR},
    };
    auto pathOf = [&](const Bar& bar) { return InFolder(bar.folder) + L"\\" + bar.file; };
    for (const Bar& bar : bars) {
        ASSERT_TRUE(CreateDirectoryW(InFolder(bar.folder).c_str(), nullptr));
        ASSERT_TRUE(WriteBytes(pathOf(bar), ""));
        program_.WriteSetting(L"TOOLBAR", bar.key, pathOf(bar).c_str());
    }
    const std::wstring saveFolder = InFolder(L"saved");
    ASSERT_TRUE(CreateDirectoryW(saveFolder.c_str(), nullptr));
    program_.WriteSetting(L"TOOLBAR", L"DL_DIR", saveFolder.c_str());
    // A folder in place of the Readme: the shell opens it in the explorer, whose title shows
    // that the command opened exactly "Readme.txt" in the program's folder.
    ASSERT_TRUE(CreateDirectoryW(InFolder(L"Readme.txt").c_str(), nullptr));
    Start();
    const std::wstring listFile = pathOf(bars[0]);

    // 1007: each way adds the URL that the file gained since, after the rows there are.
    std::vector<std::wstring> urls;
    for (Way way : WaysOf(IDM_ADD_DL_LIST)) {
        SCOPED_TRACE(NameOf(way));
        urls.push_back(RowUrl(static_cast<int>(urls.size())));
        ASSERT_TRUE(WriteUrlFile(listFile, urls));
        walk_.Give(IDM_ADD_DL_LIST, way);
        ASSERT_TRUE(UrlsBecome(urls)) << "the list did not take the file's new URL";
    }

    // 1010, 1013, 1016: the menu applies a log naming the first row, the button the same log
    // naming the second row too; the rows take the log's state.
    struct Apply {
        UINT id;
        const Bar& bar;
        const wchar_t* state;
    };
    const Apply applies[] = {{IDM_APPLY_DL_LOG, bars[1], L"3"},
                             {IDM_APPLY_CANCEL_LOG, bars[2], L"4"},
                             {IDM_APPLY_ERR_LOG, bars[3], L"5"}};
    std::vector<std::wstring> states(urls.size(), L"0");
    for (const Apply& apply : applies) {
        std::vector<Way> ways = WaysOf(apply.id);
        for (size_t index = 0; index < ways.size(); ++index) {
            SCOPED_TRACE(testing::Message() << apply.id << " by " << NameOf(ways[index]));
            ASSERT_TRUE(WriteUrlFile(pathOf(apply.bar), {urls.begin(), urls.begin() + index + 1}));
            walk_.Give(apply.id, ways[index]);
            states[index] = apply.state;
            EXPECT_TRUE(StatesBecome(states)) << "the rows did not take the log's state";
        }
    }

    // 1008, 1011, 1014, 1017: an existing file opens in its program; a bar naming no file
    // says so.
    for (const Bar& bar : bars) {
        for (Way way : WaysOf(bar.edit)) {
            SCOPED_TRACE(testing::Message() << bar.edit << " by " << NameOf(way));
            bool missing = way == Way::kMenu;
            SetPathBarText(Window(), bar.barId, missing ? InFolder(L"none.ini") : pathOf(bar));
            walk_.Give(bar.edit, way);
            if (missing) {
                ExpectBox(L"確認", L"ファイルのパスが不正です", IDOK);
            } else {
                ExpectStartedProgram(L"Notepad", bar.file);
            }
        }
    }

    // 1009, 1012, 1015, 1018: the folder of the bar's file opens in the explorer; a file in a
    // folder that does not exist gets the notice.
    for (const Bar& bar : bars) {
        for (Way way : WaysOf(bar.openFolder)) {
            SCOPED_TRACE(testing::Message() << bar.openFolder << " by " << NameOf(way));
            bool missing = way == Way::kButton;
            SetPathBarText(Window(), bar.barId,
                           missing ? InFolder(L"nowhere\\") + bar.file : pathOf(bar));
            walk_.Give(bar.openFolder, way);
            if (missing) {
                ExpectBox(L"確認", L"フォルダのパスが不正です", IDOK);
            } else {
                ExpectStartedProgram(L"ExplorerWClass", bar.folder);
            }
        }
    }

    // 1006: the save folder, also with a trailing backslash; a save folder that is no folder
    // opens the desktop folder instead.
    wchar_t desktop[MAX_PATH] = L"";
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop), S_OK);
    const std::pair<std::wstring, std::wstring> saveFolders[] = {
        {saveFolder, L"saved"},
        {saveFolder + L"\\", L"saved"},
        {InFolder(L"no such folder"), LastPart(desktop)},
    };
    std::vector<Way> ways = WaysOf(IDM_OPEN_DL_DIR);
    ASSERT_EQ(ways.size(), 3u);
    for (size_t index = 0; index < ways.size(); ++index) {
        SCOPED_TRACE(NameOf(ways[index]));
        SetPathBarText(Window(), kFolderBar, saveFolders[index].first);
        walk_.Give(IDM_OPEN_DL_DIR, ways[index]);
        ExpectStartedProgram(L"ExplorerWClass", saveFolders[index].second);
    }

    for (Way way : WaysOf(IDM_README)) {
        SCOPED_TRACE(NameOf(way));
        walk_.Give(IDM_README, way);
        ExpectStartedProgram(L"ExplorerWClass", L"Readme.txt");
    }
    for (Way way : WaysOf(IDM_OPEN_PROGRAM_DIR)) {
        SCOPED_TRACE(NameOf(way));
        walk_.Give(IDM_OPEN_PROGRAM_DIR, way);
        ExpectStartedProgram(L"ExplorerWClass", LastPart(program_.folder()));
    }
    EXPECT_TRUE(DialogsOf(ProcessId()).empty());
    walk_.ExpectEveryWayGiven(IdRange(IDM_OPEN_DL_DIR, IDM_OPEN_ERR_LOG_DIR));
    walk_.ExpectEveryWayGiven({IDM_README, IDM_OPEN_PROGRAM_DIR});
}

// The state commands on selected and on all rows, the selected URLs added to and removed from
// the four URL files, and deleting rows.
TEST_F(CommandWalkTest, ListCommandsChangeTheRowsAndTheUrlFiles) {
    const int rowCount = 6;
    std::vector<std::wstring> records;
    std::vector<std::wstring> urls;
    for (int row = 0; row < rowCount; ++row) {
        urls.push_back(RowUrl(row));
        records.push_back(L"0|スタンバイ||" + urls.back());
    }
    program_.WriteList(records);
    const std::wstring files[] = {InFolder(L"list.txt"), InFolder(L"done.txt"),
                                  InFolder(L"cancel.txt"), InFolder(L"error.txt")};
    const wchar_t* keys[] = {L"DL_LIST", L"DL_LOG", L"CANCEL_LOG", L"ERR_LOG"};
    for (int index = 0; index < 4; ++index) {
        ASSERT_TRUE(WriteBytes(files[index], ""));
        program_.WriteSetting(L"TOOLBAR", keys[index], files[index].c_str());
    }
    Start();
    std::vector<std::wstring> states(rowCount, L"0");

    // All rows: every way of each command turns the whole list into its state.
    const std::pair<UINT, const wchar_t*> allRows[] = {{IDM_ALL_TO_DONE, L"3"},
                                                       {IDM_ALL_TO_INTERRUPTED, L"4"},
                                                       {IDM_ALL_TO_ERROR, L"5"},
                                                       {IDM_ALL_TO_STANDBY, L"0"}};
    for (Way way : {Way::kMenu, Way::kButton}) {
        for (const auto& [id, state] : allRows) {
            SCOPED_TRACE(testing::Message() << id << " by " << NameOf(way));
            walk_.Give(id, way);
            states.assign(rowCount, state);
            ASSERT_TRUE(StatesBecome(states))
                << "the rows did not all change: " << testing::PrintToString(States());
        }
    }

    // Selected rows: only they take the state.
    struct SelectedStep {
        UINT id;
        Way way;
        std::vector<int> rows;
        const wchar_t* state;
    };
    const SelectedStep selectedSteps[] = {
        {IDM_SELECTED_TO_DONE, Way::kMenu, {0, 2}, L"3"},
        {IDM_SELECTED_TO_DONE, Way::kButton, {3}, L"3"},
        {IDM_SELECTED_TO_INTERRUPTED, Way::kMenu, {1}, L"4"},
        {IDM_SELECTED_TO_INTERRUPTED, Way::kButton, {4, 5}, L"4"},
        {IDM_SELECTED_TO_ERROR, Way::kMenu, {0, 5}, L"5"},
        {IDM_SELECTED_TO_ERROR, Way::kButton, {2}, L"5"},
        {IDM_SELECTED_TO_STANDBY, Way::kMenu, {0, 1}, L"0"},
        {IDM_SELECTED_TO_STANDBY, Way::kButton, {3}, L"0"},
    };
    for (const SelectedStep& step : selectedSteps) {
        SCOPED_TRACE(testing::Message() << step.id << " by " << NameOf(step.way));
        ASSERT_TRUE(SelectListRows(List(), step.rows));
        walk_.Give(step.id, step.way);
        for (int row : step.rows) {
            states[row] = step.state;
        }
        ASSERT_TRUE(StatesBecome(states)) << "the selected rows did not change, or others did";
    }

    // URL files: the menu adds the first row's URL, the button the second's; then the menu
    // removes the first and the button the second again.
    const UINT addIds[] = {IDM_ADD_TO_DL_LIST, IDM_ADD_TO_DL_LOG, IDM_ADD_TO_CANCEL_LOG,
                           IDM_ADD_TO_ERR_LOG};
    const UINT removeIds[] = {IDM_REMOVE_FROM_DL_LIST, IDM_REMOVE_FROM_DL_LOG,
                              IDM_REMOVE_FROM_CANCEL_LOG, IDM_REMOVE_FROM_ERR_LOG};
    for (int index = 0; index < 4; ++index) {
        struct FileStep {
            UINT id;
            Way way;
            int row;
            std::vector<std::wstring> after;
        };
        const FileStep fileSteps[] = {
            {addIds[index], Way::kMenu, 0, {urls[0]}},
            {addIds[index], Way::kButton, 1, {urls[0], urls[1]}},
            {removeIds[index], Way::kMenu, 0, {urls[1]}},
            {removeIds[index], Way::kButton, 1, {}},
        };
        for (const FileStep& step : fileSteps) {
            SCOPED_TRACE(testing::Message() << step.id << " by " << NameOf(step.way));
            ASSERT_TRUE(SelectListRows(List(), {step.row}));
            walk_.Give(step.id, step.way);
            ASSERT_TRUE(Settled());
            EXPECT_EQ(UrlsIn(files[index]), step.after)
                << "the file did not get the selected URL added or removed";
        }
    }
    EXPECT_TRUE(DialogsOf(ProcessId()).empty());

    // Deleting the selected rows.
    const std::pair<Way, std::vector<int>> deletions[] = {{Way::kMenu, {1, 3}},
                                                          {Way::kButton, {0}}};
    for (const auto& [way, rows] : deletions) {
        SCOPED_TRACE(NameOf(way));
        ASSERT_TRUE(SelectListRows(List(), rows));
        walk_.Give(IDM_DELETE_SELECTED, way);
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            urls.erase(urls.begin() + *row);
        }
        ASSERT_TRUE(UrlsBecome(urls)) << "the selected rows were not deleted";
    }

    // Deleting all rows asks first: No keeps them, Yes deletes them.
    for (Way way : WaysOf(IDM_DELETE_ALL)) {
        SCOPED_TRACE(NameOf(way));
        bool yes = way == Way::kButton;
        walk_.Give(IDM_DELETE_ALL, way);
        ExpectBox(L"確認", L"全てのURLをリストから削除しますがいいですか？", yes ? IDYES : IDNO);
        if (yes) {
            urls.clear();
        }
        ASSERT_TRUE(Settle(Window()));
        ASSERT_TRUE(UrlsBecome(urls));
        EXPECT_EQ(SendWithin(List(), LVM_GETITEMCOUNT, 0, 0), static_cast<LRESULT>(urls.size()));
    }
    walk_.ExpectEveryWayGiven(IdRange(IDM_SELECTED_TO_STANDBY, IDM_REMOVE_FROM_ERR_LOG));
}

// Selecting and inverting by state and over all rows; the list shows rows in each state.
TEST_F(CommandWalkTest, SelectionCommandsSelectTheRowsOfTheirState) {
    const std::vector<std::wstring> stateRecords = {L"0|スタンバイ||", L"3|ダウンロード済み||",
                                                    L"4|ダウンロード中断||", L"5|エラー||"};
    std::vector<std::wstring> records;
    const int rowCount = 8;
    for (int row = 0; row < rowCount; ++row) {
        records.push_back(stateRecords[row % 4] + RowUrl(row));
    }
    program_.WriteList(records);
    Start();

    // Rows 0 and 4 are Standby, 1 and 5 Done, 2 and 6 Interrupted, 3 and 7 Error.
    auto rowsIn = [](int stateIndex) { return std::set<int>{stateIndex, stateIndex + 4}; };
    std::set<int> all;
    for (int row = 0; row < rowCount; ++row) {
        all.insert(row);
    }
    enum Kind { kSelectState, kInvertState, kSelectAll, kInvertAll };
    struct Step {
        UINT id;
        Kind kind;
        int stateIndex;
        Way way;
        std::set<int> before;
    };
    const Step steps[] = {
        {IDM_SELECT_STANDBY, kSelectState, 0, Way::kMenu, {}},
        {IDM_SELECT_STANDBY, kSelectState, 0, Way::kButton, {1}},
        {IDM_SELECT_DONE, kSelectState, 1, Way::kMenu, {}},
        {IDM_SELECT_DONE, kSelectState, 1, Way::kButton, {0}},
        {IDM_SELECT_INTERRUPTED, kSelectState, 2, Way::kMenu, {}},
        {IDM_SELECT_INTERRUPTED, kSelectState, 2, Way::kButton, {3}},
        {IDM_SELECT_ERROR, kSelectState, 3, Way::kMenu, {}},
        {IDM_SELECT_ERROR, kSelectState, 3, Way::kButton, {2}},
        {IDM_INVERT_STANDBY, kInvertState, 0, Way::kMenu, {0}},
        {IDM_INVERT_STANDBY, kInvertState, 0, Way::kButton, {4, 5}},
        {IDM_INVERT_DONE, kInvertState, 1, Way::kMenu, {}},
        {IDM_INVERT_DONE, kInvertState, 1, Way::kButton, {1, 2}},
        {IDM_INVERT_INTERRUPTED, kInvertState, 2, Way::kMenu, {2, 6, 7}},
        {IDM_INVERT_INTERRUPTED, kInvertState, 2, Way::kButton, {}},
        {IDM_INVERT_ERROR, kInvertState, 3, Way::kMenu, {3}},
        {IDM_INVERT_ERROR, kInvertState, 3, Way::kButton, {0, 7}},
        {IDM_SELECT_ALL, kSelectAll, 0, Way::kMenu, {}},
        {IDM_SELECT_ALL, kSelectAll, 0, Way::kButton, {5}},
        {IDM_INVERT_ALL, kInvertAll, 0, Way::kMenu, {2}},
        {IDM_INVERT_ALL, kInvertAll, 0, Way::kButton, all},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << step.id << " by " << NameOf(step.way));
        std::set<int> expected = step.before;
        switch (step.kind) {
            case kSelectState:
                expected.merge(rowsIn(step.stateIndex));
                break;
            case kInvertState:
                for (int row : rowsIn(step.stateIndex)) {
                    if (!expected.erase(row)) {
                        expected.insert(row);
                    }
                }
                break;
            case kSelectAll:
                expected = all;
                break;
            case kInvertAll: {
                std::set<int> inverted;
                std::set_difference(all.begin(), all.end(), expected.begin(), expected.end(),
                                    std::inserter(inverted, inverted.end()));
                expected = inverted;
                break;
            }
        }
        ASSERT_TRUE(SelectListRows(List(), {step.before.begin(), step.before.end()}));
        walk_.Give(step.id, step.way);
        const std::vector<int> wanted(expected.begin(), expected.end());
        ASSERT_TRUE(Settled());
        EXPECT_EQ(SelectedRows(List()), wanted)
            << "selected " << testing::PrintToString(SelectedRows(List())) << ", expected "
            << testing::PrintToString(wanted);
    }
    // Selecting changes nothing but the selection.
    EXPECT_EQ(program_.ReadList(), records);
    walk_.ExpectEveryWayGiven(IdRange(IDM_SELECT_STANDBY, IDM_INVERT_ERROR));
    walk_.ExpectEveryWayGiven({IDM_SELECT_ALL, IDM_INVERT_ALL});
}

// The choosers, the options, about, Referer and customization dialogs: each opens over the
// main window with its title; what OK does shows in the bars and the files.
TEST_F(CommandWalkTest, DialogCommandsOpenTheirDialogs) {
    struct Chooser {
        UINT id;
        int barId;
        const wchar_t* key;
        const wchar_t* title;
    };
    const Chooser choosers[] = {
        {IDM_SELECT_DL_LIST, kListBar, L"DL_LIST", L"ダウンロードリストファイルを選択"},
        {IDM_SELECT_DL_LOG, kDoneBar, L"DL_LOG", L"ダウンロードログファイルを選択"},
        {IDM_SELECT_CANCEL_LOG, kCancelBar, L"CANCEL_LOG", L"中断ログファイルを選択"},
        {IDM_SELECT_ERR_LOG, kErrorBar, L"ERR_LOG", L"エラーログファイルを選択"},
    };
    program_.WriteSetting(L"TOOLBAR", L"DL_DIR", program_.folder().c_str());
    Start();
    auto fieldText = [&](int barId) { return ControlText(PathBarField(Window(), barId)); };

    // The button chooses a new file by its typed name; the other ways cancel.
    for (const Chooser& chooser : choosers) {
        for (Way way : WaysOf(chooser.id)) {
            SCOPED_TRACE(testing::Message() << chooser.id << " by " << NameOf(way));
            const std::wstring before = fieldText(chooser.barId);
            walk_.Give(chooser.id, way);
            HWND dialog = WaitForDialog(chooser.title);
            ASSERT_NE(dialog, nullptr) << "the file dialog did not open";
            if (way == Way::kButton) {
                const std::wstring chosen = InFolder(std::wstring(chooser.key) + L".txt");
                HWND name = GetDlgItem(dialog, cmb13);
                ASSERT_NE(name, nullptr);
                SendWithin(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(chosen.c_str()));
                ASSERT_TRUE(AnswerDialog(dialog, IDOK)) << "the file dialog stayed open";
                ASSERT_TRUE(Settled());
                EXPECT_EQ(fieldText(chooser.barId), chosen);
                EXPECT_EQ(Setting(L"TOOLBAR", chooser.key), chosen);
            } else {
                ASSERT_TRUE(AnswerDialog(dialog, IDCANCEL)) << "the file dialog stayed open";
                ASSERT_TRUE(Settle(Window()));
                EXPECT_EQ(fieldText(chooser.barId), before);
            }
        }
    }

    // 1004: the system's folder dialog, with its folder tree; cancelled, it changes nothing.
    const DWORD processId = ProcessId();
    for (Way way : WaysOf(IDM_SELECT_DL_DIR)) {
        SCOPED_TRACE(NameOf(way));
        walk_.Give(IDM_SELECT_DL_DIR, way);
        HWND dialog = WaitForTopWindow(
            [&](const TopWindow& top) {
                return top.processId == processId && top.className == L"#32770" &&
                       top.owner == Window() &&
                       FindWindowExW(top.window, nullptr, WC_TREEVIEWW, nullptr) != nullptr;
            },
            5000);
        ASSERT_NE(dialog, nullptr) << "the folder dialog did not open";
        ASSERT_TRUE(AnswerDialog(dialog, IDCANCEL)) << "the folder dialog stayed open";
        ASSERT_TRUE(Settle(Window()));
        EXPECT_EQ(fieldText(kFolderBar), program_.folder());
    }

    // 1019: OK stores the options, the next opening shows them.
    for (Way way : WaysOf(IDM_OPTIONS)) {
        SCOPED_TRACE(NameOf(way));
        walk_.Give(IDM_OPTIONS, way);
        HWND dialog = WaitForDialog(L"オプション");
        ASSERT_NE(dialog, nullptr) << "the options dialog did not open";
        HWND askExit = GetDlgItem(dialog, 2013);
        if (way == Way::kMenu) {
            EXPECT_EQ(SendWithin(askExit, BM_GETCHECK, 0, 0), BST_UNCHECKED);
            SendWithin(askExit, BM_SETCHECK, BST_CHECKED, 0);
            ASSERT_TRUE(AnswerDialog(dialog, IDOK));
            ASSERT_TRUE(Settled());
            EXPECT_EQ(Setting(L"OPTION", L"ASK_EXIT"), L"1");
            EXPECT_EQ(Setting(L"OPTION", L"CONNECT_NUM"), L"5");
        } else {
            EXPECT_EQ(SendWithin(askExit, BM_GETCHECK, 0, 0), BST_CHECKED);
            ASSERT_TRUE(AnswerDialog(dialog, IDCANCEL));
        }
    }

    for (Way way : WaysOf(IDM_ABOUT)) {
        SCOPED_TRACE(NameOf(way));
        walk_.Give(IDM_ABOUT, way);
        HWND dialog = WaitForDialog(L"バージョン情報");
        ASSERT_NE(dialog, nullptr) << "the about dialog did not open";
        ASSERT_TRUE(AnswerDialog(dialog, IDOK));
    }

    // 1045: OK turns the Referer on with the typed text, in the bar and the settings file.
    {
        const std::wstring referer = L"http://walk.example/from";
        walk_.Give(IDM_REFERER_DIALOG, Way::kMenu);
        HWND dialog = WaitForDialog(L"Referer情報設定");
        ASSERT_NE(dialog, nullptr) << "the Referer dialog did not open";
        SendWithin(GetDlgItem(dialog, 2001), BM_SETCHECK, BST_CHECKED, 0);
        SendWithin(GetDlgItem(dialog, 2002), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(referer.c_str()));
        ASSERT_TRUE(AnswerDialog(dialog, IDOK));
        ASSERT_TRUE(Settled());
        EXPECT_EQ(Setting(L"TOOLBAR", L"REFERER_ON"), L"1");
        EXPECT_EQ(Setting(L"TOOLBAR", L"REFERER"), referer);
        EXPECT_EQ(fieldText(kRefererBarId), referer);
        EXPECT_TRUE(IsWindowEnabled(PathBarField(Window(), kRefererBarId)));
        EXPECT_TRUE(SendWithin(GetDlgItem(Window(), kRefererBarId), TB_ISBUTTONCHECKED,
                               IDM_REFERER_TOGGLE, 0));
    }

    // 1063: taking the about button off in the dialog and pressing OK leaves it off the main
    // toolbar and out of the layout file.
    {
        walk_.Give(IDM_CUSTOMIZE_TOOLBAR, Way::kMenu);
        HWND dialog = WaitForDialog(L"標準ツールバーのボタンのカスタマイズ");
        ASSERT_NE(dialog, nullptr) << "the customization dialog did not open";
        HWND current = GetDlgItem(FindWindowExW(dialog, nullptr, L"TBB_REMOVE", nullptr), 3);
        ASSERT_TRUE(ClickToolbarButton(current, IDM_ABOUT));
        ASSERT_TRUE(WaitUntil([&] { return !ToolbarHasButton(current, IDM_ABOUT); }, 5000));
        HWND oldToolbar = GetDlgItem(Window(), kMainToolbarId);
        ASSERT_TRUE(AnswerDialog(dialog, IDOK));
        ASSERT_TRUE(Settled());
        HWND rebuilt = GetDlgItem(Window(), kMainToolbarId);
        EXPECT_NE(rebuilt, oldToolbar) << "the main toolbar was not rebuilt";
        EXPECT_FALSE(ToolbarHasButton(rebuilt, IDM_ABOUT));
        EXPECT_TRUE(ToolbarHasButton(rebuilt, IDM_README));
        EXPECT_EQ(LogLines(program_.PerUserFile(L" Tb.txt")),
                  std::vector<std::wstring>{
                      L"0,1,2,-1,3,4,5,6,7,8,9,10,-1,11,12,-1,13,14,15,16,17,18,19,20,21,22,-1,"
                      L"23,24,25,26,-1,27,28,29,30,-1,31,-1,32,-1,33"});
    }
    EXPECT_TRUE(DialogsOf(ProcessId()).empty());
    walk_.ExpectEveryWayGiven(IdRange(IDM_SELECT_DL_LIST, IDM_SELECT_DL_DIR));
    walk_.ExpectEveryWayGiven({IDM_OPTIONS, IDM_ABOUT, IDM_REFERER_DIALOG, IDM_CUSTOMIZE_TOOLBAR});
}

// The View menu shows and hides each bar and the status bar and says so in the settings;
// the Referer bar's button switches the Referer; the exit item ends the program.
TEST_F(CommandWalkTest, ViewItemsToggleTheBarsAndExitEndsTheProgram) {
    Start();
    struct View {
        UINT id;
        int childId;
        const wchar_t* key;
    };
    const View views[] = {
        {IDM_VIEW_MAIN_TBAR, kMainToolbarId, L"MAIN_TBAR"},
        {IDM_VIEW_DL_LIST_TBAR, kListBar, L"DL_LIST_TBAR"},
        {IDM_VIEW_DL_LOG_TBAR, kDoneBar, L"DL_LOG_TBAR"},
        {IDM_VIEW_CANCEL_LOG_TBAR, kCancelBar, L"CANCEL_LOG_TBAR"},
        {IDM_VIEW_ERR_LOG_TBAR, kErrorBar, L"ERR_LOG_TBAR"},
        {IDM_VIEW_DL_DIR_TBAR, kFolderBar, L"DL_DIR_TBAR"},
        {IDM_VIEW_REF_TBAR, kRefererBarId, L"REF_TBAR"},
        {IDM_VIEW_STATUSBAR, kStatusBarId, L"STATUSBAR"},
    };
    for (const View& view : views) {
        HWND child = GetDlgItem(Window(), view.childId);
        for (bool shown : {false, true}) {
            SCOPED_TRACE(testing::Message() << view.id << (shown ? " shows" : " hides"));
            walk_.Give(view.id, Way::kMenu);
            ASSERT_TRUE(Settled());
            EXPECT_EQ(IsWindowVisible(child) != 0, shown);
            EXPECT_EQ(Setting(L"VIEW", view.key), shown ? L"1" : L"0");
        }
    }

    HWND refererBar = GetDlgItem(Window(), kRefererBarId);
    HWND refererField = PathBarField(Window(), kRefererBarId);
    EXPECT_FALSE(IsWindowEnabled(refererField));
    for (bool on : {true, false}) {
        SCOPED_TRACE(on ? "Referer on" : "Referer off");
        walk_.Give(IDM_REFERER_TOGGLE, Way::kButton);
        ASSERT_TRUE(Settled());
        EXPECT_EQ(Setting(L"TOOLBAR", L"REFERER_ON"), on ? L"1" : L"0");
        EXPECT_EQ(IsWindowEnabled(refererField) != 0, on);
        EXPECT_EQ(SendWithin(refererBar, TB_ISBUTTONCHECKED, IDM_REFERER_TOGGLE, 0) != 0, on);
    }
    EXPECT_TRUE(DialogsOf(ProcessId()).empty());

    walk_.Give(IDM_EXIT, Way::kMenu);
    EXPECT_EQ(program_.WaitForExit(program_.process(), 10000), 0u) << "the program did not end";
    walk_.ExpectEveryWayGiven(IdRange(IDM_VIEW_MAIN_TBAR, IDM_VIEW_STATUSBAR));
    walk_.ExpectEveryWayGiven({IDM_REFERER_TOGGLE, IDM_EXIT});
}

namespace {

// Rows that download slowly from the HTTP fixture server, so a run lasts until it is
// stopped: one connection, small reads.
class CommandWalkRunTest : public CommandWalkTest {
protected:
    void SetUp() override {
        CommandWalkTest::SetUp();
        served_ = MakeFreshFolder(L"vlmr_walk_served_");
        ASSERT_TRUE(server_.Start(served_)) << server_.Error();
        ASSERT_TRUE(CreateDirectoryW(InFolder(L"saved").c_str(), nullptr));
        const std::pair<const wchar_t*, std::wstring> paths[] = {
            {L"DL_DIR", InFolder(L"saved")},      {L"DL_LIST", InFolder(L"list.txt")},
            {L"DL_LOG", InFolder(L"done.txt")},   {L"CANCEL_LOG", InFolder(L"cancel.txt")},
            {L"ERR_LOG", InFolder(L"error.txt")},
        };
        for (const auto& [key, path] : paths) {
            if (key != std::wstring(L"DL_DIR")) {
                ASSERT_TRUE(WriteBytes(path, ""));
            }
            program_.WriteSetting(L"TOOLBAR", key, path.c_str());
        }
        program_.WriteSetting(L"OPTION", L"CONNECT_NUM", L"1");
        program_.WriteSetting(L"OPTION", L"DL_BUF_SIZE", L"1");
        std::vector<std::wstring> records;
        for (int row = 0; row < kRows; ++row) {
            ASSERT_TRUE(WriteBytes(served_ + Name(row), Pattern(4000000, row)));
            records.push_back(L"0|スタンバイ||" + server_.Url(L"slow=20000", Name(row)));
        }
        program_.WriteList(records);
    }

    void TearDown() override {
        server_.Stop();
        RemoveFolder(served_);
        CommandWalkTest::TearDown();
    }

    static std::wstring Name(int row) { return L"slow" + std::to_wstring(row) + L".bin"; }
    size_t RequestsOf(int row) const {
        std::wstring name = Name(row);
        return RequestsFor(server_.Requests(), std::string(name.begin(), name.end())).size();
    }

    // Gives the start command and waits until the run is transferring the row.
    void ExpectRunOn(UINT id, Way way, int row) {
        SCOPED_TRACE(testing::Message() << "start " << id << " by " << NameOf(way));
        size_t before = RequestsOf(row);
        walk_.Give(id, way);
        ASSERT_TRUE(program_.WaitForTitle(kRunningTitle, 10000)) << "no run started";
        ASSERT_TRUE(WaitUntil([&] { return RequestsOf(row) == before + 1; }, 10000))
            << "the run did not take row " << row;
    }

    // Gives the stop command and waits until the run has ended without the completion notice.
    // The notice would follow the idle title at once; waiting for it also lets the run finish
    // ending, which it does just after putting the idle title back.
    void ExpectStopBy(UINT id, Way way) {
        SCOPED_TRACE(testing::Message() << "stop " << id << " by " << NameOf(way));
        walk_.Give(id, way);
        ASSERT_TRUE(program_.WaitForTitle(kIdleTitle, 10000)) << "the run did not end";
        EXPECT_EQ(program_.WaitForMessageBox(L"確認", ProcessId(), 1000).box, nullptr)
            << "a stopped run showed a notice";
    }

    static constexpr int kRows = 3;
    std::wstring served_;
    HttpFixture server_;
};

}  // namespace

// The download commands start runs over all rows and over the selected rows, the stop
// command and the download command stop them; while a run lasts, the commands it refuses do
// nothing whichever way they come, and the others still work.
TEST_F(CommandWalkRunTest, RunCommandsStartAndStopAndARunRefusesWhatItMust) {
    Start();
    // A run saves the list file now and then; it is read only while no run is active.
    const std::vector<std::wstring> urlsBefore = Urls();
    const std::string settingsBefore = ReadBytes(program_.SettingsFile());
    // A stop while no run is active is forgotten by the next start.
    program_.PostCommand(IDM_STOP);
    ExpectRunOn(IDM_DOWNLOAD, Way::kKey, 0);

    // The refused commands, each given every way; the list file would gain a row, a row
    // would be deleted, a dialog or a question would open.
    ASSERT_TRUE(WriteUrlFile(InFolder(L"list.txt"), {RowUrl(0)}));
    ASSERT_TRUE(SelectListRows(List(), {1}));
    for (UINT id : kRefusedDuringRun) {
        for (Way way : WaysOf(id)) {
            walk_.Give(id, way);
        }
    }
    ASSERT_TRUE(Settle(Window()));
    EXPECT_TRUE(DialogsOf(ProcessId()).empty()) << "a refused command opened a window";
    EXPECT_EQ(SendWithin(List(), LVM_GETITEMCOUNT, 0, 0), kRows);
    EXPECT_EQ(ReadBytes(program_.SettingsFile()), settingsBefore);
    EXPECT_FALSE(FileExists(program_.PerUserFile(L" Tb.txt")));
    EXPECT_EQ(WindowTitle(Window()), kRunningTitle);
    EXPECT_EQ(RequestsOf(1), 0u) << "F6 started something during the run";

    // Allowed during the run: selecting, and the about and Referer dialogs.
    walk_.Give(IDM_SELECT_ALL, Way::kButton);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(SelectedRows(List()), (std::vector<int>{0, 1, 2}));
    const std::tuple<UINT, const wchar_t*, int> dialogs[] = {
        {IDM_ABOUT, L"バージョン情報", IDOK}, {IDM_REFERER_DIALOG, L"Referer情報設定", IDCANCEL}};
    for (const auto& [id, title, close] : dialogs) {
        walk_.Give(id, Way::kMenu);
        HWND opened = WaitForDialog(title);
        ASSERT_NE(opened, nullptr) << id << " did not open its dialog during the run";
        ASSERT_TRUE(AnswerDialog(opened, close));
    }

    // The download command stops a run, whichever way it comes; so does the stop button. Each
    // run resumes the first row.
    ExpectStopBy(IDM_DOWNLOAD, Way::kMenu);
    EXPECT_EQ(States().at(0), L"4");
    ExpectRunOn(IDM_DOWNLOAD, Way::kButton, 0);
    ExpectStopBy(IDM_DOWNLOAD, Way::kKey);
    ExpectRunOn(IDM_DOWNLOAD, Way::kMenu, 0);
    ExpectStopBy(IDM_STOP, Way::kButton);

    // Runs over the selected rows take the selected row first.
    const std::tuple<Way, int, UINT, Way> selectedRuns[] = {
        {Way::kKey, 2, IDM_STOP, Way::kButton},
        {Way::kMenu, 1, IDM_DOWNLOAD, Way::kKey},
        {Way::kButton, 2, IDM_DOWNLOAD, Way::kMenu},
    };
    for (const auto& [way, row, stopId, stopWay] : selectedRuns) {
        ASSERT_TRUE(SelectListRows(List(), {row}));
        ExpectRunOn(IDM_DOWNLOAD_SELECTED, way, row);
        ExpectStopBy(stopId, stopWay);
    }
    EXPECT_EQ(Urls(), urlsBefore);
    walk_.ExpectEveryWayGiven({IDM_DOWNLOAD, IDM_DOWNLOAD_SELECTED, IDM_STOP});
    walk_.ExpectEveryWayGiven({std::begin(kRefusedDuringRun), std::end(kRefusedDuringRun)});
}
