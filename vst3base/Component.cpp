// IComponent: buses, activation and the controller's class id.
#include "vst3base/Component.h"

#include "vst3base/UString.h"

namespace Steinberg::Vst {

namespace {
Bus makeBus(const TChar* name, MediaType media, BusDirection dir, BusType type, uint32 flags,
            int32 channels, SpeakerArrangement arr) {
    Bus bus;
    bus.name = name ? std::u16string(name) : std::u16string();
    bus.mediaType = media;
    bus.direction = dir;
    bus.busType = type;
    bus.flags = flags;
    bus.channelCount = channels;
    bus.arrangement = arr;
    bus.active = (flags & BusInfo::kDefaultActive) != 0;
    return bus;
}
} // namespace

tresult Component::initialize(FUnknown* context) {
    return ComponentBase::initialize(context);
}

tresult Component::terminate() {
    removeAllBusses();
    return ComponentBase::terminate();
}

tresult Component::getControllerClassId(TUID classId) {
    if (!classId) return kInvalidArgument;
    if (!hasControllerClass()) return kResultFalse;
    controllerClass_.toTUID(classId);
    return kResultOk;
}

tresult Component::setIoMode(IoMode) {
    return kNotImplemented;
}

std::vector<Bus>* Component::getBusList(MediaType type, BusDirection dir) {
    if (type == kAudio)
        return dir == kInput ? &audioInputs_ : dir == kOutput ? &audioOutputs_ : nullptr;
    if (type == kEvent)
        return dir == kInput ? &eventInputs_ : dir == kOutput ? &eventOutputs_ : nullptr;
    return nullptr;
}

int32 Component::getBusCount(MediaType type, BusDirection dir) {
    const auto* list = getBusList(type, dir);
    return list ? static_cast<int32>(list->size()) : 0;
}

tresult Component::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& info) {
    const auto* list = getBusList(type, dir);
    if (!list || index < 0 || index >= static_cast<int32>(list->size())) return kInvalidArgument;
    const Bus& bus = (*list)[static_cast<size_t>(index)];
    info = BusInfo{};
    info.mediaType = type;
    info.direction = dir;
    info.channelCount = bus.channelCount;
    strcpy16(info.name, bus.name.c_str(), 128);
    info.busType = bus.busType;
    info.flags = bus.flags;
    return kResultOk;
}

tresult Component::getRoutingInfo(RoutingInfo&, RoutingInfo&) {
    return kNotImplemented;
}

tresult Component::activateBus(MediaType type, BusDirection dir, int32 index, TBool state) {
    auto* list = getBusList(type, dir);
    if (!list || index < 0 || index >= static_cast<int32>(list->size())) return kInvalidArgument;
    (*list)[static_cast<size_t>(index)].active = state != 0;
    return kResultOk;
}

tresult Component::setActive(TBool) {
    return kResultOk;
}
tresult Component::setState(IBStream*) {
    return kNotImplemented;
}
tresult Component::getState(IBStream*) {
    return kNotImplemented;
}

tresult Component::queryInterface(const TUID iid, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IComponent>(iid, this, obj) ||
        answerInterface<IPluginBase>(iid, static_cast<IComponent*>(this), obj))
        return kResultOk;
    return ComponentBase::queryInterface(iid, obj);
}

Bus* Component::addAudioInput(const TChar* name, SpeakerArrangement arr, BusType type,
                              uint32 flags) {
    audioInputs_.push_back(
        makeBus(name, kAudio, kInput, type, flags, SpeakerArr::getChannelCount(arr), arr));
    return &audioInputs_.back();
}

Bus* Component::addAudioOutput(const TChar* name, SpeakerArrangement arr, BusType type,
                               uint32 flags) {
    audioOutputs_.push_back(
        makeBus(name, kAudio, kOutput, type, flags, SpeakerArr::getChannelCount(arr), arr));
    return &audioOutputs_.back();
}

Bus* Component::addEventInput(const TChar* name, int32 channels, BusType type, uint32 flags) {
    eventInputs_.push_back(makeBus(name, kEvent, kInput, type, flags, channels, 0));
    return &eventInputs_.back();
}

Bus* Component::addEventOutput(const TChar* name, int32 channels, BusType type, uint32 flags) {
    eventOutputs_.push_back(makeBus(name, kEvent, kOutput, type, flags, channels, 0));
    return &eventOutputs_.back();
}

void Component::removeAllBusses() {
    audioInputs_.clear();
    audioOutputs_.clear();
    eventInputs_.clear();
    eventOutputs_.clear();
}

} // namespace Steinberg::Vst
