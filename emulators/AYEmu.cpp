#include "emulators/AYEmu.h"

#include <cmath>
#include <cstring>
#include <iterator>

#include "emulators/AY_BlockOps.h"
#include "emulators/FrameScale.h"
#include "vantor/PlatformTools.h"

namespace {

constexpr double kClocks[] = {894886.0, 1000000.0, 1500000.0, 1789772.5, 2005311.75, 1250000.0};

void addFixed16(int16_t* out, const uint32_t* source, uint32_t level, uint64_t n) {
    for (uint64_t i = 0; i < n; ++i)
        out[i] = int16_t(uint16_t(uint16_t(out[i]) + uint16_t(source[i] * level)));
}

void addEnvelope16(int16_t* out, const uint32_t* source, const uint32_t* levels, uint64_t n) {
    for (uint64_t i = 0; i < n; ++i)
        out[i] = int16_t(uint16_t(uint16_t(out[i]) + uint16_t(source[i] * levels[i])));
}

} // namespace

AYEmu::AYEmu(uint64_t periodScale, uint8_t monoOutput, uint64_t monoOutputIndex)
    : periodScale_(periodScale), monoOutput_(monoOutput), monoOutputIndex_(monoOutputIndex) {
    info_.firstWord = 1;
    info_.outputCount = 3;
    info_.clockDivisor = 8;
    info_.clocks.assign(std::begin(kClocks), std::end(kClocks));
    info_.initialClockIndex = 4;
    std::strcpy(info_.partName, "AY8910");
    std::strcpy(info_.familyName, "AY");
    info_.outputGains[0] = 1.0f / 1024;
    info_.outputGains[1] = 1.0f / 1024;
    info_.outputGains[2] = 1.0f / 1024;
    info_.outputGains[3] = 1.0f / 256;
    info_.parameters.resize(16);
    vantor::ParameterInfo& envType = info_.parameters[0];
    envType =
        vantor::ParameterInfo("env type", vantor::ParameterInfo::kList, 0.0f, 1.0f, 0.0f, 0, 0);
    envType.setList("AY (16 steps)|YM (32 steps)");
}

AYEmu::~AYEmu() = default;

// Each part is released before its replacement is allocated.
bool AYEmu::init(uint32_t maxFrames, const char*, uint32_t) {
    maxFrames_ = 0; // nothing renders until every buffer below exists
    envelope_[0] = nullptr;
    envelope_[0] = std::make_unique<AY_Env>(maxFrames);
    envelope_[0]->periodScale = periodScale_;
    for (auto& tone : tone_) {
        tone = nullptr;
        tone = std::make_unique<AY_Tone>(maxFrames);
    }
    noise_ = nullptr;
    noise_ = std::make_unique<ChipLFSR>(maxFrames);
    noise_->configureAYNoise(periodScale_);
    for (auto& tone : tone_) tone->periodScale = periodScale_;
    setOutputMapping(monoOutput_, monoOutputIndex_);
    mixing_ = nullptr;
    mixing_.reset(new uint32_t[maxFrames]());
    ones_ = nullptr;
    ones_.reset(new uint32_t[maxFrames]());
    for (uint32_t i = 0; i < maxFrames; ++i) ones_[i] = 1;
    if (clockRatio_ != 1.0) applyClockRatio();
    maxFrames_ = maxFrames;
    return true;
}

void AYEmu::setClockRatio(double ratio) {
    clockRatio_ = ratio > 0.0 && std::isfinite(ratio) ? ratio : 1.0;
    applyClockRatio();
}

void AYEmu::applyClockRatio() {
    const FrameScale s = FrameScale::of(double(periodScale_) / clockRatio_);
    for (auto& tone : tone_) {
        if (!tone) continue;
        tone->periodScale = s.whole;
        tone->scaleFraction = s.fraction;
        if (tone->scaledPeriod != 0) tone->rescale(); // a tone never written stays still
    }
    if (noise_) noise_->setScale(s.whole, s.fraction);
    if (envelope_[0]) envelope_[0]->setScale(s.whole, s.fraction);
}

void AYEmu::setPeriodScale(uint64_t scale) {
    for (auto& tone : tone_)
        if (tone) tone->periodScale = scale;
    if (noise_) noise_->periodScale = scale;
}

void AYEmu::setOutputMapping(uint8_t mono, uint64_t index) {
    for (int ch = 0; ch < kChannels; ++ch) outputIndex_[ch] = mono ? index : uint64_t(ch);
}

void AYEmu::write(uint16_t address, uint8_t data, uint64_t) {
    if (address <= 5) {
        if (AY_Tone* tone = tone_[address >> 1].get()) {
            if (address & 1)
                tone->writeCoarse(data, 0x0F);
            else
                tone->writeFine(data);
        }
    } else if (address == 6) {
        if (noise_) noise_->setPeriod(data & 31);
    } else if (address == 7) {
        writeMixer(data);
    } else if (address <= 10) {
        volume_[address - 8] = data & 31;
    } else if (address <= 13) {
        if (AY_Env* env = envelope_[0].get()) {
            if (address == 11)
                env->writeFine(data);
            else if (address == 12)
                env->writeCoarse(data);
            else
                env->writeShape(data);
        }
    }
    mirror_[address & 15] = data;
}

