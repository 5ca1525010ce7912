// The build's product folder made the installed one: the install step's own
// command writes both preferences for it (into the test's private home), so
// a plug-in started by the test finds the real engine host with the built
// "Brevado".
#pragma once

#include <cstdlib>
#include <string>

#if defined(SX_REGISTER_COMMAND) && defined(SX_PRODUCT_DIR)
namespace testsupport {

// True when the command succeeded.
inline bool registerBuildProduct() {
    const std::string command =
        std::string("\"") + SX_REGISTER_COMMAND + "\" \"" + SX_PRODUCT_DIR + "\" > /dev/null";
    return std::system(command.c_str()) == 0;
}

} // namespace testsupport
#endif
