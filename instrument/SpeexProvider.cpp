// speexdsp resampler owner: set-up, per-channel processing and the binary
// greatest common divisor that reduces the rate pair.
#include "instrument/SpeexProvider.h"

#include <speex/speex_resampler.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <tuple>
#include <utility>

uint64_t steinGcd(uint64_t a, uint64_t b) {
    if (a == b) return a;
    if (a == 0) return b;
    if (b == 0) return a;
    // Factors of two common to both are set aside and restored at the end.
    const int shift = std::countr_zero(a | b);
    a >>= std::countr_zero(a);
    while (b != 0) {
        b >>= std::countr_zero(b);
        // Both odd: the larger becomes their difference, which is even.
        if (a > b) std::swap(a, b);
        b -= a;
    }
    return a << shift;
}

SpeexProvider::~SpeexProvider() {
    if (state) speex_resampler_destroy(state);
}

void SpeexProvider::clear() {
    if (state) speex_resampler_destroy(state);
    state = nullptr;
    tracked = behind = false;
    passes = {};
    longestFilter = longestInMemory = 0;
    sizedRatio = 0.0;
    sizedQuality = -1;
    ratio = 1.0;
    reducedInputRate = reducedOutputRate = 1;
    channels = 0;
    inLatency = outLatency = 0;
}

bool SpeexProvider::setup(uint64_t channelCount, uint64_t inputRate, uint64_t outputRate,
                          int32_t quality, int32_t skipZeros) {
    const bool valid = channelCount >= 1 && channelCount <= kMaxChannels && inputRate >= 1 &&
                       inputRate <= UINT32_MAX && outputRate >= 1 && outputRate <= UINT32_MAX &&
                       quality >= 0 && quality <= 10 && (!state || channelCount == channels);
    if (!valid) {
        clear();
        return false;
    }

    channels = channelCount;
    const uint64_t g = steinGcd(inputRate, outputRate);
    reducedInputRate = inputRate / g;
    reducedOutputRate = outputRate / g;

    // The filters the state has had set the pieces speexdsp would cut its
    // input into with its memory grown for them alone (`chunk`); the memory
    // sized in advance is larger, and process() cuts the input itself.
    int ok = RESAMPLER_ERR_SUCCESS;
    if (!state) {
        int error = 0;
        state = speex_resampler_init(static_cast<spx_uint32_t>(channels), 1024, 192000, quality,
                                     &error);
        if (!state) {
            clear();
            return false;
        }
        noteFilter();
        ok = speex_resampler_set_rate(state, 192000, 1024);
    } else {
        ok = speex_resampler_set_quality(state, quality);
    }
    if (ok == RESAMPLER_ERR_SUCCESS) {
        noteFilter();
        if (reservedRatio > sizedRatio || std::max(quality, reservedQuality) > sizedQuality)
            ok = size(quality) ? RESAMPLER_ERR_SUCCESS : RESAMPLER_ERR_ALLOC_FAILED;
    }
    if (ok == RESAMPLER_ERR_SUCCESS) {
        ok = speex_resampler_set_rate(state, static_cast<spx_uint32_t>(inputRate),
                                      static_cast<spx_uint32_t>(outputRate));
    }
    if (ok == RESAMPLER_ERR_SUCCESS) noteFilter();
    if (ok != RESAMPLER_ERR_SUCCESS) {
        clear();
        return false;
    }
    ratio = static_cast<double>(inputRate) / static_cast<double>(outputRate);
    inputRateHz = inputRate;
    outputRateHz = outputRate;
    if (skipZeros != 0) speex_resampler_skip_zeros(state);
    // A new rate may carry samples over: the position is known again after a
    // reset.
    spx_uint32_t ratioNum = 1, ratioDen = 1;
    speex_resampler_get_ratio(state, &ratioNum, &ratioDen);
    num = ratioNum;
    den = std::max<spx_uint32_t>(ratioDen, 1);
    chunk = longestFilter - 2 * uint64_t(speex_resampler_get_input_latency(state)) + 160;
    memoryChunk = longestInMemory - 2 * uint64_t(speex_resampler_get_input_latency(state)) + 160;
    filterQuality = quality;
    tracked = behind = false;
    inLatency = speex_resampler_get_input_latency(state);
    outLatency = speex_resampler_get_output_latency(state);
    return true;
}

