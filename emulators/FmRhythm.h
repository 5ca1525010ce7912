// YM2608 rhythm voices: six drum recordings (kick, snare, ride, hihat, tom, rim)
// loaded once per process from WAV files, played by register 0x10 and mixed
// at one third of the chip's sample rate.
#pragma once

#include <cstdint>
#include <vector>

struct FmRhythmVoice {
    int32_t output = 0;  // last computed value
    uint8_t panBits = 0; // bit 1 = left, bit 0 = right
    uint8_t playing = 0;
    uint8_t instrumentLevel = 0;                   // 5 bits
    uint8_t totalLevel = 0;                        // 6 bits, copied into every voice
    uint32_t position = 0;                         // read position in the sample buffer
    uint32_t end = 0;                              // number of samples in the buffer when keyed
    const std::vector<int16_t>* samples = nullptr; // null until linked by init
};

struct FmRhythm {
    FmRhythmVoice voices[6];
    uint8_t divider = 0; // counts 2, 1, 0; the voices are evaluated at 0
    int16_t heldLeft = 0;
    int16_t heldRight = 0;
};

// Reads the signed 16-bit samples of the "data" chunk of a RIFF/WAVE file into
// `buffer`. Any failure (missing file, bad header, chunk sizes that do not fit
// the file) leaves `buffer` unchanged and returns false.
bool readWavSamples(std::vector<int16_t>& buffer, const char* path);

// The six process-wide sample buffers (kick, snare, ride, hihat, tom, rim).
const std::vector<int16_t>& rhythmSampleBuffer(int instrument);

// Loads the six buffers from the folder of `contextPath`, at most once per
// process ("/opna_<name>.wav", then "/vn_opna_<name>.wav"). Null does nothing.
void loadRhythmSamplesOnce(const char* contextPath);

// Links the six voices to the process-wide buffers.
void rhythmLinkBuffers(FmRhythm& rhythm);

// Register writes (port 0): 0x10 key on/dump, 0x11 total level, 0x18-0x1D pan/level.
void rhythmWrite(FmRhythm& rhythm, uint8_t address, uint8_t data);

// Clears the divider and the held sums (the voices keep playing).
void rhythmReset(FmRhythm& rhythm);

// One output sample: evaluates the voices every third call and adds the held
// sums to `left` and `right`.
void rhythmSample(FmRhythm& rhythm, int32_t& left, int32_t& right);
