// The factory, its classes and the compatibility text.
#include "vst3/PlugFactory.h"

#include <cstdio>

#include "vst3/PlugController.h"
#include "vst3/PlugProcessor.h"
#include "vst3/SamplerPluginConfig.h"
#include "vst3base/IBStream.h"

using namespace Steinberg;

namespace vantor {
namespace {

PClassInfo2 classInfo(const FUID& cid, const char* category, const char* name, uint32 flags,
                      const char* subCategories, const char* vendor) {
    PClassInfo2 info{};
    cid.toTUID(info.cid);
    info.cardinality = PClassInfo::kManyInstances;
    std::snprintf(info.category, sizeof info.category, "%s", category);
    std::snprintf(info.name, sizeof info.name, "%s", name);
    info.classFlags = flags;
    std::snprintf(info.subCategories, sizeof info.subCategories, "%s", subCategories);
    std::snprintf(info.vendor, sizeof info.vendor, "%s", vendor);
    std::snprintf(info.version, sizeof info.version, "%s", kClassVersion);
    std::snprintf(info.sdkVersion, sizeof info.sdkVersion, "%s", kVstVersionString);
    return info;
}

std::string hexOf(const FUID& id) {
    char text[33];
    id.toString(text);
    return text;
}

} // namespace

PluginFactory* createPlugFactory() {
    PFactoryInfo info{};
    std::snprintf(info.vendor, sizeof info.vendor, "%s", SamplerPluginConfig.vendorName);
    std::snprintf(info.url, sizeof info.url, "https://vantor.invalid/sondrix-md");
    std::snprintf(info.email, sizeof info.email, "support@vantor.invalid");
    info.flags = PFactoryInfo::kUnicode;
    auto* factory = new PluginFactory(info);
    const std::string product = SamplerPluginConfig.productName;
    const std::string controller = product + "Controller";
    factory->registerClass(classInfo(kPlugProcessorUID, kVstAudioEffectClass, product.c_str(), 0,
                                     kProcessorSubCategories, info.vendor),
                           PlugProcessor::createInstance);
    factory->registerClass(classInfo(kPlugControllerUID, kVstComponentControllerClass,
                                     controller.c_str(), 0, "", info.vendor),
                           PlugController::createInstance);
    factory->registerClass(classInfo(kPluginCompatibilityUID, kPluginCompatibilityClass,
                                     product.c_str(), 1, "", info.vendor),
                           createCompatibilityInstance);
    return factory;
}

std::string olderPluginIdentifier() {
    char text[40];
    int n = std::snprintf(text, sizeof text, "%06X%08X", 0x565354u,
                          static_cast<unsigned>(SamplerPluginConfig.uniqueId));
    for (int i = 0; i < 9; ++i)
        n += std::snprintf(
            text + n, sizeof text - static_cast<size_t>(n), "%02X",
            static_cast<unsigned>(static_cast<unsigned char>(SamplerPluginConfig.productName[i])));
    FUID older;
    if (!older.fromString(text)) return text;
    return hexOf(older);
}

std::string compatibilityText() {
    const std::string older = olderPluginIdentifier();
    return "[\n"
           "    {\n"
           "        \"New\": \"" +
           hexOf(kPlugProcessorUID) +
           "\",\n"
           "        \"Old\" : [\n"
           "          \"" +
           older +
           "\",\n"
           "          \"" +
           older +
           "\"\n"
           "        ],\n"
           "    },\n"
           "]\n";
}

tresult PluginCompatibility::getCompatibilityJSON(IBStream* stream) {
    if (!stream) return kInvalidArgument;
    std::string text = compatibilityText();
    return stream->write(text.data(), static_cast<int32>(text.size()));
}

tresult PluginCompatibility::queryInterface(const TUID iid, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IPluginCompatibility>(iid, this, obj) ||
        answerInterface<FUnknown>(iid, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

uint32 PluginCompatibility::addRef() {
    return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32 PluginCompatibility::release() {
    const uint32 left = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

FUnknown* createCompatibilityInstance(void*) {
    return static_cast<IPluginCompatibility*>(new PluginCompatibility);
}

} // namespace vantor
