// One console model's audible character: the FM chip's DAC curve, the PSG
// level curves, the 16-tap stereo output filter and a display name; and the
// reader of the model-profile file that holds a table of them.
//
// The file is any chunk file the IFFTree reader accepts (RIFF, IFF "FORM",
// ...). Its first top-level chunk is a container whose container children are
// the profiles in order (plain chunks there are skipped, and profiles past
// kMaxProfiles are ignored); each profile is a container with the optional chunks
//   "Flpf"  32 f32: the filter taps (tap 0 left, tap 0 right, ...)
//   "Name"  the name followed by one terminator byte
//   "Mdac"  512 f32: DAC output level per 9-bit DAC value, any scale
//   "Dgvl"  f32 reference level R, then 4 x 16 f32 PSG levels
// Every payload value is little-endian, whatever the file's size byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The PSG reference levels per attenuation 0-15.
extern const uint16_t kPsgLevelTable[16];

struct ModelProfile {
    static constexpr int kDacEntries = 512;
    static constexpr int kFilterValues = 32;
    static constexpr float kDefaultReference = 10000.0f;
    // Profiles read from one file at most: far more than there are console
    // models, few enough that a crafted file cannot make the table huge.
    static constexpr size_t kMaxProfiles = 64;

    // DAC curve of 512 zeros; filter 1.0, 1.0 then zeros; every PSG curve
    // (kPsgLevelTable[j] * 128 + 128) >> 8; empty name.
    ModelProfile();

    // Fills the four PSG curves from the levels `levels` (4 x 16) against the
    // reference `reference`, scaled by the slope of the first 32 DAC entries;
    // level 15 of each curve is always 0. `dacCurve` must be set first.
    void setPsgCurvesFromLevels(float reference, const float levels[4][16]);
    // The same with R = 10000 and kPsgLevelTable for every curve.
    void setDefaultPsgCurves();

    std::vector<int16_t> dacCurve; // 512 entries, indexed by the 9-bit DAC value
    float filter[kFilterValues];   // 16 taps of (left, right)
    int16_t psgCurves[4][16];      // level per attenuation 0-15
    std::string name;
};

// 32767 for x >= 32767, else floor(max(x, -32768) + 0.5); NaN gives 0.
int16_t profileClampRound(float x);

// Reads the profiles of the chunk file at `path` into `table` (resized to the
// file's profile count, at most kMaxProfiles). False, with `table` untouched,
// when the file cannot be opened or parsed or holds no profile.
bool loadModelProfiles(const std::string& path, std::vector<ModelProfile>& table);
