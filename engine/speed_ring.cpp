#include "engine/speed_ring.h"

#include <limits>

void SpeedRing::Count(uint32_t elapsedMs, int64_t bytes) {
    int second = static_cast<int>(elapsedMs / 1000 % kSeconds);
    if (second != index_) {
        counters_[second] = 0;
        index_ = second;
    }
    counters_[index_] += bytes;
}

int32_t SpeedRing::NextSpeed() {
    int64_t sum = speed_;
    for (int64_t counter : counters_) {
        sum += counter;
    }
    speed_ = sum / kSeconds;
    if (speed_ > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    if (speed_ < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(speed_);
}
