// The console's sound hardware as one ChipEmu: a YM2612 (OPN2_Emu), an
// SN76489 in its console form (DCSG_Emu), and the two chips switched in for
// music written for other hardware, an AY-3-8910/YM2149 (AYEmu) and a YM2608
// (OPNX_Emu). Output is stereo at the console clock (divisor 1): the PSGs give
// a value per frame, the FM chips one sample per 21 frames (9 at clock index
// 3) laid out over the frame. A table of model profiles chooses the DAC curve,
// the PSG level curves and the output filter.
//
// Register ports: 0 and 1 the FM banks (both FM chips see every write), 2 the
// PSG (address 0 command bytes, address 1 the Game Gear stereo byte), 3 the AY.
//
// At its own clocks the FM chips run at frame rate / 21 (/ 9), the PSG
// counts a step every kPsgFactor frames and the AY a period count every
// kAyPeriodScale frames. Music written for the same chips at other clocks
// plays with clock ratios (parameters 31-33): the PSG and AY counts then
// last fractions of frames, and the FM chips scale their phase increments.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "emulators/AYEmu.h"
#include "emulators/ChipEmu.h"
#include "emulators/DCSG_Emu.h"
#include "emulators/ModelProfile.h"
#include "emulators/OPN2_Emu.h"
#include "emulators/OPNX_Emu.h"

// Entry i = (i - 256) * 64.
extern const std::array<int16_t, 512> kLinearDacCurve;
// The built-in profile's DAC curve: -16320 at 0, 0 at 256, 15928 at 511.
extern const std::array<int16_t, 512> kDefaultDacCurve;
// Tap 0 passes left and right unchanged; the other taps are 0.
extern const std::array<float, 32> kDefaultFilterBlock;

class MD_Emu : public ChipEmu {
public:
    MD_Emu();
    ~MD_Emu() override;
    MD_Emu(const MD_Emu&) = delete;
    MD_Emu& operator=(const MD_Emu&) = delete;

    // Recreates the four inner chips for blocks of up to `maxFrames` frames.
    // A unit without a profile table takes the built-in profile and loads the
    // file at `context` (UTF-8 path) into its own table. Settings made before
    // the first init are applied here. Always true.
    bool init(uint32_t maxFrames, const char* context, uint32_t flags) override;
    // Resets the FM chips and the PSG, turns the offsets off, selects the
    // YM2612 and restores the Game Gear stereo byte.
    void reset() override;
    ChipInfo* getInfo() override { return &info; }
    // Index 3 selects the 9-slot FM layout.
    void setClockIndex(uint64_t index) override {
        touch();
        clockIndex = index;
    }
    void write(uint16_t address, uint8_t data, uint64_t port) override;
    // 0-5 FM mutes, 6 filter profile, 7 DAC profile (-1 linear, other
    // negatives full resolution), 8-11 PSG mutes, 15 PSG type, 20-29 solos
    // (FM 1-6, PSG 0-3), 30 FM chip (0 = YM2612), 31-33 clock ratios of the
    // FM chips, the PSG and the AY to their own clocks (1.0 own; a value
    // that is not finite or not above 0 means 1.0, others are kept within
    // 1/16..16).
    void setParameter(uint32_t index, float value) override;
    void setOutputOffset(uint64_t ignored, int16_t left, int16_t right) override;
    // Adds `frames` frames into outputs[0] (left) and outputs[1] (right).
    int render32(int32_t** outputs, uint64_t frames) override;
    // As render32; with the YM2612 in 21-slot frames, carrying, and nothing
    // else adding (PSG quiet or none, no offset), its whole samples go into
    // rows.
    bool renderRows(int32_t** outputs, uint64_t frames, SpreadRows& rows) override;
    // The controller's one call per span: the silence test, the advance of
    // a silent unit and the render, without a call between them.
    bool renderSpan(int32_t** outputs, uint64_t frames, SpreadRows* rows, bool fast,
                    bool carry) override;
    void render16(int16_t* /*output*/, uint64_t /*ignored*/, uint64_t /*frames*/) override {}
    // Whether render32 would add only zeros until the next write or setting:
    // the YM2612 selected and silent, the PSG selected silent (or none), no
    // output offset. An AY or the YM2608 selected is never taken as silent.
    // The answer is kept in knownSilent until the unit renders or anything
    // that can make it sound changes.
    bool isSilent() override;
    void setSpreadCarry(bool on) override { spreadCarry_ = on; }
    // Whether render32 and renderRows may take the exact shortcuts
    // (emulators/FastPaths.h): on until set; renderSpan sets it from `fast`.
    void setShortcuts(bool on) { shortcuts_ = on; }
    bool retractCarry(int32_t** outputs) override;
    // What render32 does to a silent unit, without the output: the FM and
    // PSG clocks move on in a few steps when the unit is next used (or
    // settleSilent is called), for all the frames owed by then (owedFrames).
    void advanceSilent(uint64_t frames) override;
    void settleSilent() override;
    // The FM chip's frames; a quiet PSG's only once they reach
    // kMaxPsgOwedFrames (its advance costs little per frame).
    void payOwed() override;
    // The selected filter profile's 32 taps, else kDefaultFilterBlock.
    const float* getFilterSettings() override;

