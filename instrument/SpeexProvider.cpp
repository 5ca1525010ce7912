// speexdsp resampler owner: set-up, per-channel processing and the binary
// greatest common divisor that reduces the rate pair.
#include "instrument/SpeexProvider.h"

#include <speex/speex_resampler.h>

#include <algorithm>
#include <bit>
#include <cmath>

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
    longestFilter = 0;
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
    tracked = behind = false;
    inLatency = speex_resampler_get_input_latency(state);
    outLatency = speex_resampler_get_output_latency(state);
    return true;
}

void SpeexProvider::noteFilter() {
    // Every filter the state has had sets the size of its memory.
    longestFilter = std::max<uint64_t>(longestFilter, 2 * speex_resampler_get_input_latency(state));
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
    for (const auto& r : rates)
        if (speex_resampler_set_rate(state, static_cast<spx_uint32_t>(r[0]),
                                     static_cast<spx_uint32_t>(r[1])) != RESAMPLER_ERR_SUCCESS)
            return false;
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
    // speexdsp counts in 32 bits: larger requests are served in part.
    const auto in32 = static_cast<spx_uint32_t>(std::min<uint64_t>(inFrames, UINT32_MAX));
    const auto out32 = static_cast<spx_uint32_t>(std::min<uint64_t>(outFrames, UINT32_MAX));
    // In pieces of `chunk` input frames, as speexdsp cuts them (see setup).
    spx_uint32_t consumed = 0, produced = 0;
    for (uint64_t c = 0; c < channels; ++c) {
        consumed = produced = 0;
        while (consumed < in32 && produced < out32) {
            auto in = static_cast<spx_uint32_t>(std::min<uint64_t>(in32 - consumed, chunk));
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

void SpeexProvider::count(uint64_t& inFrames, uint64_t& outFrames) const {
    // As speexdsp counts: it takes the input in pieces of `chunk` frames; in
    // each it computes outputs while the next one's newest input lies inside
    // the piece, and consumes the piece up to that input, or all of it.
    const uint64_t given = std::min<uint64_t>(inFrames, UINT32_MAX);
    const uint64_t wanted = std::min<uint64_t>(outFrames, UINT32_MAX);
    uint64_t produced = 0, consumed = 0;
    uint64_t next = lag; // the next output's newest input, from the first input given
    while (consumed < given && produced < wanted) {
        const uint64_t end = consumed + std::min(chunk, given - consumed);
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
    count(inFrames, outFrames);
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
    count(consumed, made);
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
    // stays within one of speexdsp's pieces.
    const uint64_t taken = rateNum * outputs / rateDen;
    const uint64_t lastStart = rateNum * (outputs - 1) / rateDen;
    if (taken <= lag || taken - lag > 160 || lastStart >= taken - lag) return false;
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

bool SpeexProvider::jumpToPhase() {
    using Wide = unsigned __int128;
    // `n` outputs at a passing ratio r / d from a reset leave the fractional
    // position at n r mod d (in d-ths of an input). Candidates, nearest the
    // set-up's ratio first (the likeliest to keep the filter's length):
    // towards a phase inside the period, ratios over the period's own
    // denominator whose n-fold fraction is the phase's; towards the period's
    // start, ratios p / q taken q times.
    struct Candidate {
        uint64_t rateNum, rateDen, outputs;
        double distance;
    };
    constexpr uint64_t kMostOutputs = 6;
    Candidate candidates[4 * kMostOutputs * kMostOutputs];
    size_t count = 0;
    const uint64_t fraction = static_cast<uint64_t>(Wide(phase) * num % den);
    const uint64_t whole = num / den;
    const double target = double(num) / double(den);
    auto add = [&](uint64_t rateNum, uint64_t rateDen, uint64_t outputs) {
        if (rateNum > UINT32_MAX || count == sizeof candidates / sizeof candidates[0]) return;
        const double distance = double(rateNum) / double(rateDen) - target;
        candidates[count++] = {rateNum, rateDen, outputs, distance < 0 ? -distance : distance};
    };
    for (uint64_t n = 1; n <= kMostOutputs; ++n) {
        if (fraction == 0) {
            const uint64_t low = static_cast<uint64_t>(Wide(num) * n / den);
            add(low, n, n);
            add(low + 1, n, n);
            continue;
        }
        // n g = fraction (mod den): with c = gcd(n, den) dividing the
        // fraction, g = (fraction / c) (n / c)^-1 mod (den / c), plus any
        // multiple of den / c.
        const uint64_t c = steinGcd(n, den);
        if (fraction % c != 0) continue;
        const uint64_t modulus = den / c, factor = n / c;
        uint64_t inverse = 0;
        for (uint64_t x = 0; x < factor && inverse == 0; ++x)
            if ((Wide(x) * modulus + 1) % factor == 0)
                inverse = static_cast<uint64_t>((Wide(x) * modulus + 1) / factor);
        const uint64_t g0 = static_cast<uint64_t>(Wide(fraction / c % modulus) * inverse % modulus);
        for (uint64_t t = 0; t < c; ++t)
            for (const uint64_t steps : {whole, whole + 1})
                add(steps * den + g0 + t * modulus, den, n);
    }
    std::sort(candidates, candidates + count,
              [](const Candidate& x, const Candidate& y) { return x.distance < y.distance; });
    // Every try sets two rates: a few only.
    constexpr size_t kTries = 6;
    for (size_t i = 0; i < std::min(count, kTries); ++i)
        if (runAtRate(candidates[i].rateNum, candidates[i].rateDen, candidates[i].outputs))
            return true;
    return false;
}

void SpeexProvider::catchUp() {
    behind = false;
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
    if (made != outputs || taken != end) tracked = false; // not where it was followed
}

uint64_t SpeexProvider::inputNeeded(uint64_t outFrames) {
    return inputFramesForRatio(outFrames, ratio);
}

uint64_t SpeexProvider::passesInput(uint64_t outFrames, uint64_t kept, uint64_t room) {
    const uint64_t need = inputFramesForRatio(outFrames, ratio);
    // Usually one call makes them all.
    if (need > room || makesAll(kept + need, outFrames)) return need;
    // A call short of outputs consumes all its input: the next keeps none
    // and asks for the outputs still missing.
    constexpr int kMostCalls = 4;
    uint64_t input = kept + need;
    for (int call = 1; call < kMostCalls; ++call) {
        uint64_t made = 0;
        if (!outputsAhead(input, outFrames, made)) break;
        if (made >= outFrames) return input - kept;
        const uint64_t more = inputFramesForRatio(outFrames - made, ratio);
        if (more > room || input - kept > room - more) break;
        input += more;
    }
    return need;
}

void SpeexProvider::reset() {
    if (!state) return;
    speex_resampler_reset_mem(state);
    tracked = true;
    behind = false;
    phase = lag = 0;
}