void SpeexProvider::noteFilter(bool conversion) {
    // Every filter the state has had sets the size of its memory.
    const uint64_t filter = 2 * uint64_t(speex_resampler_get_input_latency(state));
    if (conversion) longestFilter = std::max(longestFilter, filter);
    longestInMemory = std::max(longestInMemory, filter);
}

bool SpeexProvider::size(int32_t quality) {
    // At the highest quality reserved, the largest ratio (the longest
    // filter, the most memory) and a ratio just under 2 (the finest table
    // speexdsp interpolates), over a prime denominator so that it
    // interpolates (the larger table) rather than tabulating every phase;
    // then the quality asked for. The filters passed through here are not
    // the conversion's: they leave `longestFilter` as it was.
    const int32_t q = std::max({quality, reservedQuality, sizedQuality});
    constexpr uint64_t kPrime = 1021;
    const double ratio = std::max({192000.0 / 1024.0, reservedRatio, sizedRatio});
    const double top = std::ceil(ratio * double(kPrime));
    if (!(top < double(UINT32_MAX))) return false;
    const uint64_t rates[][2] = {{uint64_t(top), kPrime}, {2 * kPrime - 1, kPrime}};
    if (speex_resampler_set_quality(state, q) != RESAMPLER_ERR_SUCCESS) return false;
    noteFilter(false);
    for (const auto& r : rates) {
        if (speex_resampler_set_rate(state, static_cast<spx_uint32_t>(r[0]),
                                     static_cast<spx_uint32_t>(r[1])) != RESAMPLER_ERR_SUCCESS)
            return false;
        noteFilter(false);
    }
    if (speex_resampler_set_quality(state, quality) != RESAMPLER_ERR_SUCCESS) return false;
    sizedRatio = ratio;
    sizedQuality = q;
    return true;
}

uint64_t SpeexProvider::process(const float* const* input, float* const* output, uint64_t& inFrames,
                                uint64_t& outFrames) {
    if (!state || channels == 0) {
        inFrames = outFrames = 0;
        return 0;
    }
    if (behind) catchUp();
    const Passes cuts = takePasses(inFrames);
    // speexdsp counts in 32 bits: larger requests are served in part.
    const auto in32 = static_cast<spx_uint32_t>(std::min<uint64_t>(inFrames, UINT32_MAX));
    const auto out32 = static_cast<spx_uint32_t>(std::min<uint64_t>(outFrames, UINT32_MAX));
    // In pieces of `chunk` input frames, as speexdsp cuts them (see setup),
    // started again where a pass counted by passesInput starts.
    spx_uint32_t consumed = 0, produced = 0;
    for (uint64_t c = 0; c < channels; ++c) {
        consumed = produced = 0;
        while (consumed < in32 && produced < out32) {
            auto in = static_cast<spx_uint32_t>(pieceEnd(consumed, in32, cuts) - consumed);
            spx_uint32_t out = out32 - produced;
            speex_resampler_process_float(state, static_cast<spx_uint32_t>(c), input[c] + consumed,
                                          &in, output[c] + produced, &out);
            consumed += in;
            produced += out;
            if (in == 0 && out == 0) break;
        }
    }
    inFrames = consumed;
    outFrames = produced;
    if (tracked) follow(produced, consumed);
    return consumed;
}

uint64_t SpeexProvider::wideAdvanceOf(uint64_t from, uint64_t count) const {
    using Wide = unsigned __int128;
    return static_cast<uint64_t>(Wide(from + count) * num / den - Wide(from) * num / den);
}

uint64_t SpeexProvider::outputsBefore(uint64_t from, uint64_t distance) const {
    using Wide = unsigned __int128;
    // Outputs j with floor((from + j) num / den) - floor(from num / den)
    // below `distance`: (from + j) num below bound x den.
    if (distance == 0) return 0;
    const Wide bound = Wide(distance) + Wide(from) * num / den;
    return static_cast<uint64_t>((bound * den + num - 1) / num - from);
}

