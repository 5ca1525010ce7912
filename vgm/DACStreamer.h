// The player of one PCM stream (media chip types 84-99): its command list
// holds stream-control sub-commands (target, data bank, step, frequency,
// gains, start offset, length, start, play block, stop, fast start), and
// between commands the stream sends the samples of the playing data block at
// the stream's frequency. Each firing handles either the next command or the
// next sample, whichever falls due first, and answers the wait to the event
// after it, in output samples with a carried fraction.
//
// Sub-command operands: register = sub-command, value = a, port = b; a 32-bit
// quantity arrives as a high pair then a low pair. Samples are 16-bit; the
// listeners get (gain x sample) >> shift for the left and right channel.
#pragma once

#include "vgm/ChipStreamer.h"

namespace VGM {

class DACStreamer : public ChipStreamer {
public:
    // The sample wait of a stream that plays no sample.
    static constexpr double kNoSample = 9223372036854775808.0;

    void setup(const MediaChipRecord* record, const MediaLoop& loop,
               const std::vector<MediaCallback*>& listeners,
               const std::vector<DataBlock>* blocks) override;
    // Back to the first command with the stream silent.
    void rewind() override;
    uint64_t onQuantum(double sampleRate) override;

    bool samplePlaying() const { return playing; }
    int16_t gainLeft() const { return leftGain; }
    int16_t gainRight() const { return rightGain; }
    uint8_t gainShift() const { return shift; }

    // Each sample period is varied at random by up to this share when above 0.
    float jitter = 0.0f;

private:
    // One stream-control sub-command.
    void control(const MediaCommand& command);
    // Sends the sample at the play position and times the next one.
    void outputSample(double sampleRate);
    // Starts playing `count` samples of `block` from sample `first`; a
    // stream without gains takes the block's default gain.
    void startBlock(const DataBlock& block, uint64_t first, uint64_t count);
    // Start at the absolute offset (offset base + start offset).
    void startAtOffset(uint8_t mode);
    void playBlock(uint8_t index);
    void fastStart();
    // Where block `index` starts in its data bank: its address for blocks
    // stored at one, else the samples of the earlier blocks of its type.
    uint64_t absoluteStart(size_t index) const;

    bool nextIsCommand = true;
    bool playing = false;
    int16_t leftGain = 0;
    int16_t rightGain = 0;
    uint8_t shift = 0;
    double samplePeriod = 1.0; // seconds per PCM sample
    double commandWait = 0.0;  // samples until the next command
    double sampleWait = kNoSample;
    uint8_t dataBank = 0;
    uint8_t targetChannel = 0;
    const int16_t* data = nullptr; // first sample of the playing data, not owned
    uint64_t samplePosition = 0;
    uint64_t sampleStep = 1;
    uint32_t frequency = 0;
    uint32_t length = 0;
    uint32_t remaining = 0;
    uint32_t startOffset = 0;
    uint8_t blockStartMode = 0;
    uint8_t offsetBase = 0;
};

} // namespace VGM
