// Random YM2612 sessions for the equivalence tests: a patch on all six
// channels (LFO, SSG-EG, channel-3 special mode, CSM with timer A, the DAC)
// followed by key-ons, key-offs, DAC data, register changes and mutes at
// random sample times.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "emulators/ChipEmu.h"

namespace fmsession {

struct Event {
    uint64_t at;      // sample (chip sample) before which the event applies
    bool mute;        // setParameter(index, value) instead of a write
    uint16_t address; // write: register, mute: channel index
    uint8_t data;     // write: data, mute: 1 = mute
    uint8_t port;
};

class Builder {
public:
    explicit Builder(uint32_t seed) : rng_(seed) {}

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(int percent) { return pick(0, 99) < percent; }

    void write(uint64_t at, int port, int address, int data) {
        events_.push_back({at, false, static_cast<uint16_t>(address), static_cast<uint8_t>(data),
                           static_cast<uint8_t>(port)});
    }

    // Operator and channel registers of channel c (0-5).
    void patchChannel(uint64_t at, int c) {
        const int port = c / 3, ch = c % 3;
        const int alg = pick(0, 7);
        for (int op = 0; op < 4; ++op) {
            const int reg = ch + op * 4;
            // Carriers loud, modulators anywhere.
            const bool carrier =
                op == 3 || (alg >= 4 && op == 2) || (alg >= 5 && op == 1) || (alg == 7);
            write(at, port, 0x30 + reg, pick(0, 0x7F));
            write(at, port, 0x40 + reg, carrier ? pick(0, 30) : pick(0, 127));
            write(at, port, 0x50 + reg,
                  (pick(0, 3) << 6) | (chance(70) ? pick(20, 31) : pick(0, 31)));
            write(at, port, 0x60 + reg, (chance(40) ? 0x80 : 0) | pick(0, 31));
            write(at, port, 0x70 + reg, chance(30) ? 0 : pick(0, 31));
            write(at, port, 0x80 + reg, pick(0, 255));
            write(at, port, 0x90 + reg, chance(30) ? pick(8, 15) : (chance(10) ? pick(1, 7) : 0));
        }
        write(at, port, 0xA4 + ch, pick(0, 0x3F));
        write(at, port, 0xA0 + ch, pick(0, 255));
        write(at, port, 0xB0 + ch, (pick(0, 7) << 3) | alg);
        write(at, port, 0xB4 + ch, (pick(0, 3) << 6) | (pick(0, 3) << 4) | pick(0, 7));
    }

    void keyEvent(uint64_t at) {
        static const int kSelect[6] = {0, 1, 2, 4, 5, 6};
        const int kind = pick(0, 9);
        const int mask = kind < 4 ? 15 : kind < 8 ? 0 : pick(0, 15);
        write(at, 0, 0x28, (mask << 4) | kSelect[pick(0, 5)]);
    }

    void modeRegister(uint64_t at) {
        static const int kModes[6] = {0x00, 0x40, 0x85, 0x81, 0x45, 0x15};
        write(at, 0, 0x27, kModes[pick(0, 5)]);
    }

    // A whole session of `length` chip samples.
    std::vector<Event> session(uint64_t length, bool dac = true) {
        opening(dac);
        uint64_t t = 0;
        while (true) {
            t += static_cast<uint64_t>(pick(1, 400));
            if (t >= length) break;
            randomEvent(t, dac);
        }
        return events_;
    }

    // A session of `length` chip samples with the DAC on and its byte
    // streamed every few samples, the other events between them as sparse
    // as in `session`.
    std::vector<Event> dacStream(uint64_t length) {
        opening(true);
        write(0, 0, 0x2B, 0x80);
        uint64_t t = 0;
        uint64_t other = static_cast<uint64_t>(pick(1, 400));
        while (true) {
            t += static_cast<uint64_t>(pick(1, 8));
            if (t >= length) break;
            write(t, 0, 0x2A, pick(0, 255));
            if (t >= other) {
                randomEvent(t, true);
                other = t + static_cast<uint64_t>(pick(1, 400));
            }
        }
        return events_;
    }

private:
    // LFO, timer A, a patch on every channel, the mode register, the DAC
    // choice and every channel keyed, at sample 0.
    void opening(bool dac) {
        events_.clear();
        write(0, 0, 0x22, chance(80) ? 8 | pick(0, 7) : 0);
        const int reload = pick(960, 1023);
        write(0, 0, 0x24, reload >> 2);
        write(0, 0, 0x25, reload & 3);
        for (int c = 0; c < 6; ++c) patchChannel(0, c);
        for (int k = 0; k < 3; ++k) {
            write(0, 0, 0xAC + k, pick(0, 0x3F));
            write(0, 0, 0xA8 + k, pick(0, 255));
        }
        modeRegister(0);
        if (dac) write(0, 0, 0x2B, chance(50) ? 0x80 : 0);
        for (int c = 0; c < 6; ++c) write(0, 0, 0x28, 0xF0 | (c < 3 ? c : c + 1));
    }

    // One event at sample t: a key, DAC data, LFO, mode register, DAC switch,
    // mute, new patch, frequency or total level.
    void randomEvent(uint64_t t, bool dac) {
        const int what = pick(0, 99);
        if (what < 30) {
            keyEvent(t);
        } else if (what < 50 && dac) {
            write(t, 0, 0x2A, pick(0, 255));
        } else if (what < 56) {
            write(t, 0, 0x22, chance(80) ? 8 | pick(0, 7) : 0);
        } else if (what < 62) {
            modeRegister(t);
        } else if (what < 66 && dac) {
            write(t, 0, 0x2B, chance(50) ? 0x80 : 0);
        } else if (what < 72) {
            events_.push_back(
                {t, true, static_cast<uint16_t>(pick(0, 5)), static_cast<uint8_t>(chance(50)), 0});
        } else if (what < 80) {
            patchChannel(t, pick(0, 5));
        } else if (what < 88) {
            const int c = pick(0, 5);
            write(t, c / 3, 0xA4 + c % 3, pick(0, 0x3F));
            write(t, c / 3, 0xA0 + c % 3, pick(0, 255));
        } else {
            const int c = pick(0, 5);
            write(t, c / 3, 0x40 + c % 3 + 4 * pick(0, 3), pick(0, 127));
        }
    }

    std::mt19937 rng_;
    std::vector<Event> events_;
};

inline void apply(ChipEmu& chip, const Event& e) {
    if (e.mute)
        chip.setParameter(e.address, e.data ? 1.0f : 0.0f);
    else
        chip.write(e.address, e.data, e.port);
}

} // namespace fmsession
