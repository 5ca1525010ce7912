// Counts heap allocations while a test watches a stretch of code (an audio
// block, a run of MIDI events) that must allocate nothing. The global
// operator new is replaced with one that counts, backed by malloc:
// `SX_COUNTING_OPERATOR_NEW()` defines the replacements and must be expanded
// once per test program (in the test's own source file, never in a shared
// one). Two counters: one that counts every thread's allocations while on,
// and one that counts only the calling thread's (for code whose other
// threads may allocate freely at the same time).
//
// Include this header first: the replacements pair malloc with free, and the
// compiler, seeing free inlined where a new-expression's memory is released,
// would warn about a mismatch in every header that follows.
#pragma once

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <atomic>
#include <cstdlib>
#include <new>

namespace testsupport {

// Allocations on any thread while `g_counting` is on.
inline std::atomic<bool> g_counting{false};
inline std::atomic<int> g_allocations{0};

// Allocations on the thread that turned its own `t_counting` on.
inline thread_local bool t_counting = false;
inline thread_local int t_allocations = 0;

// Called by the replaced operator new for every allocation.
inline void countAllocation() {
    if (g_counting) ++g_allocations;
    if (t_counting) ++t_allocations;
}

} // namespace testsupport

// The counting replacements of the global allocation functions.
#define SX_COUNTING_OPERATOR_NEW()                                                                 \
    void* operator new(std::size_t size) {                                                         \
        testsupport::countAllocation();                                                            \
        if (void* p = std::malloc(size ? size : 1)) return p;                                      \
        throw std::bad_alloc();                                                                    \
    }                                                                                              \
    void operator delete(void* p) noexcept {                                                       \
        std::free(p);                                                                              \
    }                                                                                              \
    void operator delete(void* p, std::size_t) noexcept {                                          \
        std::free(p);                                                                              \
    }
