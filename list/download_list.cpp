#include "list/download_list.h"

#include "base/display_scale.h"
#include "base/interface_thread.h"
#include "base/text_file.h"
#include "base/window_ids.h"
#include "list/list_file.h"
#include "list/row_record.h"
#include "res/resource.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

const wchar_t kStandbyText[] = L"スタンバイ";
const wchar_t kZeroSpeedText[] = L"   0Byte/s";

namespace {

constexpr wchar_t kUnknownSizeText[] = L" ？ Byte";

// The window's one download list: the control and the rows it shows. The main window creates
// and destroys it; the functions of the header are its interface to the rest of the program.
struct DownloadList {
    HWND control = nullptr;
    RowStore rows;
    CountsChanged countsChanged;
    int redrawPauses = 0;
};
DownloadList gDownloadList;
RowStore& Rows() {
    return gDownloadList.rows;
}

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
    SendMessageW(gDownloadList.control, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    for (int index = 0; index < 6; ++index) {
        column.fmt = kColumns[index].format;
        column.cx = ScaleForDpi(kColumns[index].width);
        column.pszText = const_cast<wchar_t*>(kColumns[index].header);
        column.iSubItem = index + 1;
        SendMessageW(gDownloadList.control, LVM_INSERTCOLUMNW, index + 1,
                     reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(gDownloadList.control, LVM_DELETECOLUMN, 0, 0);
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
    SendMessageW(gDownloadList.control, LVM_SETIMAGELIST, LVSIL_SMALL,
                 reinterpret_cast<LPARAM>(images));
}

// A row as the list file describes it. Its record stays the line exactly as read, held apart
// only when the fields do not make it again (a state written "03", a field cut at its limit).
Row RowFromLoaded(LoadedRow& loaded) {
    Row row;
    row.state = static_cast<uint8_t>(loaded.fields.state);
    row.stateText = Rows().TextId(loaded.fields.stateText);
    row.sizeText = Rows().TextId(loaded.fields.sizeText);
    row.speedText = Rows().TextId(kZeroSpeedText);
    row.url = std::move(loaded.fields.url);
    row.tail = Rows().TextId(RecordTail(loaded.record));
    row.TakeShownFieldsAsRecord();
    if (Rows().RecordOf(row) != loaded.record) {
        row.record = std::make_unique<std::wstring>(std::move(loaded.record));
    }
    return row;
}

void SetControlRowCount() {
    SendMessageW(gDownloadList.control, LVM_SETITEMCOUNT, Rows().size(), 0);
}

bool TakeLoadedRow(LoadedRow& loaded) {
    try {
        Rows().Append(RowFromLoaded(loaded));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Only a row in view is redrawn: under Wine every redraw is a round trip to the server even
// for a row far outside the window, and a run changes rows several times a second.
void RedrawRow(int row) {
    if (gDownloadList.redrawPauses != 0) {
        return;
    }
    auto top = static_cast<int>(SendMessageW(gDownloadList.control, LVM_GETTOPINDEX, 0, 0));
    auto inView = static_cast<int>(SendMessageW(gDownloadList.control, LVM_GETCOUNTPERPAGE, 0, 0));
    // The count per page leaves out a row that is cut at the bottom: one more is in view.
    if (row >= top && row <= top + inView) {
        SendMessageW(gDownloadList.control, LVM_REDRAWITEMS, row, row);
    }
}

void SetSelected(int row, bool selected) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    SendMessageW(gDownloadList.control, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

// Applies an edit to the row's record, keeping whatever else the record holds.
template <typename Edit>
void EditRecord(int row, Edit edit) {
    RunOnInterfaceThread([&] {
        if (Row* entry = Rows().At(row)) {
            std::wstring record = Rows().RecordOf(*entry);
            edit(record);
            entry->tail = Rows().TextId(RecordTail(record));
            if (entry->record) {
                *entry->record = std::move(record);
            }
        }
    });
}

// A row without a tail has neither a total nor a validator, and most rows have none: their
// record need not be made to learn that.
bool MayHaveTail(const Row& entry) {
    return entry.tail != 0 || entry.record;
}

// Reads the row's record on the interface thread, when it may have a tail.
template <typename Read>
void ReadRecordTail(int row, Read read) {
    RunOnInterfaceThread([&] {
        const Row* entry = Rows().At(row);
        if (entry != nullptr && MayHaveTail(*entry)) {
            read(Rows().RecordOf(*entry));
        }
    });
}

}  // namespace

HWND CreateDownloadList(HWND mainWindow, const std::wstring& listFilePath,
                        CountsChanged countsChanged) {
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(mainWindow, GWLP_HINSTANCE));
    gDownloadList.control = CreateWindowExW(
        0, WC_LISTVIEWW, L"",
        WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_OWNERDATA, 0, 0, 10, 10,
        mainWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListViewId)), instance, nullptr);
    if (gDownloadList.control == nullptr) {
        return nullptr;
    }
    DWORD extended =
        static_cast<DWORD>(SendMessageW(gDownloadList.control, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    SendMessageW(gDownloadList.control, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 extended | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    CreateStateImages(instance);
    CreateColumns();
    Rows().Release();
    gDownloadList.countsChanged = std::move(countsChanged);
    LoadListFile(listFilePath, AllRecordsFileBytes, TakeLoadedRow);
    Rows().EnsureTimes(Rows().size());
    SetControlRowCount();
    return gDownloadList.control;
}

void DestroyDownloadList() {
    CloseListFile();
    Rows().Release();
    gDownloadList.countsChanged = nullptr;
    gDownloadList.control = nullptr;
}

void TellCountsChanged(CountsNotice notice) {
    if (gDownloadList.countsChanged) {
        gDownloadList.countsChanged(notice);
    }
}

HWND DownloadListWindow() {
    return gDownloadList.control;
}

int RowCount() {
    return gDownloadList.control != nullptr ? static_cast<int>(Rows().size()) : 0;
}

int RowState(int row) {
    const Row* entry = Rows().At(row);
    return entry != nullptr ? entry->state : -1;
}

std::wstring RowText(int row, int column) {
    const Row* entry = Rows().At(row);
    if (entry == nullptr) {
        return std::wstring();
    }
    switch (column) {
        case kColumnNumber:
            return std::to_wstring(row + 1);
        case kColumnState:
            return Rows().Text(entry->stateText);
        case kColumnSpeed:
            return Rows().Text(entry->speedText);
        case kColumnElapsed:
            return Rows().Text(entry->elapsedText);
        case kColumnSize:
            return Rows().Text(entry->sizeText);
        case kColumnUrl:
            return entry->url;
        default:
            return std::wstring();
    }
}

bool SetRowText(int row, int column, const std::wstring& text) {
    Row* entry = Rows().At(row);
    if (entry == nullptr || column < kColumnNumber || column > kColumnUrl) {
        return false;
    }
    if (column == kColumnUrl) {
        if (entry->url != text) {
            if (!entry->record) {
                // The record keeps the URL it was made with until the next rebuild.
                entry->record = std::make_unique<std::wstring>(Rows().RecordOf(*entry));
            }
            entry->url = text;
            RedrawRow(row);
        }
        return true;
    }
    uint32_t* const ids[] = {nullptr, &entry->stateText, &entry->speedText, &entry->elapsedText,
                             &entry->sizeText};
    if (column != kColumnNumber) {
        uint32_t id =
            Rows().TextId(text);  // a clean-up of the texts leaves the rows where they are
        uint32_t* const target = ids[column];
        if (*target != id) {
            *target = id;
            RedrawRow(row);
        }
    }
    return true;
}

bool SetRowState(int row, int state) {
    Row* entry = Rows().At(row);
    if (entry == nullptr || state < 0 || state >= kEntryStateCount) {
        return false;
    }
    if (entry->state != state) {
        Rows().SetState(*entry, state);
        RedrawRow(row);
    }
    return true;
}

// Empties the control, its selection included, without a notice for each row it held; the
// rows it is to show are then set again. Deselecting the rows one by one would cost the
// control a notice and a search of its selection for each.
void ResetControlRows() {
    SendMessageW(gDownloadList.control, LVM_DELETEALLITEMS, 0, 0);
    SetControlRowCount();
}

void DeleteRows(const std::vector<int>& rows) {
    Rows().Delete(rows);
    ResetControlRows();
}

void DeleteEveryRow() {
    Rows().Clear();
    ResetControlRows();
}

void ReorderRows(const std::vector<int>& order) {
    std::vector<char> wasSelected(Rows().size(), 0);
    for (int row : SelectedRows()) {
        wasSelected[row] = 1;
    }
    Rows().Reorder(order);
    ResetControlRows();
    for (size_t row = 0; row < order.size(); ++row) {
        if (wasSelected[order[row]]) {
            SetSelected(static_cast<int>(row), true);
        }
    }
}

void FillRowDisplayInfo(NMLVDISPINFOW* info) {
    LVITEMW& item = info->item;
    const Row* entry = Rows().At(item.iItem);
    if (entry == nullptr) {
        return;
    }
    if ((item.mask & LVIF_TEXT) && item.pszText != nullptr && item.cchTextMax > 0) {
        std::wstring text = RowText(item.iItem, item.iSubItem);
        lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
    }
    if (item.mask & LVIF_IMAGE) {
        item.iImage = entry->state;
    }
}

int FindRowByNumberText(const wchar_t* text, int start) {
    std::wstring_view wanted = text != nullptr ? text : L"";
    int count = RowCount();
    for (int step = 0; step < count && !wanted.empty(); ++step) {
        int row = (std::max(start, 0) + step) % count;
        if (std::to_wstring(row + 1).starts_with(wanted)) {
            return row;
        }
    }
    return -1;
}

const std::array<int, kEntryStateCount>& RowStateCounts() {
    return Rows().Counts();
}

bool AddEntry(const std::wstring& url) {
    try {
        Row row;
        row.stateText = Rows().TextId(kStandbyText);
        row.speedText = Rows().TextId(kZeroSpeedText);
        row.sizeText = Rows().TextId(kUnknownSizeText);
        row.url = url;
        row.TakeShownFieldsAsRecord();
        Rows().EnsureTimes(Rows().size() + 1);
        Rows().Append(std::move(row));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (gDownloadList.redrawPauses == 0) {
        SetControlRowCount();
    }
    return true;
}

bool RebuildRowRecord(int row, bool* changed) {
    Row* entry = Rows().At(row);
    if (entry == nullptr) {
        return false;
    }
    if (changed != nullptr) {
        std::wstring before = Rows().RecordOf(*entry);
        Row rebuilt;
        rebuilt.url = entry->url;
        rebuilt.state = entry->state;
        rebuilt.stateText = entry->stateText;
        rebuilt.sizeText = entry->sizeText;
        rebuilt.tail = entry->tail;
        rebuilt.TakeShownFieldsAsRecord();
        *changed = Rows().RecordOf(rebuilt) != before;
        if (!*changed) {
            return true;
        }
    }
    (*entry).TakeShownFieldsAsRecord();
    return true;
}

void StoreTotalSize(int row, double bytes) {
    EditRecord(row, [bytes](std::wstring& record) { StoreTotalSizeInRecord(record, bytes); });
}

double ReadTotalSize(int row) {
    double bytes = -1;
    ReadRecordTail(row,
                   [&](const std::wstring& record) { bytes = ReadTotalSizeFromRecord(record); });
    return bytes;
}

void StoreResumeValidator(int row, const std::wstring& validator) {
    RunOnInterfaceThread([&] {
        const Row* entry = Rows().At(row);
        // Only a row with a tail has a validator to remove.
        if (entry != nullptr && (!validator.empty() || MayHaveTail(*entry))) {
            EditRecord(row, [&](std::wstring& record) {
                StoreResumeValidatorInRecord(record, validator);
            });
        }
    });
}

std::wstring ReadResumeValidator(int row) {
    std::wstring validator;
    ReadRecordTail(row, [&](const std::wstring& record) {
        validator = ReadResumeValidatorFromRecord(record);
    });
    return validator;
}

std::wstring RowRecordText(int row) {
    const Row* entry = Rows().At(row);
    return entry != nullptr ? Rows().RecordOf(*entry) : std::wstring();
}

std::wstring AllRecordsText() {
    std::wstring text;
    for (const Row& row : Rows().rows()) {
        Rows().AppendRecord(text, row);
    }
    return text;
}

std::string AllRecordsFileBytes() {
    std::string bytes = EncodeUtf16LeText(L"");
    std::wstring record;
    const std::vector<Row>& rows = Rows().rows();
    for (const Row& row : rows) {
        record.clear();
        Rows().AppendRecord(record, row);
        if (bytes.capacity() - bytes.size() < 2 * record.size() + 2) {
            // Room for rows like this one to the end, so the text grows a few times only.
            bytes.reserve(bytes.size() +
                          (rows.size() - (&row - rows.data())) * (2 * record.size() + 16));
        }
        AppendUtf16LeText(bytes, record);
    }
    return bytes;
}

RowTime* RowTimeOf(int row) {
    return Rows().TimesOf(row);
}

ListRedrawPause::ListRedrawPause() {
    if (gDownloadList.redrawPauses++ == 0) {
        SendMessageW(gDownloadList.control, WM_SETREDRAW, FALSE, 0);
    }
}

ListRedrawPause::~ListRedrawPause() {
    if (--gDownloadList.redrawPauses == 0) {
        if (static_cast<size_t>(SendMessageW(gDownloadList.control, LVM_GETITEMCOUNT, 0, 0)) !=
            Rows().size()) {
            SetControlRowCount();
        }
        SendMessageW(gDownloadList.control, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(gDownloadList.control, nullptr, TRUE);
    }
}

std::vector<int> SelectedRows() {
    std::vector<int> rows;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(gDownloadList.control, LVM_GETNEXTITEM, row,
                                                MAKELPARAM(LVNI_SELECTED, 0)))) >= 0) {
        rows.push_back(row);
    }
    return rows;
}
