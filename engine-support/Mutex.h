// A named POSIX mutex, recursive only when asked.
#pragma once

#include <pthread.h>
#include <string>

namespace vantor {

class Mutex {
public:
    Mutex(const char* name, bool recursive);
    virtual ~Mutex();

    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    bool lock();    // true when the mutex was taken
    bool tryLock(); // true when it was free and is now held
    bool unlock();

    const std::string& getName() const { return name; }
    bool isOk() const { return ok; }

protected:
    std::string name;
    bool ok = false;
    pthread_mutex_t mutex;
};

} // namespace vantor
