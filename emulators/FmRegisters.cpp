#include "emulators/FmRegisters.h"

#include "emulators/FmEnvelope.h"
#include "emulators/FmPhase.h"
#include "emulators/FmTables.h"

namespace {

// Channel record addressed by a register of group (address & 3) on `port`.
FmChannel* channelFor(FmChipState& chip, uint8_t address, uint8_t port) {
    uint32_t variant = chip.shared.variant;
    if (variant >= kFmVariantCount) return nullptr;
    int record = kPortChannelMap[variant][port & 1][address & 3];
    return record < 0 ? nullptr : &chip.channels[record];
}

void recompute(FmChipState& chip, FmChannel& ch) {
    updateFrequencies(ch, chip.shared.lfoStep, chip.shared.lfoPrevStep);
}

void ignoreWrite(FmChipState&, uint8_t, uint8_t, uint8_t) {}

// --- Chip-level registers -------------------------------------------------

void writeLfo(FmChipState& chip, uint8_t, uint8_t d, uint8_t) {
    chip.shared.lfoOn = (d >> 3) & 1;
    chip.shared.lfoRate = d & 7;
}

void writeTimerAHigh(FmChipState& chip, uint8_t, uint8_t d, uint8_t) {
    chip.shared.timerAReload = static_cast<uint16_t>((chip.shared.timerAReload & 3) + d * 4);
}

void writeTimerALow(FmChipState& chip, uint8_t, uint8_t d, uint8_t) {
    chip.shared.timerAReload = static_cast<uint16_t>((chip.shared.timerAReload & 0x3FC) + (d & 3));
}

void writeMode(FmChipState& chip, uint8_t, uint8_t d, uint8_t) {
    FmSharedState& s = chip.shared;
    if ((d & 1) && !(chip.modeRegister & 1)) s.timerAOverflow = 1;
    s.timerARunning = d & 1;
    s.csmMode = (d & 0xC0) == 0x80 ? 1 : 0;
    FmChannel& ch3 = chip.channels[kFmChannel3Record];
    ch3.specialMode = (d & 0xC0) != 0 ? 1 : 0;
    recompute(chip, ch3);
    chip.modeRegister = d;
}

void writeKeyOn(FmChipState& chip, uint8_t, uint8_t d, uint8_t) {
    int record = kKeyOnChannelMap[chip.shared.variant][d & 7];
    if (record < 0) return;
    FmChannel& ch = chip.channels[record];
    // Key bits 4-7 are S1, S2, S3, S4; records are S1, S3, S2, S4.
    static const int kRecordOfBit[4] = {kOpS1, kOpS2, kOpS3, kOpS4};
    for (int bit = 0; bit < 4; ++bit) {
        FmOperator& op = ch.operators[kRecordOfBit[bit]];
        op.regKeyOn = (d >> (4 + bit)) & 1;
        fmKeyOperator(op);
    }
}

void writeDacData(FmChipState& chip, uint8_t, uint8_t d, uint8_t) {
    chip.dacData = d;
}
void writeDacEnable(FmChipState& chip, uint8_t, uint8_t d, uint8_t) {
    chip.dacEnabled = d >> 7;
}

void writePrescaler(FmChipState& chip, uint8_t address, uint8_t, uint8_t) {
    if (address == 0x2D) {
        chip.prescalerB = 0;
    } else if (address == 0x2E) {
        chip.prescalerA = 1;
    } else {
        chip.prescalerA = 0;
        chip.prescalerB = 1;
    }
}

void writeRhythm(FmChipState& chip, uint8_t address, uint8_t d, uint8_t) {
    rhythmWrite(chip.rhythm, address, d);
}
void writeAdpcmA(FmChipState& chip, uint8_t address, uint8_t d, uint8_t) {
    adpcmAWrite(chip.adpcm, address, d);
}
void writeAdpcmB(FmChipState& chip, uint8_t address, uint8_t d, uint8_t) {
    adpcmBWrite(chip.adpcm, address, d);
}

// --- Operator registers 0x30-0x9F -----------------------------------------

FmOperator* operatorFor(FmChipState& chip, uint8_t address, uint8_t port, FmChannel** ch) {
    *ch = channelFor(chip, address, port);
    return *ch ? &(*ch)->operators[(address >> 2) & 3] : nullptr;
}

void writeDetuneMultiple(FmChipState& chip, uint8_t address, uint8_t d, uint8_t port) {
    FmChannel* ch;
    FmOperator* op = operatorFor(chip, address, port, &ch);
    if (!op) return;
    op->detune = (d >> 4) & 7;
    op->multiple = d & 15;
    recompute(chip, *ch);
}

void writeTotalLevel(FmChipState& chip, uint8_t address, uint8_t d, uint8_t port) {
    FmChannel* ch;
    FmOperator* op = operatorFor(chip, address, port, &ch);
    if (op) op->totalLevel = d & 0x7F;
}

void writeKeyScaleAttack(FmChipState& chip, uint8_t address, uint8_t d, uint8_t port) {
    FmChannel* ch;
    FmOperator* op = operatorFor(chip, address, port, &ch);
    if (!op) return;
    op->keyScale = d >> 6;
    op->attackRate = d & 31;
    egRates(*op);
}

void writeAmDecay(FmChipState& chip, uint8_t address, uint8_t d, uint8_t port) {
    FmChannel* ch;
    FmOperator* op = operatorFor(chip, address, port, &ch);
    if (!op) return;
    op->amOn = d >> 7;
    op->decayRate = d & 31;
    op->eg.d1rRate = egRate(op->decayRate, egKeyScaleOffset(*op));
}

void writeSustainRate(FmChipState& chip, uint8_t address, uint8_t d, uint8_t port) {
    FmChannel* ch;
    FmOperator* op = operatorFor(chip, address, port, &ch);
    if (!op) return;
    op->sustainRate = d & 31;
    op->eg.d2rRate = egRate(op->sustainRate, egKeyScaleOffset(*op));
}

void writeSustainRelease(FmChipState& chip, uint8_t address, uint8_t d, uint8_t port) {
    FmChannel* ch;
    FmOperator* op = operatorFor(chip, address, port, &ch);
    if (!op) return;
    op->sustainLevel = d >> 4;
    op->releaseRate = d & 15;
    op->eg.sustainLevel10 = egSustainLevel10(op->sustainLevel);
    op->eg.rrRate = egReleaseRate(op->releaseRate, egKeyScaleOffset(*op));
}

void writeSsgEg(FmChipState& chip, uint8_t address, uint8_t d, uint8_t port) {
    FmChannel* ch;
    FmOperator* op = operatorFor(chip, address, port, &ch);
    if (op) op->eg.ssgEg = d & 15;
}

// --- Channel registers 0xA0-0xB6 ------------------------------------------

void setFrequency(FmChipState& chip, FmChannel& ch, int entry, uint8_t low, uint8_t latch) {
    ch.fnum[entry] = static_cast<uint16_t>(((latch & 7) << 8) | low);
    ch.block[entry] = (latch >> 3) & 7;
    recompute(chip, ch);
}

void writeFnumLow(FmChipState& chip, uint8_t address, uint8_t d, uint8_t port) {
    FmChannel* ch = channelFor(chip, address, port);
    if (ch) setFrequency(chip, *ch, 3, d, chip.freqLatch);
}

void writeFnumLatch(FmChipState& chip, uint8_t, uint8_t d, uint8_t) {
    chip.freqLatch = d;
}

void writeCh3FnumLow(FmChipState& chip, uint8_t address, uint8_t d, uint8_t) {
    FmChannel& ch3 = chip.channels[kFmChannel3Record];
    setFrequency(chip, ch3, kSpecialFnumSlot[(address - 0xA8) & 3], d, chip.ch3FreqLatch);
}

void writeCh3FnumLatch(FmChipState& chip, uint8_t, uint8_t d, uint8_t) {
    chip.ch3FreqLatch = d;
}

void writeFeedbackAlgorithm(FmChipState& chip, uint8_t address, uint8_t d, uint8_t port) {
    FmChannel* ch = channelFor(chip, address, port);
    if (!ch) return;
    ch->feedback = (d >> 3) & 7;
    ch->algorithm = d & 7;
}

void writePanAmsPms(FmChipState& chip, uint8_t address, uint8_t d, uint8_t port) {
    FmChannel* ch = channelFor(chip, address, port);
    if (!ch) return;
    ch->panBits = d >> 6;
    if (!ch->muted) ch->pan = ch->panBits;
    ch->ams = (d >> 4) & 3;
    ch->pms = d & 7;
    recompute(chip, *ch);
}

const FmWriteHandler kOperatorHandlers[7] = {
    writeDetuneMultiple, writeTotalLevel,     writeKeyScaleAttack, writeAmDecay,
    writeSustainRate,    writeSustainRelease, writeSsgEg,
};

void resetChannel(FmChannel& ch) {
    ch.algorithm = 0;
    ch.feedback = 0;
    ch.ams = 0;
    ch.pms = 0;
    ch.specialMode = 0;
    for (int k = 0; k < 4; ++k) {
        ch.fnum[k] = 0;
        ch.block[k] = 0;
    }
    for (int32_t& o : ch.outputs) o = 0;
    ch.pan = ch.muted ? 0 : ch.panBits;
    for (FmOperator& op : ch.operators) {
        FmEnvelope& eg = op.eg;
        op.detune = op.multiple = op.totalLevel = op.keyScale = op.attackRate = 0;
        op.amOn = op.decayRate = op.sustainRate = op.sustainLevel = op.releaseRate = 0;
        op.keyCode = 0;
        op.regKeyOn = op.csmKeyOn = op.pgKeyOn = 0;
        op.phase = 0;
        op.phaseInc = 0;
        eg.egState = kEgSustain;
        eg.egLevel = 1023;
        eg.egKeyOn = 0;
        eg.ssgInverted = 0;
        eg.arRate = eg.d1rRate = eg.d2rRate = eg.rrRate = 0;
        eg.sustainLevel10 = 0;
        eg.ssgEg = 0;
    }
}

} // namespace

