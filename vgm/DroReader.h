// DRO files: the OPL register logs DOSBox writes ("DOSBox Raw OPL"). Two
// incompatible versions exist. Version 0.1 (DOSBox up to 0.72) stores byte
// codes: delays, a bank switch between the two register sets, and register
// writes. Version 2.0 stores (code, value) pairs whose code indexes a
// register table in the header, bit 7 choosing the bank, with two codes
// reserved for short and long delays. Time is counted in milliseconds.
#pragma once

#include <string>

namespace VGM {

class VGMX;

// Reads the DRO file at `path` into one OPL2 or OPL3 chip record of the
// collection's track. False for a missing file, a wrong tag or version, a
// header longer than the file or an unknown hardware type.
bool readDroFile(VGMX& collection, const std::string& path);

} // namespace VGM
