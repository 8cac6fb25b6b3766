// State that the interface and the download engine share about download runs: one
// ConnectionSlot per connection and the run-wide flags and cursors.
//
// The flags are single 32-bit values written by one side and polled by the other; a reader
// only has to see a change eventually, so relaxed atomics are enough. The cursors are guarded
// by gCursorLock.
#pragma once

#include <windows.h>

#include "engine/run_window.h"
#include "list/url_list.h"

#include <atomic>
#include <cstdint>
#include <vector>

class HostPauses;

struct ConnectionSlot {
    HWND owner;               // the main window: owns the run's questions and messages
    RunWindow* window;        // the door to the window, for the current run
    const RunInputs* inputs;  // what the current run took at its start
    HostPauses* hosts;        // the current run's hosts that asked it to wait
    int32_t number;           // 0 .. connection count - 1
    int32_t busy;             // 1 while the slot's worker runs; slot 0's is the run-active flag
    HANDLE heap;              // private heap of the current run
    void* buffer;             // transfer buffer of the configured size, from that heap
    size_t bufferBytes;
    UrlList downloadLog;
    UrlList cancelLog;
    UrlList errorLog;
};

extern std::vector<ConnectionSlot> gConnectionSlots;

extern std::atomic<int32_t> gStopFlag;
// How often a wait looks at the run's stop: a stop takes effect within this.
constexpr DWORD kStopPollMs = 100;
// Sleeps ms, or less when the run is asked to stop meanwhile; false then.
bool SleepUnlessStopped(DWORD ms);
extern std::atomic<int32_t> gPreparingFlag;
extern std::atomic<int32_t> gSelectedRunFlag;
extern int32_t gRunCursor;
extern int32_t gSelectedRunCursor;
// One value per list row: its selected-state bit when the last run over the selected rows
// started. Empty until such a run.
extern std::vector<int32_t> gSelectionSnapshot;

// Creates the slot array with the configured connection count, or resizes it: slots that
// already exist keep their contents, new ones start zeroed, and every slot gets the owner and
// its number again. On failure nothing changes and false is returned.
bool AllocateConnectionSlots(HWND mainWindow, int count);
void FreeConnectionSlots();

int32_t ReadSlotBusy(const ConnectionSlot& slot);
void WriteSlotBusy(ConnectionSlot& slot, int32_t busy);

// A run is active while slot 0 is busy. Every part of the program asks exactly this.
bool IsRunActive();
void SetRunActive(bool active);