// Per channel: bit ch = tone off, bit ch + 3 = noise off; bits 6 and 7 unused.
void AYEmu::writeMixer(uint8_t data) {
    for (int ch = 0; ch < kChannels; ++ch)
        mixerMode_[ch] = ((data >> ch) & 1) | (((data >> (ch + 3)) & 1) << 1);
}

void AYEmu::setParameter(uint32_t index, float value) {
    if (index < 3) {
        mute_[index] = value > 0.0f ? 1 : 0;
    } else if (index == 3) {
        const uint32_t type = uint32_t(PSaturateToInt32(value));
        levelTableType_ = type;
        // Before init there is no envelope; the one init builds starts at type 0.
        if (envelope_[0]) envelope_[0]->type = type;
    }
}

uint32_t AYEmu::compatFixedLevel(int channel) const {
    const uint64_t volume = volume_[channel];
    return levelTableType_ == 0 ? AY_Env::kAYTable[volume & 15]
                                : AY_Env::kYMTable[(2 * volume) & 30];
}

const uint32_t* AYEmu::channelSource(int channel, uint64_t frames) {
    switch (mixerMode_[channel] & 3) {
    case 0: {
        const uint32_t* tone = tone_[channel]->samples.get();
        const uint32_t* noise = noise_->samples.get();
        ay_ops::andInto(mixing_.get(), tone, noise, frames);
        return mixing_.get();
    }
    case 1:
        return noise_->samples.get();
    case 2:
        return tone_[channel]->samples.get();
    default:
        return ones_.get();
    }
}

void AYEmu::addFixed(int32_t* out, const uint32_t* source, uint32_t level, uint64_t n) {
    ay_ops::addScaled(reinterpret_cast<uint32_t*>(out), source, level, n);
}

void AYEmu::addEnvelope(int32_t* out, const uint32_t* source, const uint32_t* levels, uint64_t n) {
    ay_ops::addProduct(reinterpret_cast<uint32_t*>(out), source, levels, n);
}

bool AYEmu::compatReady() const {
    return maxFrames_ > 0 && envelope_[0] && noise_ && tone_[0] && tone_[1] && tone_[2] &&
           mixing_ && ones_;
}

void AYEmu::renderCompatPiece(int32_t** outputs, uint64_t offset, uint64_t frames) {
    noise_->renderBlock(frames);
    envelope_[0]->renderBlock(frames);
    const uint32_t* envLevels = envelope_[0]->levels.get();
    for (int ch = 0; ch < kChannels; ++ch) {
        tone_[ch]->renderBlock(frames);
        const uint32_t* source = channelSource(ch, frames);
        if (mute_[ch]) continue;
        int32_t* out = outputs[outputIndex_[ch]] + offset;
        if (volume_[ch] & 0x10) {
            addEnvelope(out, source, envLevels, frames);
        } else if (const uint32_t level = compatFixedLevel(ch)) {
            addFixed(out, source, level, frames);
        }
    }
}

// Longer calls than the buffers hold are rendered in pieces of maxFrames_.
int AYEmu::render32(int32_t** outputs, uint64_t frames) {
    if (!compatReady()) return 0;
    for (uint64_t done = 0; done < frames;) {
        const uint64_t n = frames - done < maxFrames_ ? frames - done : maxFrames_;
        renderCompatPiece(outputs, done, n);
        done += n;
    }
    return 0;
}

void AYEmu::renderCompatPiece16(int16_t* output, uint64_t frames) {
    noise_->renderBlock(frames);
    envelope_[0]->renderBlock(frames);
    const uint32_t* envLevels = envelope_[0]->levels.get();
    for (int ch = 0; ch < kChannels; ++ch) {
        tone_[ch]->renderBlock(frames);
        const uint32_t* source = channelSource(ch, frames);
        if (mute_[ch]) continue;
        if (volume_[ch] & 0x10) {
            addEnvelope16(output, source, envLevels, frames);
        } else if (const uint32_t level = compatFixedLevel(ch)) {
            addFixed16(output, source, level, frames);
        }
    }
}

void AYEmu::render16(int16_t* output, uint64_t, uint64_t frames) {
    if (output == nullptr) return;
    std::memset(output, 0, frames * sizeof(int16_t));
    if (!compatReady()) return;
    for (uint64_t done = 0; done < frames;) {
        const uint64_t n = frames - done < maxFrames_ ? frames - done : maxFrames_;
        renderCompatPiece16(output + done, n);
        done += n;
    }
}
