#include "engine-support/Mutex.h"

namespace vantor {

Mutex::Mutex(const char* mutexName, bool recursive) : name(mutexName ? mutexName : "") {
    if (recursive) {
        pthread_mutexattr_t attr;
        if (pthread_mutexattr_init(&attr) != 0) return;
        if (pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0)
            ok = pthread_mutex_init(&mutex, &attr) == 0;
        pthread_mutexattr_destroy(&attr);
    } else {
        ok = pthread_mutex_init(&mutex, nullptr) == 0;
    }
}

Mutex::~Mutex() {
    if (ok) pthread_mutex_destroy(&mutex);
}

bool Mutex::lock() {
    return ok && pthread_mutex_lock(&mutex) == 0;
}

bool Mutex::tryLock() {
    return ok && pthread_mutex_trylock(&mutex) == 0;
}

bool Mutex::unlock() {
    return ok && pthread_mutex_unlock(&mutex) == 0;
}

} // namespace vantor
