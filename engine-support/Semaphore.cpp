#include "engine-support/Semaphore.h"

namespace vantor {

Semaphore::Semaphore(const char* semaphoreName, uint64_t initialCount, uint64_t maximumCount)
    : Condition(semaphoreName), count(initialCount), maxCount(maximumCount) {}

bool Semaphore::wait() {
    if (!lock()) return false;
    bool result = true;
    while (count == 0) {
        if (!Condition::wait()) {
            result = false;
            break;
        }
    }
    if (result) --count;
    unlock();
    return result;
}

bool Semaphore::tryWait() {
    if (!lock()) return false;
    const bool result = count > 0;
    if (result) --count;
    unlock();
    return result;
}

// One deadline for the whole call: a wake-up that finds the count still at 0
// waits only for the time that is left.
bool Semaphore::timedWait(uint64_t ms) {
    const timespec deadline = deadlineAfter(ms);
    if (!lock()) return false;
    bool result = true;
    while (count == 0) {
        if (!waitUntil(deadline)) {
            result = false;
            break;
        }
    }
    if (result) --count;
    unlock();
    return result;
}

bool Semaphore::post() {
    if (!lock()) return false;
    const bool result = maxCount == 0 || count < maxCount;
    if (result) {
        ++count;
        signal();
    }
    unlock();
    return result;
}

uint64_t Semaphore::getCount() {
    lock();
    const uint64_t value = count;
    unlock();
    return value;
}

} // namespace vantor
