// The objects a Linux VST3 host hands to a plug-in, written the way a DAW
// provides them: the application context (name, factory of messages and
// attribute lists, optionally its run loop), messages, attribute lists, the
// component handler that records edits, the plug frame, the UI run loop, and
// the per-block parameter changes and event lists.
//
// The run loop is driven by the test: `advance(ms)` moves a virtual clock and
// fires every timer that fell due, `pollDescriptors()` delivers readable file
// descriptors without waiting. Nothing here sleeps.
#pragma once

#include <map>
#include <string>
#include <variant>
#include <vector>

#include "vst3base/FObject.h"
#include "vst3base/IAudioProcessor.h"
#include "vst3base/IEditController.h"
#include "vst3base/IMessage.h"
#include "vst3base/IPlugView.h"

namespace vst3host {

using namespace Steinberg;
using namespace Steinberg::Vst;

class HostAttributeList : public FObject, public IAttributeList {
public:
    tresult setInt(AttrID id, int64 value) override;
    tresult getInt(AttrID id, int64& value) override;
    tresult setFloat(AttrID id, double value) override;
    tresult getFloat(AttrID id, double& value) override;
    tresult setString(AttrID id, const TChar* string) override;
    tresult getString(AttrID id, TChar* string, uint32 sizeInBytes) override;
    tresult setBinary(AttrID id, const void* data, uint32 sizeInBytes) override;
    tresult getBinary(AttrID id, const void*& data, uint32& sizeInBytes) override;
    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

private:
    using Value = std::variant<int64, double, std::u16string, std::vector<char>>;
    std::map<std::string, Value> values_;
};

class HostMessage : public FObject, public IMessage {
public:
    HostMessage();
    ~HostMessage() override;
    FIDString getMessageID() override { return id_.c_str(); }
    void setMessageID(FIDString id) override { id_ = id ? id : ""; }
    IAttributeList* getAttributes() override { return attributes_; }
    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

private:
    std::string id_;
    HostAttributeList* attributes_;
};

class HostRunLoop : public FObject, public Linux::IRunLoop {
public:
    ~HostRunLoop() override;
    tresult registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd) override;
    tresult unregisterEventHandler(Linux::IEventHandler* handler) override;
    tresult registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval ms) override;
    tresult unregisterTimer(Linux::ITimerHandler* handler) override;
    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

    // Moves the virtual clock by `ms` and fires the timers due in that time, in
    // time order; answers the number of callbacks made.
    int advance(uint64 ms);
    // Delivers every registered descriptor that is readable now.
    int pollDescriptors();
    size_t timerCount() const { return timers_.size(); }
    size_t handlerCount() const { return handlers_.size(); }

private:
    struct Timer {
        Linux::ITimerHandler* handler;
        uint64 interval;
        uint64 due;
    };
    struct Handler {
        Linux::IEventHandler* handler;
        int fd;
    };
    std::vector<Timer> timers_;
    std::vector<Handler> handlers_;
    uint64 now_ = 0;
};

class HostApplication : public FObject, public IHostApplication {
public:
    // `runLoop` (may be null) is also answered from this context, as some
    // hosts do.
    explicit HostApplication(const char* name = "sondrix test host",
                             HostRunLoop* runLoop = nullptr);
    ~HostApplication() override;
    tresult getName(String128 name) override;
    tresult createInstance(TUID cid, TUID iid, void** obj) override;
    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

    int messagesCreated() const { return messagesCreated_; }

private:
    std::u16string name_;
    HostRunLoop* runLoop_;
    int messagesCreated_ = 0;
};

class HostComponentHandler : public FObject, public IComponentHandler, public IComponentHandler2 {
public:
    struct Edit {
        char kind; // 'b' begin, 'p' perform, 'e' end
        ParamID id;
        ParamValue value;
    };
    tresult beginEdit(ParamID id) override;
    tresult performEdit(ParamID id, ParamValue valueNormalized) override;
    tresult endEdit(ParamID id) override;
    tresult restartComponent(int32 flags) override;
    tresult setDirty(TBool state) override;
    tresult requestOpenEditor(FIDString name) override;
    tresult startGroupEdit() override { return kResultOk; }
    tresult finishGroupEdit() override { return kResultOk; }
    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

    std::vector<Edit> edits;
    std::vector<int32> restarts;
    int dirtyCalls = 0;
};

class HostPlugFrame : public FObject, public IPlugFrame {
public:
    explicit HostPlugFrame(HostRunLoop* runLoop) : runLoop_(runLoop) {}
    // Resizes as a host does: records the size and calls the view's onSize.
    tresult resizeView(IPlugView* view, ViewRect* newSize) override;
    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

    std::vector<ViewRect> resizes;

private:
    HostRunLoop* runLoop_;
};

// What many DAWs put between the two halves: each half is connected to a
// host object that hands every message on to the other half.
class HostConnectionProxy : public FObject, public IConnectionPoint {
public:
    explicit HostConnectionProxy(IConnectionPoint* source) : source_(source) {}
    ~HostConnectionProxy() override;
    // Connects the source half to `other` through this proxy.
    tresult connect(IConnectionPoint* other) override;
    tresult disconnect(IConnectionPoint* other) override;
    // Hands the message to the other half.
    tresult notify(IMessage* message) override;
    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

    int forwarded = 0;

private:
    IConnectionPoint* source_;                // not owned
    IConnectionPoint* destination_ = nullptr; // one reference held
};

class HostParamValueQueue : public FObject, public IParamValueQueue {
public:
    explicit HostParamValueQueue(ParamID id) : id_(id) {}
    ParamID getParameterId() override { return id_; }
    int32 getPointCount() override { return static_cast<int32>(points_.size()); }
    tresult getPoint(int32 index, int32& sampleOffset, ParamValue& value) override;
    // Keeps points ordered by offset; a point at an existing offset replaces it.
    tresult addPoint(int32 sampleOffset, ParamValue value, int32& index) override;
    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

private:
    ParamID id_;
    std::vector<std::pair<int32, ParamValue>> points_;
};

class HostParameterChanges : public FObject, public IParameterChanges {
public:
    ~HostParameterChanges() override;
    int32 getParameterCount() override { return static_cast<int32>(queues_.size()); }
    IParamValueQueue* getParameterData(int32 index) override;
    // The queue of `id`, made on first use.
    IParamValueQueue* addParameterData(const ParamID& id, int32& index) override;
    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

    // Adds one point for `id`.
    void add(ParamID id, int32 sampleOffset, ParamValue value);
    void clear();

private:
    std::vector<HostParamValueQueue*> queues_; // one reference each
};

class HostEventList : public FObject, public IEventList {
public:
    int32 getEventCount() override { return static_cast<int32>(events_.size()); }
    tresult getEvent(int32 index, Event& e) override;
    tresult addEvent(Event& e) override;
    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

    void addNoteOn(int32 offset, int16 pitch, float velocity, int32 noteId = -1, int16 channel = 0);
    void addNoteOff(int32 offset, int16 pitch, float velocity = 0.f, int32 noteId = -1,
                    int16 channel = 0);
    void clear() { events_.clear(); }

private:
    std::vector<Event> events_;
};

} // namespace vst3host
