// Host context and peer connection shared by processor and controller.
#include "vst3base/ComponentBase.h"

#include <string>

#include "vst3base/UString.h"

namespace Steinberg::Vst {

ComponentBase::~ComponentBase() {
    if (peer_) peer_->release();
    if (hostContext_) hostContext_->release();
}

tresult ComponentBase::initialize(FUnknown* context) {
    if (hostContext_) return kResultFalse;
    hostContext_ = context;
    if (hostContext_) hostContext_->addRef();
    return kResultOk;
}

tresult ComponentBase::terminate() {
    if (peer_) peer_->release();
    peer_ = nullptr;
    if (hostContext_) hostContext_->release();
    hostContext_ = nullptr;
    return kResultOk;
}

tresult ComponentBase::connect(IConnectionPoint* other) {
    if (!other) return kInvalidArgument;
    if (peer_) return kResultFalse;
    peer_ = other;
    peer_->addRef();
    return kResultOk;
}

tresult ComponentBase::disconnect(IConnectionPoint* other) {
    if (!peer_ || other != peer_) return kResultFalse;
    peer_->release();
    peer_ = nullptr;
    return kResultOk;
}

tresult ComponentBase::notify(IMessage* message) {
    if (!message) return kInvalidArgument;
    const char* id = message->getMessageID();
    if (!id || std::string(id) != kTextMessageId) return kResultFalse;
    IAttributeList* attributes = message->getAttributes();
    if (!attributes) return kResultFalse;
    TChar text[1024];
    if (attributes->getString(kTextAttribute, text, sizeof(text)) != kResultOk) return kResultFalse;
    text[1023] = 0; // a host that fills the whole buffer still leaves us a terminated string
    return receiveText(utf16ToUtf8(text, 1024).c_str());
}

tresult ComponentBase::queryInterface(const TUID iid, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IConnectionPoint>(iid, this, obj) ||
        answerInterface<FUnknown>(iid, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

IMessage* ComponentBase::allocateMessage() {
    auto host = queryInterfaceOf<IHostApplication>(hostContext_);
    if (!host) return nullptr;
    TUID cid;
    TUID iid;
    IMessage::iid.toTUID(cid);
    IMessage::iid.toTUID(iid);
    void* obj = nullptr;
    if (host->createInstance(cid, iid, &obj) != kResultOk) return nullptr;
    return static_cast<IMessage*>(obj);
}

tresult ComponentBase::sendMessage(IMessage* message) {
    if (!message) return kInvalidArgument;
    if (!peer_) return kResultFalse;
    return peer_->notify(message);
}

tresult ComponentBase::sendTextMessage(const char8* text) {
    if (!peer_) return kResultFalse; // nobody to tell: no host message made
    IMessage* message = allocateMessage();
    if (!message) return kResultFalse;
    message->setMessageID(kTextMessageId);
    tresult result = kResultFalse;
    if (IAttributeList* attributes = message->getAttributes()) {
        const std::u16string utf16 = utf8ToU16(text);
        if (attributes->setString(kTextAttribute, utf16.c_str()) == kResultOk)
            result = sendMessage(message);
    }
    message->release();
    return result;
}

tresult ComponentBase::receiveText(const char8*) {
    return kResultOk;
}

} // namespace Steinberg::Vst
