// The console controller as the plug-in object creates and drives it: the
// factory that names its class, and the controller operations that lie
// beyond the ChipController face (media opening, the instrument and master
// commands, the system-exclusive receiver).
#include "instrument/ChipWrap.h"

namespace acme {

namespace {

// The controller until the console instrument's own is built: it renders
// the six voice units as they are programmed through their registers (the
// media unit joins when media plays).
class UnitController : public ChipController {
public:
    using ChipController::ChipController;
    void resetForVersion(uint32_t) override {
        for (size_t i = 0; i < kVoiceUnits; ++i) unitEnabled[i] = 1;
    }
    static constexpr size_t kVoiceUnits = 6;
};

} // namespace

std::unique_ptr<ChipController> makeChipController(std::vector<ChipEmu*>* units,
                                                   ChipControllerListener* listener) {
    return std::make_unique<UnitController>(units, listener);
}

bool ChipWrap::controllerOpenMedia(uint32_t slot, const char* path) {
    return controller && path && controller->openMedia(slot, path);
}

void ChipWrap::controllerCommand(uint32_t, double) {}

void ChipWrap::controllerMasterCommand(uint32_t, double) {}

void ChipWrap::controllerAttachSysex(void* record, uint64_t size, uint32_t key) {
    if (auto* receiver = dynamic_cast<ChipCDSysexReceiver*>(controller.get()))
        receiver->attachInstrumentBlock(record, size, key);
}

} // namespace acme
