// Base of a detached worker thread that deletes itself when its work is done:
// create it with new, configure it, start it once, and never join or delete it.
#pragma once

#include <cstdint>
#include <pthread.h>
#include <string>

namespace vantor {

class ThreadDetached {
public:
    ThreadDetached(bool realtime, const char* name);
    virtual ~ThreadDetached() = default;

    ThreadDetached(const ThreadDetached&) = delete;
    ThreadDetached& operator=(const ThreadDetached&) = delete;

    void setPriority(uint32_t percent) { priorityPercent = percent; }
    uint32_t getPriority() const { return priorityPercent; }

    // Starts the thread: run(), then finished(), then the object deletes
    // itself. False when already started or the thread cannot be created.
    bool start();
    pthread_t* handle() { return &thread; }

    // The scheduling priority `percent` of the way from `low` to `high`.
    static int32_t priorityFor(int32_t low, int32_t high, uint32_t percent);

protected:
    virtual void finished() {}
    virtual void* run() = 0;

private:
    static void* entry(void* self);

    uint32_t priorityPercent = 0;
    bool realtime;
    std::string name;
    pthread_t thread{};
    bool started = false;
};

// The calling thread's handle, and giving up the processor.
pthread_t currentThread();
void yieldThread();

} // namespace vantor
