// Queue of timers in sample time. Its owner asks `advance` how far it may
// render before the next timer falls due, renders exactly that many samples
// and asks again; a timer's action therefore always lands between two pieces.
//
// Entries are kept ascending by due time in a flat array (ties in insertion
// order). A due time that would pass the end of the 64-bit range is parked at
// kNever and never falls due.
#pragma once

#include "engine-support/QuantumTimer.h"

#include <cstdint>
#include <vector>

namespace vantor {

class QuantumManager {
public:
    static constexpr uint64_t kNever = UINT64_MAX;

    struct Entry {
        uint64_t due;
        QuantumTimer* timer; // not owned
        uint64_t cookie;
    };

    explicit QuantumManager(uint64_t reserve = 0);
    virtual ~QuantumManager() = default;

    // Calls the timer at once and queues it at now + its delay, after every
    // entry with the same due time. Always true.
    bool schedule(QuantumTimer* timer, uint64_t cookie);
    // Removes the first entry of `timer`; the samples it still had to wait (0
    // when it was due, or not queued).
    uint64_t unschedule(QuantumTimer* timer);
    // Every entry with that cookie (or of that timer) becomes due at now + delta.
    void retimeByCookie(uint64_t cookie, uint64_t delta);
    void retimeByTimer(QuantumTimer* timer, uint64_t delta);
    void sort();
    // Subtracts now from every due time and restarts time at 0.
    void rebase();
    // Moves time forward by at most n samples, stopping at the head's due time;
    // returns how far time moved (0: a timer is due now and the next call runs it).
    uint64_t advance(uint64_t n);

    std::vector<Entry> queue;
    double rate = 1.0;
    uint64_t now = 0;
    bool fired = false; // the head has fallen due; the next advance calls it

private:
    uint64_t dueIn(uint64_t delay) const { return delay > kNever - now ? kNever : now + delay; }
    void insert(const Entry& entry);
};

} // namespace vantor
