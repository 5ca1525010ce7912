#include "vgm/VGMXVisitor.h"

#include "vgm/VGMX.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace VGM {

namespace {

// A number as scanf's "%d", "%u" or "%x" reads it; 0 when it does not parse.
int64_t parseNumber(const std::string& text, int base, bool& ok) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, base);
    ok = end != begin;
    return ok ? value : 0;
}

uint8_t low8(const std::string& text, int base) {
    bool ok = false;
    return static_cast<uint8_t>(parseNumber(text, base, ok));
}

// Eight characters, most significant bit first; '1' is a set bit.
bool parseBits(const std::string& text, uint8_t& out) {
    if (text.size() != 8) return false;
    out = 0;
    for (char c : text) out = static_cast<uint8_t>((out << 1) | (c == '1' ? 1 : 0));
    return true;
}

} // namespace

VGMXVisitor::VGMXVisitor(const std::string& path, MediaBudget* budget)
    : budget(budget), documentPath(path) {}

bool VGMXVisitor::visitStartElement(const char* name) {
    elementIsOurs = std::string(name) == "Chip";
    if (elementIsOurs) elementKind = kChip;
    return elementIsOurs;
}

bool VGMXVisitor::visitEmptyElement(const char* name) {
    elementIsOurs = false;
    if (name[0] == 0 || name[1] != 0) return false;
    switch (name[0]) {
    case 'W':
        elementKind = kW;
        break;
    case 'R':
        elementKind = kR;
        break;
    case 'D':
        elementKind = kD;
        break;
    case 'I':
        elementKind = kI;
        break;
    default:
        return false;
    }
    elementIsOurs = true;
    return true;
}

bool VGMXVisitor::visitAttributes(const vantor::XMLAttributeList& attributes) {
    // The attributes of an element that is not ours (a wrapper, a comment
    // element, <W> written as a start tag) are no command of the chip.
    if (!elementIsOurs) return false;
    elementIsOurs = false;
    if (elementKind == kChip) return declareChip(attributes);
    if (elementKind >= kW && elementKind <= kI) return appendCommand(attributes);
    return false;
}

MediaChipType VGMXVisitor::freeCode(MediaChipType declared) const {
    const auto& chips = trackRecord.chips;
    if (!chips.count(declared)) return declared;
    MediaChipType first = 0, last = 0;
    if (declared == kChipSN76489) {
        first = 1, last = 3;
    } else if (declared >= 4 && declared <= 15) {
        first = last = declared + kChipSecondOffset;
    } else if (declared == kChipAY8910) {
        first = 32, last = 35;
    } else if (declared == kChipDacStream0) {
        first = 85, last = 99;
    } else {
        return kChipNone;
    }
    for (MediaChipType code = first; code <= last; ++code)
        if (!chips.count(code)) return code;
    return kChipNone;
}

bool VGMXVisitor::declareChip(const vantor::XMLAttributeList& attributes) {
    MediaChipRecord chip; // type 100, rate 44100, clock 0
    int64_t clock = 0, rate = 44100;
    std::string typeName;
    for (const vantor::XMLAttribute& a : attributes) {
        bool ok = false;
        if (a.name == "id") {
            if (a.value.empty() || !std::isdigit(static_cast<unsigned char>(a.value[0]))) {
                currentChip = nullptr; // its commands are not another chip's
                return false;
            }
        } else if (a.name == "type") {
            typeName = a.value;
            chip.type = chipTypeForName(a.value);
        } else if (a.name == "clock") {
            clock = static_cast<int32_t>(parseNumber(a.value, 10, ok));
        } else if (a.name == "rate") {
            rate = static_cast<int32_t>(parseNumber(a.value, 10, ok));
        }
    }
    if (chip.type == kChipNone) {
        currentChip = nullptr;
        return false;
    }
    // Ticks are converted to time by dividing by the rate: a rate of 0 or
    // below, or a negative clock, leaves nothing that can be played.
    if (rate <= 0 || clock < 0) {
        refusedDocument = true;
        if (refusal.empty())
            refusal = "VGMX: chip " + typeName + " has a " +
                      (rate <= 0 ? "command rate of " + std::to_string(rate)
                                 : "clock of " + std::to_string(clock)) +
                      "; the document cannot be played\n";
        currentChip = nullptr;
        return false;
    }
    chip.clock = static_cast<uint32_t>(clock);
    chip.commandRate = static_cast<int32_t>(rate);

    const MediaChipType code = freeCode(chip.type);
    if (code == kChipNone) {
        // Every code of the type is taken: a further chip of the type of
        // the current one joins it; any other has no record to receive its
        // commands.
        if (currentChip && currentDeclared == chip.type) return true;
        currentChip = nullptr;
        return false;
    }
    const MediaChipType declared = chip.type;
    chip.type = code;
    currentType = code;
    currentDeclared = declared;
    currentChip = &trackRecord.chips.emplace(code, std::move(chip)).first->second;
    return true;
}

bool VGMXVisitor::appendCommand(const vantor::XMLAttributeList& attributes) {
    if (!currentChip) {
        ++droppedCommands;
        return false;
    }
    static const uint8_t kLetters[] = {0, 0, 'W', 'R', 'D', 'I'};
    MediaCommand command{0, kLetters[elementKind], 0, 0, 0};
    for (const vantor::XMLAttribute& a : attributes) {
        if (a.name == "dt") {
            command.delta = static_cast<uint32_t>(std::strtoull(a.value.c_str(), nullptr, 10));
        } else if (a.name == "r") {
            command.reg = low8(a.value, 10);
        } else if (a.name == "hr") {
            command.reg = low8(a.value, 16);
        } else if (a.name == "v") {
            command.value = low8(a.value, 10);
        } else if (a.name == "hv") {
            command.value = low8(a.value, 16);
        } else if (a.name == "bv") {
            parseBits(a.value, command.value);
        } else if (a.name == "p") {
            command.port = low8(a.value, 10);
        }
    }
    if (budget && !budget->makeRoom(currentChip->commands, 1)) return false;
    currentChip->commands.push_back(command);
    return true;
}

std::string VGMXVisitor::diagnostics() const {
    std::string text = refusal;
    if (droppedCommands)
        text += "VGMX: " + std::to_string(droppedCommands) +
                " commands without a declared chip were dropped\n";
    return text;
}

} // namespace VGM
