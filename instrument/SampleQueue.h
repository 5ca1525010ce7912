// A planar queue of sample frames: one zeroed allocation of channels x
// capacity samples with a pointer per channel, a fill, and a lead of silent
// frames that the queue starts with (history for an interpolator that looks
// behind its position). Frames are appended at the back and dropped from the
// front. Set-up allocates; append, drop and clear do not.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine-support/PMemory.h"

template <typename T> class SampleQueue {
public:
    SampleQueue() = default;
    ~SampleQueue() { release(); }
    SampleQueue(const SampleQueue&) = delete;
    SampleQueue& operator=(const SampleQueue&) = delete;

    // Frees the old storage, allocates the zeroed frames and sets the fill to
    // the lead. False, with an empty queue, when the sizes make no sense
    // (no channels or more than kMaxChannels, a lead beyond the capacity, a
    // block beyond kMaxBytes) or the allocation fails.
    bool setup(uint64_t channelCount, uint64_t capacityFrames, uint64_t leadFrames) {
        release();
        uint64_t bytes = 0;
        if (channelCount == 0 || channelCount > kMaxChannels || leadFrames > capacityFrames ||
            __builtin_mul_overflow(channelCount * sizeof(T), capacityFrames, &bytes) ||
            bytes > kMaxBytes)
            return false;
        storage = static_cast<T*>(vantor::PCalloc(bytes == 0 ? 1 : bytes));
        pointers = static_cast<T**>(vantor::PCalloc(channelCount * sizeof(T*)));
        if (!storage || !pointers) {
            release();
            return false;
        }
        for (uint64_t c = 0; c < channelCount; ++c) pointers[c] = storage + c * capacityFrames;
        channels = channelCount;
        capacity = capacityFrames;
        lead = leadFrames;
        fill = lead;
        return true;
    }

    // Appends `frames` frames of planar input when they fit; false (nothing
    // appended) when they do not.
    bool append(const T* const* input, uint64_t frames) {
        if (frames > capacity - fill) return false;
        for (uint64_t c = 0; c < channels; ++c)
            std::memcpy(pointers[c] + fill, input[c], frames * sizeof(T));
        fill += frames;
        return true;
    }

    // Drops up to `frames` frames from the front.
    void drop(uint64_t frames) {
        if (frames > fill) frames = fill;
        for (uint64_t c = 0; c < channels; ++c)
            std::memmove(pointers[c], pointers[c] + frames, (fill - frames) * sizeof(T));
        fill -= frames;
    }

    // Zeroes every channel buffer and returns the fill to the lead.
    void clear() {
        if (storage) std::memset(storage, 0, channels * capacity * sizeof(T));
        fill = lead;
    }

    T* channel(uint64_t c) const { return pointers[c]; }

    static constexpr uint64_t kMaxChannels = 32;
    static constexpr uint64_t kMaxBytes = uint64_t(1) << 30;

    uint64_t channels = 0;
    uint64_t capacity = 0;
    uint64_t fill = 0;
    uint64_t lead = 0;

private:
    void release() {
        vantor::PFree(storage);
        vantor::PFree(pointers);
        storage = nullptr;
        pointers = nullptr;
        channels = capacity = fill = lead = 0;
    }

    T* storage = nullptr;
    T** pointers = nullptr;
};
