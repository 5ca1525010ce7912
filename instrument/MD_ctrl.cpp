// Construction, activation, the register writer and the layer events: what a
// layer slot's start, release, pitch and level do on the unit's chips.
#include "instrument/MD_ctrl.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "emulators/ChipEmu.h"
#include "instrument/DCSG_tone_sub.h"

namespace {

// The PSG's four channels silenced: attenuation 15 on tone 1-3 and noise.
constexpr uint8_t kPsgSilence[4] = {0x9F, 0xBF, 0xDF, 0xFF};

} // namespace

std::unique_ptr<MD_ctrl> makeConsoleController(std::vector<ChipEmu*>* units,
                                               ChipControllerListener* listener) {
    return std::make_unique<MD_ctrl>(units, listener);
}

MD_ctrl::MD_ctrl(std::vector<ChipEmu*>* units, ChipControllerListener* listener)
    : ChipController(units, listener) {
    quantumManager = this;
    syncProvider = this;

    console::buildConsoleParameters(parameters, version);
    for (console::ConsoleShadow& s : shadows) console::setShadowDefaults(s, parameters);
    for (OPN2_shadow& m : mirrors) m.clear();

    for (uint64_t u = 0; u < kVoiceUnits; ++u) {
        console::ConsoleShadow& shadow = voiceShadow(u);
        for (uint8_t c = 0; c < 6; ++c) {
            if (c == 2)
                fm[u][c] = std::make_unique<OPN2Ch3_sub>(this, u, &mirrors[u]);
            else
                fm[u][c] = std::make_unique<OPN2_sub>(this, u, c, &mirrors[u]);
            OPN2_sub& sub = *fm[u][c];
            sub.fnumLimit = kFnumLimit;
            sub.patch = &shadow.instruments[0];
            sub.pan = &shadow.pan[c];
            if (c == 2) sub.ch3 = &shadow.ch3;
            layerSubs[u][c] = &sub;
        }
        dac[u] = std::make_unique<OPN2_DAC_sub>(this, u, &mirrors[u]);
        psg[u].build(this, 1, u);
        for (uint64_t k = 0; k < 4; ++k) layerSubs[u][6 + k] = psg[u].members[k].get();
    }

    // The ten layers: FM layers step their level in 7 bits, PSG layers in 4.
    // A PSG channel has no key: its layers are silenced through their
    // amplitude when a voice is released or a note falls outside them.
    for (uint64_t l = 0; l < kLayerCount; ++l) {
        VSX::LayerRecord& r = layerRecords[l];
        r = VSX::LayerRecord{};
        r.slotCount = kVoiceUnits;
        r.ampSteps = l < 6 ? 127 : 15;
        r.stepMask = l < 6 ? 127 : 15;
        r.flags = l < 6 ? 0 : VSX::LayerManager::kFlagSilenceOutside;
    }
    layerManager.attachLayers(layerRecords.data());

    ready = false;
    for (uint64_t u = 0; u < kVoiceUnits; ++u) unitEnabled[u] = 1;
}

MD_ctrl::~MD_ctrl() {
    // The DAC timers and the layer timer leave the queue before anything
    // they point at goes.
    for (auto& d : dac)
        if (d) d->setTimerQueue(nullptr);
    unschedule(&layerManager);
    for (auto& unit : layerSubs) unit.fill(nullptr);
}

void MD_ctrl::sendRegister(uint64_t unit, uint8_t reg, uint8_t value, uint64_t port) {
    writeRegister(unit, reg, value, port);
}

void MD_ctrl::writeRegister(uint64_t unit, uint8_t reg, uint8_t value, uint64_t port) {
    if (unit >= kUnits) return;
    if (port < 2) mirrors[unit].set(port, reg, value);
    if (units && unit < units->size() && (*units)[unit]) (*units)[unit]->write(reg, value, port);
}

void MD_ctrl::clearVoiceUnitRegisters(uint64_t u) {
    for (int r = 0; r < 256; ++r) {
        sendRegister(u, uint8_t(r), 0, 0);
        sendRegister(u, uint8_t(r), 0, 1);
    }
    for (uint8_t b : kPsgSilence) sendRegister(u, 0, b, 2);
    sendRegister(u, 0x22, 8, 0); // LFO on, rate 0
}

