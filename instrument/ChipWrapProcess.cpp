// One audio block: the block's events are put in frame order and cut into
// segments (audio spans and events at their frame times, quantised to 4
// frames); spans pull host-rate audio through the re-blocking stage (above
// 48 kHz through the upsampling stage after it), events go to the synth, the
// layers, the wrapper settings or the chip units; the output is then
// filtered. The chip side renders at the chip's rate in pieces, scales the
// integer samples to float and runs the model profile's 16-tap stereo filter
// and the chip-rate low-pass.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

#include "emulators/FastPaths.h"
#include "emulators/FmSpreadLayout.h"
#include "instrument/ChipWrap.h"

namespace acme {

using namespace vantor::EnginePluginSDK;

namespace {

bool isRawMidi(const vantor::HDMIDIEvent& e) {
    return e.tuning != std::numeric_limits<float>::infinity() && (e.valid & 3) != 0;
}

bool isParameterEvent(int32_t kind) {
    return (kind & 0xFF) == 176 || (kind >= 256 && kind <= 511);
}

// Events whose values cannot be used are left out: a non-finite value
// (parameter, pitch bend, velocity, expression) or a tuning that is neither
// finite nor the +infinity marker.
bool isUsable(const vantor::HDMIDIEvent& e) {
    if (std::isnan(e.tuning) || e.tuning == -std::numeric_limits<float>::infinity()) return false;
    if (isRawMidi(e)) return true;
    return std::isfinite(e.value);
}

// Stable merge sort by frame over a scratch vector of the same capacity
// (reserved in advance: nothing is allocated).
void sortByFrame(std::vector<vantor::HDMIDIEvent>& v, std::vector<vantor::HDMIDIEvent>& scratch) {
    const size_t n = v.size();
    bool sorted = true;
    for (size_t i = 1; i < n && sorted; ++i) sorted = v[i - 1].frameOffset <= v[i].frameOffset;
    if (sorted) return;
    scratch.resize(n);
    vantor::HDMIDIEvent* from = v.data();
    vantor::HDMIDIEvent* to = scratch.data();
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            const size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            size_t a = lo, b = mid, k = lo;
            while (a < mid && b < hi)
                to[k++] = (from[b].frameOffset < from[a].frameOffset) ? from[b++] : from[a++];
            while (a < mid) to[k++] = from[a++];
            while (b < hi) to[k++] = from[b++];
        }
        std::swap(from, to);
    }
    if (from != v.data()) std::copy(from, from + n, v.data());
    scratch.clear();
}

// The host-rate output filters of channels 0 and 1 in one pass, the two
// side by side in a pair of doubles: the inverse low-pass (with `inverse`)
// and then the high-pass, each with the steps of its own process().
void filterPair(float* left, float* right, uint32_t frames, LPFilterInverse* inverse,
                HPFilter* high) {
    using Pair = double __attribute__((vector_size(16)));
    using Two = float __attribute__((vector_size(8)));
    const Pair ha = {high[0].a, high[1].a}, hc = {high[0].c, high[1].c};
    Pair l = {high[0].state, high[1].state};
    if (inverse) {
        const Pair ia = {inverse[0].a, inverse[1].a}, ic = {inverse[0].c, inverse[1].c};
        Pair s1 = {inverse[0].state, inverse[1].state};
        for (uint32_t i = 0; i < frames; ++i) {
            // Rounded to float between the two, as each writes its samples.
            const Two f = __builtin_convertvector(
                Filter::inverseLowPassStep(Pair{left[i], right[i]}, s1, ia, ic), Two);
            const Two o = __builtin_convertvector(
                Filter::highPassStep(__builtin_convertvector(f, Pair), l, ha, hc), Two);
            left[i] = o[0];
            right[i] = o[1];
        }
        inverse[0].state = s1[0];
        inverse[1].state = s1[1];
    } else {
        for (uint32_t i = 0; i < frames; ++i) {
            const Two o =
                __builtin_convertvector(Filter::highPassStep(Pair{left[i], right[i]}, l, ha, hc), Two);
            left[i] = o[0];
            right[i] = o[1];
        }
    }
    high[0].state = Filter::settled(l[0]);
    high[1].state = Filter::settled(l[1]);
}

} // namespace

