#include "list/list_commands.h"

#include "base/text_file.h"
#include "list/download_list.h"
#include "list/list_file.h"
#include "list/row_progress.h"
#include "list/row_text.h"
#include "list/url_list.h"

#include <commctrl.h>

namespace {

void SaveAndCount() {
    SaveListFile();
    TellCountsChanged(CountsNotice::kAtOnce);
}

}  // namespace

bool ApplyLogFile(const std::wstring& path, LogKind log) {
    UrlList urls;
    if (!ReadUrlFile(path, urls)) {
        return false;
    }
    int count = RowCount();
    bool changed = false;
    ListRedrawPause pause;
    for (int row = 0; row < count; ++row) {
        std::wstring url = RowText(row, kColumnUrl);
        if (!urls.Contains(url)) {
            continue;
        }
        double total = ReadTotalSize(row);
        std::wstring text = log == LogKind::kDownload ? L"ダウンロード済み"
                            : log == LogKind::kCancel ? FormatLoggedInterruptedText(total)
                                                      : L"エラー";
        int state = log == LogKind::kDownload ? kDone
                    : log == LogKind::kCancel ? kInterrupted
                                              : kError;
        ShowRowInBulk(RowUpdate{state, row, text, 0, kNoElapsed, url, total});
        changed = true;
    }
    // Each matched row used to be saved on its own; the file written once holds the same.
    if (changed) {
        SaveAndCount();
    }
    return true;
}

void SetRowsState(int state, const wchar_t* stateText, bool selectedOnly) {
    HWND list = DownloadListWindow();
    int count = RowCount();
    {
        ListRedrawPause pause;
        for (int row = 0; row < count; ++row) {
            if (selectedOnly &&
                !(SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED)) {
                continue;
            }
            SetRowState(row, state);
            SetRowText(row, kColumnState, stateText);
            RebuildRowRecord(row);
            // A Standby entry starts its file afresh: what the old file was is of no use.
            if (state == kStandby) {
                StoreResumeValidator(row, std::wstring());
            }
        }
    }
    SaveAndCount();
}

bool DeleteSelectedRows() {
    HWND list = DownloadListWindow();
    SendMessageW(list, LVM_ENSUREVISIBLE, 0, FALSE);
    std::vector<int> deleted;
    bool renumbered = true;
    {
        ListRedrawPause pause;
        std::vector<int> selected = SelectedRows();
        // From the end, so the rows still to visit keep their indexes.
        for (auto row = selected.rbegin(); row != selected.rend(); ++row) {
            if (!DeleteListRow(*row)) {
                break;
            }
            deleted.push_back(*row);
        }
        RemoveRowRecords(deleted);
        int count = RowCount();
        int first = deleted.empty() ? count : deleted.back();
        for (int row = first; row < count && renumbered; ++row) {
            renumbered = SetRowText(row, kColumnNumber, std::to_wstring(row + 1));
        }
    }
    SaveAndCount();
    return renumbered;
}

bool DeleteAllRows() {
    if (!DeleteAllListRows()) {
        ReorderRecordsLikeRows();
        SaveAndCount();
        return false;
    }
    TellCountsChanged(CountsNotice::kAtOnce);
    ClearRowRecords();
    SaveListFile();  // an empty list: the mark alone
    return true;
}
