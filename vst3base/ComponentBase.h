// What both halves of a plug-in (processor and controller) share: the host
// context handed to `initialize`, and the connection to the other half through
// which they exchange `IMessage`s. Messages are created by the host
// (`IHostApplication::createInstance`), so a half can only send once it has a
// context. A text message (id "TextMessage", UTF-16 attribute "Text") arrives
// at `receiveText` as UTF-8.
#pragma once

#include "vst3base/FObject.h"
#include "vst3base/IMessage.h"
#include "vst3base/IPluginFactory.h"

namespace Steinberg::Vst {

class ComponentBase : public FObject, public IConnectionPoint {
public:
    ComponentBase() = default;
    ~ComponentBase() override;

    // Stores the host context (a second call without terminate is refused).
    virtual tresult initialize(FUnknown* context);
    // Drops the host context and the peer.
    virtual tresult terminate();

    tresult connect(IConnectionPoint* other) override;
    tresult disconnect(IConnectionPoint* other) override;
    // Text messages go to receiveText; anything else answers kResultFalse.
    tresult notify(IMessage* message) override;

    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

    FUnknown* getHostContext() const { return hostContext_; }
    IConnectionPoint* getPeer() const { return peer_; }

    // A new host message (the caller releases it), null without a host.
    IMessage* allocateMessage();
    // Hands a message to the peer; kResultFalse when not connected.
    tresult sendMessage(IMessage* message);
    // Sends `text` as a text message to the peer.
    tresult sendTextMessage(const char8* text);
    // Called with the text of an arriving text message.
    virtual tresult receiveText(const char8* text);

    static constexpr const char8* kTextMessageId = "TextMessage";
    static constexpr const char8* kTextAttribute = "Text";

private:
    FUnknown* hostContext_ = nullptr;  // one reference held
    IConnectionPoint* peer_ = nullptr; // one reference held
};

} // namespace Steinberg::Vst
