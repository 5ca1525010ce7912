// Material for comparing the audio path with its exact shortcuts on and off
// (ShortcutRender.h), drawn from a seed: phrases of notes and register
// writes on the voice units (FM with LFO, PSG tone and noise, the DAC),
// separated by silences from a millisecond to longer than the chain needs to
// settle, notes held across them, units left out of the render and taken
// back, a song on the media unit at its chips' own clocks, and quality,
// clock detune, high-pass and unit settings changed while nothing sounds; at
// one of the host rates the instrument is played at, in host blocks of 1 to
// 4096 frames. The same seed always gives the same case, so a failing seed
// names its case. Besides the drawn cases, fixed ones taken from renders
// that once differed.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ShortcutRender.h"

namespace shortcutcases {

using namespace shortcuttest;

struct Case {
    std::string name; // the seed or the fixed case, and how it is played
    double rate = 48000.0;
    double seconds = 0.0;
    std::vector<uint32_t> blocks; // host block lengths, taken in turn
    std::vector<Action> actions;  // in order of their times
};

// splitmix64: every draw of a case comes from its seed.
class Draw {
public:
    explicit Draw(uint64_t seed) : state(seed) {}
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint64_t below(uint64_t n) { return next() % n; }
    double between(double low, double high) {
        return low + (high - low) * double(next() >> 11) / double(1ull << 53);
    }
    bool chance(double p) { return between(0.0, 1.0) < p; }
    // 1 to `most`, as often short as long (log-uniform).
    uint32_t length(uint32_t most) {
        return std::clamp<uint32_t>(uint32_t(std::exp(between(0.0, std::log(most + 1.0)))), 1,
                                    most);
    }

private:
    uint64_t state;
};

constexpr double kRates[] = {8000, 11025, 22050, 32000, 44100, 48000, 96000};

inline std::string describeBlocks(const std::vector<uint32_t>& blocks) {
    std::string text;
    for (size_t i = 0; i < blocks.size() && i < 8; ++i)
        text += (i ? "," : "") + std::to_string(blocks[i]);
    return text + (blocks.size() > 8 ? ",... (" + std::to_string(blocks.size()) + " in turn)" : "");
}

inline HDMIDIEvent noteOn(uint8_t key) {
    return midiEvent(0x90, key, 100);
}
inline HDMIDIEvent noteOff(uint8_t key) {
    return midiEvent(0x80, key, 0);
}

// The host's voice count (a master setting): every voice is released and
// the voice units past the count are left out of the render.
inline std::function<void(ChipWrap&)> voiceCount(int64_t n) {
    return [n](ChipWrap& w) {
        MasterSetting s = {};
        s.code = 3;
        s.integer = n;
        dispatchEntry(w.getRecord(), PLUGIN_OP_MASTER_SETTING, &s, nullptr);
    };
}

// A case drawn from `seed`; `song` is the path of the generated media song.
inline Case drawCase(uint64_t seed, const std::string& song) {
    Draw d(seed);
    Case c;
    c.rate = kRates[d.below(std::size(kRates))];
    c.seconds = d.between(2.5, 4.0);
    if (d.chance(0.5)) {
        c.blocks = {d.length(4096)};
    } else {
        for (int i = 0, n = 1 + int(d.below(24)); i < n; ++i) c.blocks.push_back(d.length(4096));
    }
    c.name = "seed " + std::to_string(seed) + " at " + std::to_string(int(c.rate)) +
             " Hz, blocks " + describeBlocks(c.blocks);

    std::vector<Action>& a = c.actions;
    if (d.chance(0.2)) {
        const double at = d.between(0.0, 0.5);
        a.push_back({at, {parameterEvent(384 + 2, 1.0f)}, [song](ChipWrap& w) {
                         w.getController()->openMedia(0, song);
                     }});
        a.push_back({at + d.between(0.3, 1.5), {parameterEvent(384 + 2, 0.0f)}, {}});
    }
    // Phrases of sound separated by silences.
    std::vector<uint8_t> held;
    double t = d.between(0.0, 0.05);
    while (t < c.seconds - 0.1) {
        const double end = std::min(c.seconds, t + d.between(0.02, 0.4));
        const int things = 1 + int(d.below(4));
        for (int k = 0; k < things; ++k) {
            const double at = d.between(t, end);
            const double off = d.between(at, end + 0.05);
            const size_t unit = d.below(6);
            const uint8_t port = uint8_t(d.below(2)), ch = uint8_t(d.below(3));
            const uint8_t slot = uint8_t(4 * port + ch);
            switch (d.below(7)) {
            case 0:
            case 1: { // a note through the instrument's controller
                const uint8_t key = uint8_t(36 + d.below(60));
                a.push_back({at, {noteOn(key)}, {}});
                if (d.chance(0.25))
                    held.push_back(key); // held across the silence that follows
                else
                    a.push_back({off, {noteOff(key)}, {}});
                break;
            }
            case 2: { // an FM voice by its registers, the LFO running
                std::vector<Write> v = fmVoice(ch, port);
                if (d.chance(0.6)) v.insert(v.begin(), {0, 0x22, uint8_t(0x08 | d.below(8))});
                v.push_back({0, 0x28, uint8_t(0xF0 | slot)});
                a.push_back({at, {}, writes(unit, v)});
                a.push_back({off, {}, writes(unit, {{0, 0x28, slot}})});
                break;
            }
            case 3: { // PSG tone or noise
                const bool noise = d.chance(0.4);
                const uint8_t period = uint8_t(1 + d.below(60));
                std::vector<Write> on =
                    noise ? std::vector<Write>{{2, 0, uint8_t(0xE0 | d.below(8))}, {2, 0, 0xF1}}
                          : std::vector<Write>{{2, 0, uint8_t(0x80 | (period & 15))},
                                               {2, 0, uint8_t(period >> 4)},
                                               {2, 0, 0x92}};
                a.push_back({at, {}, writes(unit, on)});
                a.push_back({off, {}, writes(unit, {{2, 0, uint8_t(noise ? 0xFF : 0x9F)}})});
                break;
            }
            case 4: { // DAC samples
                std::vector<Write> on = {{0, 0x2B, 0x80}};
                a.push_back({at, {}, writes(unit, on)});
                for (double s = at; s < off; s += d.between(0.0002, 0.01))
                    a.push_back({s, {}, writes(unit, {{0, 0x2A, uint8_t(d.below(256))}})});
                a.push_back({off, {}, writes(unit, {{0, 0x2A, 0x80}, {0, 0x2B, 0x00}})});
                break;
            }
            case 5: { // units left out of the render and taken back
                const int64_t count = int64_t(1 + d.below(6));
                a.push_back({at, {}, voiceCount(count)});
                if (d.chance(0.5)) a.push_back({off, {}, voiceCount(6)});
                break;
            }
            default: { // a layer switched on or off
                const int layer = int(1 + d.below(5));
                a.push_back({at, {parameterEvent(512 + 16 * layer, float(d.below(2)))}, {}});
                break;
            }
            }
        }
        // The silence: short, or long enough for the chain to settle.
        t = end + (d.chance(0.5) ? d.between(0.001, 0.05) : d.between(1.2, 2.0));
        if (d.chance(0.5)) {
            // Settings changed while nothing sounds.
            const double at = d.between(end + 0.001, std::max(end + 0.002, t - 0.001));
            std::vector<HDMIDIEvent> e;
            if (d.chance(0.6)) e.push_back(parameterEvent(261, float(d.below(11))));
            if (d.chance(0.3)) e.push_back(parameterEvent(259, float(d.between(-100.0, 100.0))));
            if (d.chance(0.3)) e.push_back(parameterEvent(257, float(d.between(5.0, 40.0))));
            if (d.chance(0.3)) e.push_back(parameterEvent(1025, float(d.below(2))));
            a.push_back({at, e, {}});
        }
        if (!held.empty() && d.chance(0.5)) {
            a.push_back({t, {noteOff(held.back())}, {}});
            held.pop_back();
        }
    }
    std::stable_sort(a.begin(), a.end(),
                     [](const Action& x, const Action& y) { return x.at < y.at; });
    return c;
}

// The time of frame `frame`: an action at it goes with the block holding
// that frame, at that frame.
inline double atFrame(uint64_t frame, double rate) {
    return (double(frame) + 0.5) / rate;
}

// The render command's phrase "r:0.003 3:0.25 r:2 3:0.1" (key 3, velocity
// 100) and its half-second tail, at 11025 Hz in 64-frame blocks.
inline Case phraseAfterLongRest() {
    Case c;
    c.name = "phrase 'r:0.003 3:0.25 r:2 3:0.1' at 11025 Hz, blocks 64";
    c.rate = 11025.0;
    c.blocks = {64};
    auto note = [](int32_t kind, int32_t id, float velocity) {
        HDMIDIEvent e = {};
        e.kind = kind;
        e.id = 3;
        e.noteId = id;
        e.value = velocity;
        return e;
    };
    auto frame = [&](double t) { return atFrame(uint64_t(std::llround(t * c.rate)), c.rate); };
    c.actions = {{frame(0.003), {note(HDMIDIEvent::kNoteOn, 0, 100.0f)}, {}},
                 {frame(0.253), {note(HDMIDIEvent::kNoteOff, 0, 0.0f)}, {}},
                 {frame(2.253), {note(HDMIDIEvent::kNoteOn, 1, 100.0f)}, {}},
                 {frame(2.353), {note(HDMIDIEvent::kNoteOff, 1, 0.0f)}, {}}};
    c.seconds = double(std::llround(2.353 * c.rate)) / c.rate + 0.5;
    return c;
}

// Ten YM2612 commands at NTSC clocks: a voice set up at 0 s, keyed on at
// 0.03 s, off at 0.63 s, on again at 1.69 s; the song ends at 1.79 s.
inline mediatest::Bytes tenCommandSong() {
    using mediatest::fm;
    mediatest::VgmFile v = mediatest::consoleVgm();
    for (auto [reg, value] :
         {std::pair{0xB0, 0x15}, {0x50, 0x4E}, {0x80, 0xE6}, {0x5C, 0x94}, {0x7C, 0x12}})
        fm(v, uint8_t(reg), uint8_t(value));
    v.wait(1323); // 0.03 s at 44100 ticks a second
    for (auto [reg, value] : {std::pair{0xA4, 0x2C}, {0xA0, 0x5C}, {0x28, 0xF0}})
        fm(v, uint8_t(reg), uint8_t(value));
    v.wait(26460); // to 0.63 s
    fm(v, 0x28, 0x00);
    v.wait(46746); // to 1.69 s
    fm(v, 0x28, 0xF0);
    v.wait(4410); // to 1.79 s
    return v.end().bytes();
}

// The ten-command song played on the media unit from the first block.
inline Case tenCommandSongCase(const std::string& path, double rate, uint32_t block) {
    Case c;
    c.name = "ten-command YM2612 song at " + std::to_string(int(rate)) + " Hz, blocks " +
             std::to_string(block);
    c.rate = rate;
    c.blocks = {block};
    c.seconds = 2.0;
    const mediatest::Bytes bytes = tenCommandSong();
    testhome::writeFile(path, std::string(bytes.begin(), bytes.end()));
    c.actions = {{0.0, {parameterEvent(384 + 2, 1.0f)}, [path](ChipWrap& w) {
                      w.getController()->openMedia(0, path);
                  }}};
    return c;
}

// Whether the two renders of a case agree bit for bit; otherwise where they
// first differ.
struct Verdict {
    bool same = true;
    size_t frame = 0;
    float fast = 0.0f, full = 0.0f;
    float peak = 0.0f;    // of the render without the shortcuts
    bool settled = false; // the chain settled in some silence (with them)
};

inline Verdict compare(const Case& c) {
    const Output fast = render(c.seconds, c.actions, c.rate, c.blocks, true);
    const Output full = render(c.seconds, c.actions, c.rate, c.blocks, false);
    Verdict v;
    const size_t n = std::min(fast.samples.size(), full.samples.size());
    size_t i = 0;
    while (i < n && std::memcmp(&fast.samples[i], &full.samples[i], sizeof(float)) == 0) ++i;
    v.same = i == n && fast.samples.size() == full.samples.size();
    for (float x : full.samples) v.peak = std::max(v.peak, std::fabs(x));
    v.settled = fast.settled;
    if (!v.same) {
        v.frame = i / 2;
        v.fast = i < fast.samples.size() ? fast.samples[i] : 0.0f;
        v.full = i < full.samples.size() ? full.samples[i] : 0.0f;
    }
    return v;
}

} // namespace shortcutcases
