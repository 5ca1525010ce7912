#pragma once
// Sets flush-to-zero and denormals-are-zero for the scope of an audio entry
// point and puts the caller's floating-point control word back on leaving.
// Hosts differ in what they leave set; recursive filters that decay towards
// silence would otherwise crawl through denormal numbers, which costs a
// hundred cycles or more per operation on x86. On x86 both bits of MXCSR are
// set (and the whole register restored, flags included); on 64-bit ARM the FZ
// bit of FPCR; elsewhere the scope does nothing.
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace vantor {

class DenormalScope {
public:
#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
    static constexpr uint32_t kFlushToZero = 0x8000;     // MXCSR FZ
    static constexpr uint32_t kDenormalsAreZero = 0x0040; // MXCSR DAZ
    static uint32_t read() { return _mm_getcsr(); }
    static void write(uint32_t word) { _mm_setcsr(word); }
    static constexpr uint32_t kBits = kFlushToZero | kDenormalsAreZero;
#elif defined(__aarch64__)
    static constexpr uint64_t kBits = uint64_t(1) << 24; // FPCR FZ
    static uint64_t read() {
        uint64_t word;
        __asm__ __volatile__("mrs %0, fpcr" : "=r"(word));
        return word;
    }
    static void write(uint64_t word) { __asm__ __volatile__("msr fpcr, %0" : : "r"(word)); }
#else
    static constexpr uint32_t kBits = 0;
    static uint32_t read() { return 0; }
    static void write(uint32_t) {}
#endif

    DenormalScope() : m_saved(read()) {
        if ((m_saved & kBits) != kBits) write(m_saved | kBits);
    }
    ~DenormalScope() { write(m_saved); }
    DenormalScope(const DenormalScope&) = delete;
    DenormalScope& operator=(const DenormalScope&) = delete;

private:
    decltype(read()) m_saved;
};

} // namespace vantor
