// The console controller as the plug-in object creates and drives it: the
// factory that names its class (MD_ctrl), and the controller operations that
// lie beyond the ChipController face (media opening, the instrument and
// master commands, the system-exclusive receiver).
#include "instrument/ChipWrap.h"
#include "instrument/MD_ctrl.h"
#include "synth/SynthBase.h"

namespace acme {

std::unique_ptr<ChipController> makeChipController(std::vector<ChipEmu*>* units,
                                                   ChipControllerListener* listener) {
    return std::make_unique<MD_ctrl>(units, listener);
}

bool ChipWrap::controllerOpenMedia(uint32_t slot, const char* path, uint64_t first) {
    return controller && path && controller->openMedia(slot, path, first);
}

// Both commands lock the mutex handed to them for their whole run.
void ChipWrap::controllerCommand(uint32_t id, double value) {
    if (synth) synth->command(id, &mutex, value);
}

void ChipWrap::controllerMasterCommand(uint32_t id, double value) {
    if (synth) synth->masterCommand(id, &mutex, value);
}

void ChipWrap::controllerAttachSysex(void* record, uint64_t size, uint32_t key) {
    if (auto* receiver = dynamic_cast<ChipCDSysexReceiver*>(controller.get()))
        receiver->attachInstrumentBlock(record, size, key);
}

} // namespace acme
