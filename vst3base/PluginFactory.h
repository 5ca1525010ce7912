// The module's class factory (`IPluginFactory3`): the vendor record, the
// registered classes with their create functions, and the host context the host
// hands over with setHostContext (kept for the classes that want the host's
// services, such as its run loop, before any view exists).
#pragma once

#include <vector>

#include "vst3base/FObject.h"
#include "vst3base/IPluginFactory.h"

namespace Steinberg {

class PluginFactory : public FObject, public IPluginFactory3 {
public:
    // Creates one instance with one reference; null on failure.
    using CreateFunction = FUnknown* (*)(void* context);

    explicit PluginFactory(const PFactoryInfo& info);
    ~PluginFactory() override;

    // Registers a class; the UTF-16 form is derived from the UTF-8 one.
    // Refuses a null create function or a second class with the same id.
    bool registerClass(const PClassInfo2& info, CreateFunction create, void* context = nullptr);
    // True when a class with this id is registered.
    bool isClassRegistered(const FUID& cid) const;

    tresult getFactoryInfo(PFactoryInfo* info) override;
    int32 countClasses() override;
    tresult getClassInfo(int32 index, PClassInfo* info) override;
    tresult createInstance(FIDString cid, FIDString iid, void** obj) override;
    tresult getClassInfo2(int32 index, PClassInfo2* info) override;
    tresult getClassInfoUnicode(int32 index, PClassInfoW* info) override;
    tresult setHostContext(FUnknown* context) override;

    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_METHODS

    // The context from setHostContext (not referenced for the caller), or null.
    FUnknown* getHostContext() const { return hostContext_; }

private:
    struct ClassEntry {
        PClassInfo2 info2;
        PClassInfoW infoW;
        CreateFunction create;
        void* context;
    };

    PFactoryInfo factoryInfo_;
    std::vector<ClassEntry> classes_;
    FUnknown* hostContext_ = nullptr; // one reference held
};

} // namespace Steinberg
