#include "engine/run_state.h"

#include <new>

std::vector<ConnectionSlot> gConnectionSlots;

RunStop gRunStop;
std::atomic<int32_t> gPreparingFlag{0};
std::atomic<int32_t> gSelectedRunFlag{0};

RunStop::RunStop() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

RunStop::~RunStop() {
    if (event_ != nullptr) {
        CloseHandle(event_);
    }
}

void RunStop::Request() {
    flag_.store(1);
    if (event_ != nullptr) {
        SetEvent(event_);
    }
}

void RunStop::Reset() {
    if (event_ != nullptr) {
        ResetEvent(event_);
    }
    flag_.store(0);
}

bool RunStop::SleepUnlessStopped(DWORD ms) const {
    if (IsSet()) {
        return false;
    }
    if (event_ == nullptr) {
        Sleep(ms);  // the system had no event for the program: the stop comes after the sleep
    } else {
        WaitForSingleObject(event_, ms);
    }
    return !IsSet();
}

bool AllocateConnectionSlots(int count) {
    if (count < 1) {
        return false;
    }
    try {
        gConnectionSlots.resize(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    for (size_t index = 0; index < gConnectionSlots.size(); ++index) {
        gConnectionSlots[index].number = static_cast<int32_t>(index);
    }
    return true;
}

void FreeConnectionSlots() {
    std::vector<ConnectionSlot>().swap(gConnectionSlots);
    if (RunIdleEvent() != nullptr) {
        SetEvent(RunIdleEvent());
    }
}

int32_t ReadSlotBusy(const ConnectionSlot& slot) {
    // atomic_ref needs a mutable object even for a load.
    return std::atomic_ref<int32_t>(const_cast<int32_t&>(slot.busy))
        .load(std::memory_order_acquire);
}

void WriteSlotBusy(ConnectionSlot& slot, int32_t busy) {
    std::atomic_ref<int32_t>(slot.busy).store(busy, std::memory_order_release);
    if (slot.number == 0 && RunIdleEvent() != nullptr) {
        busy != 0 ? ResetEvent(RunIdleEvent()) : SetEvent(RunIdleEvent());
    }
}

HANDLE RunIdleEvent() {
    // One for the process, made at first use, set while no run is active.
    static const HANDLE idle = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    return idle;
}

bool IsRunActive() {
    return !gConnectionSlots.empty() && ReadSlotBusy(gConnectionSlots.front()) != 0;
}

void SetRunActive(bool active) {
    if (!gConnectionSlots.empty()) {
        WriteSlotBusy(gConnectionSlots.front(), active ? 1 : 0);
    }
}
