// The controller's parameter list: the bypass switch, the engine's
// automatable parameters with titles made from their engine names, and the
// MIDI pseudo-parameters; the unit tree that the names' prefixes give hosts
// that group parameters; and the re-reading of names and values when the
// engine reports a change.
//
// Engine names start with a short prefix that says what they belong to
// ("A:OP4 Attack", "L03 Volume"). With prefix naming the prefix is spelled out
// in the title ("A:Operator 4 : Attack"); without it (hosts that show units)
// the prefix becomes a path of units ("A" > "Operator 4") and the title keeps
// only the rest ("Attack").
#include <cstdio>
#include <cstring>
#include <vector>

#include "vantor/PlatformTools.h"
#include "vst3/PlugController.h"
#include "vst3/SamplerPluginConfig.h"
#include "vst3base/UString.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace vantor {
namespace {

constexpr size_t kEngineTitleLength = 127;
constexpr size_t kTitleLength = 63;

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Cuts UTF-8 text to at most `length` bytes without splitting a character.
std::string cut(const std::string& text, size_t length) {
    if (text.size() <= length) return text;
    size_t n = length;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return text.substr(0, n);
}

std::u16string u16(const std::string& text) {
    return utf8ToU16(text.c_str());
}

} // namespace

const std::map<std::string, std::string> PlugController::prefixNamesMap = {
    {"A:OP4 ", "A:Operator 4"},
    {"B:OP4 ", "B:Operator 4"},
    {"A:OP3 ", "A:Operator 3"},
    {"B:OP3 ", "B:Operator 3"},
    {"A:OP2 ", "A:Operator 2"},
    {"B:OP2 ", "B:Operator 2"},
    {"A:OP1 ", "A:Operator 1"},
    {"B:OP1 ", "B:Operator 1"},
    {"A:Pch ", "A:Patch"},
    {"B:Pch ", "B:Patch"},
    {"LFO ", "LFO"},
    {"L01 ", "FM:1"},
    {"L02 ", "FM:2"},
    {"L03 ", "FM:3"},
    {"L04 ", "FM:4"},
    {"L05 ", "FM:5"},
    {"L06 ", "FM:6"},
    {"L07 ", "Square:1"},
    {"L08 ", "Square:2"},
    {"L09 ", "Square:3"},
    {"L10 ", "Noise"},
    {"DAC ", "DAC"},
    {"CH3 ", "Channel 3"},
    {"Main ", "Main"},
    {"Arp ", "Arp"},
    {"Chorus ", "Chorus"},
};

UnitID PlugController::unitForPath(const std::string& key, const std::string& path) {
    // One unit per distinct path: "A" of "A:Operator 4" and of "A:Operator 3"
    // is the same unit.
    for (const auto& [where, id] : m_unitsByPath)
        if (where.second == path) return id;
    const size_t colon = path.rfind(':');
    const UnitID parent =
        colon == std::string::npos ? kRootUnitId : unitForPath(key, path.substr(0, colon));
    const UnitID id = static_cast<UnitID>(m_unitsById.size()) + 1;
    UnitInfo info{};
    info.id = id;
    info.parentUnitId = parent;
    toString128(info.name, path.substr(colon == std::string::npos ? 0 : colon + 1).c_str());
    info.programListId = kNoProgramListId;
    m_unitsById[id] = info;
    m_unitsByPath[{key, path}] = id;
    return id;
}

std::string PlugController::keyOfUnit(UnitID unit) const {
    for (const auto& [where, id] : m_unitsByPath)
        if (id == unit) return where.first;
    return std::string();
}

std::string PlugController::titleFor(const std::string& engineName, UnitID* unit) {
    if (unit) *unit = kRootUnitId;
    if (m_prefixNaming) {
        std::string title = engineName;
        for (const auto& [key, display] : prefixNamesMap)
            if (startsWith(title, key)) title = display + " : " + title.substr(key.size());
        return title;
    }
    for (const auto& [key, display] : prefixNamesMap) {
        if (!startsWith(engineName, key)) continue;
        if (unit) *unit = unitForPath(key, display);
        return engineName.substr(key.size());
    }
    // A name no prefix starts keeps its name, in the root unit.
    return engineName;
}