void SpeexProvider::count(uint64_t& inFrames, uint64_t& outFrames, const Passes& cuts) const {
    // As speexdsp counts: it takes the input in pieces of `chunk` frames (as
    // process cuts them); in each it computes outputs while the next one's
    // newest input lies inside the piece, and consumes the piece up to that
    // input, or all of it.
    const uint64_t given = std::min<uint64_t>(inFrames, UINT32_MAX);
    const uint64_t wanted = std::min<uint64_t>(outFrames, UINT32_MAX);
    uint64_t produced = 0, consumed = 0;
    uint64_t next = lag; // the next output's newest input, from the first input given
    while (consumed < given && produced < wanted) {
        const uint64_t end = pieceEnd(consumed, given, cuts);
        const uint64_t n =
            next < end ? std::min(wanted - produced, outputsBefore(phase + produced, end - next))
                       : 0;
        next += advanceOf(phase + produced, n);
        produced += n;
        if (next < end) {
            consumed = next; // stopped by the output count inside the piece
            break;
        }
        consumed = end;
    }
    inFrames = consumed;
    outFrames = produced;
}

bool SpeexProvider::skip(uint64_t& inFrames, uint64_t& outFrames) {
    if (!tracked) return false;
    count(inFrames, outFrames, takePasses(inFrames));
    follow(outFrames, inFrames);
    if (outFrames > 0 || inFrames > 0) behind = true;
    return true;
}

bool SpeexProvider::outputsAhead(uint64_t inFrames, uint64_t outFrames, uint64_t& made) const {
    // Behind, the resampler is brought to the followed position first, which
    // may not succeed.
    if (!tracked || behind || !state) return false;
    if (makesAll(inFrames, outFrames)) {
        made = outFrames;
        return true;
    }
    uint64_t consumed = inFrames;
    made = outFrames;
    count(consumed, made, Passes{});
    return true;
}

bool SpeexProvider::runAtRate(uint64_t rateNum, uint64_t rateDen, uint64_t outputs) {
    // A passing rate is used only while the filter keeps its length, so that
    // the memory stays as it is; the rate set back keeps the fractional
    // position (speexdsp rescales it from denominator to denominator
    // exactly). The outputs go to the scratch buffer, the zeros they are
    // made of are the resampler's own (no input given).
    const uint64_t filter = 2 * uint64_t(speex_resampler_get_input_latency(state));
    if (rateNum == 0 || rateDen == 0 || rateNum > UINT32_MAX || rateDen > UINT32_MAX ||
        outputs == 0 || outputs > sizeof scratch / sizeof scratch[0])
        return false;
    // Beyond the ratios the state is sized for speexdsp would allocate.
    if (double(rateNum) > sizedRatio * double(rateDen)) return false;
    // The inputs given end `lag` before the newest input of the output after
    // the last (the followed position). All in one call: each output is made
    // while its oldest input lies inside the input given, and the input
    // stays within one of the pieces speexdsp's memory holds.
    const uint64_t taken = rateNum * outputs / rateDen;
    const uint64_t lastStart = rateNum * (outputs - 1) / rateDen;
    if (taken <= lag || taken - lag > memoryChunk || lastStart >= taken - lag) return false;
    const bool same = speex_resampler_set_rate_frac(state, static_cast<spx_uint32_t>(rateNum),
                                                    static_cast<spx_uint32_t>(rateDen),
                                                    static_cast<spx_uint32_t>(inputRateHz),
                                                    static_cast<spx_uint32_t>(outputRateHz)) ==
                          RESAMPLER_ERR_SUCCESS &&
                      2 * uint64_t(speex_resampler_get_input_latency(state)) == filter;
    spx_uint32_t in = 0, out = 0;
    if (same) {
        for (uint64_t c = 0; c < channels; ++c) {
            in = static_cast<spx_uint32_t>(taken - lag);
            out = static_cast<spx_uint32_t>(outputs);
            speex_resampler_process_float(state, static_cast<spx_uint32_t>(c), nullptr, &in,
                                          scratch, &out);
        }
    }
    const bool moved = same && in == taken - lag && out == outputs;
    const bool back = speex_resampler_set_rate(state, static_cast<spx_uint32_t>(inputRateHz),
                                               static_cast<spx_uint32_t>(outputRateHz)) ==
                          RESAMPLER_ERR_SUCCESS &&
                      2 * uint64_t(speex_resampler_get_input_latency(state)) == filter;
    if (moved && back) return true;
    speex_resampler_reset_mem(state);
    return false;
}

