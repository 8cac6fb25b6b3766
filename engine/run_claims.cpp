#include "engine/run_claims.h"

#include "base/interface_thread.h"
#include "base/locks.h"
#include "list/download_list.h"

#include <algorithm>
#include <new>

RunClaims gRunClaims;

namespace {

void ReadClaimedEntry(const ConnectionSlot& slot, int row, ClaimedEntry& entry) {
    const RunInputs& inputs = *slot.inputs;
    entry.transfer = TransferEntry{};  // nothing is left of a row read before and held back
    entry.read = ReadSavePathSource(row, inputs.saveFolder, inputs.namingRule, entry.source);
    if (!entry.read) {
        return;
    }
    entry.state = RowState(row);
    entry.transfer.referer = slot.window->ReadReferer();
    entry.transfer.total = ReadTotalSize(row);
    entry.transfer.validator = ReadResumeValidator(row);
}

}  // namespace

bool RunClaims::Begin(RunScope scope) {
    LockGuard guard(gCursorLock);  // no worker runs yet; the rule holds all the same
    scope_ = scope;
    rowCount_ = RowCount();
    cursor_ = 0;
    held_.Clear();
    if (scope != RunScope::kSelectedEntries) {
        return true;
    }
    try {
        selection_.assign(static_cast<size_t>(rowCount_), 0);
        for (int row : SelectedRows()) {
            selection_[row] = 1;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

size_t RunClaims::EntryCount() const {
    if (scope_ == RunScope::kSelectedEntries) {
        return static_cast<size_t>(std::count(selection_.begin(), selection_.end(), 1));
    }
    const auto& counts = RowStateCounts();
    return static_cast<size_t>(counts[kStandby]) + static_cast<size_t>(counts[kInterrupted]);
}

bool RunClaims::Next(const ConnectionSlot& slot, ClaimedEntry& entry) {
    bool claimed = false;
    RunOnInterfaceThread([&] {
        LockGuard guard(gCursorLock);
        claimed = Claim(slot, entry);
    });
    return claimed;
}

void RunClaims::End() {
    LockGuard guard(gCursorLock);
    cursor_ = 0;
}

bool RunClaims::Selected(int row) const {
    return row >= 0 && static_cast<size_t>(row) < selection_.size() && selection_[row] != 0;
}

void RunClaims::DropSelection() {
    std::vector<char>().swap(selection_);
}

// A run over all entries takes only Standby and Interrupted ones.
bool RunClaims::Eligible(int row) const {
    int state = RowState(row);
    return scope_ == RunScope::kSelectedEntries || state == kStandby || state == kInterrupted;
}

// The next row of the run's entries, moving the cursor; false when none is left.
bool RunClaims::NextRow(int& row) {
    int end = scope_ == RunScope::kAllEntries ? rowCount_ : static_cast<int>(selection_.size());
    while (cursor_ < end) {
        row = cursor_++;
        if (scope_ == RunScope::kAllEntries ? Eligible(row) : selection_[row] != 0) {
            return true;
        }
    }
    return false;
}

bool RunClaims::Claim(const ConnectionSlot& slot, ClaimedEntry& entry) {
    HostPauses& hosts = *slot.hosts;
    uint64_t now = GetTickCount64();
    int row = 0;
    // A held row whose host takes requests now (or, with the list done, the next held one).
    auto claimHeld = [&](bool listDone) {
        while (held_.Take(hosts, now, listDone, row)) {
            if (Eligible(row)) {
                ReadClaimedEntry(slot, row, entry);
                return true;
            }
        }
        return false;
    };
    if (claimHeld(false)) {
        return true;
    }
    while (NextRow(row)) {
        ReadClaimedEntry(slot, row, entry);
        std::wstring host = HostPauses::HostOf(entry.source.url);
        if (hosts.ReadyAt(host) <= now) {
            return true;
        }
        held_.Hold(host, row);
    }
    return claimHeld(true);
}
