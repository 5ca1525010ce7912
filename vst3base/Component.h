// The processing half as the host lists it: `IComponent` on top of
// ComponentBase, holding the audio and event buses the derived plug-in adds in
// `initialize`, their activation, and the class id of its controller. State is
// left to the derived class (getState/setState answer kNotImplemented).
#pragma once

#include <string>
#include <vector>

#include "vst3base/ComponentBase.h"
#include "vst3base/IComponent.h"

namespace Steinberg::Vst {

// One bus of the component.
struct Bus {
    std::u16string name;
    MediaType mediaType = kAudio;
    BusDirection direction = kInput;
    BusType busType = kMain;
    uint32 flags = BusInfo::kDefaultActive;
    int32 channelCount = 0;
    SpeakerArrangement arrangement = SpeakerArr::kEmpty; // audio buses only
    bool active = false;
};

class Component : public ComponentBase, public IComponent {
public:
    Component() = default;

    tresult initialize(FUnknown* context) override;
    tresult terminate() override;

    tresult getControllerClassId(TUID classId) override;
    tresult setIoMode(IoMode mode) override;
    int32 getBusCount(MediaType type, BusDirection dir) override;
    tresult getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& info) override;
    tresult getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) override;
    tresult activateBus(MediaType type, BusDirection dir, int32 index, TBool state) override;
    tresult setActive(TBool state) override;
    tresult setState(IBStream* state) override;
    tresult getState(IBStream* state) override;

    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_FORWARD(ComponentBase)

    // Names the controller class the host creates for this component.
    void setControllerClass(const FUID& cid) { controllerClass_ = cid; }

    Bus* addAudioInput(const TChar* name, SpeakerArrangement arr, BusType type = kMain,
                       uint32 flags = BusInfo::kDefaultActive);
    Bus* addAudioOutput(const TChar* name, SpeakerArrangement arr, BusType type = kMain,
                        uint32 flags = BusInfo::kDefaultActive);
    Bus* addEventInput(const TChar* name, int32 channels = 16, BusType type = kMain,
                       uint32 flags = BusInfo::kDefaultActive);
    Bus* addEventOutput(const TChar* name, int32 channels = 16, BusType type = kMain,
                        uint32 flags = BusInfo::kDefaultActive);
    // The bus list of a media type and direction; null for unknown values.
    std::vector<Bus>* getBusList(MediaType type, BusDirection dir);
    void removeAllBusses();

protected:
    FUID controllerClass_;
    bool hasControllerClass() const { return !(controllerClass_ == FUID()); }

    std::vector<Bus> audioInputs_;
    std::vector<Bus> audioOutputs_;
    std::vector<Bus> eventInputs_;
    std::vector<Bus> eventOutputs_;
};

} // namespace Steinberg::Vst
