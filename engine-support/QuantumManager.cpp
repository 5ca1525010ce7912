#include "engine-support/QuantumManager.h"

#include <cstddef>

namespace vantor {

QuantumManager::QuantumManager(uint64_t reserve) {
    if (reserve) queue.reserve(reserve);
}

void QuantumManager::insert(const Entry& entry) {
    auto it = queue.begin();
    while (it != queue.end() && it->due <= entry.due) ++it;
    queue.insert(it, entry);
}

bool QuantumManager::schedule(QuantumTimer* timer, uint64_t cookie) {
    fired = false;
    const uint64_t delay = timer->onQuantum(rate);
    insert({dueIn(delay), timer, cookie});
    return true;
}

uint64_t QuantumManager::unschedule(QuantumTimer* timer) {
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (it->timer != timer) continue;
        const uint64_t due = it->due;
        queue.erase(it);
        fired = false;
        return due > now ? due - now : 0;
    }
    return 0;
}

void QuantumManager::retimeByCookie(uint64_t cookie, uint64_t delta) {
    bool changed = false;
    for (Entry& e : queue) {
        if (e.cookie != cookie) continue;
        e.due = dueIn(delta);
        changed = true;
    }
    if (changed) sort();
}

void QuantumManager::retimeByTimer(QuantumTimer* timer, uint64_t delta) {
    bool changed = false;
    for (Entry& e : queue) {
        if (e.timer != timer) continue;
        e.due = dueIn(delta);
        changed = true;
    }
    if (changed) sort();
}

// Insertion sort: the queue is small, nothing is allocated, and entries with
// equal due times keep their order.
void QuantumManager::sort() {
    for (std::size_t i = 1; i < queue.size(); ++i) {
        Entry e = queue[i];
        std::size_t j = i;
        while (j > 0 && queue[j - 1].due > e.due) {
            queue[j] = queue[j - 1];
            --j;
        }
        queue[j] = e;
    }
}

void QuantumManager::rebase() {
    for (Entry& e : queue)
        if (e.due != kNever) e.due = e.due > now ? e.due - now : 0;
    now = 0;
    fired = false;
}

uint64_t QuantumManager::advance(uint64_t n) {
    // Run the head that fell due at the previous call. After a retime or a
    // re-sort the head may be another entry that is not due yet: it waits.
    if (fired && !queue.empty() && queue.front().due <= now) {
        const Entry head = queue.front();
        queue.erase(queue.begin());
        schedule(head.timer, head.cookie);
    }
    fired = false;

    if (queue.empty() || queue.front().due == kNever) {
        now = n > kNever - now ? kNever : now + n;
        return n;
    }
    const uint64_t target = queue.front().due > now ? queue.front().due : now;
    const uint64_t distance = target - now;
    if (n >= distance) {
        now = target;
        fired = true;
        return distance;
    }
    now += n;
    return n;
}

} // namespace vantor
