// The Linux bundle exports. A host calls `ModuleEntry(handle)` after dlopen and
// `ModuleExit()` before dlclose; a module loaded twice (two dlopen calls) sees
// two entries and two exits. The plug-in's own start and stop run at the first
// entry and the last exit, so whatever the module sets up is torn down at
// `ModuleExit`, long before process exit (hosts unload modules early, scanners
// right after reading the class list).
//
// A plug-in writes, in one of its sources:
//   SX_VST3_BUNDLE_ENTRY(InitModule, DeinitModule)
//   SX_VST3_EXPORT Steinberg::IPluginFactory* GetPluginFactory() { ... }
// with `bool InitModule()` / `bool DeinitModule()` of its own.
#pragma once

#include "vst3base/IPluginFactory.h"

namespace Steinberg {

// The entry: counts it, runs `init` at the first one (a false result refuses
// the load and leaves the count at 0) and keeps the module handle.
bool bundleEntry(void* sharedLibraryHandle, bool (*init)());
// The exit: refuses an exit without entry; runs `deinit` at the last one.
bool bundleExit(bool (*deinit)());
// The handle ModuleEntry received; null when not entered.
void* moduleHandle();
// Entries not yet matched by an exit.
int32 bundleEntryCount();

} // namespace Steinberg

#define SX_VST3_EXPORT extern "C" __attribute__((visibility("default")))

#define SX_VST3_BUNDLE_ENTRY(initFunction, deinitFunction)                                         \
    SX_VST3_EXPORT bool ModuleEntry(void* sharedLibraryHandle) {                                   \
        return Steinberg::bundleEntry(sharedLibraryHandle, initFunction);                          \
    }                                                                                              \
    SX_VST3_EXPORT bool ModuleExit() {                                                             \
        return Steinberg::bundleExit(deinitFunction);                                              \
    }
