#include "list/row_progress.h"

#include "base/interface_thread.h"
#include "list/download_list.h"
#include "list/list_file.h"
#include "list/row_text.h"

namespace {

constexpr uint32_t kShowIntervalMs = 500;
constexpr uint32_t kSaveIntervalMs = 3000;

// Only what differs from the row is set: every change of a cell costs the control a repaint.
bool SetCell(int row, int column, const std::wstring& text) {
    return RowText(row, column) == text || SetRowText(row, column, text);
}

bool SetRowColumns(const RowUpdate& update) {
    int row = update.row;
    bool numbered = RowText(row, kColumnNumber) == std::to_wstring(row + 1);
    bool itemSet = numbered ? RowState(row) == update.state || SetRowState(row, update.state)
                            : SetRowNumberAndState(row, update.state);
    return itemSet && SetCell(row, kColumnState, update.stateText) &&
           SetCell(row, kColumnSpeed, FormatSpeedText(update.speed)) &&
           SetCell(row, kColumnElapsed, FormatElapsedText(update.elapsed)) &&
           SetCell(row, kColumnSize, FormatSizeText(update.size)) &&
           SetCell(row, kColumnUrl, update.url);
}

bool ShowUpdate(const RowUpdate& update) {
    int row = update.row;
    int oldState = RowState(row);
    if (!SetRowColumns(update)) {
        return false;
    }
    RowTime* times = RowTimeOf(row);
    // Tick differences in unsigned arithmetic survive the wrap after 49.7 days.
    if (update.state != kDownloading || GetTickCount() - times->saved > kSaveIntervalMs) {
        bool changed = false;
        if (RebuildRowRecord(row, &changed) && changed) {
            SaveListFile();
        }
        if (update.state == kDownloading) {
            times->saved = GetTickCount();
        }
    }
    if (update.state != oldState) {
        TellCountsChanged(CountsNotice::kWhenIdle);
    }
    return true;
}

}  // namespace

bool UpdateRow(const RowUpdate& update) {
    RowTime* times = RowTimeOf(update.row);
    if (times == nullptr) {
        return false;
    }
    if (update.state == kDownloading) {
        // A row is worked by one worker at a time, so its shown tick has a single writer.
        if (GetTickCount() - times->shown < kShowIntervalMs) {
            return true;
        }
        times->shown = GetTickCount();
    }
    bool shown = false;
    RunOnInterfaceThread([&] {
        if (DownloadListWindow() != nullptr && update.row < RowCount()) {
            shown = ShowUpdate(update);
        }
    });
    return shown;
}

bool ShowRowInBulk(const RowUpdate& update) {
    return SetRowColumns(update) && RebuildRowRecord(update.row);
}
