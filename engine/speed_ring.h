// The speed a running transfer shows: a ring of ten one-second byte counters and a running
// average over it.
//
// Each received chunk is counted in the counter of the whole second of elapsed time it
// arrived in (modulo ten). A counter is emptied only when counting moves on to it, so a
// second without data keeps what that counter held ten seconds before. The shown speed is
// (sum of the ten counters + the previous speed) / 10: it starts at 0 and moves towards the
// ten-second average.
//
// The counters and the speed are 64-bit: ten seconds at loopback speed exceed 2^31 bytes.
// Only the speed handed to the row is clamped to the row's 32-bit range.
#pragma once

#include <cstdint>

class SpeedRing {
public:
    // Counts bytes received when elapsedMs milliseconds of the transfer had passed.
    void Count(uint32_t elapsedMs, int64_t bytes);
    // Moves the speed on by one step and returns it in bytes per second, clamped to 32 bits.
    int32_t NextSpeed();

private:
    static constexpr int kSeconds = 10;
    int64_t counters_[kSeconds] = {};
    int index_ = 0;  // the counter written last
    int64_t speed_ = 0;
};
