// One line of the modulation matrix text once read: which modulator (and
// optional control modulator) drives which destination, the curves, the
// numbers and the MATH mode by which the route joins the parameter's value.
#pragma once

#include <cstdint>
#include <string>

namespace VSX {

struct ModMatrixEntry {
    std::string source;
    std::string destination;
    std::string control;
    uint32_t sourceCurve = 0;
    uint32_t controlCurve = 0;
    float min = -9999.0f;
    float max = 9999.0f;
    float offset = 0.0f;
    float amount = 1.0f;
    uint8_t math = 2;
    uint16_t zoneMask = 0xFFFF;
};

} // namespace VSX
