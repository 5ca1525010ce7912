// The controller's side of the automation slots and the modulation-matrix
// parser. The slots, their per-part mod actions and the parser live with
// the synth base; these operations are where the controller reaches them.
// Until the slots and the parser are bound here, no "STEP" source and no
// matrix route exists: parsing only clears the routes, and the slot
// operations find nothing to do.
#include "synth/SynthController.h"

namespace VSX {

void SynthController::parseModMatrix() {
    clearModRoutes();
}

void SynthController::installModRoute(uint64_t /*part*/, std::vector<ParameterAction>& /*actions*/,
                                      const ModMatrixEntry& /*entry*/) {}

void SynthController::initAutomSlotParams(uint64_t /*slot*/, uint64_t /*n*/,
                                          AutomSlotListener* /*listener*/) {}

void SynthController::triggerAutomSlots(uint64_t /*part*/, uint64_t /*voice*/) {}

void SynthController::releaseAutomSlots(uint64_t /*part*/, uint64_t /*voice*/) {}

void SynthController::rescheduleAutomSlots(uint64_t /*part*/, uint64_t /*voiceCount*/) {}

void SynthController::setAutomSlotActive(uint64_t /*slot*/, bool /*on*/) {}

void SynthController::setAutomSlotParam(uint64_t /*slot*/, uint16_t /*field*/, float /*value*/) {}

float SynthController::getAutomSlotParam(uint64_t /*slot*/, uint16_t /*field*/) {
    return 0.0f;
}

} // namespace VSX
