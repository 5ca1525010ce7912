// An engine host bundle for the whole-chain display test: every call goes on
// to the real engine host (loaded from SX_REAL_ENGINE, so that it finds
// "Brevado" beside its own bundle), and the engine handle of the last
// engine created is kept for the test. The VST3 side never loads media, so
// the test loads a song the way the engine's own file browser would: with
// the import opcode on that handle, through this bundle's entry point.
#include <dlfcn.h>

#include <atomic>
#include <cstdint>

#include "vst3/MorvaneInterface.h"

using namespace vantor;

namespace {

using Entry = int32_t (*)(void*, int32_t, void*, void*, void*, int32_t, float, int64_t, int64_t);

std::atomic<void*> g_engine{nullptr};

Entry realEntry() {
    static Entry entry = [] {
        void* library = dlopen(SX_REAL_ENGINE, RTLD_NOW | RTLD_LOCAL);
        return library ? reinterpret_cast<Entry>(dlsym(library, "morvaneOpcode")) : nullptr;
    }();
    return entry;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int32_t
morvaneOpcode(void* handle, int32_t opcode, void* p1, void* p2, void* p3, int32_t value, float f,
              int64_t l1, int64_t l2) {
    const Entry entry = realEntry();
    if (!entry) return 1;
    if (opcode == kOpDestroyEngine) {
        void* expected = handle;
        g_engine.compare_exchange_strong(expected, nullptr);
    }
    const int32_t status = entry(handle, opcode, p1, p2, p3, value, f, l1, l2);
    if (opcode == kOpCreateEngine && status == 0 && p2) g_engine = *static_cast<void**>(p2);
    return status;
}

// The handle of the last engine created and not yet destroyed; null when none.
extern "C" __attribute__((visibility("default"))) void* forwardedEngine() {
    return g_engine.load();
}