namespace {

// speexdsp's filter length at quality 0-10 for a ratio rateNum / rateDen:
// the quality's base length, stretched by the ratio when downsampling and
// rounded up to a multiple of 8.
uint64_t filterLength(int32_t quality, uint64_t rateNum, uint64_t rateDen) {
    static constexpr uint64_t kBaseLength[11] = {8, 16, 32, 48, 64, 80, 96, 128, 160, 192, 256};
    const uint64_t base = kBaseLength[std::clamp(quality, 0, 10)];
    if (rateNum <= rateDen) return base;
    const uint64_t stretched = base * rateNum / rateDen;
    return ((stretched - 1) & ~uint64_t(7)) + 8;
}

// The inverse of a modulo m (a and m coprime, m > 1).
uint64_t inverseModulo(uint64_t a, uint64_t m) {
    int64_t r0 = int64_t(m), r1 = int64_t(a % m), t0 = 0, t1 = 1;
    while (r1 != 0) {
        const int64_t q = r0 / r1;
        std::tie(r0, r1) = std::make_pair(r1, r0 - q * r1);
        std::tie(t0, t1) = std::make_pair(t1, t0 - q * t1);
    }
    return uint64_t(t0 < 0 ? t0 + int64_t(m) : t0);
}

} // namespace

bool SpeexProvider::jumpToPhase() {
    using Wide = unsigned __int128;
    // `n` outputs at a passing ratio r / den from a reset leave the
    // fractional position at n r mod den (in den-ths of an input), which the
    // set-up's ratio num / den keeps when set back. The passing ratio must
    // keep the filter's length (and its table's oversampling), so r lies in
    // the window of ratios speexdsp gives that length; the fewest outputs
    // first (the least work), the ratio in the window that makes the
    // followed fraction: n r = fraction (mod den), i.e. with c = gcd(n, den)
    // dividing the fraction, r = (fraction / c) (n / c)^-1 mod (den / c).
    const uint64_t fraction = static_cast<uint64_t>(Wide(phase) * num % den);
    const uint64_t filter = 2 * uint64_t(speex_resampler_get_input_latency(state));
    if (filterLength(filterQuality, num, den) != filter) return false;
    auto halvings = [this](uint64_t r) {
        int h = 0;
        for (uint64_t k : {2, 4, 8, 16}) h += Wide(k) * den < r;
        return h;
    };
    // The window [low, high] of r: floor(base r / den) rounds up to `filter`.
    uint64_t low = 1, high = static_cast<uint64_t>(
                          std::min<double>(sizedRatio * double(den), double(UINT32_MAX)));
    if (num > den) {
        // base r / den in [filter - 7, filter + 1), base = filterLength(q, 1, 1)
        const uint64_t base = filterLength(filterQuality, 1, 1);
        low = std::max<uint64_t>(den + 1, (Wide(filter - 7) * den + base - 1) / base);
        high = std::min<uint64_t>(high, static_cast<uint64_t>((Wide(filter + 1) * den - 1) / base));
    } else {
        high = std::min(high, den);
    }
    if (low > high) return false;
    constexpr uint64_t kMostOutputs = sizeof scratch / sizeof scratch[0];
    constexpr int kTries = 3; // every try sets two rates
    int tries = 0;
    for (uint64_t n = 1; n <= kMostOutputs && tries < kTries; ++n) {
        const uint64_t c = steinGcd(n, den);
        if (fraction % c != 0) continue;
        const uint64_t modulus = den / c;
        const uint64_t r0 = modulus == 1
                                ? 0
                                : static_cast<uint64_t>(Wide(fraction / c % modulus) *
                                                        inverseModulo(n / c, modulus) % modulus);
        // The first r >= low with r = r0 (mod modulus).
        const uint64_t r = low + (r0 + modulus - low % modulus) % modulus;
        if (r > high || filterLength(filterQuality, r, den) != filter ||
            halvings(r) != halvings(num))
            continue;
        // As runAtRate asks: the last output made inside the input given,
        // which ends `lag` before the next output's newest input.
        const uint64_t taken = static_cast<uint64_t>(Wide(r) * n / den);
        const uint64_t lastStart = static_cast<uint64_t>(Wide(r) * (n - 1) / den);
        if (taken <= lag || lastStart >= taken - lag || taken - lag > memoryChunk) continue;
        ++tries;
        if (runAtRate(r, den, n)) {
            caughtUp = n;
            return true;
        }
    }
    return false;
}

