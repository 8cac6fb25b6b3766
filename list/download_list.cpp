#include "list/download_list.h"

#include "base/display_scale.h"
#include "base/interface_thread.h"
#include "base/text_file.h"
#include "base/window_ids.h"
#include "list/list_file.h"
#include "list/row_record.h"
#include "res/resource.h"

#include <algorithm>
#include <array>
#include <deque>
#include <iterator>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

const wchar_t kStandbyText[] = L"スタンバイ";
const wchar_t kZeroSpeedText[] = L"   0Byte/s";

namespace {

// Row times grow in steps of this many rows; the new room starts at zero.
constexpr size_t kGrowthRows = 1024;
constexpr wchar_t kUnknownSizeText[] = L" ？ Byte";

// Every text a row shows or records, each held once: a million Standby rows share one state
// text, and the texts of a transfer that has moved on are dropped at the next clean-up.
class TextTable {
public:
    TextTable() { Clear(); }
    // The number of text, or kNone when the table does not hold it.
    uint32_t Find(std::wstring_view text) const {
        auto found = ids_.find(text);
        return found != ids_.end() ? found->second : kNone;
    }
    uint32_t Add(std::wstring_view text) {
        uint32_t id = Find(text);
        if (id == kNone) {
            id = static_cast<uint32_t>(texts_.size());
            texts_.emplace_back(text);
            ids_.emplace(texts_.back(), id);
        }
        return id;
    }
    const std::wstring& operator[](uint32_t id) const { return texts_[id]; }
    size_t size() const { return texts_.size(); }
    void Clear() {
        ids_.clear();
        texts_.clear();
        Add(L"");  // number 0: the empty text
    }

