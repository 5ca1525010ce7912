// What the console controller tells the plug-in object that owns it: changed
// wrapper settings, values for the host's parameter monitor or its event list
// (the "value feeds", keyed by engine id), changed parameter descriptions, the
// name texts and the modulation-matrix text to show, an image file to
// publish, the information block, and per-channel output gain and filter
// cutoffs. The controller calls these from inside processing or a locked host
// command, so none of them takes a lock.
//
// A value feed's mode says where the value goes: 0 the host's event list, 1
// the parameter monitor (only when it changed), 2 the monitor's list of keys
// to watch.
#pragma once

#include <cstdint>

class ChipControllerListener {
public:
    // 0: wrapper setting k changed to `value` (queued as engine id 256 + k).
    virtual void notifySettingChanged(uint32_t k, float value) = 0;
    // 1-5: value feeds for chip-unit parameters, layer fields, controller
    // parameters, host timing values and automation-slot sub-parameters.
    virtual void chipParameterValue(uint64_t unit, uint16_t parameter, uint8_t mode,
                                    float value) = 0;
    virtual void layerFieldValue(uint64_t layer, uint16_t field, uint8_t mode, float value) = 0;
    virtual void controllerParameterValue(uint64_t index, uint8_t mode, float value) = 0;
    virtual void syncValue(uint64_t id, uint8_t mode, float value) = 0;
    virtual void automSlotValue(uint64_t slot, uint16_t sub, uint8_t mode, float value) = 0;
    // 6: one outgoing event for the host.
    virtual void queueEvent(uint16_t argument, uint32_t kind, uint32_t id, float value) = 0;
    // 7: controller parameters first..last have new descriptions.
    virtual void paramInfoChanged(uint64_t x, uint64_t first, uint64_t last) = 0;
    // 8: unused.
    virtual void reservedListener8() {}
    // 9-11: texts for the host's name table entries 0 and 1 and the matrix.
    virtual void setNameText0(const char* text) = 0;
    virtual void setNameText1(const char* text) = 0;
    virtual void setModMatrixText(const char* text) = 0;
    // 12: image bytes published as a ".png" file through the load-file record.
    virtual void publishImageFile(const void* data, uint64_t size) = 0;
    // 13: the 128-byte information block.
    virtual void sendInfoBlock(const void* block) = 0;
    // 14: an extension record changed; low and high form the host's argument.
    virtual void notifyPacked(void* record, uint32_t low, uint32_t high) = 0;
    // 15: a request to the host with the caller's argument.
    virtual void hostRequest(void* argument) = 0;
    // 16-18: output gain 1 / (n + 1) and the low- and high-pass cutoffs of
    // one output channel (a negative cutoff selects the default).
    virtual void setChannelGain(uint32_t channel, uint32_t n) = 0;
    virtual void setLowPassCutoff(uint32_t channel, double hz) = 0;
    virtual void setHighPassCutoff(uint32_t channel, double hz) = 0;

protected:
    ~ChipControllerListener() = default;
};
