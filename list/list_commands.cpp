#include "list/list_commands.h"

#include "base/text_file.h"
#include "list/download_list.h"
#include "list/list_file.h"
#include "list/row_progress.h"
#include "list/row_text.h"
#include "list/url_list.h"

#include <commctrl.h>

#include <new>

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
    int state = log == LogKind::kDownload ? kDone : log == LogKind::kCancel ? kInterrupted : kError;
    RowUpdate update{state, 0,          log == LogKind::kDownload ? L"ダウンロード済み" : L"エラー",
                     0,     kNoElapsed, std::wstring(),
                     -1};
    ListRedrawPause pause;
    for (int row = 0; row < count; ++row) {
        update.url = RowText(row, kColumnUrl);
        if (!urls.Contains(update.url)) {
            continue;
        }
        update.row = row;
        update.size = ReadTotalSize(row);
        if (log == LogKind::kCancel) {
            update.stateText = FormatLoggedInterruptedText(update.size);
        }
        ShowRowInBulk(update);
        changed = true;
    }
    // Each matched row used to be saved on its own; the file written once holds the same.
    if (changed) {
        SaveAndCount();
    }
    return true;
}

void SetRowsState(int state, const wchar_t* stateText, bool selectedOnly) {
    {
        ListRedrawPause pause;
        auto setRow = [&](int row) {
            SetRowState(row, state);
            SetRowText(row, kColumnState, stateText);
            RebuildRowRecord(row);
            // A Standby entry starts its file afresh: what the old file was is of no use.
            if (state == kStandby) {
                StoreResumeValidator(row, std::wstring());
            }
        };
        if (selectedOnly) {
            for (int row : SelectedRows()) {
                setRow(row);
            }
        } else {
            int count = RowCount();
            for (int row = 0; row < count; ++row) {
                setRow(row);
            }
        }
    }
    SaveAndCount();
}

bool DeleteSelectedRows() {
    SendMessageW(DownloadListWindow(), LVM_ENSUREVISIBLE, 0, FALSE);
    bool deleted = true;
    {
        ListRedrawPause pause;
        try {
            DeleteRows(SelectedRows());
        } catch (const std::bad_alloc&) {
            deleted = false;  // not even the list of the selected rows could be made
        }
    }
    SaveAndCount();
    return deleted;
}

void DeleteAllRows() {
    DeleteEveryRow();
    TellCountsChanged(CountsNotice::kAtOnce);
    SaveListFile();  // an empty list: the mark alone
}
