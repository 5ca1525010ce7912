#include "instrument/ConsoleParameters.h"

#include <cstring>
#include <string>

namespace console {

namespace {

using P = vantor::ParameterInfo;

struct Spec {
    const char* name;
    uint32_t kind;
    uint8_t math;
    uint16_t mod;
    float min, max, def;
    const char* list;
};

// The sixteen records of one operator (fields 13-15 stay "dummy").
constexpr Spec kOperator[13] = {
    {"Level", 1, 7, 1345, 0, 127, 0, nullptr},
    {"Mult", 1, 3, 1089, 0, 15, 1, nullptr},
    {"Detune", 1, 3, 1089, -3, 3, 0, nullptr},
    {"A", 1, 1, 1089, 0, 31, 0, nullptr},
    {"D", 1, 1, 1089, 0, 31, 16, nullptr},
    {"S", 1, 1, 1089, 0, 15, 15, nullptr},
    {"D2", 1, 1, 1089, 0, 31, 31, nullptr},
    {"R", 1, 1, 1089, 0, 15, 0, nullptr},
    {"TremOn", 2, 1, 1089, 0, 1, 0, nullptr},
    // Off, then the eight SSG envelope shapes drawn in characters.
    {"SSG Env", 3, 1, 1089, 0, 8, 0,
     R"(OFF|\\\\\\|\_____|\/\/\/|\-----|//////|/-----|/\/\/\|/_____)"},
    {"KS Rate", 1, 1, 1025, 0, 3, 0, nullptr},
    {"Velocity", 1, 3, 1, 0, 7, 0, nullptr},
    {"KS Amp", 1, 7, 1, 0, 99, 0, nullptr},
};

constexpr Spec kChannel[4] = {
    {"A:Pch Algorithm", 1, 3, 1089, 0, 7, 0, nullptr},
    {"A:OP4 Feedback", 1, 3, 1089, 0, 7, 0, nullptr},
    {"A:Pch Vibrato", 1, 3, 1089, 0, 7, 0, nullptr},
    {"A:Pch Tremolo", 1, 1, 1025, 0, 3, 0, nullptr},
};

void put(P& record, const std::string& name, const Spec& s, uint16_t layerMask = 0xFFFF) {
    record = P(name.c_str(), s.kind, s.min, s.max, s.def, s.math, s.mod);
    if (s.list) record.setList(s.list);
    // The two switches show as on/off buttons.
    if (name.find("TremOn") != std::string::npos || name.find("Fixed") != std::string::npos)
        record.displayMode = 3;
    record.layerMask = layerMask;
}

} // namespace

void buildConsoleParameters(std::vector<P>& table, uint32_t version) {
    if (version == 0) version = kCurrentVersion;
    table.assign(kParameterCount, P("dummy", 0, 0, 1, 0, 0, 0));

    for (int f = 0; f < 13; ++f)
        put(table[f], std::string("A:OP4 ") + kOperator[f].name, kOperator[f]);
    for (int c = 0; c < 4; ++c) put(table[64 + c], kChannel[c].name, kChannel[c]);

    // Operators OP3, OP2, OP1 of A: copies of OP4's named records.
    for (int block = 1; block < 4; ++block)
        for (int f = 0; f < 13; ++f) {
            P& r = table[16 * block + f];
            r = table[f];
            std::string name = r.label;
            name[4] = char('4' - block);
            r.setLabel(name.c_str());
        }
    table[48].defaultValue = 127; // A:OP1 Level: the carrier of algorithm 0 sounds
    table[59].defaultValue = 4;   // A:OP1 Velocity

    // Instrument B: copies of A's named records.
    for (int i = 0; i < 72; ++i) {
        if (std::strcmp(table[i].label, "dummy") == 0) continue;
        P& r = table[72 + i];
        r = table[i];
        std::string name = r.label;
        name[0] = 'B';
        r.setLabel(name.c_str());
    }

    const bool many = version >= kManyInstrumentsVersion;
    for (int l = 0; l < 6; ++l) {
        const std::string layer = "L0" + std::to_string(l + 1);
        const uint16_t mask = uint16_t(1u << l);
        const bool dacLayer = l == 5;
        const float maxChoice = dacLayer ? (many ? 16 : 2) : (many ? 15 : 1);
        const char* list = dacLayer ? (many ? "A|B|DAC|C|D|E|F|G|H|I|J|K|L|M|N|O|P" : "A|B|DAC")
                                    : (many ? "A|B|C|D|E|F|G|H|I|J|K|L|M|N|O|P" : "A|B");
        put(table[kLayerInstrument + l], layer + " Instrument",
            {nullptr, 3, 1, 1089, 0, maxChoice, 0, list}, mask);
        put(table[kLayerPan + l], layer + " Pan", {nullptr, 1, 1, 1089, -1, 1, 0, nullptr}, mask);
    }
    put(table[kNoiseType], "L10 Noise Type", {nullptr, 3, 1, 1089, 0, 1, 0, "Long|Periodic"}, 512);
    put(table[kNoiseFreq], "L10 Noise Freq", {nullptr, 3, 1, 1089, 0, 3, 0, "High|Med|Low|Ch3"},
        512);
    put(table[kLfoRate], "LFO Rate", {nullptr, 1, 3, 1089, 0, 7, 0, nullptr}, 63);
    put(table[kCh3Mode], "CH3 Mode", {nullptr, 1, 1, 1089, 0, 2, 0, nullptr}, 4);
    for (int k = 0; k < 4; ++k) {
        const std::string op = std::string("CH3 OP") + char('4' - k);
        put(table[kCh3First + 3 * k], op + " Coarse", {nullptr, 1, 7, 1089, -120, 120, 0, nullptr},
            4);
        put(table[kCh3First + 3 * k + 1], op + " Fine",
            {nullptr, 1, 7, 1089, -100, 100, 0, nullptr}, 4);
        put(table[kCh3First + 3 * k + 2], op + " Fixed", {nullptr, 2, 1, 1025, 0, 1, 0, nullptr},
            4);
    }
    put(table[183], "DAC Jitter Mode", {nullptr, 3, 1, 1, 0, 2, 0, "Off|VSYNC|Random"}, 32);
    put(table[184], "DAC Jitter Amount", {nullptr, 0, 1, 1025, 0, 1, 0, nullptr}, 32);
    put(table[185], "DAC Resolution", {nullptr, 1, 1, 1089, 1, 8, 8, nullptr}, 32);
    put(table[186], "DAC Gain", {nullptr, 0, 1, 1025, 0, 4, 1, nullptr}, 32);
    put(table[187], "DAC Loop Mode", {nullptr, 3, 1, 1, 0, 3, 1, "Region|Continue|Loop|Future"},
        32);
    put(table[188], "DAC MIDI Offset", {nullptr, 1, 0, 0, 0, 48, 36, nullptr}, 32);

    for (uint32_t i = 0; i < kParameterCount; ++i) {
        P& r = table[i];
        if (std::strcmp(r.label, "dummy") == 0) continue;
        r.flags |= kNamedFlags;
        r.id = uint16_t(i);
        if (r.label[1] == ':' && (r.label[0] == 'A' || r.label[0] == 'B')) r.layerMask = 63;
    }
}

int32_t& shadowField(ConsoleShadow& s, uint32_t i) {
    if (i < kLayerInstrument)
        return s.instruments[i / 72].words[PatchRecord::wordOfParameter(i % 72)];
    if (i < kLayerPan) return s.layerInstrument[i - kLayerInstrument];
    if (i < kNoiseType) return s.pan[i - kLayerPan];
    switch (i) {
    case kNoiseType:
        return s.noiseType;
    case kNoiseFreq:
        return s.noiseFreq;
    case kLfoRate:
        return s.lfoRate;
    case kCh3Mode:
        return s.ch3.mode;
    default:
        break;
    }
    if (i >= kCh3First && i <= kCh3Last) {
        const uint32_t k = (i - kCh3First) / 3;
        switch ((i - kCh3First) % 3) {
        case 0:
            return s.ch3.coarse[k];
        case 1:
            return s.ch3.fine[k];
        default:
            return s.ch3.fixed[k];
        }
    }
    return s.spare;
}

void setShadowDefaults(ConsoleShadow& s, const std::vector<P>& table) {
    s = ConsoleShadow{};
    for (uint32_t i = 0; i < kParameterCount && i < table.size(); ++i) {
        if (std::strcmp(table[i].label, "dummy") == 0) continue;
        int32_t& field = shadowField(s, i);
        if (&field != &s.spare) field = int32_t(table[i].defaultValue);
    }
}

} // namespace console