    // Reads the profile file at `path` into `profiles`; false (table kept)
    // when it cannot be read or holds no profile. Re-validates the selections
    // and hands the PSG the selected profile's curves.
    bool loadModelProfiles(const std::string& path);

    // Index 7 for a value >= 0, without touching the DAC curve mode.
    void selectModelProfile(int32_t index);
    // Index 6.
    void selectFilterProfile(int32_t index);
    void setDacCurveMode(uint32_t mode) {
        touch();
        dacCurveMode = mode;
    }

    // The built-in profile: default filter, kDefaultDacCurve, and PSG curves
    // converted from the default reference levels against that curve (821 at
    // attenuation 0), as a loaded profile's are. The unconverted reference
    // curves (21555 at attenuation 0) would put the PSG over 20 dB above a
    // full-scale FM channel.
    static ModelProfile builtInProfile();

    // Frames per PSG counter step and per AY period count at the own clocks.
    static constexpr uint64_t kPsgFactor = 5;
    static constexpr uint64_t kAyPeriodScale = 2;
    // The parameters of the clock ratios.
    static constexpr uint32_t kFmClockRatio = 31;
    static constexpr uint32_t kPsgClockRatio = 32;
    static constexpr uint32_t kAyClockRatio = 33;

    ChipInfo info;
    uint64_t clockIndex = 0;
    std::unique_ptr<OPN2_Emu> opn2;
    std::unique_ptr<DCSG_Emu> psg;
    std::unique_ptr<AYEmu> ay;
    std::unique_ptr<OPNX_Emu> opna;
    uint32_t psgType = 0;  // 0, 2 mono SN76489; 1 Game Gear stereo; 3, 4 AY; else none
    uint64_t fmSelect = 0; // 0 = the YM2612 sounds, else the YM2608
    std::unique_ptr<int32_t[]> psgBuffers; // left, then right, maxFrames each
    uint8_t ggStereo = 0xFF;
    std::vector<ModelProfile> profiles;
    // The table in use: this unit's `profiles` or another unit's (set before
    // init to share it); null until then.
    std::vector<ModelProfile>* profileTable = nullptr;
    int32_t modelIndex = 0;    // profile of the DAC and PSG curves
    int32_t filterIndex = 0;   // profile of the output filter; -1 = kDefaultFilterBlock
    uint32_t dacCurveMode = 0; // 0 profile curve, 1 linear, 2 full resolution
    uint8_t fmMutes[6] = {};
    uint8_t psgMutes[4] = {};
    uint8_t solos[10] = {};                  // FM 1-6, then PSG 0-3
    double clockRatios[3] = {1.0, 1.0, 1.0}; // FM, PSG, AY
    uint8_t offsetEnabled = 0;
    int16_t offsetLeft = 0;
    int16_t offsetRight = 0;

private:
    size_t profileCount() const { return profileTable ? profileTable->size() : 0; }
    void applyFilterParameter(float value);
    void applyModelParameter(float value);
    void applyMutes();
    // Hands clock ratio k (0 FM, 1 PSG, 2 AY) to its chips.
    void applyClockRatio(int k);
    void givePsgProfileCurves();
    const int16_t* currentDacCurve() const;
    // currentDacCurve() and the spread renders' output mode for it, found
    // again only when keptGeneration_ is not the tables' generation.
    void keptCurve(const int16_t*& curve, uint32_t& outputMode);
    // Slots per FM chip sample: clock index 3 selects the 9-slot layout.
    uint32_t frameLength() const { return clockIndex == 3 ? 9 : 21; }
    // Adds the PSG or AY selected (having paid what the PSG owes); returns
    // whether anything was added.
    bool renderPsg(int32_t* left, int32_t* right, uint64_t frames);
    // Returns whether anything was added into outputs[0] and [1] (with rows,
    // whole FM samples on their grid go there instead).
    bool renderPiece(int32_t* const* outputs, uint64_t frames, SpreadRows* rows);
    // The usual piece: the YM2612 alone (plainSettings), its quiet PSG
    // owing the frames.
    bool renderYm2612Alone(int32_t* const* outputs, uint64_t frames, SpreadRows* rows);
    // renderPiece for any settings: the PSG, the offset, then the FM chip.
    bool renderPieceMixed(int32_t* const* outputs, uint64_t frames, SpreadRows* rows);
    // The PSG's part: a quiet SN76489 or Game Gear PSG (with the shortcuts
    // on) only owes the frames, paid before a span would take them past
    // kMaxPsgOwedFrames; any other renders. Returns whether anything was
    // added.
    bool addPsgPiece(int32_t* left, int32_t* right, uint64_t frames);
    // Adds the output offset when it is on; returns whether it is.
    bool addOffsetPiece(int32_t* left, int32_t* right, uint64_t frames);
    // The YM2608 selected: it renders in the layout of the clock index,
    // while the YM2612 takes back the rest it carried.
    void renderYm2608Piece(int32_t* const* outputs, uint64_t frames);
    // The YM2612 in the layout of the clock index (rows only in 21 slots);
    // returns whether it added anything into outputs.
    bool renderYm2612Piece(int32_t* const* outputs, uint64_t frames, SpreadRows* rows);
    bool renderFrames(int32_t** outputs, uint64_t frames, SpreadRows* rows);
    // renderFrames in pieces of at most maxFrames_.
    bool renderPieces(int32_t** outputs, uint64_t frames, SpreadRows* rows);

