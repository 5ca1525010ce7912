// The re-blocking stage between the chips and the host: the host asks for
// any number of frames at its rate, the chips render at theirs, and a rate
// provider converts between the two. pull() asks the provider how many input
// frames an output count needs, lets the source render them (after the input
// the provider left unconsumed last time) and has the provider convert them
// straight into the caller's buffers; input left unconsumed is kept for the
// next pull.
//
// The input buffer holds `capacity` frames per channel and is allocated once
// by setUp. A pull never asks the source for more than fits: long requests
// are served in several passes. A provider or source that is missing, or a
// pass that neither consumes nor produces, ends the pull with silence for the
// rest of the request, so a broken resampler set-up can never hang the audio
// thread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "instrument/Provider.h"

// Something that renders planar frames on request (the chip side of the
// plug-in object).
template <typename T> class SRCSubRenderer {
public:
    // Renders `frames` frames into the channel buffers (overwriting them).
    virtual void renderSub(T** buffers, uint64_t frames) = 0;
    // Renders as renderSub does; or, when the frames would all be zeros and
    // so is every frame rendered before them that the converter may still
    // hold, moves on without writing them and returns true.
    virtual bool renderOrSkip(T** buffers, uint64_t frames) {
        renderSub(buffers, frames);
        return false;
    }
    virtual ~SRCSubRenderer() = default;
};

template <typename T> class Repackager {
public:
    static constexpr uint64_t kMaxChannels = 4;
    // Passes in a row that produce nothing before a pull gives up.
    static constexpr int kMaxIdlePasses = 64;

    Repackager() = default;
    Repackager(const Repackager&) = delete;
    Repackager& operator=(const Repackager&) = delete;

    // Allocates the input buffer (at the source's rate) for `capacity`
    // frames a channel, zeroed. False (and no buffer) for 0 or too many
    // channels or a capacity of 0.
    bool setUp(uint64_t capacityFrames, uint64_t channelCount) {
        release();
        if (capacityFrames == 0 || channelCount == 0 || channelCount > kMaxChannels) return false;
        channels = channelCount;
        capacity = capacityFrames;
        storage.reset(new T[channels * capacity]());
        for (uint64_t c = 0; c < channels; ++c) input[c] = storage.get() + c * capacity;
        return true;
    }

    // The provider that converts and the source that renders (both borrowed;
    // either may be null, which makes every pull silent).
    void wire(Provider<T>* rateProvider, SRCSubRenderer<T>* renderer) {
        provider = rateProvider;
        source = renderer;
    }

    // Forgets the kept input and zeroes the buffer; the counts of frames
    // rendered and produced start again from 0.
    void clear() {
        keptInputCount = 0;
        renderedTotal = producedTotal = 0;
        if (storage) std::fill(storage.get(), storage.get() + channels * capacity, T(0));
    }

    // Writes `frames` frames into outputs[0..channels). False when the pull
    // ended early with silence (no provider or source, or no progress).
    // With `ahead`, where the provider can count what it would do, passes
    // that would follow one another (a pass that runs short of input is
    // followed by one for the outputs still missing) are counted first
    // (passesInput) and their input rendered and converted at once: the same
    // frames from the same input in fewer calls.
    bool pull(T* const* outputs, uint64_t frames, bool ahead = false) {
        uint64_t done = 0;
        int idle = 0;
        while (done < frames) {
            if (!provider || !source || !storage) return silence(outputs, done, frames);
            const uint64_t remaining = frames - done;
            // Ask for no more output than the request, and render no more
            // input than fits after the kept input.
            uint64_t request = std::min(remaining, capacity);
            const uint64_t room = capacity - keptInputCount;
            uint64_t need = ahead && request == remaining
                                ? provider->passesInput(request, keptInputCount, room)
                                : provider->inputNeeded(request);
            if (need > room) {
                const double scale = static_cast<double>(room) / static_cast<double>(need);
                request = std::max<uint64_t>(1, static_cast<uint64_t>(request * scale));
                need = std::min(provider->inputNeeded(request), room);
            }
            T* targets[kMaxChannels];
            for (uint64_t c = 0; c < channels; ++c) {
                renderTargets[c] = input[c] + keptInputCount;
                targets[c] = outputs[c] + done;
            }
            // Silence into a provider that holds only silence is counted,
            // neither rendered nor converted: every frame involved is zero.
            bool skipped = false;
            if (need > 0 && provider->canSkip())
                skipped = source->renderOrSkip(renderTargets, need);
            else if (need > 0)
                source->renderSub(renderTargets, need);
            renderedTotal += need;
            const uint64_t total = need + keptInputCount;
            uint64_t consumed = total, produced = request;
            if (skipped && !provider->skip(consumed, produced)) {
                // The frames skipped are zeros: converted after all.
                for (uint64_t c = 0; c < channels; ++c)
                    std::fill(renderTargets[c], renderTargets[c] + need, T(0));
                skipped = false;
            }
            if (!skipped) provider->process(input, targets, consumed, produced);
            consumed = std::min(consumed, total);
            produced = std::min(produced, request);
            // The input left over moves to the front for the next pass.
            keptInputCount = total - consumed;
            if (keptInputCount > 0)
                for (uint64_t c = 0; c < channels; ++c) {
                    if (skipped)
                        std::fill(input[c], input[c] + keptInputCount, T(0));
                    else
                        std::memmove(input[c], input[c] + consumed, keptInputCount * sizeof(T));
                }

            if (produced == 0 && (consumed == 0 || ++idle > kMaxIdlePasses))
                return silence(outputs, done, frames);
            if (produced > 0) idle = 0;
            if (skipped)
                for (uint64_t c = 0; c < channels; ++c)
                    std::fill(targets[c], targets[c] + produced, T(0));
            done += produced;
            producedTotal += produced;
        }
        return true;
    }

    // Has the source render `frames` more input frames (as many as fit)
    // after the kept input, for the next pull to convert first; the frames
    // rendered. The output stays what it would have been: only the moment
    // at which the source renders them moves.
    uint64_t renderAhead(uint64_t frames) {
        if (!source || !storage) return 0;
        const uint64_t n = std::min(frames, capacity - keptInputCount);
        if (n == 0) return 0;
        for (uint64_t c = 0; c < channels; ++c) renderTargets[c] = input[c] + keptInputCount;
        source->renderSub(renderTargets, n);
        keptInputCount += n;
        renderedTotal += n;
        return n;
    }

    uint64_t channelCount() const { return channels; }
    uint64_t capacityFrames() const { return capacity; }
    uint64_t keptInputFrames() const { return keptInputCount; }
    // Input frames the source rendered (or skipped) and output frames
    // written since the last clear.
    uint64_t renderedFrames() const { return renderedTotal; }
    uint64_t producedFrames() const { return producedTotal; }

private:
    bool silence(T* const* outputs, uint64_t from, uint64_t frames) {
        for (uint64_t c = 0; c < channels; ++c)
            std::fill(outputs[c] + from, outputs[c] + frames, T(0));
        return false;
    }

    void release() {
        storage.reset();
        channels = capacity = keptInputCount = 0;
        std::fill(std::begin(input), std::end(input), nullptr);
    }

    uint64_t channels = 0;
    std::unique_ptr<T[]> storage;
    T* input[kMaxChannels] = {};
    T* renderTargets[kMaxChannels] = {};
    uint64_t capacity = 0;
    uint64_t keptInputCount = 0;
    uint64_t renderedTotal = 0;
    uint64_t producedTotal = 0;
    Provider<T>* provider = nullptr;
    SRCSubRenderer<T>* source = nullptr;
};