void fmInitChip(FmChipState& chip, uint32_t variant) {
    ensureFmTables();
    chip.rhythm = FmRhythm{};
    chip.adpcm = FmAdpcm{};
    chip.shared = FmSharedState{};
    chip.shared.variant = variant;
    const bool ym2612 = variant == kFmYM2612;
    for (FmChannel& ch : chip.channels) {
        ch = FmChannel{};
        ch.shared = &chip.shared;
        for (int k = 0; k < 4; ++k) {
            FmEnvelope& eg = ch.operators[k].eg;
            eg.egSlot = k == kOpS1 ? 0 : 1;
            eg.keyOnDelayFast = ym2612 ? 1 : 2;
            eg.keyOnDelay = ym2612 ? 0 : 1;
        }
    }
    chip.channelCount = fmChannelRecords(variant).count;
    chip.freqLatch = chip.ch3FreqLatch = chip.modeRegister = 0;
    chip.dacData = chip.dacEnabled = 0;
    chip.prescalerA = chip.prescalerB = 0;
    chip.delayedCh3 = 0;
    adpcmInit(chip.adpcm);
    fmInstallHandlers(chip);
}

void fmInstallHandlers(FmChipState& chip) {
    for (auto& port : chip.handlers)
        for (FmWriteHandler& h : port) h = ignoreWrite;
    const uint32_t v = chip.shared.variant;
    if (v >= kFmVariantCount) return;

    FmWriteHandler* p0 = chip.handlers[0];
    FmWriteHandler* p1 = chip.handlers[1];
    p0[0x24] = writeTimerAHigh;
    p0[0x25] = writeTimerALow;
    p0[0x27] = writeMode;
    p0[0x28] = writeKeyOn;
    if (v != kFmYM2203) p0[0x22] = writeLfo;
    if (v == kFmYM2608) {
        p0[0x10] = p0[0x11] = writeRhythm;
        for (int a = 0x18; a <= 0x1D; ++a) p0[a] = writeRhythm;
    }
    if (v == kFmYM2610 || v == kFmYM2610B) {
        for (int a = 0x10; a <= 0x1C; ++a) p0[a] = writeAdpcmB;
        for (int a = 0x00; a <= 0x2E; ++a) p1[a] = writeAdpcmA;
    }
    if (v == kFmYM2612) {
        p0[0x2A] = writeDacData;
        p0[0x2B] = writeDacEnable;
    }
    if (v == kFmYM2203 || v == kFmYM2608) p0[0x2D] = p0[0x2E] = p0[0x2F] = writePrescaler;

    const int ports = v == kFmYM2203 ? 1 : 2;
    for (int port = 0; port < ports; ++port) {
        FmWriteHandler* h = chip.handlers[port];
        for (int group = 0; group < 3; ++group) {
            h[0xA4 + group] = writeFnumLatch;
            h[0xA8 + group] = writeCh3FnumLow;
            h[0xAC + group] = writeCh3FnumLatch;
            if (kPortChannelMap[v][port][group] < 0) continue;
            for (int reg = 0; reg < 7; ++reg)
                for (int slot = 0; slot < 4; ++slot)
                    h[0x30 + reg * 16 + slot * 4 + group] = kOperatorHandlers[reg];
            h[0xA0 + group] = writeFnumLow;
            h[0xB0 + group] = writeFeedbackAlgorithm;
            if (v != kFmYM2203) h[0xB4 + group] = writePanAmsPms;
        }
    }
}