void ChipWrap::carryEvents(const EventList* in) {
    if (!in) return;
    const uint64_t count = std::min<uint64_t>(in->count, kEventCapacity);
    for (uint64_t i = 0; i < count && carried.size() < kCarryCapacity; ++i) {
        if (!isUsable(in->events[i])) continue;
        carried.push_back(in->events[i]);
        carried.back().frameOffset = 0; // late: at the start of the next block
    }
}

void ChipWrap::takeEvents(const EventList* in, int32_t frames) {
    incoming.clear();
    for (const Event& e : carried) incoming.push_back(e);
    carried.clear();
    if (in) {
        const uint64_t count = std::min<uint64_t>(in->count, kEventCapacity);
        for (uint64_t i = 0; i < count; ++i)
            if (isUsable(in->events[i])) incoming.push_back(in->events[i]);
    }
    // An event before the block or past its end plays at its first or last frame.
    const int32_t last = frames > 0 ? frames - 1 : 0;
    for (Event& e : incoming) e.frameOffset = std::clamp(e.frameOffset, 0, last);
    sortByFrame(incoming, deferredMidi); // the deferred list is empty here: scratch
}

void ChipWrap::appendSpans(uint64_t frames, uint32_t at) {
    if (frames == 0) return;
    Segment& s = segments.emplace_back();
    s.kind = 0;
    s.frame = at;
    s.length = frames; // cut into pieces of kMaxSpan frames when rendered
}

void ChipWrap::sliceEvents(uint32_t frames) {
    segments.clear();
    uint32_t p = 0;
    for (const Event& e : incoming) {
        const uint32_t t = static_cast<uint32_t>(e.frameOffset) & ~(kSliceQuantum - 1);
        if (t > p) {
            appendSpans(t - p, p);
            p = t;
        }
        Segment s{};
        s.kind = 1;
        s.frame = p;
        s.event = e;
        segments.push_back(s);
    }
    if (p < frames) appendSpans(frames - p, p);
}

