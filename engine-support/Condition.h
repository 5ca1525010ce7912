// A condition variable bound to its own (non-recursive) mutex. Timed waits run
// against the monotonic clock, so changes of the wall clock do not shorten or
// stretch them.
#pragma once

#include "engine-support/Mutex.h"

#include <cstdint>
#include <ctime>

namespace vantor {

class Condition : public Mutex {
public:
    explicit Condition(const char* name);
    ~Condition() override;

    // The caller holds the mutex. True when woken normally.
    bool wait();
    // Waits at most `ms` milliseconds; true when signalled, false on time-out or error.
    virtual bool timedWait(uint64_t ms);
    int signal();
    int broadcast();

    // `base` plus `ms` milliseconds, nanoseconds kept below one second.
    static timespec addMilliseconds(const timespec& base, uint64_t ms);
    // Now on the monotonic clock plus `ms` milliseconds.
    static timespec deadlineAfter(uint64_t ms);

protected:
    // Waits until the absolute monotonic `deadline`.
    bool waitUntil(const timespec& deadline);

    pthread_cond_t condition;
    bool conditionOk = false;
};

} // namespace vantor
