// Counts heap allocations while a test watches a stretch of code (an audio
// block, a run of MIDI events) that must allocate nothing. The global
// operator new is replaced with one that counts, backed by malloc:
// `SX_COUNTING_OPERATOR_NEW()` defines the replacements and must be expanded
// once per test program (in the test's own source file, never in a shared
// one). Two counters: one that counts every thread's allocations while on,
// and one that counts only the calling thread's (for code whose other
// threads may allocate freely at the same time).
//
// `SX_COUNTING_MALLOC()` (once per test program, besides the operator new
// replacements) counts malloc, calloc and realloc as well, whoever calls
// them: a C library such as speexdsp allocates with these directly. In a
// plain build the three are replaced in the test program (which the shared
// libraries' calls reach first) and handed to the C library's own; under a
// sanitizer, which owns the allocator, its allocation hook counts them.
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

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SX_ALLOCATION_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SX_ALLOCATION_SANITIZER 1
#endif
#endif

#ifdef SX_ALLOCATION_SANITIZER
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
namespace testsupport {
inline void sanitizerAllocated(const volatile void*, size_t) {
    countAllocation();
}
inline void sanitizerFreed(const volatile void*) {}
} // namespace testsupport
#define SX_COUNTING_MALLOC()                                                                       \
    static const int sxMallocHooks = __sanitizer_install_malloc_and_free_hooks(                    \
        testsupport::sanitizerAllocated, testsupport::sanitizerFreed);
#else
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
#define SX_COUNTING_MALLOC()                                                                       \
    extern "C" void* malloc(size_t size) noexcept {                                                \
        testsupport::countAllocation();                                                            \
        return __libc_malloc(size);                                                                \
    }                                                                                              \
    extern "C" void* calloc(size_t count, size_t size) noexcept {                                  \
        testsupport::countAllocation();                                                            \
        return __libc_calloc(count, size);                                                         \
    }                                                                                              \
    extern "C" void* realloc(void* p, size_t size) noexcept {                                      \
        testsupport::countAllocation();                                                            \
        return __libc_realloc(p, size);                                                            \
    }
#endif

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
    }                                                                                              \
    void* operator new(std::size_t size, const std::nothrow_t&) noexcept {                         \
        testsupport::countAllocation();                                                            \
        return std::malloc(size ? size : 1);                                                       \
    }                                                                                              \
    void operator delete(void* p, const std::nothrow_t&) noexcept {                                \
        std::free(p);                                                                              \
    }                                                                                              \
    void* operator new[](std::size_t size) {                                                       \
        return operator new(size);                                                                 \
    }                                                                                              \
    void operator delete[](void* p) noexcept {                                                     \
        std::free(p);                                                                              \
    }                                                                                              \
    void operator delete[](void* p, std::size_t) noexcept {                                        \
        std::free(p);                                                                              \
    }
