#include "synth/ModMatrix.h"

#include <cstring>

#include "synth/ModAction.h"
#include "synth/SynthBase.h"
#include "vantor/PlatformTools.h"

namespace VSX {

namespace {

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// A number by the framework's decimal reader; `to` keeps its value when the
// text is not wholly a number.
void readNumber(const std::string& text, float& to) {
    float v;
    if (PStringToFloat(text.c_str(), v)) to = v;
}

// A decimal integer read as "%d" would: blanks, sign, digits; 0 without digits.
int32_t readInt(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    uint32_t v = 0; // wraps on overflow; callers keep only the low bits
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) v = v * 10u + (s[i] - '0');
    return static_cast<int32_t>(negative ? 0u - v : v);
}

uint8_t mathFromName(std::string_view name) {
    if (name == "REPLACE") return 1;
    if (name == "ACCUM") return 4;
    if (name == "SCALE") return 8;
    return 2;
}

void writeU32(uint8_t* b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void writeU16(uint8_t* b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void writeF32(uint8_t* b, size_t at, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    writeU32(b, at, bits);
}

// Flag bit 0 asks for the reset; bit 4 marks the block ready.
void markReset(uint8_t* b) {
    writeU32(b, 12, (readBlockU32(b, 12) & ~0x11u) | 0x10u);
}

} // namespace

uint32_t curveFromName(std::string_view name) {
    static constexpr const char* kNames[] = {
        "LINEAR",   "LINEAR_INV", "SQUARED",  "SQUARED_INV", "CUBE",
        "CUBE_INV", "SQRT",       "SQRT_INV", "SWITCH",      "SWITCH_INV",
    };
    for (uint32_t i = 0; i < 10; ++i)
        if (name == kNames[i]) return i;
    return 0;
}

void applyModMatrixItems(std::string_view line, ModMatrixEntry& e, bool& inverted) {
    std::string item;
    size_t start = 0;
    while (start <= line.size()) {
        size_t end = line.find(';', start);
        if (end == std::string_view::npos) end = line.size();
        item.assign(line.substr(start, end - start));
        start = end + 1;
        for (char& c : item) c = upper(c);
        const size_t eq = item.find('=');
        if (eq == std::string::npos || item.find('=', eq + 1) != std::string::npos) continue;
        const std::string_view key(item.data(), eq);
        const std::string value = item.substr(eq + 1);
        if (key == "SOURCE")
            e.source = value;
        else if (key == "SOURCE_FUNC")
            e.sourceCurve = curveFromName(value);
        else if (key == "DESTINATION")
            e.destination = value;
        else if (key == "MATH")
            e.math = mathFromName(value);
        else if (key == "CONTROL")
            e.control = value;
        else if (key == "CONTROL_FUNC")
            e.controlCurve = curveFromName(value);
        else if (key == "AMOUNT")
            readNumber(value, e.amount);
        else if (key == "OFFSET")
            readNumber(value, e.offset);
        else if (key == "MIN")
            readNumber(value, e.min);
        else if (key == "MAX")
            readNumber(value, e.max);
        else if (key == "INV")
            inverted = value == "1";
        else if (key == "TRIGGER_ZONE")
            e.zoneMask = static_cast<uint16_t>(1u << (readInt(value) & 31));
    }
}

std::vector<ModMatrixEntry> parseModMatrixText(std::string_view text) {
    std::vector<ModMatrixEntry> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        // CR LF ends one line, not two.
        start =
            end + ((end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);
        if (line.empty()) continue;
        ModMatrixEntry e;
        bool inverted = false;
        applyModMatrixItems(line, e, inverted);
        if (e.source.empty() || e.destination.empty()) continue;
        if (inverted) {
            if (e.amount < 0.0f) continue;
            e.amount = -e.amount;
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

bool resolveModSource(SynthBase& synth, uint64_t part, const std::string& name, bool perVoice,
                      ModSourceSlots& out) {
    out.fill(nullptr);
    PartModBank* b = synth.bank(part);
    if (!b) return false;
    constexpr size_t kVoices = PartModBank::kVoices;
    auto all = [&](Modulator* m) {
        out.fill(m);
        return true;
    };
    // Per voice: voice v's own; otherwise `single`.
    auto each = [&](auto& poly, Modulator* single) {
        for (size_t v = 0; v < kVoices; ++v) out[v] = perVoice ? &poly[v] : single;
        return true;
    };
    static constexpr const char* kExpressions[] = {
        "EXP_VOLUME",     "EXP_PAN",        "EXP_TUNING",   "EXP_VIBRATO",
        "EXP_EXPRESSION", "EXP_BRIGHTNESS", "EXP_PRESSURE", "EXP_EXTRA",
    };
    for (size_t k = 0; k < PartModBank::kExpressions; ++k) {
        if (name != kExpressions[k]) continue;
        if (!perVoice) return false;
        return each(b->expression[k], nullptr);
    }
    if (name == "PB") return all(&b->pitchBend);
    if (name == "PB_POS") return all(&b->pitchBendPos);
    if (name == "PB_NEG") return all(&b->pitchBendNeg);
    if (name == "CP") return all(&b->channelPressure);
    if (name == "PC") return all(&b->programChange);
    if (name == "POLYAFT") return each(b->polyAftertouch, &b->polyAftertouch[0]);
    if (name == "POLYALT") return each(b->polyAlt, &b->monoAlt);
    if (name == "MONOALT") return all(&b->monoAlt);
    if (name == "POLYKT") return each(b->polyKeyTrack, &b->monoKeyTrack);
    if (name == "MONOKT") return all(&b->monoKeyTrack);
    if (name == "POLYKEY") return each(b->polyKey, &b->monoKey);
    if (name == "MONOKEY") return all(&b->monoKey);
    if (name == "POLYVEL") return each(b->polyVelocity, &b->monoVelocity);
    if (name == "MONOVEL") return all(&b->monoVelocity);
    if (name == "POLYRAND") return each(b->polyRandom, &b->monoRandom);
    if (name == "MONORAND") return all(&b->monoRandom);
    if (name.size() >= 3 && startsWith(name, "CC")) {
        const int32_t n = readInt(std::string_view(name).substr(2));
        return all(synth.useControllerModulator(part, static_cast<uint8_t>(n & 127)));
    }
    // The MPE zones feed parts 0 and 1 only.
    Modulator* (*pick)(SynthBase&, uint64_t, uint64_t) = nullptr;
    if (name == "MPE_PB")
        pick = [](SynthBase& s, uint64_t p, uint64_t v) -> Modulator* {
            return s.mpePitchBendModulator(p, v);
        };
    else if (name == "MPE_CP")
        pick = [](SynthBase& s, uint64_t p, uint64_t v) -> Modulator* {
            return s.mpePressureModulator(p, v);
        };
    else if (name == "MPE_CC74")
        pick = [](SynthBase& s, uint64_t p, uint64_t v) -> Modulator* {
            return s.mpeTimbreModulator(p, v);
        };
    if (!pick || part >= SynthBase::kMpeParts) return false;
    for (size_t v = 0; v < kVoices; ++v) out[v] = pick(synth, part, perVoice ? v : 0);
    return true;
}

bool stepSourceIndex(const std::string& name, uint64_t& index) {
    if (name.size() < 5 || !startsWith(name, "STEP")) return false;
    uint64_t v = 0;
    size_t i = 4;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        v = v * 10 + static_cast<uint64_t>(name[i] - '0');
        if (v > 0xFFFFFFFFull) v = 0xFFFFFFFFull; // far past any slot
    }
    if (i == 4) return false;
    index = v;
    return true;
}

bool getModSourceRange(const std::string& name, float* min, float* max) {
    struct Range {
        const char* name;
        float min, max;
    };
    static constexpr Range kRanges[] = {
        {"PB", -1, 1},       {"PB_POS", 0, 1},      {"PB_NEG", 0, 1},      {"CP", 0, 1},
        {"PC", 0, 127},      {"POLYKT", -127, 127}, {"MONOKT", -127, 127}, {"POLYKEY", 0, 127},
        {"MONOKEY", 0, 127}, {"POLYVEL", 0, 1},     {"MONOVEL", 0, 1},     {"POLYRAND", 0, 1},
        {"MONORAND", 0, 1},  {"MPE_PB", -1, 1},     {"MPE_CP", 0, 1},      {"MPE_CC74", 0, 1},
    };
    auto give = [&](float lo, float hi) {
        if (min) *min = lo;
        if (max) *max = hi;
        return true;
    };
    for (const Range& r : kRanges)
        if (name == r.name) return give(r.min, r.max);
    if (name.size() > 4 && startsWith(name, "EXP_")) return give(0, 1);
    if (name.size() >= 3 && startsWith(name, "CC")) return give(0, 1);
    if (name.size() >= 4 && startsWith(name, "STEP")) return give(-128, 127);
    return false;
}

void resetStepBlock(uint8_t* b, size_t size) {
    if (!b || size < StepBlock::kSize) return;
    writeU32(b, 0, StepBlock::kId);
    writeU32(b, 4, 64);
    markReset(b);
    writeU32(b, 32, 0x7F0000);
    writeU16(b, 36, 32);
    writeU16(b, 38, 0);
    std::memset(b + StepBlock::kStepsOffset, 0, StepBlock::kSteps);
}

void resetCurveBlock(uint8_t* b, size_t size) {
    if (!b || size < CurveBlock::kSize || !(readBlockU32(b, 12) & 1)) return;
    writeU32(b, 0, CurveBlock::kId);
    writeU32(b, 4, CurveBlock::kDataOffset);
    writeU32(b, 8, 1);
    writeU32(b, 32, 5);
    std::memset(b + CurveBlock::kDataOffset, 0, CurveBlock::kSize - CurveBlock::kDataOffset);
    struct Point {
        float time, level, curvature;
        uint8_t type;
    };
    // Attack, decay, sustain, release; -10.3616 is stored as 0xC125C91D.
    float bend;
    const uint32_t bendBits = 0xC125C91Du;
    std::memcpy(&bend, &bendBits, sizeof bend);
    const Point points[5] = {
        {0.0f, 0.0f, 0.0f, 0xFE}, {0.4f, 1.0f, 0.0f, 0xFF}, {0.3f, 0.6f, bend, 10},
        {0.3f, 0.6f, 0.0f, 0xFE}, {1.0f, 0.0f, bend, 10},
    };
    for (size_t i = 0; i < 5; ++i) {
        const size_t at = CurveBlock::kSegmentsOffset + i * CurveBlock::kSegmentSize;
        writeF32(b, at, points[i].time);
        writeF32(b, at + 4, points[i].level);
        writeF32(b, at + 8, points[i].curvature);
        writeU32(b, at + 12, points[i].type);
    }
    markReset(b);
}

} // namespace VSX
