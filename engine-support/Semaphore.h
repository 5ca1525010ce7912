// A counting semaphore built on Condition; a maximum of 0 means unbounded.
// Every operation holds the semaphore's mutex from start to end.
#pragma once

#include "engine-support/Condition.h"

namespace vantor {

class Semaphore : public Condition {
public:
    Semaphore(const char* name, uint64_t initialCount, uint64_t maximumCount);

    bool wait();
    bool tryWait();
    // Waits until the count is positive, at most `ms` milliseconds in all;
    // false on time-out.
    bool timedWait(uint64_t ms) override;
    bool post(); // false when the count is at its maximum

    uint64_t getCount();

private:
    uint64_t count;
    uint64_t maxCount;
};

} // namespace vantor
