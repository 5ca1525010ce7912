// The built engine plug-in "Brevado", loaded once per test program the way an
// engine host loads it: dlopen of the shared object in the build's product
// folder, and its instance exports. Tests that drive the plug-in through its
// exports only (as a host would) take their instances from here.
#pragma once

#include <dlfcn.h>

#include "instrument/EnginePluginRecords.h"

namespace brevadotest {

struct BrevadoLibrary {
    BrevadoLibrary() {
        handle = ::dlopen(SX_PRODUCT_DIR "/Brevado.so", RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        create = reinterpret_cast<vantor::EnginePluginSDK::NewInstanceFn>(
            ::dlsym(handle, "newInstance"));
        destroy = reinterpret_cast<vantor::EnginePluginSDK::DeleteInstanceFn>(
            ::dlsym(handle, "deleteInstance"));
    }
    ~BrevadoLibrary() {
        if (handle) ::dlclose(handle);
    }
    void* handle = nullptr;
    vantor::EnginePluginSDK::NewInstanceFn create = nullptr;
    vantor::EnginePluginSDK::DeleteInstanceFn destroy = nullptr;
};

inline BrevadoLibrary& library() {
    static BrevadoLibrary b;
    return b;
}

} // namespace brevadotest
