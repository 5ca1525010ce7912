#include "emulators/FmRhythm.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/RegularFile.h"
#include "vantor/PlatformToolsFiles.h"
#include "vantor/VNTRConv.h"

namespace {

std::vector<int16_t> g_rhythmSamples[6];

const char* const kInstrumentNames[6] = {"kick", "snare", "ride", "hihat", "tom", "rim"};

uint32_t readLe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct FileCloser {
    FILE* f;
    ~FileCloser() {
        if (f) std::fclose(f);
    }
};

} // namespace

bool readWavSamples(std::vector<int16_t>& buffer, const char* path) {
    if (!path) return false;
    FileCloser file{platform::openRegularStream(path)};
    if (!file.f) return false;
    if (std::fseek(file.f, 0, SEEK_END) != 0) return false;
    long end = std::ftell(file.f);
    if (end < 12 || std::fseek(file.f, 0, SEEK_SET) != 0) return false;
    const int64_t fileSize = end;

    unsigned char header[12];
    if (std::fread(header, 1, 12, file.f) != 12) return false;
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0)
        return false;
    int64_t remaining = std::min<int64_t>(readLe32(header + 4), fileSize - 8) - 4;
    if (remaining < 8) return false;

    int64_t offset = 12;
    for (;;) {
        unsigned char chunk[8];
        if (std::fread(chunk, 1, 8, file.f) != 8) return false;
        offset += 8;
        const uint32_t size = readLe32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            // The size comes from the file: it must fit in what the file holds.
            if (size > fileSize - offset) return false;
            std::vector<int16_t> samples(size / 2);
            std::vector<unsigned char> bytes(samples.size() * 2);
            if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file.f) != bytes.size())
                return false;
            for (size_t i = 0; i < samples.size(); ++i)
                samples[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
            buffer.swap(samples);
            return true;
        }
        remaining -= size;
        if (remaining < 8 || size > fileSize - offset) return false;
        offset += size;
        if (std::fseek(file.f, static_cast<long>(offset), SEEK_SET) != 0) return false;
    }
}

const std::vector<int16_t>& rhythmSampleBuffer(int instrument) {
    return g_rhythmSamples[instrument < 0 || instrument > 5 ? 0 : instrument];
}

void loadRhythmSamplesOnce(const char* contextPath) {
    if (!contextPath) return;
    static std::once_flag once;
    std::call_once(once, [contextPath] {
        const std::string folder = getPathFromFile(VNTRConv(contextPath, 0));
        for (int k = 0; k < 6; ++k) {
            const std::string name = kInstrumentNames[k];
            if (!readWavSamples(g_rhythmSamples[k], (folder + "/opna_" + name + ".wav").c_str()))
                readWavSamples(g_rhythmSamples[k], (folder + "/vn_opna_" + name + ".wav").c_str());
        }
    });
}

void rhythmLinkBuffers(FmRhythm& rhythm) {
    for (int k = 0; k < 6; ++k) rhythm.voices[k].samples = &g_rhythmSamples[k];
}

void rhythmWrite(FmRhythm& rhythm, uint8_t address, uint8_t data) {
    if (address == 0x10) {
        if (data == 0) return;
        for (int k = 0; k < 6; ++k) {
            if (!(data & (1 << k))) continue;
            FmRhythmVoice& v = rhythm.voices[k];
            if (data & 0x80) {
                v.playing = 0;
            } else {
                v.position = 0;
                v.end = v.samples ? static_cast<uint32_t>(v.samples->size()) : 0;
                v.playing = v.end > 0 ? 1 : 0;
            }
        }
    } else if (address == 0x11) {
        for (FmRhythmVoice& v : rhythm.voices) v.totalLevel = data & 63;
    } else if (address >= 0x18 && address <= 0x1D) {
        FmRhythmVoice& v = rhythm.voices[address - 0x18];
        v.panBits = data >> 6;
        v.instrumentLevel = data & 31;
    }
}

void rhythmReset(FmRhythm& rhythm) {
    rhythm.divider = 0;
    rhythm.heldLeft = 0;
    rhythm.heldRight = 0;
}

void rhythmSample(FmRhythm& rhythm, int32_t& left, int32_t& right) {
    if (rhythm.divider != 0) {
        --rhythm.divider;
    } else {
        rhythm.divider = 2;
        int32_t sumL = 0;
        int32_t sumR = 0;
        for (FmRhythmVoice& v : rhythm.voices) {
            int32_t sample = 0;
            if (v.playing) {
                if (v.position + 1 >= v.end) {
                    v.playing = 0; // the last sample of the buffer is not played
                } else {
                    sample = (*v.samples)[v.position];
                }
                ++v.position;
            }
            int32_t att = 94 - (v.totalLevel + v.instrumentLevel);
            v.output = ((15 - (att & 7)) * (sample >> (att >> 3))) >> 4;
            if (v.panBits & 2) sumL += v.output;
            if (v.panBits & 1) sumR += v.output;
        }
        rhythm.heldLeft = static_cast<int16_t>(sumL);
        rhythm.heldRight = static_cast<int16_t>(sumR);
    }
    left += rhythm.heldLeft;
    right += rhythm.heldRight;
}
