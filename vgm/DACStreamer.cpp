#include "vgm/DACStreamer.h"

#include <algorithm>
#include <cmath>

#include "vantor/PlatformTools.h"

namespace VGM {

namespace {

enum Sub : uint8_t {
    kTarget = 0,
    kBank = 2,
    kStep = 3,
    kFrequencyHigh = 4,
    kFrequencyLow = 5,
    kGainLeft = 6,
    kGainRight = 7,
    kStartHigh = 8,
    kStartLow = 9,
    kLengthHigh = 10,
    kLengthLow = 11,
    kStartAtOffset = 12,
    kPlayBlock = 13,
    kStop = 14,
    kFastStart = 15,
};

// Length modes of a start at an offset (low two bits of the mode byte).
enum : uint8_t {
    kLengthInSamples = 1,
    kLengthInMilliseconds = 2,
    kLengthToEndOfData = 3,
};

// YM2612 PCM: unsigned bytes for the DAC register, sent as they are.
constexpr uint32_t kDacBlockType = 0;

uint32_t high16(uint8_t a, uint8_t b) {
    return (uint32_t(a) << 24) | (uint32_t(b) << 16);
}
uint32_t low16(uint32_t kept, uint8_t a, uint8_t b) {
    return (kept & 0xFFFF0000u) | (uint32_t(a) << 8) | b;
}
// The samples a block really holds.
uint64_t samplesOf(const DataBlock& b) {
    return std::min<uint64_t>(b.sampleCount, b.samples.size());
}

} // namespace

void DACStreamer::setup(const MediaChipRecord* record, const MediaLoop& trackLoop,
                        const std::vector<MediaCallback*>& callers,
                        const std::vector<DataBlock>* blocks) {
    ChipStreamer::setup(record, trackLoop, callers, blocks);
    leftGain = rightGain = 0;
    shift = 0;
    samplePeriod = 1.0;
    dataBank = targetChannel = 0;
    sampleStep = 1;
    frequency = length = startOffset = 0;
    blockStartMode = offsetBase = 0;
    rewind();
}

void DACStreamer::rewind() {
    ChipStreamer::rewind();
    nextIsCommand = true;
    playing = false;
    commandWait = 0.0;
    sampleWait = kNoSample;
    data = nullptr;
    samplePosition = 0;
    remaining = 0;
}

uint64_t DACStreamer::absoluteStart(size_t index) const {
    const std::vector<DataBlock>& blocks = *dataBlocks;
    const DataBlock& b = blocks[index];
    // ROM and RAM images carry their address; stream data of one type lies
    // block after block in its bank.
    if (b.type >= 0x80) return b.startOffset;
    uint64_t start = 0;
    for (size_t i = 0; i < index; ++i)
        if (blocks[i].type == b.type) start += samplesOf(blocks[i]);
    return start;
}

void DACStreamer::startBlock(const DataBlock& block, uint64_t first, uint64_t count) {
    const uint64_t available = samplesOf(block);
    if (first >= available) {
        playing = false;
        data = nullptr;
        remaining = 0;
        return;
    }
    if (leftGain == 0) leftGain = int16_t(block.defaultGain);
    if (rightGain == 0) rightGain = int16_t(block.defaultGain);
    if (block.type == kDacBlockType) shift = 0;
    data = block.samples.data() + first;
    remaining = uint32_t(std::min<uint64_t>(count, available - first));
    samplePosition = 0;
    playing = true;
}

void DACStreamer::startAtOffset(uint8_t mode) {
    if (!dataBlocks || dataBlocks->empty()) return;
    blockStartMode = mode;
    samplePosition = 0;
    const uint64_t offset = uint64_t(offsetBase) + startOffset;
    for (size_t i = 0; i < dataBlocks->size(); ++i) {
        const DataBlock& b = (*dataBlocks)[i];
        const uint64_t start = absoluteStart(i);
        if (offset < start || offset >= start + samplesOf(b)) continue;
        uint64_t count = length;
        switch (mode & 3) {
        case kLengthInMilliseconds:
            count = uint64_t(length) * frequency / 1000;
            break;
        case kLengthToEndOfData:
            count = UINT32_MAX;
            break;
        default:
            break;
        }
        startBlock(b, offset - start, count);
        return;
    }
    playing = false;
    data = nullptr;
    remaining = 0;
}

void DACStreamer::playBlock(uint8_t index) {
    if (!dataBlocks || index >= dataBlocks->size()) return;
    const DataBlock& b = (*dataBlocks)[index];
    length = uint32_t(samplesOf(b));
    if (length != 0) startBlock(b, 0, length);
}

void DACStreamer::fastStart() {
    if (!dataBlocks || dataBank >= dataBlocks->size()) return;
    const DataBlock& b = (*dataBlocks)[dataBank];
    // The whole stretch must lie inside the bank.
    if (samplesOf(b) < uint64_t(length) + startOffset) return;
    shift = 10;
    data = b.samples.data() + startOffset;
    remaining = length;
    samplePosition = 0;
    playing = true;
}

void DACStreamer::control(const MediaCommand& c) {
    const uint8_t a = c.value, b = c.port;
    switch (c.reg) {
    case kTarget:
        targetChannel = a;
        break;
    case kBank:
        dataBank = a;
        break;
    case kStep:
        // A step of 0 would send one sample for ever.
        sampleStep = a ? a : 1;
        offsetBase = b;
        break;
    case kFrequencyHigh:
        frequency = high16(a, b);
        break;
    case kFrequencyLow:
        frequency = low16(frequency, a, b);
        if (frequency != 0) samplePeriod = 1.0 / frequency;
        break;
    case kGainLeft:
        leftGain = a;
        break;
    case kGainRight:
        rightGain = a;
        break;
    case kStartHigh:
        startOffset = high16(a, b);
        break;
    case kStartLow:
        startOffset = low16(startOffset, a, b);
        break;
    case kLengthHigh:
        length = high16(a, b);
        break;
    case kLengthLow:
        length = low16(length, a, b);
        break;
    case kStartAtOffset:
        startAtOffset(a);
        break;
    case kPlayBlock:
        playBlock(a);
        break;
    case kStop:
        playing = false;
        samplePosition = 0;
        break;
    case kFastStart:
        fastStart();
        break;
    default: // 1 (the target's port and command) and anything above 15
        break;
    }
}

void DACStreamer::outputSample(double sampleRate) {
    if (!playing || !data || samplePosition >= remaining) {
        playing = false;
        sampleWait = kNoSample;
        return;
    }
    const int32_t s = data[samplePosition];
    samplePosition += sampleStep;
    const int16_t left = int16_t((leftGain * s) >> shift);
    const int16_t right = int16_t((rightGain * s) >> shift);
    for (MediaCallback* l : listeners) l->mediaDacWrite(chip->type, targetChannel, left, right);
    sampleWait = sampleRate * samplePeriod;
    if (jitter > 0.0f) {
        const double r = PBrand();
        sampleWait =
            std::max(1.0, sampleWait + std::floor(r * jitter * (sampleWait - 1.0) * 0.5 + 0.5));
    }
}

uint64_t DACStreamer::onQuantum(double sampleRate) {
    if (!chip || !playable()) return kParked;
    if (const uint64_t wait = takePendingWait()) return wait;

    if (!started) {
        // The wait before the first command, as in a chip stream.
        started = true;
        const GrowList<MediaCommand>& list = chip->commands;
        if (position < 0 || size_t(position) >= list.size()) position = 0;
        commandWait = double(list[size_t(position)].delta) * tickSeconds * sampleRate;
    } else if (!nextIsCommand) {
        outputSample(sampleRate);
    } else {
        const GrowList<MediaCommand>& list = chip->commands;
        if (position < 0 || size_t(position) >= list.size()) position = 0;
        const MediaCommand& c = list[size_t(position++)];
        if (c.kind == kCommandWrite) control(c);
        if (playing) outputSample(sampleRate);
        if (size_t(position) == list.size()) {
            if (!loops()) {
                position = 0;
                return kParked;
            }
            // Go on from the loop point, in step with the chip streams.
            for (MediaCallback* l : listeners)
                l->mediaSetTime(double(loop.startTicks) / chip->commandRate);
            position = resumeIndex;
            commandWait = double(resumeDelta) * tickSeconds * sampleRate;
        } else {
            commandWait = double(list[size_t(position)].delta) * tickSeconds * sampleRate;
        }
    }

    double wait;
    if (commandWait <= sampleWait) {
        nextIsCommand = true;
        sampleWait -= commandWait;
        wait = commandWait;
        commandWait = 0.0;
    } else {
        nextIsCommand = false;
        commandWait -= sampleWait;
        wait = sampleWait;
        sampleWait = 0.0;
    }
    return roundWait(wait);
}

} // namespace VGM
