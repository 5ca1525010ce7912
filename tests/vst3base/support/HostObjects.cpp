// Host-side objects of the test host.
#include "vst3base/support/HostObjects.h"

#include <poll.h>

#include <algorithm>
#include <cstring>

#include "vst3base/UString.h"

namespace vst3host {

namespace {
// The common ending of every queryInterface here.
template <class I, class Self> tresult answerOne(const TUID iid, Self* self, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<I>(iid, self, obj) ||
        answerInterface<FUnknown>(iid, static_cast<I*>(self), obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}
} // namespace

// HostAttributeList ---------------------------------------------------------

tresult HostAttributeList::setInt(AttrID id, int64 value) {
    if (!id) return kInvalidArgument;
    values_[id] = value;
    return kResultOk;
}

tresult HostAttributeList::getInt(AttrID id, int64& value) {
    const auto it = id ? values_.find(id) : values_.end();
    if (it == values_.end() || !std::holds_alternative<int64>(it->second)) return kResultFalse;
    value = std::get<int64>(it->second);
    return kResultOk;
}

tresult HostAttributeList::setFloat(AttrID id, double value) {
    if (!id) return kInvalidArgument;
    values_[id] = value;
    return kResultOk;
}

tresult HostAttributeList::getFloat(AttrID id, double& value) {
    const auto it = id ? values_.find(id) : values_.end();
    if (it == values_.end() || !std::holds_alternative<double>(it->second)) return kResultFalse;
    value = std::get<double>(it->second);
    return kResultOk;
}

tresult HostAttributeList::setString(AttrID id, const TChar* string) {
    if (!id || !string) return kInvalidArgument;
    values_[id] = std::u16string(string);
    return kResultOk;
}

tresult HostAttributeList::getString(AttrID id, TChar* string, uint32 sizeInBytes) {
    if (!string || sizeInBytes < sizeof(TChar)) return kInvalidArgument;
    const auto it = id ? values_.find(id) : values_.end();
    if (it == values_.end() || !std::holds_alternative<std::u16string>(it->second))
        return kResultFalse;
    const std::u16string& s = std::get<std::u16string>(it->second);
    const size_t units = std::min<size_t>(s.size(), sizeInBytes / sizeof(TChar) - 1);
    std::memcpy(string, s.data(), units * sizeof(TChar));
    string[units] = 0;
    return kResultOk;
}

tresult HostAttributeList::setBinary(AttrID id, const void* data, uint32 sizeInBytes) {
    if (!id || (!data && sizeInBytes)) return kInvalidArgument;
    const char* p = static_cast<const char*>(data);
    values_[id] = std::vector<char>(p, p + sizeInBytes);
    return kResultOk;
}

tresult HostAttributeList::getBinary(AttrID id, const void*& data, uint32& sizeInBytes) {
    const auto it = id ? values_.find(id) : values_.end();
    if (it == values_.end() || !std::holds_alternative<std::vector<char>>(it->second))
        return kResultFalse;
    const auto& bytes = std::get<std::vector<char>>(it->second);
    data = bytes.data();
    sizeInBytes = static_cast<uint32>(bytes.size());
    return kResultOk;
}

tresult HostAttributeList::queryInterface(const TUID iid, void** obj) {
    return answerOne<IAttributeList>(iid, this, obj);
}

// HostMessage ---------------------------------------------------------------

HostMessage::HostMessage() : attributes_(new HostAttributeList) {}
HostMessage::~HostMessage() {
    attributes_->release();
}

tresult HostMessage::queryInterface(const TUID iid, void** obj) {
    return answerOne<IMessage>(iid, this, obj);
}

// HostRunLoop ---------------------------------------------------------------

HostRunLoop::~HostRunLoop() {
    for (Timer& t : timers_) t.handler->release();
    for (Handler& h : handlers_) h.handler->release();
}

tresult HostRunLoop::registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd) {
    if (!handler || fd < 0) return kInvalidArgument;
    handler->addRef();
    handlers_.push_back({handler, fd});
    return kResultOk;
}

tresult HostRunLoop::unregisterEventHandler(Linux::IEventHandler* handler) {
    const auto it = std::find_if(handlers_.begin(), handlers_.end(),
                                 [&](const Handler& h) { return h.handler == handler; });
    if (it == handlers_.end()) return kResultFalse;
    Linux::IEventHandler* h = it->handler;
    handlers_.erase(it);
    h->release();
    return kResultOk;
}

tresult HostRunLoop::registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval ms) {
    if (!handler || ms == 0) return kInvalidArgument;
    handler->addRef();
    timers_.push_back({handler, ms, now_ + ms});
    return kResultOk;
}