void ChipWrap::process(float** outputs, int32_t frames, EventList* in, EventList* out,
                       TimeRecord* time) {
    const uint32_t n = frames > 0 ? static_cast<uint32_t>(frames) : 0;
    const uint32_t channels = outputCount();
    auto channel = [&](uint32_t c) -> float* { return outputs ? outputs[c] : nullptr; };
    auto silence = [&] {
        for (uint32_t c = 0; c < channels && n > 0; ++c)
            if (channel(c)) std::memset(channel(c), 0, sizeof(float) * n);
    };

    if (!mutex.tryLock()) {
        silence();
        // A host command holds the mutex: this block stays silent and its
        // events wait for the next block that gets it. The high-pass belongs
        // to the locked side (a command may be rewriting it): the next
        // locked block runs it over this block's silence.
        carryEvents(in);
        for (uint32_t c = 0; c < channels; ++c)
            if (channel(c)) hpSilentFrames[c] += n;
        hpSilentOwed = true;
        return;
    }

    fastPaths = FastPaths::enabled();
    if (controller) controller->shortcuts = fastPaths;
    if (time && controller) {
        if (std::isfinite(time->tempo)) controller->setSyncValue(0, 0, time->tempo);
        if (std::isfinite(time->ppqPosition)) controller->setSyncValue(1, 0, time->ppqPosition);
        if (std::isfinite(time->barStartPpq)) controller->setSyncValue(15, 0, time->barStartPpq);
    }
    // With audio, the spans cover the whole block and every pull writes all
    // its frames.
    const bool audio = active && repackager && resamplerReady;
    if (!audio) silence();
    auto pullSpan = [&](uint64_t from, uint64_t length) {
        float* targets[kMaxChannels] = {};
        for (uint64_t done = 0; done < length;) {
            const uint64_t piece = std::min<uint64_t>(length - done, kMaxSpan);
            const uint64_t at = from + done;
            for (uint32_t c = 0; c < channels; ++c)
                targets[c] = channel(c) ? channel(c) + at : discard[c];
            if (upsampling)
                upsamplingStage->pull(targets, piece);
            else
                repackager->pull(targets, piece, fastPaths);
            done += piece;
        }
    };
    if (carried.empty() && (!in || in->count == 0)) {
        // No events: the block is one span.
        if (audio) pullSpan(0, n);
    } else {
        takeEvents(in, frames);
        sliceEvents(n);
        deferredMidi.clear();
        uint64_t placedAt = UINT64_MAX; // the pulled frames the chips were last rendered to
        for (const Segment& s : segments) {
            if (s.kind == 1) {
                if (audio && placedAt != s.frame) {
                    renderToEventFrame();
                    placedAt = s.frame;
                }
                if (outgoing.size() < kEventCapacity) {
                    outgoing.push_back(s.event);
                    outgoing.back().frameOffset = static_cast<int32_t>(s.frame);
                }
                dispatchEvent(s.event, n);
            } else if (audio) {
                pullSpan(s.frame, s.length);
            }
        }
        for (const Event& e : deferredMidi) synthMidi(e.status, e.data1, e.data2);
        deferredMidi.clear();
    }

    if (!outgoing.empty()) {
        if (out) {
            const size_t count = std::min<size_t>(outgoing.size(), kEventCapacity);
            std::memcpy(out->events, outgoing.data(), count * sizeof(Event));
            out->count = count;
        }
        outgoing.clear();
    }
    for (uint32_t c = 0; c < kMaxChannels && hpSilentOwed; ++c)
        if (hpSilentFrames[c] > 0) {
            hp[c].skipSilence(hpSilentFrames[c]);
            hpSilentFrames[c] = 0;
        }
    hpSilentOwed = false;
    // When upsampling, the stage ran the inverse low-pass at the base rate.
    LPFilterInverse* inverse = upsampling ? nullptr : lpInverse;
    uint32_t paired = 0;
    if (channels >= 2 && n > 0 && channel(0) && channel(1)) {
        filterPair(channel(0), channel(1), n, inverse, hp);
        paired = 2;
    }
    for (uint32_t c = paired; c < channels && n > 0; ++c) {
        if (!channel(c)) continue;
        if (inverse) inverse[c].process(channel(c), frames);
        hp[c].process(channel(c), frames);
    }
    mutex.unlock();
}

void ChipWrap::renderToEventFrame() {
    using Wide = unsigned __int128;
    // A pull renders the chips no further than the newest input of the next
    // frame it would write; rendering up to it now makes the chip frame of
    // an event a function of the frames pulled since the re-rate.
    if (upsampling) upsamplingStage->renderToReach();
    const uint64_t target = static_cast<uint64_t>(Wide(repackager->producedFrames()) *
                                                  provider->reducedInputRate /
                                                  provider->reducedOutputRate);
    const uint64_t rendered = repackager->renderedFrames();
    if (target > rendered) repackager->renderAhead(target - rendered);
}

