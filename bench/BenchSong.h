// The generated song the media benchmarks play: PSG writes, six FM channels
// (each its own voice, the LFO on) keyed off and on every frame and drums
// through a PCM stream (0x95 fast starts of YM2612 data blocks at 8 kHz),
// `frames` frames of 60 a second long.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace benchsong {

inline std::vector<uint8_t> makeSong(int frames) {
    std::vector<uint8_t> b(0x100, 0);
    auto op = [&](std::initializer_list<uint8_t> bytes) { b.insert(b.end(), bytes); };
    auto at32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    std::memcpy(b.data(), "Vgm ", 4);
    at32(0x08, 0x171);
    at32(0x0C, 3579545);
    at32(0x2C, 7670453);
    at32(0x34, 0x100 - 0x34);
    for (int s = 0; s < 4; ++s) {
        op({0x67, 0x66, 0x00, 0x00, 0x10, 0x00, 0x00}); // 4 KiB
        for (int i = 0; i < 4096; ++i)
            b.push_back(static_cast<uint8_t>(128 + ((i * (s + 3)) & 63)));
    }
    // A voice per channel: every algorithm but 2 and 6, feedback, fast
    // attacks, decays and releases, AM on the last operator.
    static constexpr uint8_t kAlgorithms[6] = {0, 1, 3, 4, 5, 7};
    op({0x52, 0x22, 0x0B}); // LFO on, rate 3
    for (uint8_t ch = 0; ch < 6; ++ch) {
        const uint8_t cmd = ch < 3 ? 0x52 : 0x53;
        const uint8_t c = ch % 3;
        for (uint8_t slot = 0; slot < 4; ++slot) {
            const uint8_t s = static_cast<uint8_t>(4 * slot + c);
            op({cmd, static_cast<uint8_t>(0x30 + s),
                static_cast<uint8_t>((slot << 4) | (1 + slot))});
            op({cmd, static_cast<uint8_t>(0x40 + s), static_cast<uint8_t>(0x24 - 8 * slot)});
            op({cmd, static_cast<uint8_t>(0x50 + s), static_cast<uint8_t>(0x5F - ch)});
            op({cmd, static_cast<uint8_t>(0x60 + s),
                static_cast<uint8_t>(slot == 3 ? 0x87 : 0x05)});
            op({cmd, static_cast<uint8_t>(0x70 + s), 0x03});
            op({cmd, static_cast<uint8_t>(0x80 + s), 0x36});
        }
        op({cmd, static_cast<uint8_t>(0xB0 + c),
            static_cast<uint8_t>(((ch + 1) << 3) | kAlgorithms[ch])});
        op({cmd, static_cast<uint8_t>(0xB4 + c), static_cast<uint8_t>(0xC0 | 0x10 | (ch & 3))});
    }
    op({0x52, 0x2B, 0x80, 0x90, 0x00, 0x02, 0x00, 0x2A, 0x91, 0x00, 0x00, 0x01, 0x00});
    op({0x92, 0x00, 0x40, 0x1F, 0x00, 0x00}); // 8000 Hz
    op({0x50, 0xE6});                         // white noise at the slowest fixed rate
    for (int frame = 0; frame < frames; ++frame) {
        for (uint8_t ch = 0; ch < 3; ++ch) {
            const int period = 0x80 + ((frame * 37 * (ch + 1)) & 0x37F);
            op({0x50, static_cast<uint8_t>(0x80 | (ch << 5) | (period & 15))});
            op({0x50, static_cast<uint8_t>(period >> 4)});
            op({0x50, static_cast<uint8_t>(0x90 | (ch << 5) | ((frame >> 2) & 15))});
        }
        if (frame % 8 == 0) op({0x50, static_cast<uint8_t>(0xF0 | ((frame >> 3) & 15))});
        for (uint8_t port = 0; port < 2; ++port) {
            const uint8_t cmd = port ? 0x53 : 0x52;
            for (uint8_t ch = 0; ch < 3; ++ch) {
                const uint8_t key = static_cast<uint8_t>((port << 2) | ch);
                op({cmd, static_cast<uint8_t>(0xA4 + ch),
                    static_cast<uint8_t>(0x22 + (frame & 7))});
                op({cmd, static_cast<uint8_t>(0xA0 + ch), static_cast<uint8_t>(frame * (ch + 1))});
                op({cmd, static_cast<uint8_t>(0x40 + ch), static_cast<uint8_t>(frame & 0x3F)});
                op({0x52, 0x28, key});
                op({0x52, 0x28, static_cast<uint8_t>(0xF0 | key)});
            }
        }
        if (frame % 15 == 0) op({0x95, 0x00, static_cast<uint8_t>((frame / 15) % 4), 0x00, 0x00});
        op({0x62});
    }
    op({0x66});
    at32(0x04, static_cast<uint32_t>(b.size() - 4));
    at32(0x18, static_cast<uint32_t>(frames * 735));
    return b;
}

} // namespace benchsong
