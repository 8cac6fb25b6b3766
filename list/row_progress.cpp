#include "list/row_progress.h"

#include "base/interface_thread.h"
#include "list/download_list.h"
#include "list/list_file.h"
#include "list/row_text.h"

namespace {

constexpr uint32_t kShowIntervalMs = 500;
constexpr uint32_t kSaveIntervalMs = 3000;

// The text of the last value formatted. A log applied to a million rows shows the same speed,
// time and (mostly) size on row after row; each is formatted once for a run of equal values.
// On the interface thread only.
template <typename Value, std::wstring (*Format)(Value)>
const std::wstring& Formatted(Value value) {
    static Value last = value;
    static std::wstring text = Format(value);
    if (value != last) {
        text = Format(value);
        last = value;
    }
    return text;
}

bool SetRowColumns(const RowUpdate& update) {
    int row = update.row;
    return SetRowState(row, update.state) && SetRowText(row, kColumnState, update.stateText) &&
           SetRowText(row, kColumnSpeed, Formatted<int32_t, FormatSpeedText>(update.speed)) &&
           SetRowText(row, kColumnElapsed,
                      Formatted<uint32_t, FormatElapsedText>(update.elapsed)) &&
           SetRowText(row, kColumnSize, Formatted<double, FormatSizeText>(update.size)) &&
           SetRowText(row, kColumnUrl, update.url);
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

bool UpdateRowWithTotal(const RowUpdate& update, double total) {
    bool shown = false;
    RunOnInterfaceThread([&] {
        StoreTotalSize(update.row, total);
        shown = UpdateRow(update);
    });
    return shown;
}

bool ShowRowInBulk(const RowUpdate& update) {
    return SetRowColumns(update) && RebuildRowRecord(update.row);
}
