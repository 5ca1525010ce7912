// What the console controller tells the plug-in object, and the records the
// two share (the pixel canvas and its listener are in vgm/PixelCanvas.h). The
// plug-in object implements ChipControllerListener: parameter, layer-field
// and automation-slot values go to the host's parameter monitor or out as
// parameter events (mode 0 an outgoing event, 1 a monitored value, 2 a value
// the monitor is to watch), changed parameter ranges and the key coverage go
// to the host. Every operation has an empty default, so a listener names only
// what it handles.
#pragma once

#include <cstdint>

#include "vgm/PixelCanvas.h"

class ChipControllerListener {
public:
    virtual ~ChipControllerListener() = default;
    virtual void notifySettingChanged(uint32_t /*k*/, double /*value*/) {}
    virtual void chipParameterValue(uint64_t /*unit*/, uint32_t /*p*/, uint8_t /*mode*/,
                                    float /*value*/) {}
    virtual void layerFieldValue(uint64_t /*layer*/, uint16_t /*field*/, uint8_t /*mode*/,
                                 float /*value*/) {}
    virtual void controllerParameterValue(uint32_t /*index*/, uint8_t /*mode*/, float /*value*/) {}
    virtual void syncValue(uint32_t /*id*/, uint8_t /*mode*/, float /*value*/) {}
    virtual void automSlotValue(uint64_t /*slot*/, uint16_t /*sub*/, uint8_t /*mode*/,
                                float /*value*/) {}
    virtual void queueEvent(uint16_t /*argument*/, uint32_t /*kind*/, uint32_t /*id*/,
                            float /*value*/) {}
    // The descriptions of controller parameters first..last-1 changed.
    virtual void paramInfoChanged(uint64_t /*x*/, uint64_t /*first*/, uint64_t /*last*/) {}
    virtual void reserved8() {}
    virtual void setNameText0(const char* /*text*/) {}
    virtual void setNameText1(const char* /*text*/) {}
    virtual void setModMatrixText(const char* /*text*/) {}
    virtual void publishImageFile(const uint8_t* /*data*/, uint64_t /*size*/) {}
    // 128 bytes for the host (the key coverage of the layers).
    virtual void sendInfoBlock(const uint8_t* /*block*/) {}
    virtual void notifyPacked(void* /*record*/, uint32_t /*low*/, uint32_t /*high*/) {}
    virtual void hostRequest(void* /*b*/) {}
    virtual void setChannelGain(uint32_t /*channel*/, uint32_t /*n*/) {}
    virtual void setLowPassCutoff(uint32_t /*channel*/, double /*hz*/) {}
    virtual void setHighPassCutoff(uint32_t /*channel*/, double /*hz*/) {}
};

// Takes the host's instrument block (instruments C..P) from the
// system-exclusive extension: `size` is the record's size in bytes.
class ChipCDSysexReceiver {
public:
    virtual ~ChipCDSysexReceiver() = default;
    virtual void attachInstrumentBlock(void* record, uint64_t size, uint64_t key) = 0;
};