void MD_ctrl::resetForVersion(uint32_t v) {
    version = v ? v : console::kCurrentVersion;
    // The layer manager reports slots while it is still sizing them; those
    // reports are dropped until every sub-controller is refreshed below.
    ready = false;
    // Every route goes before the records and actions it points into are
    // rebuilt; initController parses the matrix again at its end.
    clearModRoutes();
    console::buildConsoleParameters(parameters, version);
    for (VSX::VoiceManager& vm : voiceManagers) vm.initParameters(this, 7);
    initController(parameters, this, this, version < console::kCurrentVersion);

    setMpeLayout(0);

    for (uint64_t u = 0; u < kVoiceUnits; ++u) clearVoiceUnitRegisters(u);

    layerManager.setLayerField(0, VSX::LayerManager::kActive, 1.0f);
    for (uint64_t u = 0; u < kVoiceUnits; ++u) {
        for (auto& sub : fm[u]) {
            sub->setClock(fmClock);
            sub->refreshAll();
        }
        for (auto& member : psg[u].members) member->setClock(psgClock);
    }
    for (auto& unit : layerSubs)
        for (ChipSubController* sub : unit)
            if (sub) sub->refreshAll();
    ready = true;
}

void MD_ctrl::resetMediaUnit() {
    if (units && kMediaUnit < units->size() && (*units)[kMediaUnit]) (*units)[kMediaUnit]->reset();
    for (uint8_t b : kPsgSilence) sendRegister(kMediaUnit, 0, b, 2);
    mediaActive = true;
    mediaClocks = {};
    clockMediaUnit(false);
    mediaStreamCount = 1;
    // A stream that has not played yet adds nothing to the DAC mix.
    std::fill(std::begin(mediaDacBytes), std::end(mediaDacBytes), uint8_t(0x80));
}

bool MD_ctrl::setClock(uint64_t index, double rate, double reference) {
    ChipController::setClock(index, rate, reference);
    if (index == 3) {
        fmClock = float(rate * 16.0);
        psgClock = fmClock / 5.0f;
    } else {
        fmClock = float(rate * 48.0 / 7.0);
        psgClock = float(rate * 48.0 / 15.0);
    }
    clockMediaUnit(mediaActive);
    if (!ready) return true;
    for (uint64_t u = 0; u < kVoiceUnits; ++u) {
        for (auto& sub : fm[u]) {
            sub->setClock(fmClock);
            sub->refreshAll();
        }
        for (auto& member : psg[u].members) {
            member->setClock(psgClock);
            member->refreshAll();
        }
    }
    return true;
}

void MD_ctrl::attachCanvas(CanvasRecord* c) {
    static constexpr uint8_t kPalette[16][3] = {
        {0, 0, 0},     {0, 0, 170},    {0, 170, 0},     {0, 170, 170},
        {175, 0, 23},  {170, 0, 170},  {170, 85, 0},    {170, 170, 170},
        {85, 85, 85},  {85, 85, 255},  {92, 144, 131},  {85, 255, 255},
        {255, 85, 85}, {255, 85, 255}, {255, 242, 117}, {255, 255, 255},
    };
    if (!canvas) {
        if (!c) return;
        canvas = c;
        playerCanvas = c; // the media player draws its pages into it
        canvas->width = 320;
        canvas->height = 224;
    }
    canvas->colourCount = 16;
    for (int i = 0; i < 16; ++i) {
        if (canvas->red) canvas->red[i] = kPalette[i][0];
        if (canvas->green) canvas->green[i] = kPalette[i][1];
        if (canvas->blue) canvas->blue[i] = kPalette[i][2];
    }
    if (!trackShown()) {
        showIdlePage();
    } else if (canvas->pixels) {
        std::memset(canvas->pixels, 0,
                    std::min(canvas->width * canvas->height, canvas->pixelBytes));
    }
}

void MD_ctrl::refreshVoiceMask(uint64_t part) {
    for (uint64_t u = 0; u < kVoiceUnits; ++u) unitEnabled[u] = 0;
    bool any = false;
    for (const VSX::LayerRecord& r : layerRecords) any = any || r.active;
    if (!any) return;
    const uint64_t n = getVoiceCount(part);
    for (uint64_t u = 0; u < n && u < kVoiceUnits; ++u) unitEnabled[u] = 1;
}

void MD_ctrl::onModTargetResolved(uint32_t kind, uint64_t index, uint16_t parameterIndex) {
    if (!listener) return;
    switch (kind) {
    case 0:
        listener->controllerParameterValue(parameterIndex, 2, 0.0f);
        break;
    case 1:
        listener->automSlotValue(index, parameterIndex, 2, 0.0f);
        break;
    case 3:
        listener->layerFieldValue(index, parameterIndex, 2, 0.0f);
        break;
    default:
        break;
    }
}

