// Lengths in output frames for the PSG generators when a chip is clocked at
// a rate the frame grid does not divide: one count of a period lasts
// `whole` frames plus `fraction` / 2^32 of a frame. Each length is handed out
// as whole frames and the part of a frame left over is carried into the
// next, so the edges of a tone fall on the grid while their average spacing
// keeps the exact pitch. Without a fraction a length is exactly
// counts x whole, as it is for a generator whose count lasts whole frames.
#pragma once

#include <cmath>
#include <cstdint>

struct FrameScale {
    uint64_t whole = 1;
    uint32_t fraction = 0;

    // `frames` per count, rounded to the nearest 2^-32 of a frame; a value
    // that is not finite or not above 0 gives one frame.
    static FrameScale of(double frames) {
        FrameScale s;
        if (!(frames > 0.0) || !std::isfinite(frames) || frames >= 4294967296.0) return s;
        const double whole = std::floor(frames);
        const double part = std::round((frames - whole) * 4294967296.0);
        s.whole = uint64_t(whole);
        if (part >= 4294967296.0) {
            s.whole += 1;
        } else {
            s.fraction = uint32_t(part);
        }
        return s;
    }
};

// The next length of `counts` counts (below 2^32); `carry` holds the part of
// a frame left over from the lengths before. With a fraction, a length of one
// count or more is at least one frame.
inline uint64_t scaledLength(uint64_t counts, uint64_t whole, uint32_t fraction, uint32_t& carry) {
    if (fraction == 0) return counts * whole;
    if (counts == 0) return 0;
    const uint64_t parts = counts * fraction + carry;
    carry = uint32_t(parts);
    const uint64_t frames = counts * whole + (parts >> 32);
    return frames ? frames : 1;
}
