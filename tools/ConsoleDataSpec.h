// The data files that ship beside the engine plug-in, written as numbers and
// formulas. make_console_data turns them into the binary files at build time.
#pragma once

namespace consoledata {

// ---------------------------------------------------------------------------
// Console model profiles.
//
// DAC curve ("Mdac"): 512 levels, one per 9-bit DAC value, on the scale
// level / 256 (so a linear DAC gives (i - 256) x 64 after loading, which
// centres the curve on code 0). The integrated YM3438 of the later boards is
// linear: code v sounds as v.
//
// The discrete YM2612 of the early boards is not. Its output stage serves
// each channel during four cycles: one of them carries the channel's 9-bit
// value v, and during the other three the output is +1 when v >= 0 and -1
// when v < 0; the cycle that carries v outputs v + 1 instead of v when
// v >= 0. Summed over the four cycles a code v >= 0 sounds as v + 4 and a
// code v < 0 as v - 3, so the step across zero is eight codes wide instead of
// one: the audible "ladder" distortion of quiet notes and release tails.
//
// PSG curves ("Dgvl"): the SN76489 attenuates in 2 dB steps (level j is
// 10^(-j/10) of level 0 in power terms, i.e. 10^(-2j/20) in amplitude);
// level 15 is off. `psgLevel0` sets the PSG's loudest level against the
// reference `psgReference` and so the PSG-to-FM balance of each board.
//
// Output filter ("Flpf"): the filter runs at the console clock (about
// 1.12 MHz) on the mixed chip output. It is a 16-tap Blackman-windowed sinc
// low-pass with cut-off `filterCutoffHz`, scaled to unity gain at DC; it
// smooths the FM chip's time-multiplexed channel output the way the board's
// analogue output stage does. Left and right use the same taps.
// ---------------------------------------------------------------------------
struct ProfileSpec {
    const char* name;      // odd length: the padded "Name" chunk then holds it exactly
    bool ym2612Dac;        // the YM2612's output stage (above); false: linear
    double psgReference;   // reference level R of the PSG curves
    double psgLevel0;      // PSG level at attenuation 0, on the scale of R
    double filterCutoffHz; // FIR low-pass cut-off at the console clock
};

constexpr double kConsoleClockHz = 53693175.0 / 48.0;

// The level, in codes, at which the board's DAC sounds code v (-256..255).
constexpr int dacLevel(const ProfileSpec& p, int v) {
    if (!p.ym2612Dac) return v;
    return v >= 0 ? v + 4 : v - 3;
}

constexpr ProfileSpec kProfiles[] = {
    // Early board: discrete YM2612 with its crossover step, strongest smoothing.
    {"MD-1 (YM2612)", true, 10000.0, 43110.0, 30000.0},
    // Later board: integrated YM3438, linear DAC, PSG mixed a little lower.
    {"MD-2 (YM3438)", false, 10000.0, 36000.0, 45000.0},
    // Ideal: linear DAC, the mildest smoothing.
    {"Ideal", false, 10000.0, 43110.0, 80000.0},
};

// ---------------------------------------------------------------------------
// YM2608 rhythm samples: six drums synthesised from simple models, 16-bit
// mono. The chip plays one sample every third FM sample, about 17.76 kHz at
// the console clock (1118607.8125 / 21 / 3). Each drum peaks at `peak`, so
// six voices at full level (15/16 of the sample) never wrap the 16-bit sum.
// ---------------------------------------------------------------------------
constexpr int kRhythmRate = 17756;
constexpr double kRhythmPeak = 5000.0;

struct DrumSpec {
    const char* name;     // file name part: "vn_opna_" + name + ".wav"
    double seconds;       // length
    double toneStartHz;   // pitched part: start frequency
    double toneEndHz;     //   and end frequency (exponential sweep)
    double toneDecay;     //   amplitude decay time constant in seconds
    double toneMix;       //   share of the pitched part
    double noiseDecay;    // noise part: decay time constant in seconds
    double noiseMix;      //   share of the noise part
    double noiseHighpass; //   0..1: how much of the noise's low end is removed
};

constexpr DrumSpec kDrums[] = {
    {"kick", 0.40, 150.0, 48.0, 0.12, 1.00, 0.010, 0.10, 0.0},
    {"snare", 0.30, 190.0, 170.0, 0.05, 0.35, 0.080, 0.65, 0.5},
    {"ride", 0.90, 3120.0, 3050.0, 0.35, 0.30, 0.300, 0.70, 0.9},
    {"hihat", 0.15, 6100.0, 6000.0, 0.03, 0.10, 0.035, 0.90, 0.95},
    {"tom", 0.45, 240.0, 140.0, 0.16, 0.90, 0.030, 0.10, 0.3},
    {"rim", 0.06, 1700.0, 1650.0, 0.012, 0.60, 0.008, 0.40, 0.8},
};

} // namespace consoledata
