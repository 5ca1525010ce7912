// The text of the modulation matrix and what it names. The host hands the
// synth a plain text, one route a line: items "KEY=VALUE" separated by ";",
// upper-cased before they are read (SOURCE, SOURCE_FUNC, DESTINATION, MATH,
// CONTROL, CONTROL_FUNC, AMOUNT, OFFSET, MIN, MAX, INV, TRIGGER_ZONE). This
// file reads the text into entries, turns source names into the modulators
// of a part (banks and MPE zones), gives the nominal range of a source, and
// writes the default contents of the host's step and curve data blocks. The
// synth base installs the entries (SynthBase::parseModMatrix).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "synth/ModMatrixEntry.h"

namespace VSX {

class Modulator;
class SynthBase;

// The modulators one source name stands for, one per part voice.
using ModSourceSlots = std::array<Modulator*, 6>;

// Curve codes by name: "LINEAR_INV" 1 ... "SWITCH_INV" 9; anything else 0.
uint32_t curveFromName(std::string_view name);

// Reads one line's items into an entry that starts from the defaults. The
// INV flag is returned apart; the caller decides what it does to AMOUNT.
void applyModMatrixItems(std::string_view line, ModMatrixEntry& entry, bool& inverted);

// Every usable line of a text: lines at CR, LF or CR LF, empty ones skipped;
// lines without source or destination, or inverted with a negative AMOUNT,
// dropped; an inverted AMOUNT negated. Any length and any bytes.
std::vector<ModMatrixEntry> parseModMatrixText(std::string_view text);

// The modulators of a bank or MPE source for a destination with one action
// per voice (perVoice) or one action; false when the name is neither.
bool resolveModSource(SynthBase& synth, uint64_t part, const std::string& name, bool perVoice,
                      ModSourceSlots& out);

// The slot index of a "STEP" source name ("STEP" and decimal digits); false
// for any other name.
bool stepSourceIndex(const std::string& name, uint64_t& index);

// The nominal range of a source name; false for names without one.
bool getModSourceRange(const std::string& name, float* min, float* max);

// Writes the default step block (kind, header, an empty step table) into a
// block of `size` bytes; nothing when the block is smaller than the layout.
void resetStepBlock(uint8_t* block, size_t size);
// Writes the default curve (five segments) when the block's flag bit 0 asks
// for it; nothing when the block is smaller than the layout.
void resetCurveBlock(uint8_t* block, size_t size);

} // namespace VSX