void fmResetChip(FmChipState& chip) {
    chip.dacData = chip.dacEnabled = 0;
    chip.freqLatch = chip.ch3FreqLatch = chip.modeRegister = 0;
    chip.delayedCh3 = 0;
    chip.prescalerA = chip.prescalerB = 0;
    rhythmReset(chip.rhythm);
    adpcmReset(chip.adpcm);

    const uint32_t variant = chip.shared.variant;
    const uint32_t pitchScale = chip.shared.pitchScale;
    chip.shared = FmSharedState{};
    chip.shared.variant = variant;
    chip.shared.pitchScale = pitchScale;
    chip.shared.egCounter = 4;

    const FmChannelRecords& used = fmChannelRecords(variant);
    for (int i = 0; i < used.count; ++i) resetChannel(chip.channels[used.records[i]]);
    if (variant == kFmYM2612) {
        for (FmChannel& ch : chip.channels) {
            ch.panBits = 3;
            ch.pan = ch.muted ? 0 : 3;
            ch.ams = 0;
            ch.pms = 0;
            recompute(chip, ch);
        }
    }
}

void fmSetPitchScale(FmChipState& chip, uint32_t scale) {
    if (scale == chip.shared.pitchScale) return;
    chip.shared.pitchScale = scale;
    const FmChannelRecords& used = fmChannelRecords(chip.shared.variant);
    for (int i = 0; i < used.count; ++i) recompute(chip, chip.channels[used.records[i]]);
}

