// The file and folder choosers: what they ask the system dialogs, and what a choice or a
// cancel does to the path bar fields and the settings file.
#include "tests/gui/main_window_fixture.h"

#include "bars/choosers.h"
#include "base/window_ids.h"

#include <cderr.h>
#include <dlgs.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

const wchar_t kNeverWritten[] = L"<missing>";

struct FileChooser {
    int barId;
    const wchar_t* key;
    const wchar_t* title;
};

const FileChooser kFileChoosers[] = {
    {kDownloadListBarId, L"DL_LIST", L"ダウンロードリストファイルを選択"},
    {kDownloadLogBarId, L"DL_LOG", L"ダウンロードログファイルを選択"},
    {kCancelLogBarId, L"CANCEL_LOG", L"中断ログファイルを選択"},
    {kErrorLogBarId, L"ERR_LOG", L"エラーログファイルを選択"},
};

// What the file dialog was asked, copied while the call lasts.
struct FileQuestion {
    OPENFILENAMEW dialog;
    std::wstring proposedName;
    std::vector<std::wstring> filter;
};

// A filter list: strings ending with NUL, the list ending with an empty string.
std::vector<std::wstring> SplitFilter(const wchar_t* list) {
    std::vector<std::wstring> parts;
    for (const wchar_t* part = list; part != nullptr && *part != L'\0'; part += wcslen(part) + 1) {
        parts.push_back(part);
    }
    return parts;
}

// How the fake file dialog answers one call.
struct FileAnswer {
    BOOL confirmed;
    DWORD error;
    std::wstring path;  // written into the name buffer
    DWORD filterIndex;  // left in the record
};

// The folder dialog's window as the browse callback sees it: records the selection it asks.
struct SelectionRecord {
    bool asked = false;
    WPARAM isPath = 0;
    std::wstring path;
};
SelectionRecord gSelection;

LRESULT CALLBACK FakeBrowseWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == BFFM_SETSELECTIONW) {
        gSelection = {true, wParam, reinterpret_cast<const wchar_t*>(lParam)};
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class ChooserTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        SetFileDialogCall([this](OPENFILENAMEW& dialog, DWORD& error) {
            questions_.push_back({dialog, dialog.lpstrFile, SplitFilter(dialog.lpstrFilter)});
            FileAnswer answer =
                fileAnswers_.empty() ? FileAnswer{FALSE, 0, L"", 0} : fileAnswers_.front();
            if (!fileAnswers_.empty()) {
                fileAnswers_.erase(fileAnswers_.begin());
            }
            wcsncpy(dialog.lpstrFile, answer.path.c_str(), dialog.nMaxFile);
            dialog.nFilterIndex = answer.filterIndex;
            error = answer.error;
            return answer.confirmed;
        });
    }

    void TearDown() override {
        SetFileDialogCall(nullptr);
        SetFolderDialogCall(nullptr);
        MainWindowTest::TearDown();
    }

    std::wstring FieldText(int barId) {
        wchar_t text[1024] = L"";
        GetDlgItemTextW(GetDlgItem(window_, barId), kPathBarEditBase + barId, text, 1024);
        return text;
    }

    // Opens the chooser of one bar with the given answers; returns the filter index each
    // opening of the dialog started with.
    std::vector<DWORD> Choose(int barId, std::vector<FileAnswer> answers) {
        fileAnswers_ = std::move(answers);
        questions_.clear();
        ChoosePathBarFile(window_, barId);
        PumpPending();
        std::vector<DWORD> indices;
        for (const FileQuestion& question : questions_) {
            indices.push_back(question.dialog.nFilterIndex);
        }
        return indices;
    }

    std::vector<FileAnswer> fileAnswers_;
    std::vector<FileQuestion> questions_;
};

}  // namespace