void SpeexProvider::catchUp() {
    behind = false;
    caughtUp = 0;
    speex_resampler_reset_mem(state);
    if (phase == 0 && lag == 0) return;
    if (jumpToPhase()) return;
    // From the reset, zeros converted up to the followed phase (a whole
    // period when that is 0), ending `lag` before the next output's newest
    // input. Every call takes at most the smallest piece speexdsp works in,
    // so each consumes exactly up to its next output's input; the last call
    // is handed exactly the rest, which holds the last output.
    constexpr uint64_t kPiece = 160;
    const uint64_t outputs = phase == 0 ? den : phase;
    const uint64_t reach = advanceOf(0, outputs);
    const uint64_t end = reach - std::min(lag, reach);
    uint64_t made = 0, taken = 0;
    while (made < outputs || taken < end) {
        const uint64_t rest = end - taken;
        const uint64_t give = rest <= kPiece ? rest : rest <= 2 * kPiece ? rest - kPiece : kPiece;
        const uint64_t ask = std::min<uint64_t>(outputs - made, sizeof scratch / sizeof scratch[0]);
        spx_uint32_t in = 0, out = 0;
        for (uint64_t c = 0; c < channels; ++c) {
            in = static_cast<spx_uint32_t>(give);
            out = static_cast<spx_uint32_t>(ask);
            speex_resampler_process_float(state, static_cast<spx_uint32_t>(c), nullptr, &in,
                                          scratch, &out);
        }
        made += out;
        taken += in;
        if (in == 0 && out == 0) break;
    }
    caughtUp = made;
    if (made != outputs || taken != end) tracked = false; // not where it was followed
}

uint64_t SpeexProvider::inputNeeded(uint64_t outFrames) {
    return inputFramesForRatio(outFrames, ratio);
}

uint64_t SpeexProvider::passesInput(uint64_t outFrames, uint64_t kept, uint64_t room) {
    passes = {};
    const uint64_t need = inputFramesForRatio(outFrames, ratio);
    // Usually one call makes them all.
    if (need > room || makesAll(kept + need, outFrames)) return need;
    // A call short of outputs consumes all its input: the next keeps none
    // and asks for the outputs still missing.
    Passes counted;
    uint64_t input = kept + need;
    for (int call = 1; call < Passes::kMost; ++call) {
        uint64_t made = 0;
        if (!outputsAhead(input, outFrames, made)) break;
        if (made >= outFrames) {
            counted.total = input;
            passes = counted;
            return input - kept;
        }
        const uint64_t more = inputFramesForRatio(outFrames - made, ratio);
        if (more > room || input - kept > room - more) break;
        counted.starts[counted.count++] = input;
        input += more;
    }
    return need;
}

SpeexProvider::Passes SpeexProvider::takePasses(uint64_t inFrames) {
    Passes taken = passes;
    passes = {};
    if (taken.total != inFrames) taken = {};
    return taken;
}

uint64_t SpeexProvider::pieceEnd(uint64_t from, uint64_t given, const Passes& cuts) const {
    uint64_t end = from + std::min(chunk, given - from);
    for (int i = 0; i < cuts.count; ++i)
        if (cuts.starts[i] > from) return std::min(end, cuts.starts[i]);
    return end;
}

void SpeexProvider::reset() {
    if (!state) return;
    speex_resampler_reset_mem(state);
    tracked = true;
    behind = false;
    phase = lag = 0;
    passes = {};
}
