// `IComponent`: the processing side of a plug-in as the host first sees it:
// which controller class belongs to it, its buses, activation and its state.
#pragma once

#include <cstddef>

#include "vst3base/IPluginFactory.h"
#include "vst3base/VstTypes.h"

namespace Steinberg {
class IBStream;
}

namespace Steinberg::Vst {

// One bus as the host lists it (276 bytes).
struct BusInfo {
    enum BusFlags : uint32 {
        kDefaultActive = 1 << 0,
        kIsControlVoltage = 1 << 1,
    };

    MediaType mediaType;
    BusDirection direction;
    int32 channelCount;
    String128 name;
    BusType busType;
    uint32 flags;
};

// One routing question or answer (12 bytes).
struct RoutingInfo {
    MediaType mediaType;
    int32 busIndex;
    int32 channel;
};

class IComponent : public IPluginBase {
public:
    virtual tresult getControllerClassId(TUID classId) = 0;
    virtual tresult setIoMode(IoMode mode) = 0;
    virtual int32 getBusCount(MediaType type, BusDirection dir) = 0;
    virtual tresult getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) = 0;
    virtual tresult getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
    virtual tresult activateBus(MediaType type, BusDirection dir, int32 index, TBool state) = 0;
    virtual tresult setActive(TBool state) = 0;
    virtual tresult setState(IBStream* state) = 0;
    virtual tresult getState(IBStream* state) = 0;

    static constexpr FUID iid{0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802};

protected:
    ~IComponent() = default;
};

static_assert(sizeof(BusInfo) == 276 && offsetof(BusInfo, channelCount) == 8 &&
              offsetof(BusInfo, name) == 12 && offsetof(BusInfo, busType) == 268 &&
              offsetof(BusInfo, flags) == 272);
static_assert(sizeof(RoutingInfo) == 12 && offsetof(RoutingInfo, channel) == 8);

} // namespace Steinberg::Vst