TEST_F(ChooserTest, ChooserFileDialogsAskWithTheirTitleAndFilterAndTakeEvenANewFile) {
    CreateWindowUnderTest();
    for (const FileChooser& chooser : kFileChoosers) {
        SCOPED_TRACE(chooser.key);
        const std::wstring current = L"C:\\logs\\" + std::wstring(chooser.key) + L".txt";
        SetBarText(chooser.barId, current);
        // A file that does not exist yet, as a new log would be.
        const std::wstring chosen = folder_ + L"new " + chooser.key + L".txt";

        Choose(chooser.barId, {{TRUE, 0, chosen, 1}});
        ASSERT_EQ(questions_.size(), 1u);
        const FileQuestion& question = questions_[0];
        EXPECT_EQ(question.dialog.hwndOwner, window_);
        EXPECT_STREQ(question.dialog.lpstrTitle, chooser.title);
        EXPECT_EQ(question.filter, (std::vector<std::wstring>{L"TXT ファイル (*.txt)", L"*.txt",
                                                              L"全て (*.*)", L"*.*"}));
        EXPECT_EQ(question.proposedName, current);
        // No existence checks, no starting folder of its own, no default extension.
        EXPECT_EQ(question.dialog.Flags, static_cast<DWORD>(OFN_HIDEREADONLY));
        EXPECT_EQ(question.dialog.lpstrInitialDir, nullptr);
        EXPECT_EQ(question.dialog.lpstrDefExt, nullptr);
        EXPECT_EQ(FieldText(chooser.barId), chosen);
        EXPECT_EQ(ReadSetting(L"TOOLBAR", chooser.key), chosen);

        // A cancel, whatever the dialog left in its buffer, changes nothing.
        Choose(chooser.barId, {{FALSE, 0, folder_ + L"other.txt", 2}});
        EXPECT_EQ(questions_.size(), 1u);
        EXPECT_EQ(FieldText(chooser.barId), chosen);
        EXPECT_EQ(ReadSetting(L"TOOLBAR", chooser.key), chosen);
    }
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ChooserTest, ChooserRemembersTheConfirmedFilterForItselfOnly) {
    CreateWindowUnderTest();
    const std::wstring chosen = folder_ + L"a.txt";
    for (const FileChooser& chooser : kFileChoosers) {
        Choose(chooser.barId, {{TRUE, 0, chosen, 1}});
    }
    // "全て (*.*)" confirmed in the download log chooser.
    Choose(kDownloadLogBarId, {{TRUE, 0, chosen, 2}});
    for (const FileChooser& chooser : kFileChoosers) {
        SCOPED_TRACE(chooser.key);
        DWORD expected = chooser.barId == kDownloadLogBarId ? 2 : 1;
        EXPECT_EQ(Choose(chooser.barId, {}), std::vector<DWORD>{expected});
    }
    // A cancel forgets the filter the user had picked in it.
    Choose(kDownloadLogBarId, {{FALSE, 0, L"", 1}});
    EXPECT_EQ(Choose(kDownloadLogBarId, {}), std::vector<DWORD>{2});
}