void fmWrite(FmChipState& chip, uint16_t address, uint8_t data, uint64_t port) {
    uint8_t p = static_cast<uint8_t>(port & 1);
    uint8_t a = static_cast<uint8_t>(address & 0xFF);
    chip.handlers[p][a](chip, a, data, p);
}

void fmSetChannelMute(FmChipState& chip, uint32_t index, float value) {
    const FmChannelRecords& used = fmChannelRecords(chip.shared.variant);
    if (index >= used.count) return;
    FmChannel& ch = chip.channels[used.records[index]];
    ch.muted = value > 0.0f ? 1 : 0;
    ch.pan = ch.muted ? 0 : ch.panBits;
}

void fmKeyOperator(FmOperator& op) {
    uint8_t key = (op.regKeyOn || op.csmKeyOn) ? 1 : 0;
    pgKey(op, key);
    egKey(op.eg, key, op.totalLevel);
}

void fmCsmStep(FmSharedState& s, FmChannel& ch3) {
    static const int kLaterOps[3] = {kOpS3, kOpS2, kOpS4};
    if (s.csmKeyOnPending) {
        s.csmKeyOnPending = 0;
        s.csmKeyOnActive = 1;
        for (int k : kLaterOps) {
            ch3.operators[k].csmKeyOn = 1;
            fmKeyOperator(ch3.operators[k]);
        }
    } else if (s.csmKeyOnActive) {
        s.csmKeyOnActive = 0;
        for (int k : kLaterOps) {
            ch3.operators[k].csmKeyOn = 0;
            fmKeyOperator(ch3.operators[k]);
        }
    }
    FmOperator& s1 = ch3.operators[kOpS1];
    if (s.timerAOverflow) {
        s.timerACounter = s.timerAReload;
        if (s.csmMode) {
            s.csmKeyOnPending = 1;
            s.csmS1KeyOffPending = 1;
            s1.csmKeyOn = 1;
            fmKeyOperator(s1);
        }
        s.timerAOverflow = 0;
    } else if (s.csmS1KeyOffPending) {
        s.csmS1KeyOffPending = 0;
        s1.csmKeyOn = 0;
        fmKeyOperator(s1);
    }
}

void fmTimerStep(FmSharedState& s, FmChannel& ch3) {
    if (s.timerARunning) {
        s.timerACounter = static_cast<uint16_t>(s.timerACounter + 1);
        if (s.timerACounter & 0x400) s.timerAOverflow = 1;
    }
    fmCsmStep(s, ch3);
}

void fmTimerStep(FmChipState& chip) {
    fmTimerStep(chip.shared, chip.channels[kFmChannel3Record]);
}

void fmEndSample(FmChipState& chip) {
    FmSharedState& s = chip.shared;
    s.egCounter = egAdvanceCounter(s.egCounter);
    if (!lfoTick(s)) return;
    const FmChannelRecords& used = fmChannelRecords(s.variant);
    for (int i = 0; i < used.count; ++i)
        updateFrequencies(chip.channels[used.records[i]], s.lfoStep, s.lfoPrevStep);
}
