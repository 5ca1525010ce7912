// What the processor shares with the controller: the engine bridge, the
// transport of the current block, the running sample count, the parameter the
// engine's own editor is editing and the bypass switch. The controller gets
// the holder's address and reaches the bridge through it. The edited id and
// the bypass switch are written on one thread and read on another without a
// lock; they are atomics so that a read never sees a torn value.
#pragma once

#include <atomic>
#include <cstdint>

#include "vantor/SyncInfo.h"
#include "vst3/ZEFAWrapper.h"

namespace vantor {

class ZEFAWrapperHolder {
public:
    ZEFAWrapperHolder() = default;
    // Deletes the transport, then the bridge.
    virtual ~ZEFAWrapperHolder();

    ZEFAWrapperHolder(const ZEFAWrapperHolder&) = delete;
    ZEFAWrapperHolder& operator=(const ZEFAWrapperHolder&) = delete;

    // Notifications of older plug-in formats; nothing to do here.
    virtual void ZEFASlotChangeLEGACY(int) {}
    virtual void ZEFAParamChangeLEGACY(int, float) {}
    virtual void ZEFALatencyChangeLEGACY(int) {}

    ZEFAWrapper* wrapper = nullptr;           // owned, may be null
    SyncInfo* syncInfo = nullptr;             // owned, may be null
    int64_t sampleCounter = 0;                // frames of every processed block
    std::atomic<int32_t> editedParameter{-1}; // -1: none
    std::atomic<bool> bypass{false};
};

} // namespace vantor
