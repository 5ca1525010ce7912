// Writes the console model-profile file and the YM2608 rhythm samples from the
// numbers in ConsoleDataSpec.h.
//
//   make_console_data <output folder>
//
// Profile file "md_profiles.riff": RIFF "MDPF", one LIST "PROF" per profile
// holding "Name", "Mdac", "Dgvl" and "Flpf"; every payload value little-endian.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ConsoleDataSpec.h"

namespace {

using Bytes = std::vector<uint8_t>;

void putU32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putU16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void putF32(Bytes& out, float f) {
    uint32_t v;
    static_assert(sizeof v == sizeof f);
    __builtin_memcpy(&v, &f, sizeof v);
    putU32(out, v);
}
void putId(Bytes& out, const char* id) {
    out.insert(out.end(), id, id + 4);
}

void putChunk(Bytes& out, const char* id, const Bytes& body) {
    putId(out, id);
    putU32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1) out.push_back(0);
}

Bytes dacChunk(const consoledata::ProfileSpec& p) {
    Bytes b;
    for (int i = 0; i < 512; ++i)
        putF32(b, static_cast<float>(consoledata::dacLevel(p, i - 256) / 256.0));
    return b;
}

Bytes psgChunk(const consoledata::ProfileSpec& p) {
    Bytes b;
    putF32(b, static_cast<float>(p.psgReference));
    for (int curve = 0; curve < 4; ++curve) {
        for (int j = 0; j < 16; ++j) {
            double level = j == 15 ? 0.0 : p.psgLevel0 * std::pow(10.0, -2.0 * j / 20.0);
            putF32(b, static_cast<float>(level));
        }
    }
    return b;
}

Bytes filterChunk(const consoledata::ProfileSpec& p) {
    constexpr int kTaps = 16;
    double taps[kTaps];
    double sum = 0.0;
    const double fc = p.filterCutoffHz / consoledata::kConsoleClockHz; // cycles per sample
    for (int n = 0; n < kTaps; ++n) {
        double m = n - (kTaps - 1) / 2.0;
        double sinc = std::sin(2.0 * M_PI * fc * m) / (M_PI * m);
        double w = 0.42 - 0.5 * std::cos(2.0 * M_PI * n / (kTaps - 1)) +
                   0.08 * std::cos(4.0 * M_PI * n / (kTaps - 1));
        taps[n] = sinc * w;
        sum += taps[n];
    }
    Bytes b;
    for (int n = 0; n < kTaps; ++n) {
        float t = static_cast<float>(taps[n] / sum);
        putF32(b, t); // left
        putF32(b, t); // right
    }
    return b;
}

Bytes profileFile() {
    Bytes profiles;
    for (const auto& p : consoledata::kProfiles) {
        Bytes list;
        putId(list, "PROF");
        // The loader takes all but the last byte of the (even-padded) chunk
        // as the name, so the text plus its terminator must be even.
        Bytes name(p.name, p.name + std::char_traits<char>::length(p.name));
        name.push_back(0);
        if (name.size() & 1) {
            std::fprintf(stderr, "make_console_data: profile name \"%s\" needs an odd length\n",
                         p.name);
            std::exit(1);
        }
        putChunk(list, "Name", name);
        putChunk(list, "Mdac", dacChunk(p));
        putChunk(list, "Dgvl", psgChunk(p));
        putChunk(list, "Flpf", filterChunk(p));
        putChunk(profiles, "LIST", list);
    }
    Bytes body;
    putId(body, "MDPF");
    body.insert(body.end(), profiles.begin(), profiles.end());
    Bytes file;
    putChunk(file, "RIFF", body);
    return file;
}

// Small deterministic noise source, so every build writes the same bytes.
struct Lcg {
    uint32_t state = 0x2545F491u;
    double next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }
};

Bytes drumWav(const consoledata::DrumSpec& d) {
    const int count = static_cast<int>(d.seconds * consoledata::kRhythmRate);
    std::vector<double> s(count);
    Lcg rng;
    double phase = 0.0, lowNoise = 0.0, peak = 0.0;
    for (int i = 0; i < count; ++i) {
        double t = static_cast<double>(i) / consoledata::kRhythmRate;
        double f = d.toneStartHz * std::pow(d.toneEndHz / d.toneStartHz, t / d.seconds);
        phase += 2.0 * M_PI * f / consoledata::kRhythmRate;
        double tone = std::sin(phase) * std::exp(-t / d.toneDecay);
        double white = rng.next();
        lowNoise += 0.2 * (white - lowNoise); // one-pole low-pass of the noise
        double noise = (white - d.noiseHighpass * lowNoise) * std::exp(-t / d.noiseDecay);
        // A short fade at the end so the last samples reach silence.
        double tail = std::min(1.0, (count - 1 - i) / (0.01 * consoledata::kRhythmRate));
        s[i] = (d.toneMix * tone + d.noiseMix * noise) * tail;
        peak = std::max(peak, std::fabs(s[i]));
    }
    Bytes pcm;
    for (double v : s)
        putU16(pcm, static_cast<uint16_t>(
                        static_cast<int16_t>(std::lround(v / peak * consoledata::kRhythmPeak))));
    Bytes fmt;
    putU16(fmt, 1); // PCM
    putU16(fmt, 1); // mono
    putU32(fmt, consoledata::kRhythmRate);
    putU32(fmt, consoledata::kRhythmRate * 2);
    putU16(fmt, 2);
    putU16(fmt, 16);
    Bytes body;
    putId(body, "WAVE");
    putChunk(body, "fmt ", fmt);
    putChunk(body, "data", pcm);
    Bytes file;
    putChunk(file, "RIFF", body);
    return file;
}

bool writeFile(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) std::fprintf(stderr, "make_console_data: cannot write %s\n", path.c_str());
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_console_data <output folder>\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = writeFile(dir + "/md_profiles.riff", profileFile());
    for (const auto& d : consoledata::kDrums)
        ok = writeFile(dir + "/vn_opna_" + d.name + ".wav", drumWav(d)) && ok;
    return ok ? 0 : 1;
}
