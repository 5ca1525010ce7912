// IPluginFactory3: class list, instance creation and the host context.
#include "vst3base/PluginFactory.h"

#include <cstring>

#include "vst3base/UString.h"

namespace Steinberg {

PluginFactory::PluginFactory(const PFactoryInfo& info) : factoryInfo_(info) {}

PluginFactory::~PluginFactory() {
    if (hostContext_) hostContext_->release();
}

bool PluginFactory::registerClass(const PClassInfo2& info, CreateFunction create, void* context) {
    if (!create || isClassRegistered(FUID::fromTUID(info.cid))) return false;
    ClassEntry entry{};
    entry.info2 = info;
    // Fixed-size texts from the caller may lack a terminator: make sure of one.
    entry.info2.category[sizeof(entry.info2.category) - 1] = 0;
    entry.info2.name[sizeof(entry.info2.name) - 1] = 0;
    entry.info2.subCategories[sizeof(entry.info2.subCategories) - 1] = 0;
    entry.info2.vendor[sizeof(entry.info2.vendor) - 1] = 0;
    entry.info2.version[sizeof(entry.info2.version) - 1] = 0;
    entry.info2.sdkVersion[sizeof(entry.info2.sdkVersion) - 1] = 0;

    PClassInfoW& w = entry.infoW;
    std::memcpy(w.cid, entry.info2.cid, sizeof(TUID));
    w.cardinality = entry.info2.cardinality;
    std::memcpy(w.category, entry.info2.category, sizeof(w.category));
    utf8ToUtf16(entry.info2.name, w.name, PClassInfoW::kNameSize);
    w.classFlags = entry.info2.classFlags;
    std::memcpy(w.subCategories, entry.info2.subCategories, sizeof(w.subCategories));
    utf8ToUtf16(entry.info2.vendor, w.vendor, PClassInfoW::kVendorSize);
    utf8ToUtf16(entry.info2.version, w.version, PClassInfoW::kVersionSize);
    utf8ToUtf16(entry.info2.sdkVersion, w.sdkVersion, PClassInfoW::kVersionSize);

    entry.create = create;
    entry.context = context;
    classes_.push_back(entry);
    return true;
}

bool PluginFactory::isClassRegistered(const FUID& cid) const {
    for (const ClassEntry& c : classes_)
        if (cid.matches(c.info2.cid)) return true;
    return false;
}

tresult PluginFactory::getFactoryInfo(PFactoryInfo* info) {
    if (!info) return kInvalidArgument;
    *info = factoryInfo_;
    return kResultOk;
}

int32 PluginFactory::countClasses() {
    return static_cast<int32>(classes_.size());
}

tresult PluginFactory::getClassInfo(int32 index, PClassInfo* info) {
    if (!info || index < 0 || index >= countClasses()) return kInvalidArgument;
    const PClassInfo2& c = classes_[static_cast<size_t>(index)].info2;
    std::memcpy(info->cid, c.cid, sizeof(TUID));
    info->cardinality = c.cardinality;
    std::memcpy(info->category, c.category, sizeof(info->category));
    std::memcpy(info->name, c.name, sizeof(info->name));
    return kResultOk;
}

tresult PluginFactory::getClassInfo2(int32 index, PClassInfo2* info) {
    if (!info || index < 0 || index >= countClasses()) return kInvalidArgument;
    *info = classes_[static_cast<size_t>(index)].info2;
    return kResultOk;
}

tresult PluginFactory::getClassInfoUnicode(int32 index, PClassInfoW* info) {
    if (!info || index < 0 || index >= countClasses()) return kInvalidArgument;
    *info = classes_[static_cast<size_t>(index)].infoW;
    return kResultOk;
}

tresult PluginFactory::createInstance(FIDString cid, FIDString iid, void** obj) {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    if (!cid || !iid) return kInvalidArgument;
    for (const ClassEntry& c : classes_) {
        if (std::memcmp(c.info2.cid, cid, sizeof(TUID)) != 0) continue;
        FUnknown* instance = c.create(c.context);
        if (!instance) return kOutOfMemory;
        const tresult result = instance->queryInterface(iid, obj);
        instance->release(); // the answered interface holds the one left
        if (result != kResultOk) *obj = nullptr;
        return result == kResultOk ? kResultOk : kNoInterface;
    }
    return kResultFalse;
}

tresult PluginFactory::setHostContext(FUnknown* context) {
    if (context) context->addRef();
    if (hostContext_) hostContext_->release();
    hostContext_ = context;
    return kResultOk;
}

tresult PluginFactory::queryInterface(const TUID iid, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IPluginFactory3>(iid, this, obj) ||
        answerInterface<IPluginFactory2>(iid, this, obj) ||
        answerInterface<IPluginFactory>(iid, this, obj) ||
        answerInterface<FUnknown>(iid, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

} // namespace Steinberg
