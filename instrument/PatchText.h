// Instrument text formats read into a PatchRecord:
// - OPM text (the VOPM instrument bank format): "@:<number> <name>" opens an
//   instrument, then "LFO:", "CH:" (pan, FL, CON, AMS, PMS, SLOT, NE) and one
//   line per operator "M1:", "C1:", "M2:", "C2:" (AR, D1R, D2R, RR, D1L, TL,
//   KS, MUL, DT1, DT2, AMS-EN); "//" starts a comment. The OPM has no SSG-EG,
//   so every operator read gets it off.
// - The engine host's preset text ("morvanep"): an XML-like text whose target
//   line <Target name="com.Vantor.Emulator.MD"> is followed by one
//   <Param id="i" value="v"/> item per parameter index 0-71, in order.
// Both readers clamp what they take to the record's ranges and read any run
// of digits without overflowing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "instrument/PatchRecord.h"

// Reads instrument `number` of an OPM bank. 1 when it was found with its "CH"
// line, 0 otherwise (the record may then hold some of its operator lines).
int readOpmPatch(PatchRecord& record, const char* text, size_t size, int32_t number);
// Reads the parameter items that follow the target line, index 0 upwards, up
// to the first missing or out-of-order item (that index's field becomes 0).
// Without the target line the record stays untouched.
void importXmlPatch(PatchRecord& record, std::string_view text);