tresult HostRunLoop::unregisterTimer(Linux::ITimerHandler* handler) {
    const auto it = std::find_if(timers_.begin(), timers_.end(),
                                 [&](const Timer& t) { return t.handler == handler; });
    if (it == timers_.end()) return kResultFalse;
    Linux::ITimerHandler* h = it->handler;
    timers_.erase(it);
    h->release();
    return kResultOk;
}

int HostRunLoop::advance(uint64 ms) {
    const uint64 end = now_ + ms;
    int calls = 0;
    for (;;) {
        // The earliest due timer within the step; a callback may add or remove
        // timers, so the list is searched again after every call.
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->due <= end && (next == timers_.end() || it->due < next->due)) next = it;
        if (next == timers_.end()) break;
        now_ = next->due;
        next->due += next->interval;
        Linux::ITimerHandler* handler = next->handler;
        handler->addRef(); // survives an unregister from inside its own callback
        handler->onTimer();
        handler->release();
        ++calls;
    }
    now_ = end;
    return calls;
}

int HostRunLoop::pollDescriptors() {
    std::vector<Handler> ready;
    for (const Handler& h : handlers_) {
        pollfd p{h.fd, POLLIN, 0};
        if (::poll(&p, 1, 0) == 1 && (p.revents & POLLIN)) ready.push_back(h);
    }
    for (const Handler& h : ready) {
        h.handler->addRef();
        h.handler->onFDIsSet(h.fd);
        h.handler->release();
    }
    return static_cast<int>(ready.size());
}

tresult HostRunLoop::queryInterface(const TUID iid, void** obj) {
    return answerOne<Linux::IRunLoop>(iid, this, obj);
}

// HostApplication -----------------------------------------------------------

HostApplication::HostApplication(const char* name, HostRunLoop* runLoop)
    : name_(utf8ToU16(name)), runLoop_(runLoop) {
    if (runLoop_) runLoop_->addRef();
}

HostApplication::~HostApplication() {
    if (runLoop_) runLoop_->release();
}

tresult HostApplication::getName(String128 name) {
    if (!name) return kInvalidArgument;
    strcpy16(name, name_.c_str(), 128);
    return kResultOk;
}

tresult HostApplication::createInstance(TUID cid, TUID iid, void** obj) {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    FObject* created = nullptr;
    FUnknown* unknown = nullptr;
    if (IMessage::iid.matches(cid)) {
        auto* m = new HostMessage;
        created = m, unknown = static_cast<IMessage*>(m);
        ++messagesCreated_;
    } else if (IAttributeList::iid.matches(cid)) {
        auto* a = new HostAttributeList;
        created = a, unknown = static_cast<IAttributeList*>(a);
    } else {
        return kResultFalse;
    }
    const tresult result = unknown->queryInterface(iid, obj);
    created->refRelease();
    return result;
}

tresult HostApplication::queryInterface(const TUID iid, void** obj) {
    if (obj && runLoop_ && Linux::IRunLoop::iid.matches(iid)) {
        runLoop_->addRef();
        *obj = static_cast<Linux::IRunLoop*>(runLoop_);
        return kResultOk;
    }
    return answerOne<IHostApplication>(iid, this, obj);
}

// HostComponentHandler ------------------------------------------------------

tresult HostComponentHandler::beginEdit(ParamID id) {
    edits.push_back({'b', id, 0.0});
    return kResultOk;
}

tresult HostComponentHandler::performEdit(ParamID id, ParamValue valueNormalized) {
    edits.push_back({'p', id, valueNormalized});
    return kResultOk;
}

tresult HostComponentHandler::endEdit(ParamID id) {
    edits.push_back({'e', id, 0.0});
    return kResultOk;
}

tresult HostComponentHandler::restartComponent(int32 flags) {
    restarts.push_back(flags);
    return kResultOk;
}

tresult HostComponentHandler::setDirty(TBool) {
    ++dirtyCalls;
    return kResultOk;
}

tresult HostComponentHandler::requestOpenEditor(FIDString) {
    return kResultFalse;
}

tresult HostComponentHandler::queryInterface(const TUID iid, void** obj) {
    if (obj && answerInterface<IComponentHandler2>(iid, this, obj)) return kResultOk;
    return answerOne<IComponentHandler>(iid, this, obj);
}

// HostPlugFrame -------------------------------------------------------------

tresult HostPlugFrame::resizeView(IPlugView* view, ViewRect* newSize) {
    if (!view || !newSize) return kInvalidArgument;
    resizes.push_back(*newSize);
    return view->onSize(newSize);
}

