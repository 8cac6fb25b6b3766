// UpdateRow: the one way a row's state and progress are shown, recorded and saved.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

constexpr uint32_t kNoElapsed = 0xFFFFFFFF;
// A size or total that is not known.
constexpr double kNoSize = -1;

struct RowUpdate {
    int state;
    int row;
    std::wstring stateText;
    int32_t speed;     // bytes per second
    uint32_t elapsed;  // milliseconds, or kNoElapsed
    std::wstring url;
    double size;  // bytes, or -1
};

// Callable from any thread. A Downloading update less than 500 ms after the row's last shown
// one is dropped (success, nothing changes). The rest runs on the interface thread: the
// columns, then the record and the list file (Downloading rows at most every 3000 ms), then
// a changed state's counts (TellCountsChanged).
bool UpdateRow(const RowUpdate& update);

// Stores total with the row's record and shows the update, in one step on the interface
// thread: a transfer that ends crosses to that thread once.
bool UpdateRowWithTotal(const RowUpdate& update, double total);

// For changes of many rows at once, on the interface thread: shows the update and rebuilds
// the row's record like UpdateRow, but leaves saving the list and telling the counts
// to the caller, who does both once at the end.
bool ShowRowInBulk(const RowUpdate& update);
