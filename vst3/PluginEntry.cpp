// The exports of the bundle "sondrix MD.vst3": the Linux module entry and exit
// around InitModule/DeinitModule, and GetPluginFactory. The first call of
// GetPluginFactory makes the module's factory; every call hands the host a
// reference of its own. The module keeps one reference until its exit, so
// the factory never outlives the code it runs on.
#include "vst3/PlugFactory.h"
#include "vst3base/BundleEntry.h"

namespace {

Steinberg::PluginFactory* g_factory = nullptr; // the module's own reference

} // namespace

bool InitModule() {
    return true;
}

bool DeinitModule() {
    if (g_factory) g_factory->release();
    g_factory = nullptr;
    return true;
}

SX_VST3_BUNDLE_ENTRY(InitModule, DeinitModule)

SX_VST3_EXPORT Steinberg::IPluginFactory* GetPluginFactory() {
    if (!g_factory) g_factory = vantor::createPlugFactory();
    g_factory->addRef();
    return g_factory;
}
