// The model profile's stereo output filter at the chip's rate: 16 taps per
// channel (left taps at the even, right taps at the odd positions of the
// profile's 32 floats) over 21 filter states that take turns frame by frame,
// so each state filters every 21st frame with its own history. The console
// renders one FM sample as 21 frames; the rotating states shape each of the
// 21 phases alike.
#pragma once

#include <array>
#include <cstdint>

namespace acme {

class ChipWrapStereoFilter {
public:
    static constexpr uint32_t kStates = 21;
    static constexpr uint32_t kTaps = 16;
    static constexpr uint64_t kMaxPiece = 8192; // frames filtered in one pass

    struct State {
        float left[kTaps] = {}; // the last 16 inputs, newest first
        float right[kTaps] = {};
    };

    // Filters `frames` frames of both channels in place.
    void process(float* left, float* right, uint64_t frames, const float* taps);
    // Clears every history and starts again at state 0.
    void clear() {
        states.fill(State{});
        index = 0;
    }

    std::array<State, kStates> states{};
    uint32_t index = 0; // the state of the next frame
};

} // namespace acme
