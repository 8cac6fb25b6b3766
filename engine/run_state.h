// State that the interface and the download engine share about download runs: one
// ConnectionSlot per connection, the run's stop, and the run-wide flags and cursors.
//
// The flags are single 32-bit values written by one side and read by the other; a reader
// only has to see a change eventually, so relaxed atomics are enough for them. A slot's busy
// flag is different: a worker clears it as its last act, and whoever sees it cleared may then
// resize or free the slots, so it is released and acquired. The cursors are guarded by
// gCursorLock.
#pragma once

#include <windows.h>

#include "engine/run_window.h"
#include "list/url_list.h"

#include <atomic>
#include <cstdint>
#include <vector>

class HostPauses;

struct ConnectionSlot {
    RunWindow* window;        // the door to the window, for the current run
    const RunInputs* inputs;  // what the current run took at its start
    HostPauses* hosts;        // the current run's hosts that asked it to wait
    int32_t number;           // 0 .. connection count - 1
    int32_t busy;             // 1 while the slot's worker runs; slot 0's is the run-active flag
    HANDLE thread;            // the slot's worker of the current run, until the run has ended
    HANDLE heap;              // private heap of the current run
    void* buffer;             // transfer buffer of the configured size, from that heap
    size_t bufferBytes;
    UrlList downloadLog;
    UrlList cancelLog;
    UrlList errorLog;
};

// One slot per connection of the options: made with the main window, resized when the options
// change, and shared by the run's workers and the interface.
extern std::vector<ConnectionSlot> gConnectionSlots;

// A run's stop: a flag that every step of a transfer can test at once, and a manual-reset
// event that every wait of the run waits on together with what it waits for, so that a stop
// ends the wait at once.
class RunStop {
public:
    RunStop();
    ~RunStop();
    RunStop(const RunStop&) = delete;
    RunStop& operator=(const RunStop&) = delete;

    void Request();
    // A new run starts unstopped.
    void Reset();
    bool IsSet() const { return flag_.load() != 0; }
    HANDLE Event() const { return event_; }
    // Waits ms, or less when a stop comes meanwhile; false then.
    bool SleepUnlessStopped(DWORD ms) const;

private:
    std::atomic<int32_t> flag_{0};
    HANDLE event_;
};

// One program runs one download run at a time; this is its stop.
extern RunStop gRunStop;
// How often a wait that also shows progress or watches something without an event looks up.
constexpr DWORD kStopPollMs = 100;
// Set while a run's start still asks its questions and no worker exists: a close goes at once.
extern std::atomic<int32_t> gPreparingFlag;
// Set during a run over the selected rows, whose rows are drawn apart.
extern std::atomic<int32_t> gSelectedRunFlag;

// Creates the slot array with the configured connection count, or resizes it: slots that
// already exist keep their contents, new ones start zeroed, and every slot gets its number
// again. On failure nothing changes and false is returned.
bool AllocateConnectionSlots(int count);
void FreeConnectionSlots();

int32_t ReadSlotBusy(const ConnectionSlot& slot);
void WriteSlotBusy(ConnectionSlot& slot, int32_t busy);

// A run is active while slot 0 is busy. Every part of the program asks exactly this.
bool IsRunActive();
void SetRunActive(bool active);
// A manual-reset event that is set while no run is active, for a thread that waits for the
// run's end; null when the system had no event for it.
HANDLE RunIdleEvent();
