// The console instrument's 191 parameter descriptions as the engine builds
// them for a preset version; the NKS tests feed them to the metadata builder
// as the engine would.
#pragma once

#include <vector>

#include "instrument/ConsoleParameters.h"
#include "vantor/ParameterInfo.h"

namespace testsupport {

inline std::vector<vantor::ParameterInfo> consoleParameters(int presetVersion) {
    std::vector<vantor::ParameterInfo> table;
    console::buildConsoleParameters(table, static_cast<uint32_t>(presetVersion));
    return table;
}

} // namespace testsupport