void ChipWrap::updateLatency() {
    // Events land on multiples of kSliceQuantum host frames. How far, on
    // average over those frames, the input a resampler has taken in at a
    // frame (`numerator` / `denominator` input frames a frame, rounded
    // down) falls short of the frame's own time.
    auto shortfall = [](uint64_t numerator, uint64_t denominator) {
        const uint64_t step = numerator % denominator * kSliceQuantum % denominator;
        const uint64_t period = denominator / std::gcd(step, denominator);
        return 0.5 * double(period - 1) / double(period);
    };
    // A resampler's filter (an even number of taps) is centred half a frame
    // short of half its length behind the newest input, where an event
    // lands (up to a chip frame short of its own time); the FM unit takes a
    // key written within a sample from the next one on, on average a sample
    // after it lands. Above 48 kHz the event lands where the upsampler's
    // lookahead has taken the base-rate frames (up to a base frame short of
    // the host frame's own time); the upsampler is centred on its input.
    double baseFrames = 0.0;
    if (resamplerReady && provider && provider->ratio > 0.0) {
        const double chipFrames =
            static_cast<double>(provider->inputLatency()) - 0.5 -
            shortfall(provider->reducedInputRate, provider->reducedOutputRate) +
            static_cast<double>(ChipWrapStereoFilter::kStates);
        baseFrames = chipFrames / provider->ratio;
        if (upsampling) {
            uint64_t numerator = 1, denominator = 1;
            upsamplingStage->inputRatio(numerator, denominator);
            baseFrames += static_cast<double>(upsamplingStage->lookahead()) - 0.5 -
                          shortfall(numerator, denominator);
        }
    }
    const double hostFrames =
        upsampling ? baseFrames * processingInfo.sampleRateInt / baseRate : baseFrames;
    infoWords[6] = static_cast<uint32_t>(std::lround(hostFrames));
}

void ChipWrap::dispatchEvent(const Event& e, uint32_t frames) {
    if (isRawMidi(e)) {
        if (frames == 0 && version >= 2114)
            deferredMidi.push_back(e);
        else
            synthMidi(e.status, e.data1, e.data2);
        return;
    }
    if (isParameterEvent(e.kind)) {
        const int32_t id = e.id;
        const float value = e.value;
        if (id < 128 || id >= static_cast<int32_t>(kEngineIdCount)) return;
        if (id == 128) {
            const double raw = static_cast<double>(value) * 8192.0 + 8192.0;
            const int v =
                raw < 0.0 ? 0 : static_cast<int>(std::floor(std::min(raw, 16383.0) + 0.5));
            synthMidi(0xE0, v & 0x7F, (v >> 7) & 0x7F);
        } else if (id < 256) {
            return;
        } else if (id < 384) {
            applyWrapperSetting(static_cast<uint32_t>(id - 256), value);
        } else if (id < 512) {
            if (controller) controller->setSyncValue(static_cast<uint32_t>(id - 384), 0, value);
        } else if (id < 768) {
            synthSetLayerField(static_cast<uint64_t>(id - 512) >> 4, id & 15, value);
        } else if (id < 1024) {
            synthSetParameter(static_cast<uint32_t>(id - 768), value);
        } else if (id < 1280) {
            setChipParameter(static_cast<uint32_t>(id - 1024), value);
        } else {
            synthSetAutomSlot(static_cast<uint64_t>(id - 1280) >> 4, id & 15, value);
        }
        return;
    }
    switch (e.kind) {
    case Event::kNoteOn:
        synthNoteOn(e.channel, static_cast<uint32_t>(e.noteId), static_cast<uint16_t>(e.id) & 0x7F,
                    e.value, e.tuning);
        return;
    case Event::kNoteOff:
        synthNoteOff(e.channel, static_cast<uint32_t>(e.noteId),
                     static_cast<uint16_t>(e.id) & 0x7F);
        return;
    case Event::kNoteExpression:
        synthExpression(e.channel, static_cast<uint32_t>(e.noteId), static_cast<uint32_t>(e.id),
                        e.value);
        return;
    case 512:
        synthStopVoice(e.channel, static_cast<uint32_t>(e.noteId), e.id - 768, e.value);
        return;
    case 0:
        return;
    default: {
        const double scaled = std::floor(static_cast<double>(e.value) * 127.0 + 0.5);
        const int v = static_cast<int>(std::clamp(scaled, -1.0e6, 1.0e6));
        synthMidi(static_cast<uint8_t>(e.kind & 0xFF), static_cast<uint8_t>(e.id & 0x7F),
                  static_cast<uint8_t>(v & 0x7F));
        return;
    }
    }
}