    static constexpr uint32_t kNone = 0xFFFFFFFF;

private:
    std::deque<std::wstring> texts_;  // never moves a text, so the keys below stay valid
    std::unordered_map<std::wstring_view, uint32_t> ids_;
};

// One row. The record's fields are those of the last rebuild: a Downloading row shows its
// progress every half second but records it only every few seconds.
struct Row {
    std::wstring url;
    uint32_t stateText = 0;
    uint32_t sizeText = 0;
    uint32_t speedText = 0;
    uint32_t elapsedText = 0;
    uint32_t recordStateText = 0;
    uint32_t recordSizeText = 0;
    // Everything from the record's fourth "|" to its end (the total and what follows it).
    uint32_t tail = 0;
    uint8_t state = kStandby;
    uint8_t recordState = kStandby;
    // The record when the fields above do not make it: a line of the list file as it was read
    // until the row is next rebuilt, or the record of a row whose URL changed since.
    std::unique_ptr<std::wstring> record;
};

HWND gList = nullptr;
std::vector<Row> gRows;
TextTable gTexts;
// The table is cleaned of texts no row uses once it holds this many: at least the first
// value, then twice as many as the last clean-up kept, so that cleaning costs each text
// added a constant share.
constexpr size_t kFirstTextsCleanAt = 4096;
size_t gTextsCleanAt = kFirstTextsCleanAt;
std::vector<RowTime> gRowTimes;
// Rows per state, kept as rows come, go and change state, so that nothing has to count them.
std::array<int, kEntryStateCount> gStateCounts{};
CountsChanged gCountsChanged;
int gRedrawPauses = 0;

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

void EnsureRowTimes(size_t rows) {
    if (rows > gRowTimes.size()) {
        gRowTimes.resize((rows / kGrowthRows + 1) * kGrowthRows, RowTime{0, 0});
    }
}

void CountState(int state, int change) {
    if (state >= 0 && state < kEntryStateCount) {
        gStateCounts[state] += change;
    }
}

void RecountStates() {
    gStateCounts.fill(0);
    for (const Row& row : gRows) {
        CountState(row.state, 1);
    }
}

Row* RowAt(int row) {
    return row >= 0 && static_cast<size_t>(row) < gRows.size() ? &gRows[row] : nullptr;
}

// Keeps only the texts that rows use, in one pass: the texts of every progress step a
// transfer showed would otherwise pile up for the whole session.
void CleanTexts() {
    TextTable kept;
    for (Row& row : gRows) {
        for (uint32_t* id : {&row.stateText, &row.sizeText, &row.speedText, &row.elapsedText,
                             &row.recordStateText, &row.recordSizeText, &row.tail}) {
            *id = kept.Add(gTexts[*id]);
        }
    }
    gTexts = std::move(kept);
    gTextsCleanAt = std::max(kFirstTextsCleanAt, 2 * gTexts.size());
}

uint32_t TextId(std::wstring_view text) {
    uint32_t id = gTexts.Find(text);
    if (id != TextTable::kNone) {
        return id;
    }
    if (gTexts.size() >= gTextsCleanAt) {
        CleanTexts();
    }
    return gTexts.Add(text);
}

void AppendRecord(std::wstring& out, const Row& row) {
    if (row.record) {
        out += *row.record;
    } else {
        AppendRowRecord(out, row.recordState, gTexts[row.recordStateText],
                        gTexts[row.recordSizeText], row.url, gTexts[row.tail]);
    }
}

std::wstring RecordOf(const Row& row) {
    std::wstring record;
    AppendRecord(record, row);
    return record;
}

// The record's fields become what the row shows now.
void TakeShownFieldsAsRecord(Row& row) {
    row.recordState = row.state;
    row.recordStateText = row.stateText;
    row.recordSizeText = row.sizeText;
    row.record.reset();
}

// A row as the list file describes it. Its record stays the line exactly as read, held apart
// only when the fields do not make it again (a state written "03", a field cut at its limit).
Row RowFromLoaded(LoadedRow& loaded) {
    Row row;
    row.state = static_cast<uint8_t>(loaded.fields.state);
    row.stateText = TextId(loaded.fields.stateText);
    row.sizeText = TextId(loaded.fields.sizeText);
    row.speedText = TextId(kZeroSpeedText);
    row.url = std::move(loaded.fields.url);
    row.tail = TextId(RecordTail(loaded.record));
    TakeShownFieldsAsRecord(row);
    if (RecordOf(row) != loaded.record) {
        row.record = std::make_unique<std::wstring>(std::move(loaded.record));
    }
    return row;
}

void SetControlRowCount() {
    SendMessageW(gList, LVM_SETITEMCOUNT, gRows.size(), 0);
}

bool TakeLoadedRow(LoadedRow& loaded) {
    try {
        gRows.push_back(RowFromLoaded(loaded));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Only a row in view is redrawn: under Wine every redraw is a round trip to the server even
// for a row far outside the window, and a run changes rows several times a second.
void RedrawRow(int row) {
    if (gRedrawPauses != 0) {
        return;
    }
    auto top = static_cast<int>(SendMessageW(gList, LVM_GETTOPINDEX, 0, 0));
    auto inView = static_cast<int>(SendMessageW(gList, LVM_GETCOUNTPERPAGE, 0, 0));
    // The count per page leaves out a row that is cut at the bottom: one more is in view.
    if (row >= top && row <= top + inView) {
        SendMessageW(gList, LVM_REDRAWITEMS, row, row);
    }
}

void SetSelected(int row, bool selected) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    SendMessageW(gList, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

// Applies an edit to the row's record, keeping whatever else the record holds.
template <typename Edit>
void EditRecord(int row, Edit edit) {
    RunOnInterfaceThread([&] {
        if (Row* entry = RowAt(row)) {
            std::wstring record = RecordOf(*entry);
            edit(record);
            entry->tail = TextId(RecordTail(record));
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
        const Row* entry = RowAt(row);
        if (entry != nullptr && MayHaveTail(*entry)) {
            read(RecordOf(*entry));
        }
    });
}

}  // namespace

HWND CreateDownloadList(HWND mainWindow, const std::wstring& listFilePath,
                        CountsChanged countsChanged) {
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(mainWindow, GWLP_HINSTANCE));
    gList = CreateWindowExW(
        0, WC_LISTVIEWW, L"",
        WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_OWNERDATA, 0, 0, 10, 10,
        mainWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListViewId)), instance, nullptr);
    if (gList == nullptr) {
        return nullptr;
    }
    DWORD extended = static_cast<DWORD>(SendMessageW(gList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    SendMessageW(gList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 extended | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    CreateStateImages(instance);
    CreateColumns();
    gRows.clear();
    gTexts.Clear();
    gTextsCleanAt = kFirstTextsCleanAt;
    gRowTimes.assign(kGrowthRows, RowTime{0, 0});
    gCountsChanged = std::move(countsChanged);
    LoadListFile(listFilePath, AllRecordsFileBytes, TakeLoadedRow);
    EnsureRowTimes(gRows.size());
    RecountStates();
    SetControlRowCount();
    return gList;
}

void DestroyDownloadList() {
    CloseListFile();
    std::vector<Row>().swap(gRows);
    gTexts.Clear();
    std::vector<RowTime>().swap(gRowTimes);
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
    return gList != nullptr ? static_cast<int>(gRows.size()) : 0;
}

int RowState(int row) {
    const Row* entry = RowAt(row);
    return entry != nullptr ? entry->state : -1;
}

std::wstring RowText(int row, int column) {
    const Row* entry = RowAt(row);
    if (entry == nullptr) {
        return std::wstring();
    }
    switch (column) {
        case kColumnNumber:
            return std::to_wstring(row + 1);
        case kColumnState:
            return gTexts[entry->stateText];
        case kColumnSpeed:
            return gTexts[entry->speedText];
        case kColumnElapsed:
            return gTexts[entry->elapsedText];
        case kColumnSize:
            return gTexts[entry->sizeText];
        case kColumnUrl:
            return entry->url;
        default:
            return std::wstring();
    }
}

bool SetRowText(int row, int column, const std::wstring& text) {
    Row* entry = RowAt(row);
    if (entry == nullptr || column < kColumnNumber || column > kColumnUrl) {
        return false;
    }
    if (column == kColumnUrl) {
        if (entry->url != text) {
            if (!entry->record) {
                // The record keeps the URL it was made with until the next rebuild.
                entry->record = std::make_unique<std::wstring>(RecordOf(*entry));
            }
            entry->url = text;
            RedrawRow(row);
        }
        return true;
    }
    uint32_t* const ids[] = {nullptr, &entry->stateText, &entry->speedText, &entry->elapsedText,
                             &entry->sizeText};
    if (column != kColumnNumber) {
        uint32_t id = TextId(text);  // a clean-up of the texts leaves the rows where they are
        uint32_t* const target = ids[column];
        if (*target != id) {
            *target = id;
            RedrawRow(row);
        }
    }
    return true;
}

bool SetRowState(int row, int state) {
    Row* entry = RowAt(row);
    if (entry == nullptr || state < 0 || state >= kEntryStateCount) {
        return false;
    }
    if (entry->state != state) {
        CountState(entry->state, -1);
        CountState(state, 1);
        entry->state = static_cast<uint8_t>(state);
        RedrawRow(row);
    }
    return true;
}

// Empties the control, its selection included, without a notice for each row it held; the
// rows it is to show are then set again. Deselecting the rows one by one would cost the
// control a notice and a search of its selection for each.
void ResetControlRows() {
    SendMessageW(gList, LVM_DELETEALLITEMS, 0, 0);
    SetControlRowCount();
}

void DeleteRows(const std::vector<int>& rows) {
    size_t kept = 0;
    size_t next = 0;
    for (size_t index = 0; index < gRows.size(); ++index) {
        if (next < rows.size() && static_cast<size_t>(rows[next]) == index) {
            ++next;
            CountState(gRows[index].state, -1);
            continue;
        }
        if (kept != index) {
            gRows[kept] = std::move(gRows[index]);
        }
        ++kept;
    }
    gRows.erase(gRows.begin() + static_cast<std::ptrdiff_t>(kept), gRows.end());
    ResetControlRows();
}

void DeleteEveryRow() {
    std::vector<Row>().swap(gRows);
    gTexts.Clear();
    gTextsCleanAt = kFirstTextsCleanAt;
    gStateCounts.fill(0);
    ResetControlRows();
}

void ReorderRows(const std::vector<int>& order) {
    std::vector<char> wasSelected(gRows.size(), 0);
    for (int row : SelectedRows()) {
        wasSelected[row] = 1;
    }
    std::vector<Row> ordered;
    ordered.reserve(gRows.size());
    for (int from : order) {
        ordered.push_back(std::move(gRows[from]));
    }
    gRows = std::move(ordered);
    ResetControlRows();
    for (size_t row = 0; row < order.size(); ++row) {
        if (wasSelected[order[row]]) {
            SetSelected(static_cast<int>(row), true);
        }
    }
}

void FillRowDisplayInfo(NMLVDISPINFOW* info) {
    LVITEMW& item = info->item;
    const Row* entry = RowAt(item.iItem);
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
    return gStateCounts;
}

bool AddEntry(const std::wstring& url) {
    try {
        Row row;
        row.stateText = TextId(kStandbyText);
        row.speedText = TextId(kZeroSpeedText);
        row.sizeText = TextId(kUnknownSizeText);
        row.url = url;
        TakeShownFieldsAsRecord(row);
        EnsureRowTimes(gRows.size() + 1);
        gRows.push_back(std::move(row));
    } catch (const std::bad_alloc&) {
        return false;
    }
    CountState(kStandby, 1);
    if (gRedrawPauses == 0) {
        SetControlRowCount();
    }
    return true;
}

bool RebuildRowRecord(int row, bool* changed) {
    Row* entry = RowAt(row);
    if (entry == nullptr) {
        return false;
    }
    if (changed != nullptr) {
        std::wstring before = RecordOf(*entry);
        Row rebuilt;
        rebuilt.url = entry->url;
        rebuilt.state = entry->state;
        rebuilt.stateText = entry->stateText;
        rebuilt.sizeText = entry->sizeText;
        rebuilt.tail = entry->tail;
        TakeShownFieldsAsRecord(rebuilt);
        *changed = RecordOf(rebuilt) != before;
        if (!*changed) {
            return true;
        }
    }
    TakeShownFieldsAsRecord(*entry);
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
        const Row* entry = RowAt(row);
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
    const Row* entry = RowAt(row);
    return entry != nullptr ? RecordOf(*entry) : std::wstring();
}

std::wstring AllRecordsText() {
    std::wstring text;
    for (const Row& row : gRows) {
        AppendRecord(text, row);
    }
    return text;
}

std::string AllRecordsFileBytes() {
    std::string bytes = EncodeUtf16LeText(L"");
    std::wstring record;
    for (const Row& row : gRows) {
        record.clear();
        AppendRecord(record, row);
        if (bytes.capacity() - bytes.size() < 2 * record.size() + 2) {
            // Room for rows like this one to the end, so the text grows a few times only.
            bytes.reserve(bytes.size() +
                          (gRows.size() - (&row - gRows.data())) * (2 * record.size() + 16));
        }
        AppendUtf16LeText(bytes, record);
    }
    return bytes;
}

RowTime* RowTimeOf(int row) {
    return row >= 0 && static_cast<size_t>(row) < gRowTimes.size() ? &gRowTimes[row] : nullptr;
}

ListRedrawPause::ListRedrawPause() {
    if (gRedrawPauses++ == 0) {
        SendMessageW(gList, WM_SETREDRAW, FALSE, 0);
    }
}

ListRedrawPause::~ListRedrawPause() {
    if (--gRedrawPauses == 0) {
        if (static_cast<size_t>(SendMessageW(gList, LVM_GETITEMCOUNT, 0, 0)) != gRows.size()) {
            SetControlRowCount();
        }
        SendMessageW(gList, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(gList, nullptr, TRUE);
    }
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
