// Block loops shared by the AY-family generators and mixers. They work on four
// 32-bit lanes at a time through the compiler's vector extension (so they stay
// fast whatever the optimisation level's vectoriser decides) and finish the
// last few entries one by one. Arithmetic wraps in 32 bits.
#pragma once

#include <cstdint>
#include <cstring>

namespace ay_ops {

typedef uint32_t Lanes __attribute__((vector_size(16)));

inline Lanes load(const uint32_t* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store(uint32_t* p, Lanes v) {
    std::memcpy(p, &v, sizeof v);
}

// dst[0..n) = value
inline void fill(uint32_t* dst, uint64_t n, uint32_t value) {
    const Lanes v = {value, value, value, value};
    uint64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        store(dst + i, v);
        store(dst + i + 4, v);
    }
    for (; i < n; ++i) dst[i] = value;
}

// dst[k] = a[k] & b[k]
inline void andInto(uint32_t* dst, const uint32_t* a, const uint32_t* b, uint64_t n) {
    uint64_t i = 0;
    for (; i + 4 <= n; i += 4) store(dst + i, load(a + i) & load(b + i));
    for (; i < n; ++i) dst[i] = a[i] & b[i];
}

// dst[k] += source[k] * level
inline void addScaled(uint32_t* dst, const uint32_t* source, uint32_t level, uint64_t n) {
    uint64_t i = 0;
    for (; i + 4 <= n; i += 4) store(dst + i, load(dst + i) + load(source + i) * level);
    for (; i < n; ++i) dst[i] += source[i] * level;
}

// dst[k] += source[k] * levels[k]
inline void addProduct(uint32_t* dst, const uint32_t* source, const uint32_t* levels, uint64_t n) {
    uint64_t i = 0;
    for (; i + 4 <= n; i += 4) store(dst + i, load(dst + i) + load(source + i) * load(levels + i));
    for (; i < n; ++i) dst[i] += source[i] * levels[i];
}

} // namespace ay_ops
