#include "synth/LayerManager.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "synth/GenericParam.h"
#include "vantor/PlatformTools.h"

namespace VSX {

namespace {

constexpr float kCentsToOctaves = 0.00083333335f; // 1/1200 as a float
constexpr float kTickSeconds = 0.004166667f;      // 1/240
constexpr double kTickSecondsExact = 0.004166666883975267;
constexpr float kMaxGlideAmount = 100.0f;

GenericParam::Record targetRecord(size_t target, uint8_t stepMask) {
    switch (target) {
    case LayerManager::kTargetDetune:
        return GenericParam::kDetune;
    case LayerManager::kTargetTranspose:
        return GenericParam::kTranspose;
    case LayerManager::kTargetAmp:
        return GenericParam::kAmplitude;
    case LayerManager::kTargetAmpSteps:
        return stepMask == 15 ? GenericParam::kAmplitude4Bit : GenericParam::kAmplitude7Bit;
    default:
        return GenericParam::kFixedFreq;
    }
}

int32_t integerPart(float v) {
    return PSaturateToInt32(v);
}

} // namespace

uint32_t LayerManager::layerTargets(uint64_t layer) const {
    return listener ? listener->getLayerTargets(layer) : 0xFFFFFFFFu;
}

uint64_t LayerManager::slotCount(uint64_t layer) const {
    const LayerRecord* r = record(layer);
    if (!r) return 0;
    return r->slotCount < allocated(layer) ? r->slotCount : allocated(layer);
}

int64_t LayerManager::slotForStart(uint64_t layer, uint64_t voice) const {
    const uint64_t n = slotCount(layer);
    if (n == 0 || voice >= kMaxSlots) return -1;
    return static_cast<int64_t>(voice < n ? voice : 0);
}

int64_t LayerManager::slotOfVoice(uint64_t layer, uint64_t voice) const {
    if (layer >= kLayers || voice >= kMaxSlots) return -1;
    const LayerSlots& ls = slots[layer];
    for (uint64_t s = 0; s < ls.owner.size(); ++s)
        if (ls.owner[s] == static_cast<int8_t>(voice)) return static_cast<int64_t>(s);
    // A slot nobody took (a layer the note did not reach, or one already
    // released) still hears its own voice, as before any note.
    if (voice < slotCount(layer) && ls.owner[voice] < 0) return static_cast<int64_t>(voice);
    return -1;
}

void LayerManager::initLayers(LayerListener* target, bool legacyFlag) {
    listener = target;
    legacy = legacyFlag;
    targetMask = 0;
    for (uint64_t l = 0; l < kLayers; ++l) targetMask |= layerTargets(l);
    GenericParam& generic = GenericParam::getInstance();
    for (uint64_t l = 0; l < kLayers; ++l) {
        const LayerRecord* r = record(l);
        const uint64_t n = r ? (r->slotCount < kMaxSlots ? r->slotCount : kMaxSlots) : 0;
        LayerSlots& ls = slots[l];
        ls.amplitude.assign(n, 0.0f);
        ls.glide.assign(n, GlideState{});
        ls.delay.assign(n, DelayState{});
        ls.owner.assign(n, -1);
        for (size_t t = 0; t < kTargetCount; ++t) {
            vantor::ParameterInfo& desc = generic[targetRecord(t, r ? r->stepMask : 15)];
            ls.values[t].assign(n, desc.defaultValue);
            ls.actions[t] = std::vector<ParameterAction>();
            if (!(targetMask & kTargetBits[t])) continue;
            ls.actions[t] = std::vector<ParameterAction>(n);
            for (uint64_t s = 0; s < n; ++s)
                ls.actions[t][s].init(s | (l << 8), kTargetKinds[t], &desc, this);
        }
    }
}

void LayerManager::rebuildKeyCoverage() {
    keyCoverage.fill(0);
    for (uint64_t l = 0; l < kLayers; ++l) {
        const LayerRecord* r = record(l);
        if (!r || !r->active || r->keyLow > r->keyHigh) continue;
        for (int k = r->keyLow; k <= r->keyHigh && k < 128; ++k) keyCoverage[k] = 1;
    }
    if (listener) listener->onKeyCoverage(keyCoverage.data());
}

void LayerManager::releaseSlot(uint64_t layer, uint64_t slot) {
    LayerSlots& ls = slots[layer];
    if (listener) {
        if (layers[layer].flags & kFlagSilenceOutside) {
            ls.amplitude[slot] = 0.0f;
            listener->onLayerVoiceAmplitude(slot, layer);
        }
        listener->onLayerVoiceRelease(slot, layer);
    }
    ls.delay[slot] = DelayState{};
    ls.owner[slot] = -1;
}

void LayerManager::setTargetValues(uint64_t layer, size_t target, float value) {
    for (ParameterAction& a : slots[layer].actions[target]) a.setValueRelative(value);
}

void LayerManager::setLayerField(uint64_t layer, uint16_t field, float value) {
    LayerRecord* r = record(layer);
    if (!r || field > kAmpSteps || !std::isfinite(value)) return;
    const uint64_t n = slotCount(layer);
    auto eachSlot = [&](void (LayerListener::*report)(uint64_t, uint64_t)) {
        if (!listener) return;
        for (uint64_t s = 0; s < n; ++s) (listener->*report)(s, layer);
    };
    switch (field) {
    case kActive: {
        const bool on = value > 0.0f;
        if (r->active && !on) {
            for (uint64_t s = 0; s < allocated(layer); ++s) releaseSlot(layer, s);
        }
        r->active = on;
        if (listener) listener->onLayerActive(layer, on);
        rebuildKeyCoverage();
        break;
    }
    case kMonoRetrig:
        r->monoRetrig = value > 0.0f;
        break;
    case kKeyLow:
    case kKeyHigh:
        (field == kKeyLow ? r->keyLow : r->keyHigh) = integerPart(value) & 127;
        rebuildKeyCoverage();
        break;
    case kDelayStart:
        r->delayStart = value;
        if (value == 0.0f)
            for (DelayState& d : slots[layer].delay) d = DelayState{};
        break;
    case kTranspose:
    case kDetune: {
        const int8_t v = static_cast<int8_t>(std::clamp(integerPart(value), -128, 127));
        (field == kTranspose ? r->transpose : r->detune) = v;
        setTargetValues(layer, field == kTranspose ? kTargetTranspose : kTargetDetune, v);
        eachSlot(&LayerListener::onLayerVoicePitch);
        break;
    }
    case kAmp:
        r->amp = value;
        if (layerTargets(layer) & kTargetBits[kTargetAmp])
            setTargetValues(layer, kTargetAmp, value);
        eachSlot(&LayerListener::onLayerVoiceAmplitude);
        break;
    case kFixedFreq:
        r->fixedFreq = value > 0.0f;
        setTargetValues(layer, kTargetFixedFreq, value);
        eachSlot(&LayerListener::onLayerVoicePitch);
        break;
    case kLayerFloat10:
        r->layerFloat10 = value;
        break;
    case kGlideAmount:
        // Above 100 the exponential glide would grow instead of settling.
        r->glideAmount = value > kMaxGlideAmount ? kMaxGlideAmount : value;
        if (value == 0.0f)
            for (GlideState& g : slots[layer].glide) g = GlideState{0.0f, g.mode, kNoGlideKey};
        break;
    case kGlideMode:
        r->glideMode = static_cast<uint64_t>(integerPart(value));
        break;
    case kSlotCount: {
        // The per-slot state keeps the size it got at set-up.
        const int32_t wanted = integerPart(value);
        const uint64_t count = wanted < 0 ? 0 : static_cast<uint64_t>(wanted);
        r->slotCount = static_cast<uint8_t>(count < allocated(layer) ? count : allocated(layer));
        // Slots beyond the new count are released; a voice beyond it that
        // plays on slot 0 keeps playing there.
        for (uint64_t s = r->slotCount; s < allocated(layer); ++s)
            if (slots[layer].owner[s] >= 0) releaseSlot(layer, s);
        break;
    }
    case kAmpSteps:
        r->ampSteps = static_cast<uint8_t>(integerPart(value)) & r->stepMask;
        if (layerTargets(layer) & kTargetBits[kTargetAmpSteps])
            setTargetValues(layer, kTargetAmpSteps, r->ampSteps);
        eachSlot(&LayerListener::onLayerVoiceAmplitude);
        break;
    default:
        break;
    }
}

float LayerManager::getLayerField(uint64_t layer, uint16_t field) {
    const LayerRecord* r = record(layer);
    if (!r) {
        switch (field) {
        case kKeyHigh:
            return 127.0f;
        case kAmp:
            return 1.0f;
        case kAmpSteps:
            return 15.0f;
        default:
            return 0.0f;
        }
    }
    switch (field) {
    case kActive:
        return r->active ? 1.0f : 0.0f;
    case kMonoRetrig:
        return r->monoRetrig ? 1.0f : 0.0f;
    case kFixedFreq:
        return r->fixedFreq ? 1.0f : 0.0f;
    case kKeyLow:
        return r->keyLow;
    case kKeyHigh:
        return r->keyHigh;
    case kDelayStart:
        return r->delayStart;
    case kTranspose:
        return r->transpose;
    case kDetune:
        return r->detune;
    case kAmp:
        return r->amp;
    case kLayerFloat10:
        return r->layerFloat10;
    case kGlideAmount:
        return r->glideAmount;
    case kGlideMode:
        return static_cast<float>(r->glideMode);
    case kSlotCount:
        return r->slotCount;
    case kAmpSteps:
        return r->ampSteps;
    default:
        return 0.0f;
    }
}

void LayerManager::buildLayerParameters(std::vector<vantor::ParameterInfo>& list) {
    using P = vantor::ParameterInfo;
    list.resize(kLayers * 16);
    GenericParam& generic = GenericParam::getInstance();
    for (uint64_t l = 0; l < kLayers; ++l) {
        const LayerRecord* r = record(l);
        const uint32_t targets = layerTargets(l);
        const uint8_t stepMask = r ? r->stepMask : 15;
        const bool hasSlots = r && r->slotCount > 0;
        auto fill = [&](uint16_t k, const P& source, const char* suffix, bool copied) {
            P& p = list[l * 16 + k];
            p = source;
            char name[32];
            std::snprintf(name, sizeof name, "L%02zu %s", static_cast<size_t>(l + 1), suffix);
            p.setLabel(name);
            p.id = static_cast<uint16_t>(l * 16 + k);
            p.flags |= P::kFlagHost1 | P::kFlagHost2;
            if (copied && hasSlots) p.flags |= P::kFlagPerVoice;
        };
        auto switchRecord = [](uint16_t extraMod) {
            P p(nullptr, P::kOnOff, 0, 1, 0, P::kMathReplace, extraMod);
            p.displayMode = 3;
            return p;
        };
        fill(kActive, switchRecord(0), "Active", false);
        fill(kMonoRetrig, switchRecord(0), "Mono Retrig", false);
        fill(kDelayStart, P(nullptr, P::kInteger, 0, 100, 0, P::kMathReplace, 0), "Delay Start",
             false);
        if (targets & kTargetBits[kTargetTranspose])
            fill(kTranspose, generic[GenericParam::kTranspose], "Transpose", true);
        if (targets & kTargetBits[kTargetDetune])
            fill(kDetune, generic[GenericParam::kDetune], "Detune", true);
        if (targets & kTargetBits[kTargetAmp])
            fill(kAmp, generic[GenericParam::kAmplitude], "Amp", true);
        fill(kFixedFreq, switchRecord(0x81), "Fixed Freq", false);
        fill(kGlideAmount, P(nullptr, P::kInteger, 0, 100, 0, P::kMathReplace, 0), "Glide Amount",
             false);
        if (targets & kTargetBits[kTargetAmpSteps])
            fill(kAmpSteps, generic[targetRecord(kTargetAmpSteps, stepMask)], "Amp (steps)", true);
    }
}

uint64_t LayerManager::markAmpModulation(uint64_t id, uint16_t kind, uint8_t bits, uint8_t which) {
    const uint64_t layer = (id >> 8) & 255;
    if ((kind != 7 && kind != 14) || layer >= kLayers) return layer;
    ampMarks[which ? 0 : 1][layer] |= bits;
    return layer;
}

void LayerManager::onParameterAction(uint64_t id, uint16_t kind, float value, bool report) {
    const uint64_t layer = (id >> 8) & 255;
    const uint64_t slot = id & 255;
    if (layer >= kLayers || slot >= allocated(layer)) return;
    if (report && listener) listener->onLayerParameterModulated(layer, kind, 1);
    LayerSlots& ls = slots[layer];
    for (size_t t = 0; t < kTargetCount; ++t) {
        if (kTargetKinds[t] != kind) continue;
        ls.values[t][slot] = value;
        if (!listener) return;
        if (t == kTargetAmp || t == kTargetAmpSteps)
            listener->onLayerVoiceAmplitude(slot, layer);
        else
            listener->onLayerVoicePitch(slot, layer);
        return;
    }
}

void LayerManager::onFirstVoice(uint64_t part) {
    for (uint64_t l = 0; l < kLayers; ++l) {
        const LayerRecord* r = record(l);
        if (!r || r->part != part) continue;
        for (GlideState& g : slots[l].glide) g = GlideState{0.0f, g.mode, kNoGlideKey};
    }
}

void LayerManager::startVoice(uint64_t part, uint64_t voice, uint8_t key, uint8_t /*velocity*/,
                              uint8_t previousKey) {
    for (uint64_t l = 0; l < kLayers; ++l) {
        const LayerRecord* r = record(l);
        if (!r || r->part != part) continue;
        const int64_t slot = slotForStart(l, voice);
        if (slot < 0) continue;
        LayerSlots& ls = slots[l];
        const int8_t owner = ls.owner[slot];
        if (!r->active || key < r->keyLow || key > r->keyHigh) {
            // Silence the slot only when no other voice plays on it.
            if ((r->flags & kFlagSilenceOutside) && (owner < 0 || owner == int8_t(voice))) {
                ls.amplitude[slot] = 0.0f;
                if (listener) listener->onLayerVoiceAmplitude(slot, l);
            }
            continue;
        }
        // A voice restarted while it still holds another slot of the layer
        // leaves that one first, or its old note would never end.
        const int64_t held = slotOfVoice(l, voice);
        if (held >= 0 && held != slot && ls.owner[held] == int8_t(voice)) releaseSlot(l, held);
        ls.owner[slot] = static_cast<int8_t>(voice);
        if (r->delayStart > 0.0f) {
            ls.delay[slot] = DelayState{r->delayStart * 0.01f, 1, key};
        } else {
            ls.delay[slot] = DelayState{};
            ls.amplitude[slot] = 1.0f;
            if (listener) listener->startDelayedVoice(slot, l, key);
        }
        ls.glide[slot].key = previousKey;
    }
}

void LayerManager::retriggerVoice(uint64_t part, uint64_t voice, uint8_t key, uint8_t /*velocity*/,
                                  bool a, uint8_t flag, bool b) {
    for (uint64_t l = 0; l < kLayers; ++l) {
        const LayerRecord* r = record(l);
        if (!r || r->part != part || (r->flags & kFlagNoUpdates) || !r->active) continue;
        if (key < r->keyLow || key > r->keyHigh) continue;
        LayerSlots& ls = slots[l];
        const bool restarts = flag != 0 && (a || r->monoRetrig);
        int64_t slot = slotOfVoice(l, voice);
        if (slot < 0) {
            slot = slotForStart(l, voice);
            if (slot < 0) continue;
            // Another voice's slot is taken over only by a restart; a legato
            // move must not re-pitch a note it does not own.
            if (ls.owner[slot] >= 0 && ls.owner[slot] != int8_t(voice) && !restarts) continue;
        }
        ls.owner[slot] = static_cast<int8_t>(voice);

        GlideState& g = ls.glide[slot];
        if (r->glideAmount <= 0.0f) {
            g = GlideState{0.0f, g.mode, kNoGlideKey};
        } else {
            // Without a key to come from (the part's first note) there is
            // nothing to glide from.
            if (g.key < kNoGlideKey)
                g.cents = (g.cents / 100.0f + static_cast<float>(g.key) - key) * 100.0f;
            g.mode = r->glideMode;
            g.key = key;
        }
        if (!listener) continue;
        listener->onLayerVoicePitch(slot, l);
        if (flag == 0) continue;
        if (!legacy) {
            if (a || r->monoRetrig) listener->onLayerVoiceRetrigger(slot, l, key);
            if (b) listener->onLayerVoiceVelocity(slot, l);
        } else if (a || r->monoRetrig) {
            listener->onLayerVoiceAmplitude(slot, l);
            listener->onLayerVoiceStart(slot, l, key);
        }
    }
}

void LayerManager::releaseVoice(uint64_t part, uint64_t voice) {
    if (!listener) return;
    for (uint64_t l = 0; l < kLayers; ++l) {
        const LayerRecord* r = record(l);
        if (!r || r->part != part) continue;
        const int64_t slot = slotOfVoice(l, voice);
        if (slot >= 0) releaseSlot(l, static_cast<uint64_t>(slot));
    }
}

void LayerManager::endVoice(uint64_t part, uint64_t voice) {
    for (uint64_t l = 0; l < kLayers; ++l) {
        const LayerRecord* r = record(l);
        if (!r || r->part != part) continue;
        const int64_t slot = slotOfVoice(l, voice);
        if (slot < 0) continue;
        slots[l].delay[slot] = DelayState{};
        slots[l].owner[slot] = -1;
    }
}

void LayerManager::updateVoicePitch(uint64_t part, uint64_t voice) {
    if (!listener) return;
    for (uint64_t l = 0; l < kLayers; ++l) {
        const LayerRecord* r = record(l);
        if (!r || r->part != part || (r->flags & kFlagNoUpdates)) continue;
        const int64_t slot = slotOfVoice(l, voice);
        if (slot >= 0) listener->onLayerVoicePitch(static_cast<uint64_t>(slot), l);
    }
}

void LayerManager::updateVoiceAmplitude(uint64_t part, uint64_t voice) {
    if (!listener) return;
    for (uint64_t l = 0; l < kLayers; ++l) {
        const LayerRecord* r = record(l);
        if (!r || r->part != part || (r->flags & kFlagNoUpdates)) continue;
        const int64_t slot = slotOfVoice(l, voice);
        if (slot >= 0) listener->onLayerVoiceAmplitude(static_cast<uint64_t>(slot), l);
    }
}

void LayerManager::clearModulation() {
    for (auto& set : ampMarks) set.fill(0);
    for (LayerSlots& ls : slots)
        for (auto& actions : ls.actions) clearActionRoutes(actions);
}

uint64_t LayerManager::onQuantum(double rate) {
    if (!layers) return static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    for (uint64_t l = 0; l < kLayers; ++l) {
        const LayerRecord& r = layers[l];
        LayerSlots& ls = slots[l];
        if (r.delayStart > 0.0f) {
            for (uint64_t s = 0; s < ls.delay.size(); ++s) {
                DelayState& d = ls.delay[s];
                if (!d.pending) continue;
                if (d.remaining > 0.0f) {
                    d.remaining -= kTickSeconds;
                    continue;
                }
                d = DelayState{0.0f, 0, d.key};
                ls.amplitude[s] = 1.0f;
                if (listener) listener->startDelayedVoice(s, l, d.key);
            }
        }
        const float g = r.glideAmount;
        if (g > 0.0f) {
            const uint64_t n = slotCount(l);
            for (uint64_t s = 0; s < n; ++s) {
                GlideState& glide = ls.glide[s];
                float& c = glide.cents;
                if (c > 1.0f) {
                    if (glide.mode == 1) {
                        c -= 101.0f - g;
                        if (c < 0.0f) c = 0.0f;
                    } else if (glide.mode == 0) {
                        c *= g * 0.0098738f;
                    }
                } else if (c < -1.0f) {
                    if (glide.mode == 1) {
                        c += 101.0f - g;
                        if (c > 0.0f) c = 0.0f;
                    } else if (glide.mode == 0) {
                        c *= g * 0.0098738f;
                    }
                } else {
                    c = 0.0f;
                }
                if (listener) listener->onLayerVoicePitch(s, l);
            }
        }
    }
    const double period = rate * kTickSecondsExact + carry;
    double n = std::floor(period + 0.5);
    carry = period - n;
    if (n < 1.0) {
        // A rate too low for one sample per tick (the manager's rate not set
        // yet) must not ask to be called again at once, forever.
        n = 1.0;
        carry = 0.0;
    }
    return static_cast<uint64_t>(n);
}

float LayerManager::getSlotPitchCents(uint64_t layer, uint64_t slot) const {
    if (layer >= kLayers || allocated(layer) == 0) return 0.0f;
    if (slot >= slotCount(layer)) slot = 0;
    const LayerSlots& ls = slots[layer];
    return ls.values[kTargetTranspose][slot] * 100.0f + ls.values[kTargetDetune][slot] +
           ls.glide[slot].cents;
}

float LayerManager::getSlotFrequency(uint64_t layer, uint64_t slot, float baseFrequency) const {
    const float cents = getSlotPitchCents(layer, slot);
    return cents == 0.0f ? baseFrequency : baseFrequency * exp2f(cents * kCentsToOctaves);
}

bool LayerManager::isFixedFreq(uint64_t layer, uint64_t slot) const {
    const LayerRecord* r = record(layer);
    if (!r) return false;
    if ((targetMask & kTargetBits[kTargetFixedFreq]) && allocated(layer) > 0) {
        if (slot >= slotCount(layer)) slot = 0;
        return slots[layer].values[kTargetFixedFreq][slot] != 0.0f;
    }
    return r->fixedFreq != 0;
}

LayerManager::SlotAmplitude LayerManager::getSlotAmplitude(uint64_t layer, uint64_t slot) const {
    const LayerRecord* r = record(layer);
    if (!r || allocated(layer) == 0) return {0.0f, 1.0f};
    if (slot >= slotCount(layer)) slot = 0;
    const LayerSlots& ls = slots[layer];
    float base = 1.0f;
    if (r->flags & kFlagSilenceOutside) {
        if (!r->active) return {0.0f, 1.0f};
        if (!ampMarks[0][layer]) {
            base = ls.amplitude[slot] * r->amp;
            if (!ampMarks[1][layer]) return {base, base};
        }
    }
    const float steps = ls.values[kTargetAmpSteps][slot] / static_cast<float>(r->stepMask);
    return {steps * base * ls.values[kTargetAmp][slot], base};
}

std::vector<ParameterAction>* LayerManager::findLayerTarget(const char* name, uint64_t* layer) {
    if (!name || std::strlen(name) < 4 || name[0] != 'L') return nullptr;
    if (name[1] < '0' || name[1] > '9' || name[2] < '0' || name[2] > '9') return nullptr;
    const uint64_t nn = static_cast<uint64_t>((name[1] - '0') * 10 + (name[2] - '0'));
    if (nn < 1 || nn > kLayers) return nullptr;
    const uint64_t l = nn - 1;
    const char* field = name + 4;
    static const struct {
        const char* name;
        Target target;
    } kNames[] = {{"AMP (STEPS)", kTargetAmpSteps},
                  {"AMP", kTargetAmp},
                  {"DETUNE", kTargetDetune},
                  {"TRANSPOSE", kTargetTranspose},
                  {"FIXED FREQ", kTargetFixedFreq}};
    for (const auto& n : kNames) {
        if (std::strcmp(field, n.name) != 0) continue;
        if (!(layerTargets(l) & kTargetBits[n.target])) return nullptr;
        if (layer) *layer = l;
        return &slots[l].actions[n.target];
    }
    return nullptr;
}

} // namespace VSX