namespace {

constexpr uint32_t kSampleFrames = ChipWrapStereoFilter::kStates;
// First frame of each record's two in a chip sample's 21.
constexpr const uint8_t (&kRecordFrame)[6] = kSpreadSlots21;

// Adds frames [from, 21) of a chip sample whose row is `row` (SpreadRows)
// into left and right from their start.
void addSample(const int32_t (*row)[8], uint32_t from, int32_t* left, int32_t* right) {
    for (int r = 0; r < 6; ++r)
        for (uint32_t f = kRecordFrame[r]; f < kRecordFrame[r] + 2u; ++f)
            if (f >= from) {
                left[f - from] += row[0][r];
                right[f - from] += row[1][r];
            }
}

// Adds a whole chip sample whose row is `row` into left and right.
inline void addWholeSample(const int32_t (*row)[8], int32_t* left, int32_t* right) {
#pragma GCC unroll 6
    for (int r = 0; r < 6; ++r) {
        const uint32_t f = kRecordFrame[r];
        left[f] += row[0][r];
        left[f + 1] += row[0][r];
        right[f] += row[1][r];
        right[f + 1] += row[1][r];
    }
}

} // namespace

void ChipWrap::ShortcutState::payRest(int32_t* left, int32_t* right) {
    if (!restOwed) return;
    addSample(pendingRow, restFrom, left, right);
    restOwed = false;
}

// Inlined into its one caller, renderSub: the call would cost a short
// block as much as some of the piece's work.
[[gnu::always_inline]] inline void ChipWrap::renderPiece(int32_t** acc, float** out,
                                                         uint32_t channels, uint64_t piece,
                                                         const float* taps) {
    // With the shortcuts on, the units hand whole FM samples over as rows
    // where they can; a piece that holds nothing else is filtered from the
    // rows, any other has them added into its frames.
    // While pieces keep holding other sound (a PSG playing, say), rows would
    // only be added into the frames: they are offered again after a while.
    const bool rowsUsable = fastPaths && taps && channels >= 2 && controller;
    const bool withRows = rowsUsable && shortcut.rowsBackoff == 0;
    if (rowsUsable && !withRows)
        shortcut.rowsBackoff -= std::min<uint64_t>(shortcut.rowsBackoff, piece);
    const uint32_t phase = stereoFir.samplePhase(); // below kSampleFrames
    const uint32_t phaseAfter = static_cast<uint32_t>((phase + piece) % kSampleFrames);
    SpreadRows grid;
    grid.rows = spreadRows.get();
    grid.first = phase == 0 ? 0 : kSampleFrames - phase;
    grid.count = piece > grid.first ? (piece - grid.first + kSampleFrames - 1) / kSampleFrames : 0;
    bool touched = true;
    if (withRows) {
        touched = controller->renderRows(acc, channels, piece, grid);
    } else if (controller) {
        controller->render(acc, channels, piece);
    }
    const bool fromRows = withRows && !touched && shortcut.rowsOnly &&
                          stereoFir.processRows(grid.rows, grid.count, shortcut.pendingRow,
                                                outputGains, out[0], out[1], piece, taps, lp);
    if (!fromRows) shortcut.payRest(acc[0], acc[1]);
    shortcut.restOwed = fromRows && phaseAfter != 0;
    shortcut.restFrom = phaseAfter;
    if (withRows) {
        if (grid.count > 0 && phaseAfter != 0)
            std::memcpy(shortcut.pendingRow, grid.rows[grid.count - 1], sizeof shortcut.pendingRow);
        // A piece long enough puts the carry and the sample in progress past
        // whatever came before it.
        shortcut.rowsOnly = !touched && (shortcut.rowsOnly || piece >= kSampleFrames + phaseAfter);
        if (touched) shortcut.rowsBackoff = kRowsBackoffFrames;
        // The rows are left zero for the next piece.
        for (uint64_t r = 0; r < grid.count; ++r) {
            if (!fromRows)
                addWholeSample(grid.rows[r], acc[0] + grid.first + r * kSampleFrames,
                               acc[1] + grid.first + r * kSampleFrames);
            std::memset(grid.rows[r], 0, sizeof *grid.rows);
        }
    } else {
        shortcut.rowsOnly = false;
    }
    // Between pieces the accumulators hold only zeros: the stages below
    // clear what they read, and here what they do not.
    // After a piece filtered from rows the units added nothing: with the
    // carry clear already (and so not copied in), channels 0 and 1 hold only
    // zeros still.
    constexpr size_t kCarryBytes = kSpreadCarry * sizeof(int32_t);
    uint32_t copied = 0; // channels from here on carry what went past
    if (fromRows) {
        for (uint32_t c = 0; c < 2 && !shortcut.carryClear; ++c) {
            // Nothing but the rest of the sample in progress goes past (owed).
            std::memset(carry(c), 0, kCarryBytes);
            std::memset(acc[c], 0, kCarryBytes); // what the piece started with
            std::memset(acc[c] + piece, 0, kCarryBytes);
        }
        copied = 2;
    }
    for (uint32_t c = copied; c < channels; ++c) {
        std::memcpy(carry(c), acc[c] + piece, kCarryBytes);
        std::memset(acc[c] + piece, 0, kCarryBytes);
    }
    shortcut.carryClear = fromRows;
    // The stereo filter covers channels 0 and 1 (scaling and low-pass
    // included); other channels (and the only channel of a mono unit) are
    // scaled and low-passed unfiltered.
    uint32_t first = 0;
    if (taps && channels >= 2) {
        if (!fromRows)
            stereoFir.processScaled(acc[0], acc[1], outputGains, out[0], out[1], piece, taps, lp,
                                    fastPaths);
        first = 2;
    }
    for (uint32_t c = first; c < channels; ++c) {
        float* o = out[c];
        const float gain = outputGains[c];
        for (uint64_t i = 0; i < piece; ++i) {
            o[i] = static_cast<float>(acc[c][i]) * gain;
            acc[c][i] = 0;
        }
        lp[c].process(o, static_cast<int32_t>(piece));
    }
}

