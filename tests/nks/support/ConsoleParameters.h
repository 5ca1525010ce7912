// The console instrument's 191 parameter descriptions as the engine builds
// them for a preset version: two FM instruments of 72 records (four operator
// blocks of 16 and the channel records), the per-layer instrument choice and
// pan, the PSG noise, the LFO, the channel-3 mode and the DAC. Records that
// the engine names "dummy" are plain continuous ones. The NKS tests feed these
// to the metadata builder as the engine would.
#pragma once

#include "vantor/ParameterInfo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

inline std::vector<vantor::ParameterInfo> consoleParameters(int presetVersion) {
    using vantor::ParameterInfo;
    std::vector<ParameterInfo> table(191, ParameterInfo("dummy", 0, 0, 1, 0, 0, 0));
    auto set = [&](int index, const std::string& name, uint32_t kind, float minValue,
                   float maxValue, float defaultValue, const char* list = nullptr,
                   uint32_t displayMode = 0) {
        ParameterInfo& p = table[index];
        p = ParameterInfo(name.c_str(), kind, minValue, maxValue, defaultValue, 1, 1089);
        if (list) p.setList(list);
        p.displayMode = displayMode;
        p.id = static_cast<uint16_t>(index);
    };

    struct OperatorField {
        int field;
        const char* suffix;
        uint32_t kind;
        float minValue, maxValue;
    };
    const OperatorField fields[] = {
        {0, "Level", 1, 0, 127},  {1, "Mult", 1, 0, 15},    {2, "Detune", 1, -3, 3},
        {3, "A", 1, 0, 31},       {4, "D", 1, 0, 31},       {5, "S", 1, 0, 15},
        {6, "D2", 1, 0, 31},      {7, "R", 1, 0, 15},       {8, "TremOn", 2, 0, 1},
        {9, "SSG Env", 3, 0, 8},  {10, "KS Rate", 1, 0, 3}, {11, "Velocity", 1, 0, 7},
        {12, "KS Amp", 1, 0, 99},
    };
    const char* ssgShapes = R"(OFF|\\\\\\|\_____|\/\/\/|\-----|//////|/-----|/\/\/\|/_____)";
    const char* instruments[] = {"A", "B"};
    for (int inst = 0; inst < 2; ++inst) {
        const int base = 72 * inst;
        const std::string prefix = std::string(instruments[inst]) + ":";
        for (int op = 0; op < 4; ++op) {
            const std::string opName = prefix + "OP" + std::to_string(4 - op) + " ";
            for (const OperatorField& f : fields)
                set(base + 16 * op + f.field, opName + f.suffix, f.kind, f.minValue, f.maxValue, 0,
                    f.field == 9 ? ssgShapes : nullptr, f.field == 8 ? 3 : 0);
        }
        set(base + 64, prefix + "Pch Algorithm", 1, 0, 7, 0);
        set(base + 65, prefix + "OP4 Feedback", 1, 0, 7, 0);
        set(base + 66, prefix + "Pch Vibrato", 1, 0, 7, 0);
        set(base + 67, prefix + "Pch Tremolo", 1, 0, 3, 0);
    }

    const bool manyInstruments = presetVersion >= 1105;
    for (int layer = 1; layer <= 6; ++layer) {
        const std::string name = "L0" + std::to_string(layer);
        const char* list =
            layer < 6 ? (manyInstruments ? "A|B|C|D|E|F|G|H|I|J|K|L|M|N|O|P" : "A|B")
                      : (manyInstruments ? "A|B|DAC|C|D|E|F|G|H|I|J|K|L|M|N|O|P" : "A|B|DAC");
        set(143 + layer, name + " Instrument", 3, 0, 0, 0, list);
        set(149 + layer, name + " Pan", 1, -1, 1, 0);
    }
    set(156, "L10 Noise Type", 3, 0, 1, 0, "Long|Periodic");
    set(157, "L10 Noise Freq", 3, 0, 3, 0, "High|Med|Low|Ch3");
    set(158, "LFO Rate", 1, 0, 7, 0);
    set(159, "CH3 Mode", 1, 0, 2, 0);
    const char* ops[] = {"OP4", "OP3", "OP2", "OP1"};
    for (int k = 0; k < 4; ++k) {
        const std::string name = std::string("CH3 ") + ops[k];
        set(160 + 3 * k, name + " Coarse", 1, -120, 120, 0);
        set(161 + 3 * k, name + " Fine", 1, -100, 100, 0);
        set(162 + 3 * k, name + " Fixed", 2, 0, 1, 0, nullptr, 3);
    }
    set(183, "DAC Jitter Mode", 3, 0, 2, 0, "Off|VSYNC|Random");
    set(184, "DAC Jitter Amount", 0, 0, 1, 0);
    set(185, "DAC Resolution", 1, 1, 8, 8);
    set(186, "DAC Gain", 0, 0, 4, 1);
    set(187, "DAC Loop Mode", 3, 0, 3, 1, "Region|Continue|Loop|Future");
    set(188, "DAC MIDI Offset", 1, 0, 48, 36);
    return table;
}

} // namespace testsupport
