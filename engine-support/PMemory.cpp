#include "engine-support/PMemory.h"

#include <cstdlib>
#include <emmintrin.h> // SSE2: part of the x86-64 baseline

namespace vantor {

void* PCalloc(uint64_t n) {
    return std::calloc(static_cast<size_t>(n), 1);
}

void PFree(void* block) {
    std::free(block);
}

void* PRealloc(void* block, uint64_t size) {
    return std::realloc(block, static_cast<size_t>(size));
}

namespace {

inline __m128i swapEach16(__m128i v) {
    return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
}

inline __m128i swapEach32(__m128i v) {
    // Exchange the 16-bit halves of every 32-bit value, then the bytes of each half.
    v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
    v = _mm_shufflehi_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
    return swapEach16(v);
}

} // namespace

void swapBytes16(uint16_t* values, uint64_t count) {
    uint64_t i = 0;
    for (; i + 16 <= count; i += 16) { // 16 values per step, in two vectors
        auto* p = reinterpret_cast<__m128i*>(values + i);
        __m128i a = _mm_loadu_si128(p);
        __m128i b = _mm_loadu_si128(p + 1);
        _mm_storeu_si128(p, swapEach16(a));
        _mm_storeu_si128(p + 1, swapEach16(b));
    }
    for (; i < count; ++i) values[i] = static_cast<uint16_t>((values[i] << 8) | (values[i] >> 8));
}

void swapBytes32(uint32_t* values, uint64_t count) {
    uint64_t i = 0;
    for (; i + 8 <= count; i += 8) { // 8 values per step, in two vectors
        auto* p = reinterpret_cast<__m128i*>(values + i);
        __m128i a = _mm_loadu_si128(p);
        __m128i b = _mm_loadu_si128(p + 1);
        _mm_storeu_si128(p, swapEach32(a));
        _mm_storeu_si128(p + 1, swapEach32(b));
    }
    for (; i < count; ++i) values[i] = __builtin_bswap32(values[i]);
}

} // namespace vantor
