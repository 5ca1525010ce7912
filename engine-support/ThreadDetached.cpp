#include "engine-support/ThreadDetached.h"

#include <sched.h>

namespace vantor {

namespace {
constexpr size_t kThreadNameBytes = 15; // the platform's limit, without the NUL
}

ThreadDetached::ThreadDetached(bool realtimeThread, const char* threadName)
    : realtime(realtimeThread), name(threadName ? threadName : "") {}

int32_t ThreadDetached::priorityFor(int32_t low, int32_t high, uint32_t percent) {
    const int64_t step = static_cast<int64_t>(high) - low;
    return static_cast<int32_t>(low + step * percent / 100);
}

bool ThreadDetached::start() {
    if (started) return false;
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    int policy = 0;
    if (pthread_attr_getschedpolicy(&attr, &policy) != 0) {
        pthread_attr_destroy(&attr);
        return false;
    }
    const int high = sched_get_priority_max(policy);
    const int low = sched_get_priority_min(policy);
    if (high != -1 && low != -1 && high != low) {
        sched_param param{};
        param.sched_priority = priorityFor(low, high, priorityPercent);
        pthread_attr_setschedparam(&attr, &param);
    }
    if (realtime) pthread_attr_setschedpolicy(&attr, SCHED_RR);
    if (pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED) != 0) {
        pthread_attr_destroy(&attr);
        return false;
    }
    // Once the thread runs it may delete this object at any moment, so nothing
    // here touches a member after a successful create.
    started = true;
    pthread_t created;
    const bool ok = pthread_create(&created, &attr, &ThreadDetached::entry, this) == 0;
    pthread_attr_destroy(&attr);
    if (!ok) started = false;
    return ok;
}

void* ThreadDetached::entry(void* argument) {
    auto* self = static_cast<ThreadDetached*>(argument);
    self->thread = pthread_self();
    if (!self->name.empty())
        pthread_setname_np(pthread_self(), self->name.substr(0, kThreadNameBytes).c_str());
    void* result = self->run();
    self->finished();
    delete self;
    return result;
}

pthread_t currentThread() {
    return pthread_self();
}

void yieldThread() {
    sched_yield();
}

} // namespace vantor
