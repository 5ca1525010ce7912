// An engine host bundle whose executable loads but does not export
// morvaneOpcode.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) int32_t notTheEngineEntry() {
    return 0;
}
