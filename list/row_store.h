// The download list's rows as data: each row once, compactly, with every text it shows or
// records held once in a shared table; the count of rows in each state, kept as rows come, go
// and change state; and each row's progress ticks. It knows nothing of the control that shows
// the rows. On the interface thread only, like the list itself.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The state of an entry: the row's image index, and the only thing any code tests.
enum EntryState {
    kStandby = 0,
    kPreparing = 1,
    kDownloading = 2,
    kDone = 3,
    kInterrupted = 4,
    kError = 5,
};
constexpr int kEntryStateCount = 6;

// Per row: the tick of the last shown and of the last saved update while Downloading.
struct RowTime {
    uint32_t shown;
    uint32_t saved;
};

// One row. Its texts are numbers into the store's table. The record's fields are those of the
// last rebuild: a Downloading row shows its progress every half second but records it only
// every few seconds.
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

    // The record's fields become what the row shows now.
    void TakeShownFieldsAsRecord();
};

class RowStore {
public:
    RowStore() { Clear(); }

    size_t size() const { return rows_.size(); }
    const std::vector<Row>& rows() const { return rows_; }
    // The row at an index, or null outside the rows.
    Row* At(int row);
    const Row* At(int row) const;

    // The number of a text, added to the table when it is new.
    uint32_t TextId(std::wstring_view text);
    const std::wstring& Text(uint32_t id) const { return texts_[id]; }

    // The row's record ("state|text|size|url[|total[ validator]]\n").
    void AppendRecord(std::wstring& out, const Row& row) const;
    std::wstring RecordOf(const Row& row) const;

    // Appends a row and counts its state; throws std::bad_alloc when there is no room.
    void Append(Row row);
    // Changes a row's state and its counts.
    void SetState(Row& row, int state);
    // Deletes the rows at the indexes (ascending) in one pass.
    void Delete(const std::vector<int>& rows);
    // order[i] is the index of the row that becomes row i.
    void Reorder(const std::vector<int>& order);
    // No rows, no texts but the empty one, no counts; the ticks keep their room.
    void Clear();
    // As Clear, and the ticks' room is given back too.
    void Release();

    const std::array<int, kEntryStateCount>& Counts() const { return counts_; }
    // The row's ticks, or null for an index the store has never had room for.
    RowTime* TimesOf(int row);
    // Room for the ticks of this many rows.
    void EnsureTimes(size_t rows);

private:
    // Every text once: a million Standby rows share one state text, and the texts of a
    // transfer that has moved on are dropped at the next clean-up.
    class TextTable {
    public:
        TextTable() { Clear(); }
        uint32_t Find(std::wstring_view text) const;  // kNone when the table does not hold it
        uint32_t Add(std::wstring_view text);
        const std::wstring& operator[](uint32_t id) const { return texts_[id]; }
        size_t size() const { return texts_.size(); }
        void Clear();

        static constexpr uint32_t kNone = 0xFFFFFFFF;

    private:
        std::deque<std::wstring> texts_;  // never moves a text, so the keys below stay valid
        std::unordered_map<std::wstring_view, uint32_t> ids_;
    };

    void CountState(int state, int change);
    void CleanTexts();

    std::vector<Row> rows_;
    TextTable texts_;
    // How many texts the last clean-up of the table kept.
    size_t keptTexts_ = 0;
    std::vector<RowTime> times_;
    std::array<int, kEntryStateCount> counts_{};
};