TEST_F(ChooserTest, ChooserOpensWithoutAProposedNameWhenTheDialogRefusesTheFieldsText) {
    CreateWindowUnderTest();
    // A path pasted with its quotes is no file name the dialog accepts.
    const std::wstring quoted = L"\"C:\\lists\\list.txt\"";
    const std::wstring chosen = folder_ + L"list.txt";
    SetBarText(kDownloadListBarId, quoted);
    Choose(kDownloadListBarId, {{FALSE, FNERR_INVALIDFILENAME, L"", 0}, {TRUE, 0, chosen, 1}});
    ASSERT_EQ(questions_.size(), 2u);
    EXPECT_EQ(questions_[0].proposedName, quoted);
    EXPECT_EQ(questions_[1].proposedName, L"");
    EXPECT_STREQ(questions_[1].dialog.lpstrTitle, L"ダウンロードリストファイルを選択");
    EXPECT_EQ(FieldText(kDownloadListBarId), chosen);

    // Any other failure is a failure: no second dialog, nothing changes, no message.
    SetBarText(kDownloadListBarId, quoted);
    Choose(kDownloadListBarId, {{FALSE, FNERR_BUFFERTOOSMALL, L"", 0}, {TRUE, 0, chosen, 1}});
    EXPECT_EQ(questions_.size(), 1u);
    EXPECT_EQ(FieldText(kDownloadListBarId), quoted);
    // Refused twice: the second refusal ends it.
    Choose(kDownloadListBarId,
           {{FALSE, FNERR_INVALIDFILENAME, L"", 0}, {FALSE, FNERR_INVALIDFILENAME, L"", 0}});
    EXPECT_EQ(questions_.size(), 2u);
    EXPECT_EQ(FieldText(kDownloadListBarId), quoted);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ChooserTest, ChooserSaveFolderOpensAtTheFieldsFolderOrTheCurrentDirectory) {
    CreateWindowUnderTest();
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = FakeBrowseWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VelmoraTestBrowseDialog";
    RegisterClassW(&windowClass);
    HWND fakeDialog = CreateWindowW(windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(fakeDialog, nullptr);
    wchar_t currentDirectory[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, currentDirectory);
    const std::wstring chosen = folder_ + L"chosen";
    ASSERT_TRUE(CreateDirectoryW(chosen.c_str(), nullptr));

    struct Case {
        const char* name;
        std::wstring field;
        std::wstring start;
        bool confirmed;
    };
    const Case cases[] = {
        {"a folder", folder_, folder_, true},
        {"empty", L"", currentDirectory, true},
        {"no folder", folder_ + L"missing", currentDirectory, true},
        {"cancelled", folder_, folder_, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetBarText(kSaveFolderBarId, c.field);
        BROWSEINFOW asked = {};
        gSelection = {};
        int calls = 0;
        SetFolderDialogCall([&](BROWSEINFOW& browse) -> PIDLIST_ABSOLUTE {
            ++calls;
            asked = browse;
            // What the dialog does as it opens.
            EXPECT_EQ(browse.lpfn(fakeDialog, BFFM_INITIALIZED, 0, browse.lParam), 0);
            return c.confirmed ? ILCreateFromPathW(chosen.c_str()) : nullptr;
        });
        ChooseSaveFolder(window_);
        PumpPending();
        ASSERT_EQ(calls, 1);
        EXPECT_EQ(asked.hwndOwner, window_);
        EXPECT_EQ(asked.pidlRoot, nullptr);  // the whole namespace
        EXPECT_EQ(asked.ulFlags, static_cast<UINT>(BIF_RETURNONLYFSDIRS));
        EXPECT_TRUE(gSelection.asked);
        EXPECT_EQ(gSelection.isPath, static_cast<WPARAM>(TRUE));
        EXPECT_EQ(gSelection.path, c.start);
        std::wstring expected = c.confirmed ? chosen : c.field;
        EXPECT_EQ(FieldText(kSaveFolderBarId), expected);
        EXPECT_EQ(ReadSetting(L"TOOLBAR", L"DL_DIR"), expected);
    }
    EXPECT_TRUE(messages_.empty());
    DestroyWindow(fakeDialog);
}

namespace {

// Works a real system dialog of the thread from inside its modal loop: a thread timer waits
// for a visible dialog box owned by the owner window and runs the step on it once. Should the
// step leave the dialog open, it is cancelled after three seconds so the test fails instead of
// hanging.
class SystemDialogDriver {
public:
    SystemDialogDriver(HWND owner, std::function<void(HWND)> step)
        : owner_(owner), step_(std::move(step)) {
        gDriver = this;
        timer_ = SetTimer(nullptr, 0, 100, &SystemDialogDriver::Tick);
    }
    ~SystemDialogDriver() {
        KillTimer(nullptr, timer_);
        gDriver = nullptr;
    }

    bool shown = false;
    bool leftOpen = false;

private:
    static BOOL CALLBACK FindDialog(HWND window, LPARAM data) {
        auto* driver = reinterpret_cast<SystemDialogDriver*>(data);
        wchar_t className[16] = L"";
        GetClassNameW(window, className, 16);
        if (wcscmp(className, L"#32770") == 0 && IsWindowVisible(window) &&
            GetWindow(window, GW_OWNER) == driver->owner_) {
            driver->dialog_ = window;
            return FALSE;
        }
        return TRUE;
    }

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        SystemDialogDriver* driver = gDriver;
        if (driver == nullptr) {
            return;
        }
        if (driver->shown) {
            if (IsWindow(driver->dialog_) && GetTickCount() - driver->stepDone_ > 3000) {
                driver->leftOpen = true;
                PostMessageW(driver->dialog_, WM_COMMAND, IDCANCEL, 0);
            }
            return;
        }
        EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(driver));
        if (driver->dialog_ != nullptr) {
            driver->shown = true;
            driver->stepDone_ = GetTickCount();
            driver->step_(driver->dialog_);
        }
    }

    static inline SystemDialogDriver* gDriver = nullptr;
    HWND owner_;
    HWND dialog_ = nullptr;
    std::function<void(HWND)> step_;
    DWORD stepDone_ = 0;
    UINT_PTR timer_ = 0;
};

}  // namespace