void PlugController::buildParameters(ZEFAWrapper& bridge) {
    parameters.addParameter(u"Bypass", kBypassId, nullptr, 0.0, 1,
                            Vst::ParameterInfo::kCanAutomate | Vst::ParameterInfo::kIsBypass);
    setParamNormalized(kBypassId, m_bypassFromState);

    const uint32_t count = SamplerPluginConfig.parameterCount;
    for (uint32_t id = 0; id < count; ++id) {
        vantor::ParameterInfo description;
        if (!bridge.getAutomatableParameterInfo(id, description) || !description.label ||
            !description.label[0])
            continue;
        UnitID unit = kRootUnitId;
        const std::u16string title =
            u16(cut(titleFor(description.label, &unit), kEngineTitleLength));
        const int32 automatable = Vst::ParameterInfo::kCanAutomate;
        Parameter* p = nullptr;
        switch (description.valueKind) {
        case vantor::ParameterInfo::kContinuous:
            if (description.minValue == 0.0f && description.maxValue == 1.0f)
                p = new Parameter(title.c_str(), id, nullptr, description.defaultValue, 0,
                                  automatable);
            else
                p = new RangeParameter(title.c_str(), id, nullptr, description.minValue,
                                       description.maxValue, description.defaultValue, 0,
                                       automatable);
            break;
        case vantor::ParameterInfo::kInteger: {
            const double steps = double(description.maxValue) - double(description.minValue);
            p = new RangeParameter(title.c_str(), id, nullptr, description.minValue,
                                   description.maxValue, description.defaultValue,
                                   steps > 0 && steps < 1e6 ? static_cast<int32>(steps) : 0,
                                   automatable);
            break;
        }
        case vantor::ParameterInfo::kOnOff: {
            float value = description.defaultValue;
            description.pack(value);
            p = new Parameter(title.c_str(), id, nullptr, value, 1, automatable);
            break;
        }
        case vantor::ParameterInfo::kList: {
            if (!description.list || !description.list[0]) break;
            auto* list = new StringListParameter(title.c_str(), id, nullptr,
                                                 Vst::ParameterInfo::kCanAutomate |
                                                     Vst::ParameterInfo::kIsList);
            std::vector<std::string> entries;
            PSimpleStringTokenizer(description.list, "|", entries);
            for (const std::string& entry : entries) list->appendString(u16(entry).c_str());
            p = list;
            break;
        }
        default:
            break;
        }
        if (!p) continue;
        p->setUnitID(unit);
        if (parameters.addParameter(p)) m_parameterUnits[id] = unit;
    }

    char title[kTitleLength + 1];
    for (int c = 0; c < 16; ++c) {
        std::snprintf(title, sizeof title, "Ch%02d - ChanAft", c);
        parameters.addParameter(u16(title).c_str(), kChannelPressureBase + c, nullptr, 0.0, 1, 0);
    }
    for (int c = 0; c < 16; ++c) {
        std::snprintf(title, sizeof title, "Ch%02d - PitchBend", c);
        parameters.addParameter(u16(title).c_str(), kPitchBendBase + c, nullptr, 0.0, 1, 0);
    }
    for (int c = 0; c < 16; ++c)
        for (int n = 0; n < 128; ++n) {
            std::snprintf(title, sizeof title, "Ch%02d - CC%03d", c, n);
            parameters.addParameter(u16(title).c_str(),
                                    kControlChangeBase + static_cast<ParamID>(c * 128 + n), nullptr,
                                    0.0, 1, 0);
        }
}

bool PlugController::updateParameterNames() {
    const auto h = holder();
    if (!h || !h->wrapper) return false;
    ZEFAWrapper& bridge = *h->wrapper;
    bool changed = false;
    for (const auto& [id, unit] : m_parameterUnits) {
        Parameter* p = parameters.getParameter(id);
        vantor::ParameterInfo description;
        if (!p || !bridge.getAutomatableParameterInfo(id, description) || !description.label ||
            !description.label[0])
            continue;
        const std::string name = description.label;
        std::string title;
        if (m_prefixNaming) {
            title = titleFor(name, nullptr);
        } else {
            // The parameter stays in its unit: only the prefix of the key
            // that made that unit comes off, and only when the name has it.
            const std::string key = keyOfUnit(unit);
            title = !key.empty() && name.size() >= key.size() ? name.substr(key.size()) : name;
        }
        p->setTitle(u16(cut(title, kEngineTitleLength)).c_str());
        const float value = bridge.getAutomatableParameterValue(id, true);
        if (p->setNormalized(value)) changed = true;
    }
    return changed;
}

} // namespace vantor
