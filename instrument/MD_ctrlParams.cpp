// Parameter values: the host's values into the master shadow and the
// parameter actions, the actions' per-voice values into the voice shadows
// and the chip sub-controllers, the instruments the FM channels play, DAC
// mode, and pushing an instrument's values back out to the host.
#include "instrument/MD_ctrl.h"

#include <cmath>
#include <cstring>

#include "vantor/PlatformTools.h"

using console::ConsoleShadow;

namespace {

// floor(value + 0.5) as an i32, saturating.
int32_t rounded(float value) {
    return PSaturateToInt32(std::floor(double(value) + 0.5));
}

} // namespace

PatchRecord* MD_ctrl::instrumentRecord(int64_t instrument) {
    if (instrument == 0 || instrument == 1) return &masterShadow().instruments[instrument];
    if (instrument < 2 || instrument >= int64_t(kInstruments) || !instrumentBlock) return nullptr;
    return reinterpret_cast<PatchRecord*>(instrumentBlock + kBlockHeader +
                                          uint64_t(instrument - 2) * sizeof(PatchRecord));
}

void MD_ctrl::bindChannel(uint64_t u, uint64_t c, int32_t instrument) {
    if (u >= kVoiceUnits || c >= 6) return;
    channelInstrument[u][c] = instrument;
    ConsoleShadow& shadow = voiceShadow(u);
    const PatchRecord* record = nullptr;
    if (instrument == 0 || instrument == 1)
        record = &shadow.instruments[instrument];
    else
        record = instrumentRecord(instrument);
    // Until the host attaches the block a C..P choice plays instrument A.
    fm[u][c]->patch = record ? record : &shadow.instruments[0];
}

void MD_ctrl::attachInstrumentBlock(void* record, uint64_t size, uint64_t /*key*/) {
    auto* block = static_cast<uint8_t*>(record);
    if (block && size < kBlockSize) block = nullptr; // too small for C..P
    instrumentBlock = block;
    if (block) {
        const uint32_t word = uint32_t(kBlockSize);
        std::memcpy(block + 4, &word, 4);
    }
    // Channels that play C..P leave the old block at once.
    for (uint64_t u = 0; u < kVoiceUnits; ++u)
        for (uint64_t c = 0; c < 6; ++c)
            if (channelInstrument[u][c] >= 2) {
                bindChannel(u, c, channelInstrument[u][c]);
                if (ready) fm[u][c]->refreshAll();
            }
}

void MD_ctrl::setParameter(uint16_t index, float value) {
    if (index >= console::kParameterCount) return;
    if (index < paramActions.size())
        for (VSX::ParameterAction& a : paramActions[index]) a.setValueRelative(value);
    if (index > console::kCh3Last || !std::isfinite(value)) return;
    const vantor::ParameterInfo& r = parameters[index];
    const float v = std::fmin(std::fmax(value, r.minValue), r.maxValue);
    console::shadowField(masterShadow(), index) = rounded(v);
}

void MD_ctrl::setDacMode(bool on) {
    if (on == dacMode) return;
    releaseAllParts();
    dacMode = on;
    for (uint64_t u = 0; u < kVoiceUnits; ++u) {
        if (on) {
            dac[u]->setTimerQueue(this);
            sendRegister(u, 0x2A, 128);
            sendRegister(u, 0x2B, 128);
            layerSubs[u][5] = dac[u].get();
        } else {
            dac[u]->noteOff();
            sendRegister(u, 0x2B, 0);
            layerSubs[u][5] = fm[u][5].get();
        }
    }
}

void MD_ctrl::onParameterAction(float value, uint64_t v, uint16_t i, bool modulated) {
    if (i >= console::kParameterCount || i >= parameters.size() || v >= kVoiceUnits) return;
    const vantor::ParameterInfo& record = parameters[i];
    if (!(record.flags & vantor::ParameterInfo::kFlagPerVoice) && v > 1) return;
    if (modulated && listener && (monitoredPart < 0 || uint64_t(monitoredPart) == v))
        listener->controllerParameterValue(i, 1, value);

    if (!std::isfinite(value)) return;
    ConsoleShadow& shadow = voiceShadow(v);
    int32_t n = rounded(value);

    if (i < console::kLayerInstrument) {
        console::shadowField(shadow, i) = n;
        const int32_t k = i / 72;
        const int j = i % 72;
        for (uint64_t c = 0; c < 6; ++c)
            if (channelInstrument[v][c] == k) fm[v][c]->updatePatchField(j);
        return;
    }
    if (i < console::kLayerPan) {
        const uint64_t c = i - console::kLayerInstrument;
        if (c == 5) {
            setDacMode(n == console::kDacChoice);
            if (n >= 2) n -= 1;
        }
        if (n < 2) shadow.layerInstrument[c] = n;
        bindChannel(v, c, n);
        fm[v][c]->refreshAll();
        return;
    }
    if (i < console::kNoiseType) {
        const uint64_t c = i - console::kLayerPan;
        shadow.pan[c] = n;
        fm[v][c]->updatePan();
        return;
    }
    console::shadowField(shadow, i) = n;
    switch (i) {
    case console::kNoiseType:
    case console::kNoiseFreq:
        psg[v].members[3]->setParameter(i - console::kNoiseType, &n, &value);
        return;
    case console::kLfoRate:
        sendRegister(v, 0x22, uint8_t((n & 7) | 8));
        return;
    default:
        break;
    }
    if (i >= console::kCh3Mode && i <= console::kCh3Last) {
        fm[v][2]->refreshAll();
        return;
    }
    if (i >= console::kDacFirst && i <= console::kDacLast)
        for (auto& d : dac) d->setParameter(i - console::kDacFirst, &n, &value);
}

void MD_ctrl::applyPatch(int32_t instrument) {
    if (instrument >= 2 && instrument < int32_t(kInstruments)) {
        PatchRecord* record = instrumentRecord(instrument);
        if (!record) return;
        for (uint64_t c = 0; c < 6; ++c) {
            const int32_t choice = masterShadow().layerInstrument[c];
            if (choice != (c == 5 ? instrument + 1 : instrument)) continue;
            for (uint64_t u = 0; u < kVoiceUnits; ++u) {
                bindChannel(u, c, instrument);
                fm[u][c]->refreshAll();
            }
        }
        return;
    }
    uint32_t first, last;
    switch (instrument) {
    case 0:
        first = 0, last = 72;
        break;
    case 1:
        first = 72, last = 144;
        break;
    case -1:
        first = 0, last = console::kCh3Last + 1;
        break;
    default:
        return;
    }
    for (uint32_t i = first; i < last; ++i) {
        float value = float(console::shadowField(masterShadow(), i));
        if (i < paramActions.size())
            for (VSX::ParameterAction& a : paramActions[i]) a.setBase(value);
        const vantor::ParameterInfo& r = parameters[i];
        value = std::fmin(std::fmax(value, r.minValue), r.maxValue);
        if (r.flags & vantor::ParameterInfo::kFlagInverted) value = r.maxValue - value;
        if (listener) listener->controllerParameterValue(i, 0, value);
    }
    if (listener) listener->paramInfoChanged(0, first, last);
}