void ChipWrap::renderSub(float** buffers, uint64_t frames) {
    const uint32_t channels = outputCount();
    if (!buffers || frames == 0) return;
    shortcut.settled = false;
    const float* taps = units.empty() ? nullptr : units[0]->getFilterSettings();
    // Pieces never exceed the accumulators (the re-blocking stage asks for at
    // most that many frames; longer requests are cut here all the same).
    for (uint64_t done = 0; done < frames;) {
        const uint64_t piece = std::min<uint64_t>(frames - done, chipSamples);
        if (piece == 0 || !accumulators) {
            for (uint32_t c = 0; c < channels; ++c)
                std::fill(buffers[c] + done, buffers[c] + frames, 0.0f);
            return;
        }
        // Each piece starts with what the units added past the last one (the
        // rest of the accumulators is zero).
        int32_t* acc[kMaxChannels];
        float* out[kMaxChannels];
        int32_t* const first = accumulators.get();
        const size_t stride = accumulatorStride();
        for (uint32_t c = 0; c < channels; ++c) {
            acc[c] = first + c * stride;
            out[c] = buffers[c] + done;
        }
        for (uint32_t c = shortcut.carryClear ? 2 : 0; c < channels; ++c)
            std::memcpy(acc[c], carry(c), kSpreadCarry * sizeof(int32_t));
        renderPiece(acc, out, channels, piece, taps);
        done += piece;
    }
    // Sounding to the last frame, as while a note plays: no zero tail.
    if (channels > 0 && buffers[0][frames - 1] != 0.0f)
        shortcut.zeroTail = 0;
    else
        noteTail(buffers, channels, frames);
}

} // namespace acme
