#include "list/list_sort.h"

#include "list/download_list.h"
#include "list/list_file.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr int kColumnCount = 6;
// The direction of each column's next sort: each sort by a column turns it.
int gSortDirection[kColumnCount] = {};

// Each row's text as a sort key: keys compare byte by byte in the order that lstrcmpW gives
// the texts. Making each key once costs far less than comparing texts a million times over;
// all keys share one buffer.
class SortKeys {
public:
    SortKeys(int column, int rows) : start_(1, 0) {
        start_.reserve(static_cast<size_t>(rows) + 1);
        std::vector<unsigned char> key(1024);
        LCID locale = GetThreadLocale();
        for (int row = 0; row < rows; ++row) {
            std::wstring text = RowText(row, column);
            int size = Make(locale, text, key.data(), static_cast<int>(key.size()));
            if (size == 0) {
                key.resize(static_cast<size_t>(Make(locale, text, nullptr, 0)));
                size = Make(locale, text, key.data(), static_cast<int>(key.size()));
            }
            // Without the final 0, so that a shorter key compares first.
            bytes_.insert(bytes_.end(), key.begin(), key.begin() + std::max(size - 1, 0));
            start_.push_back(static_cast<uint32_t>(bytes_.size()));
        }
    }
    bool Less(int a, int b) const {
        size_t lengthA = start_[a + 1] - start_[a];
        size_t lengthB = start_[b + 1] - start_[b];
        int order = std::memcmp(bytes_.data() + start_[a], bytes_.data() + start_[b],
                                std::min(lengthA, lengthB));
        return order < 0 || (order == 0 && lengthA < lengthB);
    }

private:
    // The key's size in bytes, its final 0 counted; 0 when it does not fit in size bytes.
    static int Make(LCID locale, const std::wstring& text, unsigned char* key, int size) {
        return LCMapStringW(locale, LCMAP_SORTKEY, text.c_str(), -1,
                            reinterpret_cast<wchar_t*>(key), size);
    }

    std::vector<unsigned char> bytes_;
    std::vector<uint32_t> start_;
};

}  // namespace

int SortDirection(int column) {
    return column >= 0 && column < kColumnCount ? gSortDirection[column] : 0;
}

void SortRowsByColumn(int column) {
    if (column != kColumnNumber && column != kColumnState && column != kColumnUrl) {
        return;
    }
    gSortDirection[column] = gSortDirection[column] == 1 ? 2 : 1;
    bool descending = gSortDirection[column] == 2;
    int count = RowCount();
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    if (column == kColumnNumber) {
        std::stable_sort(order.begin(), order.end(), [descending](int a, int b) {
            return descending ? RowState(b) < RowState(a) : RowState(a) < RowState(b);
        });
    } else {
        SortKeys keys(column, count);
        std::stable_sort(order.begin(), order.end(), [&keys, descending](int a, int b) {
            return descending ? keys.Less(b, a) : keys.Less(a, b);
        });
    }
    ListRedrawPause pause;
    ReorderRows(order);
    SaveListFile();
}
