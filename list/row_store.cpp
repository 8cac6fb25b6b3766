#include "list/row_store.h"

#include "list/row_record.h"

#include <algorithm>
#include <utility>

namespace {

// Ticks grow in steps of this many rows; the new room starts at zero.
constexpr size_t kGrowthRows = 1024;
// The table is cleaned at this size at least, and at twice what the last clean-up kept; and
// not before an eighth of the rows' count of texts came since, since a clean-up looks at every
// row. Cleaning then costs each text added a constant share, in a long list too.
constexpr size_t kFirstTextsCleanAt = 4096;
constexpr size_t kRowsPerNewText = 8;

}  // namespace

void Row::TakeShownFieldsAsRecord() {
    recordState = state;
    recordStateText = stateText;
    recordSizeText = sizeText;
    record.reset();
}

uint32_t RowStore::TextTable::Find(std::wstring_view text) const {
    auto found = ids_.find(text);
    return found != ids_.end() ? found->second : kNone;
}

uint32_t RowStore::TextTable::Add(std::wstring_view text) {
    uint32_t id = Find(text);
    if (id == kNone) {
        id = static_cast<uint32_t>(texts_.size());
        texts_.emplace_back(text);
        ids_.emplace(texts_.back(), id);
    }
    return id;
}

void RowStore::TextTable::Clear() {
    ids_.clear();
    texts_.clear();
    Add(L"");  // number 0: the empty text
}

Row* RowStore::At(int row) {
    return row >= 0 && static_cast<size_t>(row) < rows_.size() ? &rows_[row] : nullptr;
}

const Row* RowStore::At(int row) const {
    return row >= 0 && static_cast<size_t>(row) < rows_.size() ? &rows_[row] : nullptr;
}

uint32_t RowStore::TextId(std::wstring_view text) {
    uint32_t id = texts_.Find(text);
    if (id != TextTable::kNone) {
        return id;
    }
    size_t cleanAt = std::max({kFirstTextsCleanAt, 2 * keptTexts_,
                               keptTexts_ + rows_.size() / kRowsPerNewText});
    if (texts_.size() >= cleanAt) {
        CleanTexts();
    }
    return texts_.Add(text);
}

// Keeps only the texts that rows use, in one pass: the texts of every progress step a
// transfer showed would otherwise pile up for the whole session.
void RowStore::CleanTexts() {
    TextTable kept;
    for (Row& row : rows_) {
        for (uint32_t* id : {&row.stateText, &row.sizeText, &row.speedText, &row.elapsedText,
                             &row.recordStateText, &row.recordSizeText, &row.tail}) {
            *id = kept.Add(texts_[*id]);
        }
    }
    texts_ = std::move(kept);
    keptTexts_ = texts_.size();
}

void RowStore::AppendRecord(std::wstring& out, const Row& row) const {
    if (row.record) {
        out += *row.record;
    } else {
        AppendRowRecord(out, row.recordState, texts_[row.recordStateText],
                        texts_[row.recordSizeText], row.url, texts_[row.tail]);
    }
}

std::wstring RowStore::RecordOf(const Row& row) const {
    std::wstring record;
    AppendRecord(record, row);
    return record;
}

void RowStore::Append(Row row) {
    rows_.push_back(std::move(row));
    CountState(rows_.back().state, 1);
}

void RowStore::SetState(Row& row, int state) {
    CountState(row.state, -1);
    CountState(state, 1);
    row.state = static_cast<uint8_t>(state);
}

void RowStore::Delete(const std::vector<int>& rows) {
    size_t kept = 0;
    size_t next = 0;
    for (size_t index = 0; index < rows_.size(); ++index) {
        if (next < rows.size() && static_cast<size_t>(rows[next]) == index) {
            ++next;
            CountState(rows_[index].state, -1);
            continue;
        }
        if (kept != index) {
            rows_[kept] = std::move(rows_[index]);
        }
        ++kept;
    }
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(kept), rows_.end());
}

void RowStore::Reorder(const std::vector<int>& order) {
    std::vector<Row> ordered;
    ordered.reserve(rows_.size());
    for (int from : order) {
        ordered.push_back(std::move(rows_[from]));
    }
    rows_ = std::move(ordered);
}

void RowStore::Clear() {
    std::vector<Row>().swap(rows_);
    texts_.Clear();
    keptTexts_ = 0;
    counts_.fill(0);
}

void RowStore::Release() {
    Clear();
    std::vector<RowTime>().swap(times_);
}

RowTime* RowStore::TimesOf(int row) {
    return row >= 0 && static_cast<size_t>(row) < times_.size() ? &times_[row] : nullptr;
}

void RowStore::EnsureTimes(size_t rows) {
    if (rows > times_.size()) {
        times_.resize((rows / kGrowthRows + 1) * kGrowthRows, RowTime{0, 0});
    }
}

void RowStore::CountState(int state, int change) {
    if (state >= 0 && state < kEntryStateCount) {
        counts_[state] += change;
    }
}
