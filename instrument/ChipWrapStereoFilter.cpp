// The rotating-state stereo filter.
#include "instrument/ChipWrapStereoFilter.h"

#include <cstring>

namespace acme {

namespace {

using Lanes = float __attribute__((vector_size(16)));

Lanes load(const float* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

} // namespace

void ChipWrapStereoFilter::process(float* left, float* right, uint64_t frames, const float* taps) {
    // Frame i goes through state (index + i) mod 21, so each state sees
    // every 21st frame. The frames of one state are gathered behind its 15
    // previous ones and filtered together: the sums run in the same order as
    // frame by frame, and the compiler can vectorise across frames.
    constexpr uint32_t kHistory = kTaps - 1;
    constexpr uint64_t kPerState = kMaxPiece / kStates + 1;
    constexpr uint64_t kLanes = 4;
    constexpr uint64_t kRoom = kHistory + kPerState + kLanes;
    if (frames > kMaxPiece) {
        process(left, right, kMaxPiece, taps);
        process(left + kMaxPiece, right + kMaxPiece, frames - kMaxPiece, taps);
        return;
    }
    alignas(16) float inL[kRoom], inR[kRoom];
    alignas(16) float outL[kPerState + kLanes], outR[kPerState + kLanes];
    Lanes cl[kTaps], cr[kTaps];
    for (uint32_t j = 0; j < kTaps; ++j) {
        cl[j] = Lanes{} + taps[2 * j];
        cr[j] = Lanes{} + taps[2 * j + 1];
    }
    for (uint64_t k = 0; k < kStates && k < frames; ++k) {
        State& s = states[(index + k) % kStates];
        const uint64_t count = (frames - k + kStates - 1) / kStates;
        const uint64_t padded = (count + kLanes - 1) & ~(kLanes - 1);
        for (uint32_t j = 0; j < kHistory; ++j) {
            inL[kHistory - 1 - j] = s.left[j];
            inR[kHistory - 1 - j] = s.right[j];
        }
        for (uint64_t m = 0; m < count; ++m) {
            inL[kHistory + m] = left[k + m * kStates];
            inR[kHistory + m] = right[k + m * kStates];
        }
        for (uint64_t m = count; m < padded; ++m) inL[kHistory + m] = inR[kHistory + m] = 0.0f;
        // Four frames at a time; each frame's sum still runs from tap 0 up.
        for (uint64_t m = 0; m < padded; m += kLanes) {
            Lanes l = load(inL + kHistory + m) * cl[0];
            Lanes r = load(inR + kHistory + m) * cr[0];
            for (uint32_t j = 1; j < kTaps; ++j) {
                l += load(inL + kHistory + m - j) * cl[j];
                r += load(inR + kHistory + m - j) * cr[j];
            }
            std::memcpy(outL + m, &l, sizeof l);
            std::memcpy(outR + m, &r, sizeof r);
        }
        for (uint64_t m = 0; m < count; ++m) {
            left[k + m * kStates] = outL[m];
            right[k + m * kStates] = outR[m];
        }
        // The newest 16 inputs, newest first, are the state's history now.
        for (uint32_t j = 0; j < kTaps; ++j) {
            s.left[j] = inL[kHistory + count - 1 - j];
            s.right[j] = inR[kHistory + count - 1 - j];
        }
    }
    index = static_cast<uint32_t>((index + frames) % kStates);
}

} // namespace acme