// The system's own file dialog, which Wine runs reliably inside the test (its folder dialog
// selects the starting folder only now and then, so that one is answered through the seam).
TEST_F(ChooserTest, ChooserRealFileDialogStartsInTheFieldsFolderWithTheRememberedFilter) {
    CreateWindowUnderTest();
    // "全て (*.*)" confirmed in this chooser before: the real dialog starts with it.
    Choose(kDownloadLogBarId, {{TRUE, 0, folder_ + L"old.txt", 2}});
    SetFileDialogCall(nullptr);
    // The dialog makes the chosen file's folder the current directory; this one goes away
    // with the test.
    wchar_t currentDirectory[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, currentDirectory);
    const std::wstring logs = folder_ + L"logs";
    ASSERT_TRUE(CreateDirectoryW(logs.c_str(), nullptr));
    SetBarText(kDownloadLogBarId, logs + L"\\dl.txt");

    SystemDialogDriver driver(window_, [&](HWND dialog) {
        wchar_t text[600] = L"";
        GetWindowTextW(dialog, text, 600);
        EXPECT_STREQ(text, L"ダウンロードログファイルを選択");
        SendMessageW(dialog, CDM_GETFOLDERPATH, 600, reinterpret_cast<LPARAM>(text));
        EXPECT_STREQ(text, logs.c_str());
        SendMessageW(dialog, CDM_GETSPEC, 600, reinterpret_cast<LPARAM>(text));
        EXPECT_STREQ(text, L"dl.txt");
        HWND types = GetDlgItem(dialog, cmb1);
        EXPECT_EQ(SendMessageW(types, CB_GETCOUNT, 0, 0), 2);
        SendMessageW(types, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text));
        EXPECT_STREQ(text, L"全て (*.*)");
        EXPECT_EQ(SendMessageW(types, CB_GETCURSEL, 0, 0), 1);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, chx1)));  // read-only box hidden

        SendMessageW(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(L"new.txt"));
        SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
    ChoosePathBarFile(window_, kDownloadLogBarId);
    SetCurrentDirectoryW(currentDirectory);
    ASSERT_TRUE(driver.shown) << "the file dialog did not open";
    EXPECT_FALSE(driver.leftOpen) << "the file dialog stayed open";
    EXPECT_EQ(FieldText(kDownloadLogBarId), logs + L"\\new.txt");
    EXPECT_EQ(ReadSetting(L"TOOLBAR", L"DL_LOG"), logs + L"\\new.txt");
    EXPECT_FALSE(FileExists(logs + L"\\new.txt"));
}
