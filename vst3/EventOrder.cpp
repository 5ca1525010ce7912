#include "vst3/EventOrder.h"

#include <algorithm>

namespace eventorder {
namespace {

constexpr size_t kRun = 32; // runs this short are sorted by insertion

void insertionSort(HDMIDIEvent* e, size_t n) {
    for (size_t i = 1; i < n; ++i) {
        const HDMIDIEvent v = e[i];
        size_t j = i;
        while (j > 0 && v.frameOffset < e[j - 1].frameOffset) {
            e[j] = e[j - 1];
            --j;
        }
        e[j] = v;
    }
}

// Merges the sorted runs [a, mid) and [mid, end) of `from` into `to`; on a
// tie the left run's event goes first, which keeps the sort stable.
void merge(const HDMIDIEvent* from, HDMIDIEvent* to, size_t a, size_t mid, size_t end) {
    size_t i = a, j = mid, k = a;
    while (i < mid && j < end) to[k++] = from[j].frameOffset < from[i].frameOffset ? from[j++] : from[i++];
    while (i < mid) to[k++] = from[i++];
    while (j < end) to[k++] = from[j++];
}

} // namespace

void sortByOffset(HDMIDIEvent* events, size_t n, HDMIDIEvent* scratch) {
    for (size_t a = 0; a < n; a += kRun) insertionSort(events + a, std::min(kRun, n - a));
    if (n <= kRun) return;
    // Bottom-up merges, back and forth between the list and the scratch.
    HDMIDIEvent* from = events;
    HDMIDIEvent* to = scratch;
    for (size_t width = kRun; width < n; width *= 2) {
        for (size_t a = 0; a < n; a += 2 * width) {
            const size_t mid = std::min(a + width, n);
            merge(from, to, a, mid, std::min(a + 2 * width, n));
        }
        std::swap(from, to);
    }
    if (from != events) std::copy(from, from + n, events);
}

} // namespace eventorder
