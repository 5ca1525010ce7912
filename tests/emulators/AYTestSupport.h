// Small helpers for the AY-family emulator tests: a rig that owns an emulator
// rendering each channel into its own buffer, and a run-length view of a
// rendered buffer.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace aytest {

// The level tables as the chip documentation lists them (6 x an 8-bit level).
inline const uint32_t kAY[16] = {0,   6,   12,  18,  24,  42,  60,   90,
                                 126, 186, 258, 378, 528, 762, 1062, 1530};
inline const uint32_t kYM[32] = {0,   6,   12,  12,  12,  18,  18,  24,   30,   36,  42,
                                 48,  54,  66,  78,  96,  114, 138, 162,  192,  228, 270,
                                 324, 384, 456, 540, 642, 768, 912, 1080, 1284, 1530};

// The sixteen envelope shapes: first-pass direction, then what follows a pass.
enum class After { Hold0, HoldTop, Repeat, Alternate };
struct ShapeRule {
    bool ascending;
    After after;
};
inline const ShapeRule kShapes[16] = {
    {false, After::Hold0}, {false, After::Hold0},     {false, After::Hold0},
    {false, After::Hold0}, {true, After::Hold0},      {true, After::Hold0},
    {true, After::Hold0},  {true, After::Hold0},      {false, After::Repeat},
    {false, After::Hold0}, {false, After::Alternate}, {false, After::HoldTop},
    {true, After::Repeat}, {true, After::HoldTop},    {true, After::Alternate},
    {true, After::Hold0},
};

// Levels of `passes` passes of an envelope that starts at step 0 of `shape`.
inline std::vector<int32_t> envelopeLevels(int shape, const uint32_t* table, size_t count,
                                           size_t stepLen, int passes) {
    std::vector<int32_t> levels;
    const ShapeRule rule = kShapes[shape];
    bool ascending = rule.ascending;
    for (int pass = 0; pass < passes; ++pass) {
        if (pass > 0 && (rule.after == After::Hold0 || rule.after == After::HoldTop)) {
            levels.insert(levels.end(), count * stepLen, rule.after == After::HoldTop ? 1530 : 0);
            continue;
        }
        for (size_t s = 0; s < count; ++s)
            levels.insert(levels.end(), stepLen, int32_t(table[ascending ? s : count - 1 - s]));
        if (rule.after == After::Alternate) ascending = !ascending;
    }
    return levels;
}

// (value, number of consecutive samples holding it)
using Runs = std::vector<std::pair<int32_t, size_t>>;

inline Runs runsOf(const std::vector<int32_t>& samples) {
    Runs runs;
    for (int32_t v : samples) {
        if (runs.empty() || runs.back().first != v)
            runs.emplace_back(v, 1);
        else
            ++runs.back().second;
    }
    return runs;
}

// Index of the first sample that differs from sample 0 (size when none does).
inline size_t firstChange(const std::vector<int32_t>& samples) {
    for (size_t i = 1; i < samples.size(); ++i)
        if (samples[i] != samples[0]) return i;
    return samples.size();
}

template <class Emu> struct Rig {
    explicit Rig(uint64_t periodScale = 1, uint32_t maxFrames = 4096) : emu(periodScale, 0, 0) {
        emu.init(maxFrames, nullptr, 0);
    }
    void w(uint16_t address, uint8_t data) { emu.write(address, data, 0); }

    // Renders `frames` samples in one call; returns outputs A, B, C.
    std::array<std::vector<int32_t>, 3> render(size_t frames) {
        std::array<std::vector<int32_t>, 3> out;
        for (auto& o : out) o.assign(frames, 0);
        int32_t* ptrs[3] = {out[0].data(), out[1].data(), out[2].data()};
        emu.render32(ptrs, frames);
        return out;
    }
    std::vector<int32_t> renderA(size_t frames) { return render(frames)[0]; }

    Emu emu;
};

// A register write (or, with `param`, a setParameter(address, data) call) at
// sample position `at` of a stretch.
struct Event {
    size_t at;
    bool param;
    uint16_t address;
    uint8_t data;
};

// Renders a stretch of `total` samples with `events` (sorted by position) twice:
// once with each stretch between events in one call, once cut into random
// pieces (some empty, some longer than the second emulator's maxFrames) added
// on top of random buffer contents. The added samples must be identical.
template <class Emu>
void expectSplitInvariant(uint64_t scale, const std::vector<Event>& events, size_t total,
                          std::mt19937& rng) {
    Emu whole(scale, 0, 0);
    Emu split(scale, 0, 0);
    whole.init(8192, nullptr, 0);
    split.init(64, nullptr, 0);
    std::array<std::vector<int32_t>, 3> a, b, base;
    std::uniform_int_distribution<int32_t> noise(-100000, 100000);
    for (int c = 0; c < 3; ++c) {
        a[c].assign(total, 0);
        base[c].resize(total);
        for (auto& v : base[c]) v = noise(rng);
        b[c] = base[c];
    }
    auto apply = [](Emu& emu, const Event& ev) {
        if (ev.param)
            emu.setParameter(ev.address, float(ev.data));
        else
            emu.write(ev.address, ev.data, 0);
    };
    std::uniform_int_distribution<size_t> piece(0, 200);
    size_t pos = 0, next_event = 0;
    while (pos < total) {
        while (next_event < events.size() && events[next_event].at <= pos) {
            apply(whole, events[next_event]);
            apply(split, events[next_event]);
            ++next_event;
        }
        const size_t end =
            next_event < events.size() ? std::min(events[next_event].at, total) : total;
        int32_t* pa[3] = {a[0].data() + pos, a[1].data() + pos, a[2].data() + pos};
        whole.render32(pa, end - pos);
        for (size_t p = pos; p < end;) {
            const size_t n = std::min(piece(rng), end - p);
            int32_t* pb[3] = {b[0].data() + p, b[1].data() + p, b[2].data() + p};
            split.render32(pb, n);
            p += n;
        }
        pos = end;
    }
    for (int c = 0; c < 3; ++c) {
        for (size_t i = 0; i < total; ++i) {
            ASSERT_EQ(int32_t(uint32_t(b[c][i]) - uint32_t(base[c][i])), a[c][i])
                << "channel " << c << " sample " << i;
        }
    }
}

} // namespace aytest
