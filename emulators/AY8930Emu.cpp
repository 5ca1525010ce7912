#include "emulators/AY8930Emu.h"

AY8930Emu::AY8930Emu(uint64_t periodScale, uint8_t monoOutput, uint64_t monoOutputIndex)
    : AYEmu(periodScale, monoOutput, monoOutputIndex) {
    levelTableType_ = 3;
    info_.clockDivisor = 4;
}

AY8930Emu::~AY8930Emu() = default;

bool AY8930Emu::init(uint32_t maxFrames, const char* context, uint32_t flags) {
    noise8930_ = nullptr;
    AYEmu::init(maxFrames, context, flags);
    for (int ch = 1; ch < kChannels; ++ch) {
        envelope_[ch] = nullptr;
        envelope_[ch] = std::make_unique<AY_Env>(maxFrames);
        envelope_[ch]->periodScale = periodScale_;
    }
    // The AY8930 noise counts in output samples whatever the period scale.
    noise_ = nullptr;
    auto noise = std::make_unique<AY8930Noise>(maxFrames);
    noise->configureAYNoise(1);
    noise8930_ = noise.get();
    noise_ = std::move(noise);
    expanded_ = 0;
    for (auto& env : envelope_) {
        env->type = 0;
        env->periodScale = 2;
    }
    for (auto& tone : tone_) tone->periodScale = 2;
    return true;
}

void AY8930Emu::setExpandedMode(uint8_t reg13) {
    expanded_ = (reg13 & 0xE0) == 0xA0 ? 1 : 0;
    for (auto& env : envelope_) {
        if (!env) continue;
        env->type = expanded_ ? 3 : 0;
        env->periodScale = 2;
    }
    for (auto& tone : tone_)
        if (tone) tone->periodScale = expanded_ ? 1 : 2;
}

void AY8930Emu::write(uint16_t address, uint8_t data, uint64_t port) {
    if (address == 13 && (data & 0xE0) != (mirror_[13] & 0xE0)) setExpandedMode(data);
    if (!expanded_) {
        AYEmu::write(address, data, port);
        return;
    }
    if (address > 13) return;
    if (mirror_[13] & 0x10)
        writeBankB(address, data);
    else
        writeBankA(address, data);
}

void AY8930Emu::writeEnvelopeAShape(uint8_t data) {
    if (envelope_[0]) envelope_[0]->writeShape(data);
    mirror_[13] = data;
}

void AY8930Emu::writeBankA(uint16_t address, uint8_t data) {
    if (address <= 5) {
        if (AY_Tone* tone = tone_[address >> 1].get()) {
            if (address & 1)
                tone->writeCoarse(data, 0xFF);
            else
                tone->writeFine(data);
        }
    } else if (address == 6) {
        if (noise_) noise_->setPeriod(data);
    } else if (address == 7) {
        writeMixer(data);
    } else if (address <= 10) {
        volume_[address - 8] = data & 63;
    } else if (address == 11) {
        if (envelope_[0]) envelope_[0]->writeFine(data);
    } else if (address == 12) {
        if (envelope_[0]) envelope_[0]->writeCoarse(data);
    } else {
        writeEnvelopeAShape(data);
    }
}

void AY8930Emu::writeBankB(uint16_t address, uint8_t data) {
    switch (address) {
    case 0:
    case 2:
        if (AY_Env* env = envelope_[1 + address / 2].get()) env->writeFine(data);
        break;
    case 1:
    case 3:
        if (AY_Env* env = envelope_[1 + address / 2].get()) env->writeCoarse(data);
        break;
    case 4:
    case 5:
        if (AY_Env* env = envelope_[address - 3].get()) env->writeShape(data);
        break;
    case 6:
    case 7:
    case 8:
        if (AY_Tone* tone = tone_[address - 6].get()) tone->dutySelector = data & 15;
        break;
    case 9:
        if (noise8930_) noise8930_->andMask = data;
        break;
    case 10:
        if (noise8930_) noise8930_->orMask = data;
        break;
    case 13:
        writeEnvelopeAShape(data);
        break;
    default:
        break;
    }
}

bool AY8930Emu::expandedReady() const {
    return compatReady() && envelope_[1] && envelope_[2];
}

void AY8930Emu::renderExpandedPiece(int32_t** outputs, uint64_t offset, uint64_t frames) {
    noise_->renderBlock(frames);
    for (auto& env : envelope_) env->renderBlock(frames);
    for (int ch = 0; ch < kChannels; ++ch) {
        tone_[ch]->renderDutyBlock(frames);
        const uint32_t* source = channelSource(ch, frames);
        if (mute_[ch]) continue;
        int32_t* out = outputs[outputIndex_[ch]] + offset;
        if (volume_[ch] & 0x20) {
            addEnvelope(out, source, envelope_[ch]->levels.get(), frames);
        } else if (const uint32_t level = AY_Env::kYMTable[volume_[ch] & 31]) {
            addFixed(out, source, level, frames);
        }
    }
}

int AY8930Emu::render32(int32_t** outputs, uint64_t frames) {
    if (!expanded_) return AYEmu::render32(outputs, frames);
    if (!expandedReady()) return 0;
    for (uint64_t done = 0; done < frames;) {
        const uint64_t n = frames - done < maxFrames_ ? frames - done : maxFrames_;
        renderExpandedPiece(outputs, done, n);
        done += n;
    }
    return 0;
}