    // The PSG known quiet (SN76489 or Game Gear), no offset, the YM2612
    // selected in 21-slot frames: a piece of the YM2612 alone.
    bool plainSettings() const {
        return psgQuiet_ == 1 && psgType <= 2 && !offsetEnabled && fmSelect == 0 &&
               clockIndex != 3;
    }
    bool computeSilent();
    // Whether the SN76489 or Game Gear PSG adds nothing (its levels, mutes
    // and routing): found once and kept until something touches the unit,
    // since rendering moves counters but changes none of these.
    bool psgQuiet();
    // The shortcut state of the unit is of two kinds. What it owes
    // (owedFrames, psgOwed_: frames its chips have not moved on yet) is paid
    // before anything reads or changes the chips: touch() for every write
    // and setting, renderFrames before a render, retractCarry before it
    // looks at the carried rest. What it keeps (the curve and output mode,
    // plainSpan_, knownSilent with owedLimit, psgQuiet_, the silence
    // recheck count) are answers found from the chips and settings, all
    // dropped at once by forgetAnswers() when either may have changed.
    //
    // Before anything uses or changes the chips: the frames owed are paid and
    // every kept answer is dropped.
    void touch();
    void forgetAnswers();
    // Moves the FM chip on by the frames the silent unit owes; the PSG's
    // share joins the frames it owes on its own.
    void settleFm();
    // Moves a quiet PSG on by the frames it owes.
    void settlePsg();
    // Pays the quiet PSG's frames when the next span of `frames` would take
    // them past kMaxPsgOwedFrames.
    void payPsgBeforeSpan(uint64_t frames);

    uint32_t maxFrames_ = 0;
    // The DAC curve and output mode of the usual span, kept while
    // keptGeneration_ equals s_profileGeneration: loading or making a table
    // anew moves that on (any unit's table, as units share them), and
    // touch() (which every setting passes) and init drop the kept pair. The
    // public selections are changed through the setters, not in place.
    const int16_t* keptCurve_ = nullptr;
    uint32_t keptOutputMode_ = 0;
    uint64_t keptGeneration_ = 0;
    static std::atomic<uint64_t> s_profileGeneration; // from 1, so 0 is never current
    // Moves s_profileGeneration on: every unit finds its curve again.
    static void profilesChanged();
    bool spreadCarry_ = false; // the caller takes frames past a block (setSpreadCarry)
    bool shortcuts_ = true;    // the caller's shortcut switch (setShortcuts)
    int8_t psgQuiet_ = -1; // psgQuiet's answer: -1 not known yet, else 0 / 1
    // plainSettings() found true, so a span of the YM2612 alone may hand its
    // rows over straight. Found where those are looked at anyway and dropped
    // by touch(), which every change of them passes (the public settings are
    // changed through the setters, not in place).
    bool plainSpan_ = false;
    // A unit found sounding is looked at again only once it has rendered
    // this many frames (about 3.7 ms), or when anything touches it: a
    // sounding unit rendered in short host blocks does not pay for the test
    // every block. Finding the silence later changes no sample (the silent
    // unit's advance and its render agree), only when the saving starts.
    static constexpr uint64_t kSilenceRecheckFrames = 4096;
    // Frames a quiet PSG owes at most (about 3.7 ms; its advance costs about
    // two instructions a frame): paid then, before the span that would pass
    // it, when anything touches the unit, or when the PSG renders.
    static constexpr uint64_t kMaxPsgOwedFrames = uint64_t(1) << 12;
    uint64_t sinceSilenceCheck_ = kSilenceRecheckFrames;
    // Frames a quiet PSG (SN76489 or Game Gear) has not moved on yet while
    // the unit rendered its FM: paid when anything touches the unit, so a
    // quiet PSG costs nothing per render call.
    uint64_t psgOwed_ = 0;
    // Values of indices 6 and 7 set before the first init, replayed by it.
    bool pendingFilter_ = false;
    bool pendingModel_ = false;
    float pendingFilterValue_ = 0.0f;
    float pendingModelValue_ = 0.0f;
};
