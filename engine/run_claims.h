// Which entry of the download run a worker takes next. A claim is one step on the interface
// thread, which owns the rows: the row's state is tested and the cursor moved for all workers
// at once, and what the entry's transfer needs of the list and the window is read in the same
// step. An entry whose host is waiting is held back until the host takes requests again or
// nothing else is left; its state is then tested again, since the state commands work during
// a run.
#pragma once

#include "engine/host_pause.h"
#include "engine/run_state.h"
#include "engine/save_name.h"
#include "engine/transfer_entry.h"
#include "list/row_store.h"

#include <cstdint>
#include <vector>

enum class RunScope {
    kAllEntries,       // every Standby and Interrupted entry
    kSelectedEntries,  // the entries selected when the run started, whatever their state
};

// A claimed entry with what its transfer needs of the list and the window.
struct ClaimedEntry {
    int state = kStandby;
    SavePathSource source;  // its row, URL and save path parts
    bool read = false;
    TransferEntry transfer;  // its save path is made by the worker, after the claim
};

class RunClaims {
public:
    // A run's start, on the interface thread: its entries are the list's rows as they are now
    // (for a run over the selected rows, the rows selected now), the cursor is at the top and
    // nothing is held. False when there is no memory for the selection.
    bool Begin(RunScope scope);
    // The scope the last Begin gave; it stands until the next run's start.
    RunScope Scope() const { return scope_; }
    // How many entries the run may take at most.
    size_t EntryCount() const;
    // Claims the next entry for the slot's worker; false when none is left. Any thread.
    bool Next(const ConnectionSlot& slot, ClaimedEntry& entry);
    // The run's end, once no worker claims any more: the cursor goes back to the top.
    void End();
    // How far down its entries the run has gone.
    int32_t Cursor() const { return cursor_; }
    // Whether the last run over the selected rows took the row; on the interface thread.
    bool Selected(int row) const;
    // Gives the selection's memory back (the window's end).
    void DropSelection();

private:
    bool Eligible(int row) const;
    bool NextRow(int& row);
    bool Claim(const ConnectionSlot& slot, ClaimedEntry& entry);

    RunScope scope_ = RunScope::kAllEntries;
    int rowCount_ = 0;
    // The next row to look at, and the rest of the claims' state: under gCursorLock.
    int32_t cursor_ = 0;
    std::vector<char> selection_;  // per row: taken by the run over the selected rows
    HeldRows held_;
};

// The program runs one download run at a time; these are its claims.
extern RunClaims gRunClaims;
