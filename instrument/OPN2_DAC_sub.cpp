#include "instrument/OPN2_DAC_sub.h"

#include <algorithm>
#include <cmath>

#include "vantor/PlatformTools.h"

namespace {

// One video frame (NTSC) and one scan line, in seconds: the frame-stall
// jitter holds a sample for some lines once per frame, as a driver waiting
// for the vertical blank does.
constexpr double kFrameSeconds = 0.016688155448165;
constexpr double kLineSeconds = 6.369524980215809e-5;

// Output samples are counted in 64 bits; anything past this never falls due.
constexpr double kLongestDelay = 9.0e18;

uint64_t delayOf(double interval) {
    if (std::isnan(interval) || interval <= 0.0) return 0;
    if (interval >= kLongestDelay) return vantor::QuantumManager::kNever;
    return uint64_t(interval);
}

} // namespace

OPN2_DAC_sub::~OPN2_DAC_sub() {
    stop();
}

uint32_t OPN2_DAC_sub::u32At(uint64_t offset) const {
    const uint8_t* p = sampleSet + offset;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int16_t OPN2_DAC_sub::sampleAt(uint32_t index) const {
    if (!sampleSet || index >= totalSamples) return 0;
    const uint8_t* p = sampleSet + kHeaderSize + 2 * uint64_t(index);
    return int16_t(uint16_t(p[0] | p[1] << 8));
}

uint32_t OPN2_DAC_sub::sampleRate() const {
    if (!sampleSet) return kDefaultRate;
    const uint32_t rate = u32At(36);
    return rate ? rate : kDefaultRate;
}

void OPN2_DAC_sub::attachSampleSet(const uint8_t* record, uint64_t size) {
    if (!record || size < kHeaderSize) {
        stop();
        sampleSet = nullptr;
        sampleSetSize = 0;
        totalSamples = 0;
        sampleCount = 0;
        readPos = regionStart = regionLast = dataLast = 0;
        return;
    }
    sampleSet = record;
    sampleSetSize = size;
    totalSamples = uint32_t(std::min<uint64_t>(u32At(32), (size - kHeaderSize) / 2));

    uint32_t start = 0;
    uint32_t last = totalSamples ? totalSamples - 1 : 0;
    for (int i = 0; i < 128; ++i)
        if (markerOf(i) == 1) {
            start = u32At(64 + 4 * i);
            break;
        }
    for (int i = 0; i < 128; ++i)
        if (markerOf(i) == 2) {
            last = u32At(64 + 4 * i);
            break;
        }
    // Keep the marked data inside the samples the record holds, in order.
    if (totalSamples == 0) {
        start = last = 0;
    } else {
        last = std::min(last, totalSamples - 1);
        start = std::min(start, last);
    }
    readPos = regionStart = start;
    regionLast = dataLast = last;

    sampleCount = 0;
    for (int i = 0; i < 128; ++i)
        if (markerOf(i) == 5) ++sampleCount;
}

void OPN2_DAC_sub::setTimerQueue(vantor::QuantumManager* queue) {
    if (queue == timerQueue) return;
    stop();
    timerQueue = queue;
}

void OPN2_DAC_sub::stop() {
    if (scheduled && timerQueue) timerQueue->unschedule(this);
    scheduled = false;
}

void OPN2_DAC_sub::noteOn(uint8_t key, float v) {
    if (key == kNoKey || !sampleSet || key < baseKey || sampleCount == 0 || totalSamples == 0)
        return;
    // Keys above the last region wrap down by the region count. The search
    // is bounded: a slot that is not marked, or one past the table, plays
    // nothing.
    int slot = key - baseKey;
    while (slot > 127 || markerOf(slot) != 5) {
        if (slot < sampleCount) return;
        slot -= sampleCount;
    }
    const uint32_t first = u32At(64 + 4 * slot);
    if (first >= totalSamples) return;
    uint32_t end = totalSamples;
    if (slot + 1 < 128 && markerOf(slot + 1) == 5) {
        const uint32_t next = u32At(64 + 4 * (slot + 1));
        if (next > first && next < totalSamples) end = next;
    }
    velocity = v;
    currentKey = key;
    regionStart = readPos = first;
    regionLast = end - 1;
    phase = 0.0;
    if (!timerQueue) return;
    stop();
    scheduled = true;
    timerQueue->schedule(this, kTimerCookie + unit); // the first sample goes out at once
}

void OPN2_DAC_sub::noteOff() {
    stop();
}

void OPN2_DAC_sub::setFrequency(float rate) {
    if (!(rate > 0.0f) || !std::isfinite(rate)) return;
    step = 1.0f / rate;
}

void OPN2_DAC_sub::setParameter(uint32_t index, const int32_t* iv, const float* fv) {
    const int32_t i = iv                       ? *iv
                      : fv && !std::isnan(*fv) ? PSaturateToInt32(std::floor(*fv + 0.5))
                                               : 0;
    const float f = fv ? *fv : float(i);
    switch (index) {
    case 0:
        jitterMode = uint32_t(std::max(i, 0));
        frameAccumulator = 0.0;
        break;
    case 1: {
        const float a = std::isnan(f) ? 0.0f : std::clamp(f, 0.0f, 1.0f);
        stallLines = int32_t(std::floor(double(a) * a * 262.0 + 0.5));
        jitterAmount = a;
        break;
    }
    case 2:
        shift = uint8_t(8 - std::clamp(i, 1, 8));
        break;
    case 3:
        gain = f;
        break;
    case 4:
        loopMode = uint32_t(std::max(i, 0));
        break;
    case 5:
        baseKey = uint8_t(std::clamp(i, 0, 255));
        break;
    default:
        break;
    }
}

void OPN2_DAC_sub::writeRegister(uint8_t reg, uint8_t value, bool port) {
    sendRegister(reg, value, port ? 1 : 0);
}

uint64_t OPN2_DAC_sub::onQuantum(double rate) {
    // 1. The sample as an unsigned DAC byte at the chosen resolution.
    const double scaled = double(sampleAt(readPos)) * amplitude * velocity * gain / 256.0 + 128.0;
    const int32_t byte = std::isnan(scaled) ? 128 : int32_t(std::clamp(scaled, 0.0, 255.0));
    writeRegister(0x2A, uint8_t((byte >> shift) << shift), false);

    // 2. Move on by one sample.
    switch (loopMode) {
    case 0:
        if (readPos < regionLast) ++readPos;
        break;
    case 1:
        if (readPos < dataLast) ++readPos;
        break;
    case 2:
        if (++readPos > regionLast) readPos = regionStart;
        break;
    default:
        break;
    }

    // 3. Time until the next sample, carrying the fraction.
    if (std::isnan(rate) || rate < 0.0) rate = 0.0;
    double interval = phase + double(step) * rate;
    if (jitterMode == 1) {
        frameAccumulator += interval;
        const double frame = kFrameSeconds * rate;
        if (frameAccumulator > frame) {
            frameAccumulator -= frame;
            return delayOf(interval + stallLines * kLineSeconds * rate);
        }
    } else if (jitterMode == 2) {
        interval += jitterAmount * (PBrand() * 0.5 * double(step) * rate);
    }
    if (!std::isfinite(interval)) interval = 0.0;
    const double delay = std::floor(interval + 0.5);
    phase = interval - delay;
    return delayOf(delay);
}
