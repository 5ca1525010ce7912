// Where the YM2612's six channels sound within the frame of one chip sample:
// the one table every spread render, dispatcher and reader of the frames
// derives its layout from. In the 21-slot frame channel c (1-6, record
// c - 1) takes slots kSpreadSlots21[c - 1] and the one after; in the 9-slot
// frame, slot kSpreadSlots9[c - 1]. The other slots stay empty.
#pragma once

#include <array>
#include <cstdint>

inline constexpr uint8_t kSpreadSlots21[6] = {0, 10, 7, 17, 3, 14};
inline constexpr uint8_t kSpreadSlots9[6] = {0, 4, 3, 7, 1, 6};
// Slots a channel takes in each frame.
inline constexpr uint32_t kSpreadWidth21 = 2;
inline constexpr uint32_t kSpreadWidth9 = 1;

// The channel (1-6) whose value goes into each slot of a frame of N slots
// (21 or 9), 0 for none.
template <uint32_t N> constexpr std::array<uint8_t, N> spreadSchedule() {
    static_assert(N == 21 || N == 9, "frames are 21 or 9 slots long");
    const uint32_t width = N == 21 ? kSpreadWidth21 : kSpreadWidth9;
    std::array<uint8_t, N> schedule{};
    for (uint32_t r = 0; r < 6; ++r) {
        const uint32_t first = N == 21 ? kSpreadSlots21[r] : kSpreadSlots9[r];
        for (uint32_t k = 0; k < width; ++k) schedule[first + k] = uint8_t(r + 1);
    }
    return schedule;
}