void MD_ctrl::receiveDataBlock(void* data, uint64_t size, uint64_t key) {
    auto* record = static_cast<uint8_t*>(data);
    auto old = dataBlocks.find(key);
    const bool replacesPlayed = old != dataBlocks.end() && old->second.record == dacRecord;
    dataBlocks[key] = DataBlock{record, record ? size : 0};
    uint32_t total = 0;
    if (record && size >= 36) std::memcpy(&total, record + 32, 4);
    // A replaced record that the DACs play is left by them even when the new
    // one is empty: the old one may be gone.
    if (total == 0 && !replacesPlayed) return;
    dacRecord = record;
    for (auto& d : dac) d->attachSampleSet(record, record ? size : 0);
}

// ---- Layer events

uint64_t MD_ctrl::voiceOfLayerSlot(uint64_t layer, uint64_t slot) const {
    const std::vector<int8_t>& owner = layerManager.slots[layer].owner;
    if (slot < owner.size() && owner[slot] >= 0) return uint64_t(owner[slot]);
    return slot;
}

VSX::VoiceManager* MD_ctrl::layerVoiceManager(uint64_t layer) {
    return layer < kLayerCount ? voiceManager(layerRecords[layer].part) : nullptr;
}

float MD_ctrl::velocityGain(uint64_t slot, uint64_t layer) {
    VSX::VoiceManager* vm = layerVoiceManager(layer);
    return vm ? vm->getVelocityGain(voiceOfLayerSlot(layer, slot)) : 0.0f;
}

void MD_ctrl::onLayerVoiceStart(uint64_t slot, uint64_t layer, uint8_t key) {
    ChipSubController* sub = layerSub(slot, layer);
    if (!sub || !ready) return;
    const float gain = velocityGain(slot, layer);
    if (layer == 5 && dacMode)
        dac[slot]->noteOn(key, gain);
    else
        sub->noteOn(gain);
}

void MD_ctrl::onLayerVoiceRelease(uint64_t slot, uint64_t layer) {
    ChipSubController* sub = layerSub(slot, layer);
    if (sub && ready) sub->noteOff();
}

void MD_ctrl::onLayerVoiceRetrigger(uint64_t slot, uint64_t layer, uint8_t key) {
    ChipSubController* sub = layerSub(slot, layer);
    if (!sub || !ready) return;
    // The DAC plays the region of the new key, not the one it played.
    if (layer == 5 && dacMode)
        dac[slot]->noteOn(key, dac[slot]->velocity);
    else
        sub->retrigger();
}

void MD_ctrl::onLayerVoiceVelocity(uint64_t slot, uint64_t layer) {
    ChipSubController* sub = layerSub(slot, layer);
    if (!sub || !ready) return;
    if (layer >= 6 && version < console::kCurrentVersion) return;
    sub->setVelocity(velocityGain(slot, layer));
}

void MD_ctrl::onLayerVoicePitch(uint64_t slot, uint64_t layer) {
    ChipSubController* sub = layerSub(slot, layer);
    if (!sub || !ready) return;
    if (layer == 5 && dacMode) {
        VSX::VoiceManager* vm = layerVoiceManager(layer);
        const uint64_t voice = voiceOfLayerSlot(layer, slot);
        float cents = layerManager.getSlotPitchCents(5, slot);
        if (vm && voice < VSX::VoiceManager::kMaxVoices) cents += vm->voices[voice].detune;
        const float rate = float(dac[slot]->sampleRate());
        dac[slot]->setFrequency(cents == 0.0f ? rate : rate * std::exp2(cents / 1200.0f));
        return;
    }
    float hz = 0.0f;
    if (updateLayerVoicePitch(slot, layer, hz)) sub->setFrequency(hz);
}

void MD_ctrl::onLayerVoiceAmplitude(uint64_t slot, uint64_t layer) {
    ChipSubController* sub = layerSub(slot, layer);
    if (!sub || !ready) return;
    float gain = layerManager.getSlotAmplitude(layer, slot).amplitude;
    applyVoiceAmplitude(slot, layer, gain);
    sub->setAmplitude(gain);
}

void MD_ctrl::onKeyCoverage(const uint8_t* map) {
    if (listener && map) listener->sendInfoBlock(map);
}

void MD_ctrl::onLayerParameterModulated(uint64_t layer, uint16_t kind, int on) {
    if (listener) listener->layerFieldValue(layer, kind, 1, float(on));
}

void MD_ctrl::onAutomSlotModulated(uint64_t slot, uint16_t field, bool modulated) {
    if (listener) listener->automSlotValue(slot, field, 1, modulated ? 1.0f : 0.0f);
}
