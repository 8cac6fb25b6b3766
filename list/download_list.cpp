#include "list/download_list.h"

#include "base/display_scale.h"
#include "base/interface_thread.h"
#include "base/window_ids.h"
#include "list/list_file.h"
#include "list/row_record.h"
#include "res/resource.h"

#include <commctrl.h>

#include <array>
#include <iterator>
#include <memory>
#include <unordered_map>
#include <vector>

const wchar_t kStandbyText[] = L"スタンバイ";
const wchar_t kZeroSpeedText[] = L"   0Byte/s";

namespace {

// Row times grow in steps of this many rows; the new room starts at zero.
constexpr size_t kGrowthRows = 1024;
// Each column text is read into room for this many characters.
constexpr int kCellChars = 1024;

HWND gList = nullptr;
// One record per row, in row order; each row's item data is the address of its record.
RowRecords gRecordTable;
std::vector<RowTime> gRowTimes;
// Rows per state, kept as rows come, go and change state, so that nothing has to count them.
std::array<int, kEntryStateCount> gStateCounts{};
CountsChanged gCountsChanged;

struct ColumnSpec {
    const wchar_t* header;
    int format;
    int width;  // at 96 DPI
};

const ColumnSpec kColumns[] = {
    {L"No.", LVCFMT_RIGHT, 55},       {L"状態", LVCFMT_CENTER, 250},
    {L"DL速度", LVCFMT_CENTER, 90},   {L"DL経過時間", LVCFMT_CENTER, 100},
    {L"ﾌｧｲﾙｻｲｽﾞ", LVCFMT_CENTER, 90}, {L"URL", LVCFMT_LEFT, 500},
};

// A list view always draws its first column left-aligned. A zero-width first column that is
// deleted afterwards lets "No." be right-aligned.
void CreateColumns() {
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.pszText = const_cast<wchar_t*>(L"");
    SendMessageW(gList, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    for (int index = 0; index < 6; ++index) {
        column.fmt = kColumns[index].format;
        column.cx = ScaleForDpi(kColumns[index].width);
        column.pszText = const_cast<wchar_t*>(kColumns[index].header);
        column.iSubItem = index + 1;
        SendMessageW(gList, LVM_INSERTCOLUMNW, index + 1, reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(gList, LVM_DELETECOLUMN, 0, 0);
}

constexpr int kStateImageSize = 14;  // at 96 DPI
constexpr int kIconSizes[] = {16, 24, 32, 48};

// The state images at 14 pixels for 96 DPI and as much larger as the DPI is, each from the
// icon's image that is the smallest as large, scaled down.
void CreateStateImages(HINSTANCE instance) {
    int size = ScaleForDpi(kStateImageSize);
    int drawn = ArtworkSizeFor(size, kIconSizes, static_cast<int>(std::size(kIconSizes)));
    HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, kEntryStateCount, 0);
    for (int state = 0; state < kEntryStateCount; ++state) {
        auto icon =
            static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_STATE_STANDBY + state),
                                          IMAGE_ICON, drawn, drawn, LR_SHARED));
        ImageList_AddIcon(images, icon);
    }
    SendMessageW(gList, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
}

void EnsureRowTimes(int row) {
    if (static_cast<size_t>(row) >= gRowTimes.size()) {
        gRowTimes.resize((row / kGrowthRows + 1) * kGrowthRows, RowTime{0, 0});
    }
}

bool SetItemData(int row, std::wstring* record) {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = reinterpret_cast<LPARAM>(record);
    return SendMessageW(gList, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

void CountState(int state, int change) {
    if (state >= 0 && state < kEntryStateCount) {
        gStateCounts[state] += change;
    }
}

bool InsertRow(int row, int state, std::wstring* record) {
    std::wstring number = std::to_wstring(row + 1);
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = row;
    item.pszText = number.data();
    item.iImage = state;
    item.lParam = reinterpret_cast<LPARAM>(record);
    if (SendMessageW(gList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) != row) {
        return false;
    }
    CountState(state, 1);
    return true;
}

// Inserts a row as the list file describes it: the record kept exactly as read.
bool InsertLoadedRow(LoadedRow& loaded) {
    int row = static_cast<int>(gRecordTable.size());
    EnsureRowTimes(row);
    gRecordTable.push_back(std::make_unique<std::wstring>(std::move(loaded.record)));
    if (!InsertRow(row, loaded.fields.state, gRecordTable.back().get())) {
        gRecordTable.pop_back();
        return false;
    }
    if (!SetRowText(row, kColumnState, loaded.fields.stateText) ||
        !SetRowText(row, kColumnSpeed, kZeroSpeedText) || !SetRowText(row, kColumnElapsed, L"") ||
        !SetRowText(row, kColumnSize, loaded.fields.sizeText) ||
        !SetRowText(row, kColumnUrl, loaded.fields.url)) {
        DeleteListRow(row);
        gRecordTable.pop_back();
        return false;
    }
    return true;
}

void InsertLoadedRows(std::vector<LoadedRow> rows) {
    ListRedrawPause pause;
    for (LoadedRow& row : rows) {
        if (!InsertLoadedRow(row)) {
            KeepListFileAside();
            break;
        }
    }
}

}  // namespace

HWND CreateDownloadList(HWND mainWindow, const std::wstring& listFilePath,
                        CountsChanged countsChanged) {
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(mainWindow, GWLP_HINSTANCE));
    gList = CreateWindowExW(
        0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0, 10, 10,
        mainWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListViewId)), instance, nullptr);
    if (gList == nullptr) {
        return nullptr;
    }
    DWORD extended = static_cast<DWORD>(SendMessageW(gList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    SendMessageW(gList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 extended | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    CreateStateImages(instance);
    CreateColumns();
    gRecordTable.clear();
    gRowTimes.assign(kGrowthRows, RowTime{0, 0});
    gStateCounts.fill(0);
    gCountsChanged = std::move(countsChanged);
    InsertLoadedRows(LoadListFile(listFilePath, gRecordTable));
    return gList;
}

void DestroyDownloadList() {
    CloseListFile();
    gRecordTable.clear();
    gRecordTable.shrink_to_fit();
    gRowTimes.clear();
    gRowTimes.shrink_to_fit();
    gStateCounts.fill(0);
    gCountsChanged = nullptr;
    gList = nullptr;
}

void TellCountsChanged(CountsNotice notice) {
    if (gCountsChanged) {
        gCountsChanged(notice);
    }
}

HWND DownloadListWindow() {
    return gList;
}

int RowCount() {
    return gList != nullptr ? static_cast<int>(SendMessageW(gList, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

int RowState(int row) {
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (!SendMessageW(gList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) {
        return -1;
    }
    return item.iImage;
}

std::wstring RowText(int row, int column) {
    wchar_t buffer[kCellChars] = L"";
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = kCellChars;
    SendMessageW(gList, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return buffer;
}

bool SetRowText(int row, int column, const std::wstring& text) {
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    return SendMessageW(gList, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)) != 0;
}

// Sets the state icon, and the number too when there is one to set.
bool SetRowItem(int row, int state, std::wstring* number) {
    int old = RowState(row);
    LVITEMW item = {};
    item.mask = number != nullptr ? LVIF_TEXT | LVIF_IMAGE : LVIF_IMAGE;
    item.iItem = row;
    item.pszText = number != nullptr ? number->data() : nullptr;
    item.iImage = state;
    if (!SendMessageW(gList, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item))) {
        return false;
    }
    CountState(old, -1);
    CountState(state, 1);
    return true;
}

bool SetRowNumberAndState(int row, int state) {
    std::wstring number = std::to_wstring(row + 1);
    return SetRowItem(row, state, &number);
}

bool SetRowState(int row, int state) {
    return SetRowItem(row, state, nullptr);
}

bool DeleteListRow(int row) {
    int state = RowState(row);
    if (!SendMessageW(gList, LVM_DELETEITEM, row, 0)) {
        return false;
    }
    CountState(state, -1);
    return true;
}

bool DeleteAllListRows() {
    if (!SendMessageW(gList, LVM_DELETEALLITEMS, 0, 0)) {
        return false;
    }
    gStateCounts.fill(0);
    return true;
}

const std::array<int, kEntryStateCount>& RowStateCounts() {
    return gStateCounts;
}

bool AddEntry(const std::wstring& url) {
    int row = RowCount();
    if (!InsertRow(row, kStandby, nullptr)) {
        return false;
    }
    if (!SetRowText(row, kColumnState, kStandbyText) ||
        !SetRowText(row, kColumnSpeed, kZeroSpeedText) || !SetRowText(row, kColumnElapsed, L"") ||
        !SetRowText(row, kColumnSize, L" ？ Byte") || !SetRowText(row, kColumnUrl, url)) {
        DeleteListRow(row);
        return false;
    }
    return RebuildRowRecord(row);
}

bool RebuildRowRecord(int row, bool* changed) {
    EnsureRowTimes(row);
    bool hasRecord = static_cast<size_t>(row) < gRecordTable.size() && gRecordTable[row];
    std::wstring tail = hasRecord ? RecordTail(*gRecordTable[row]) : std::wstring();
    int state = RowState(row);
    if (state < 0) {
        return false;
    }
    std::wstring record =
        ComposeRowRecord(state, RowText(row, kColumnState), RowText(row, kColumnSize),
                         RowText(row, kColumnUrl), tail);
    if (changed != nullptr) {
        *changed = !hasRecord || *gRecordTable[row] != record;
        if (!*changed) {
            return true;
        }
    }
    if (hasRecord) {
        *gRecordTable[row] = std::move(record);
    } else {
        // A row without a record is a new one, and new rows are always added last.
        if (static_cast<size_t>(row) >= gRecordTable.size()) {
            gRecordTable.resize(row + 1);
        }
        gRecordTable[row] = std::make_unique<std::wstring>(std::move(record));
    }
    if (!SetItemData(row, gRecordTable[row].get())) {
        DeleteListRow(row);
        RemoveRowRecord(row);
        return false;
    }
    return true;
}

void RemoveRowRecord(int row) {
    if (static_cast<size_t>(row) < gRecordTable.size()) {
        gRecordTable.erase(gRecordTable.begin() + row);
    }
}

void RemoveRowRecords(std::vector<int> rows) {
    for (int row : rows) {
        if (static_cast<size_t>(row) < gRecordTable.size()) {
            gRecordTable[row].reset();
        }
    }
    std::erase_if(gRecordTable, [](const auto& record) { return record == nullptr; });
}

void ClearRowRecords() {
    gRecordTable.clear();
}

void ReorderRecordsLikeRows() {
    std::unordered_map<const std::wstring*, std::unique_ptr<std::wstring>> byAddress;
    for (auto& record : gRecordTable) {
        const std::wstring* address = record.get();
        byAddress.emplace(address, std::move(record));
    }
    int count = RowCount();
    RowRecords ordered(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row) {
        LVITEMW item = {};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        SendMessageW(gList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        auto found = byAddress.find(reinterpret_cast<const std::wstring*>(item.lParam));
        if (found != byAddress.end()) {
            ordered[row] = std::move(found->second);
        }
    }
    gRecordTable = std::move(ordered);
}

namespace {

// Runs edit on the row's record on the interface thread, from whichever thread asks; a row
// without a record is left alone.
template <typename Edit>
void OnRecord(int row, Edit edit) {
    RunOnInterfaceThread([&] {
        if (static_cast<size_t>(row) < gRecordTable.size() && gRecordTable[row]) {
            edit(*gRecordTable[row]);
        }
    });
}

}  // namespace

void StoreTotalSize(int row, double bytes) {
    OnRecord(row, [&](std::wstring& record) { StoreTotalSizeInRecord(record, bytes); });
}

double ReadTotalSize(int row) {
    double bytes = -1;
    OnRecord(row, [&](const std::wstring& record) { bytes = ReadTotalSizeFromRecord(record); });
    return bytes;
}

void StoreResumeValidator(int row, const std::wstring& validator) {
    OnRecord(row, [&](std::wstring& record) { StoreResumeValidatorInRecord(record, validator); });
}

std::wstring ReadResumeValidator(int row) {
    std::wstring validator;
    OnRecord(row, [&](const std::wstring& record) {
        validator = ReadResumeValidatorFromRecord(record);
    });
    return validator;
}

std::wstring RowRecordText(int row) {
    if (static_cast<size_t>(row) < gRecordTable.size() && gRecordTable[row]) {
        return *gRecordTable[row];
    }
    return std::wstring();
}

std::wstring AllRecordsText() {
    return ListFileText(gRecordTable);
}

RowTime* RowTimeOf(int row) {
    return row >= 0 && static_cast<size_t>(row) < gRowTimes.size() ? &gRowTimes[row] : nullptr;
}

ListRedrawPause::ListRedrawPause() {
    SendMessageW(gList, WM_SETREDRAW, FALSE, 0);
}

ListRedrawPause::~ListRedrawPause() {
    SendMessageW(gList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(gList, nullptr, TRUE);
}

std::vector<int> SelectedRows() {
    std::vector<int> rows;
    int row = -1;
    while ((row = static_cast<int>(
                SendMessageW(gList, LVM_GETNEXTITEM, row, MAKELPARAM(LVNI_SELECTED, 0)))) >= 0) {
        rows.push_back(row);
    }
    return rows;
}
