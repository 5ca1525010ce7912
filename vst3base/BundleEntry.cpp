// Entry and exit counting of the bundle exports.
#include "vst3base/BundleEntry.h"

#include <mutex>

namespace Steinberg {

namespace {
std::mutex gEntryLock;
int32 gEntryCount = 0;
void* gModuleHandle = nullptr;
} // namespace

bool bundleEntry(void* sharedLibraryHandle, bool (*init)()) {
    std::lock_guard<std::mutex> lock(gEntryLock);
    if (gEntryCount == 0) {
        if (init && !init()) return false;
        gModuleHandle = sharedLibraryHandle;
    }
    ++gEntryCount;
    return true;
}

bool bundleExit(bool (*deinit)()) {
    std::lock_guard<std::mutex> lock(gEntryLock);
    if (gEntryCount == 0) return false;
    if (--gEntryCount > 0) return true;
    gModuleHandle = nullptr;
    return deinit ? deinit() : true;
}

void* moduleHandle() {
    std::lock_guard<std::mutex> lock(gEntryLock);
    return gModuleHandle;
}

int32 bundleEntryCount() {
    std::lock_guard<std::mutex> lock(gEntryLock);
    return gEntryCount;
}

} // namespace Steinberg
