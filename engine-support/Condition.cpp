#include "engine-support/Condition.h"

namespace vantor {

Condition::Condition(const char* conditionName) : Mutex(conditionName, false) {
    pthread_condattr_t attr;
    if (pthread_condattr_init(&attr) != 0) return;
    if (pthread_condattr_setclock(&attr, CLOCK_MONOTONIC) == 0)
        conditionOk = pthread_cond_init(&condition, &attr) == 0;
    pthread_condattr_destroy(&attr);
}

Condition::~Condition() {
    if (conditionOk) pthread_cond_destroy(&condition);
}

bool Condition::wait() {
    return ok && conditionOk && pthread_cond_wait(&condition, &mutex) == 0;
}

bool Condition::timedWait(uint64_t ms) {
    return waitUntil(deadlineAfter(ms));
}

bool Condition::waitUntil(const timespec& deadline) {
    return ok && conditionOk && pthread_cond_timedwait(&condition, &mutex, &deadline) == 0;
}

int Condition::signal() {
    return conditionOk ? pthread_cond_signal(&condition) : -1;
}

int Condition::broadcast() {
    return conditionOk ? pthread_cond_broadcast(&condition) : -1;
}

timespec Condition::addMilliseconds(const timespec& base, uint64_t ms) {
    constexpr int64_t kBillion = 1000000000;
    timespec result = base;
    const uint64_t seconds = ms / 1000;
    const int64_t nanos = static_cast<int64_t>(ms % 1000) * 1000000 + base.tv_nsec;
    const time_t maxSeconds = static_cast<time_t>(INT64_MAX) - 1;
    const time_t add = seconds > static_cast<uint64_t>(maxSeconds - base.tv_sec)
                           ? maxSeconds - base.tv_sec
                           : static_cast<time_t>(seconds);
    result.tv_sec = base.tv_sec + add + static_cast<time_t>(nanos / kBillion);
    result.tv_nsec = static_cast<long>(nanos % kBillion);
    return result;
}

timespec Condition::deadlineAfter(uint64_t ms) {
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    return addMilliseconds(start, ms);
}

} // namespace vantor