tresult HostPlugFrame::queryInterface(const TUID iid, void** obj) {
    if (obj && runLoop_ && Linux::IRunLoop::iid.matches(iid)) {
        runLoop_->addRef();
        *obj = static_cast<Linux::IRunLoop*>(runLoop_);
        return kResultOk;
    }
    return answerOne<IPlugFrame>(iid, this, obj);
}

// HostConnectionProxy -------------------------------------------------------

HostConnectionProxy::~HostConnectionProxy() {
    if (destination_) destination_->release();
}

tresult HostConnectionProxy::connect(IConnectionPoint* other) {
    if (!other) return kInvalidArgument;
    if (destination_) return kResultFalse;
    other->addRef();
    destination_ = other;
    const tresult r = source_->connect(this);
    if (r != kResultOk) {
        destination_->release();
        destination_ = nullptr;
    }
    return r;
}

tresult HostConnectionProxy::disconnect(IConnectionPoint* other) {
    if (!other || other != destination_) return kResultFalse;
    source_->disconnect(this);
    destination_->release();
    destination_ = nullptr;
    return kResultOk;
}

tresult HostConnectionProxy::notify(IMessage* message) {
    if (!destination_) return kResultFalse;
    ++forwarded;
    return destination_->notify(message);
}

tresult HostConnectionProxy::queryInterface(const TUID iid, void** obj) {
    return answerOne<IConnectionPoint>(iid, this, obj);
}

// HostParamValueQueue / HostParameterChanges --------------------------------

tresult HostParamValueQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value) {
    if (index < 0 || index >= getPointCount()) return kInvalidArgument;
    sampleOffset = points_[static_cast<size_t>(index)].first;
    value = points_[static_cast<size_t>(index)].second;
    return kResultOk;
}

tresult HostParamValueQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index) {
    auto it = std::lower_bound(points_.begin(), points_.end(), sampleOffset,
                               [](const auto& p, int32 off) { return p.first < off; });
    if (it != points_.end() && it->first == sampleOffset)
        it->second = value;
    else
        it = points_.insert(it, {sampleOffset, value});
    index = static_cast<int32>(it - points_.begin());
    return kResultOk;
}

tresult HostParamValueQueue::queryInterface(const TUID iid, void** obj) {
    return answerOne<IParamValueQueue>(iid, this, obj);
}

HostParameterChanges::~HostParameterChanges() {
    clear();
}

IParamValueQueue* HostParameterChanges::getParameterData(int32 index) {
    if (index < 0 || index >= getParameterCount()) return nullptr;
    return queues_[static_cast<size_t>(index)];
}

IParamValueQueue* HostParameterChanges::addParameterData(const ParamID& id, int32& index) {
    for (size_t i = 0; i < queues_.size(); ++i) {
        if (queues_[i]->getParameterId() == id) {
            index = static_cast<int32>(i);
            return queues_[i];
        }
    }
    queues_.push_back(new HostParamValueQueue(id));
    index = static_cast<int32>(queues_.size() - 1);
    return queues_.back();
}

void HostParameterChanges::add(ParamID id, int32 sampleOffset, ParamValue value) {
    int32 index = 0;
    addParameterData(id, index)->addPoint(sampleOffset, value, index);
}

void HostParameterChanges::clear() {
    for (HostParamValueQueue* q : queues_) q->release();
    queues_.clear();
}

tresult HostParameterChanges::queryInterface(const TUID iid, void** obj) {
    return answerOne<IParameterChanges>(iid, this, obj);
}

// HostEventList -------------------------------------------------------------

tresult HostEventList::getEvent(int32 index, Event& e) {
    if (index < 0 || index >= getEventCount()) return kInvalidArgument;
    e = events_[static_cast<size_t>(index)];
    return kResultOk;
}

tresult HostEventList::addEvent(Event& e) {
    events_.push_back(e);
    return kResultOk;
}

void HostEventList::addNoteOn(int32 offset, int16 pitch, float velocity, int32 noteId,
                              int16 channel) {
    Event e{};
    e.sampleOffset = offset;
    e.type = Event::kNoteOnEvent;
    e.noteOn = NoteOnEvent{channel, pitch, 0.f, velocity, 0, noteId};
    events_.push_back(e);
}

void HostEventList::addNoteOff(int32 offset, int16 pitch, float velocity, int32 noteId,
                               int16 channel) {
    Event e{};
    e.sampleOffset = offset;
    e.type = Event::kNoteOffEvent;
    e.noteOff = NoteOffEvent{channel, pitch, velocity, noteId, 0.f};
    events_.push_back(e);
}

tresult HostEventList::queryInterface(const TUID iid, void** obj) {
    return answerOne<IEventList>(iid, this, obj);
}

} // namespace vst3host
