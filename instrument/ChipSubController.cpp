#include "instrument/ChipSubController.h"

void ChipSubController::sendRegister(uint8_t reg, uint8_t value, uint64_t port) {
    if (mirror && port < 2) mirror->set(port, reg, value);
    if (writer) writer->writeRegister(unit, reg, value, port);
}

void ChipSubController::sendIfChanged(uint8_t reg, uint8_t value, uint64_t port) {
    if (mirror && mirror->get(port, reg) == value) return;
    sendRegister(reg, value, port);
}

void ChipSubController::sendBits(uint8_t reg, uint8_t mask, uint8_t bits, uint64_t port) {
    const uint8_t value = uint8_t((mirrored(reg, port) & ~mask) | (bits & mask));
    sendIfChanged(reg, value, port);
}
