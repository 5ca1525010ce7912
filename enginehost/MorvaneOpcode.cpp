// The engine host's one entry point, morvaneOpcode, exported by the bundle
// "Morvane Engine.bundle/Contents/x86_64-linux/Morvane Engine.so". It checks
// the handle and the records of every call and hands the call to the engine
// instance (MorvaneEngine) or the view (EngineView) behind the handle.
//
// Handles are the instances' addresses, but a handle is only followed once
// it is found in the table of live instances: a null, stale or made-up handle
// gives kStatusBadHandle, never a crash. The table is a fixed array of atomic
// slots, so the audio thread looks a handle up without a lock.
//
// "Brevado" is found beside the bundle: Brevado.so in the folder that holds
// "Morvane Engine.bundle", with the model profiles next to it.
#include <dlfcn.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "enginehost/EngineView.h"
#include "enginehost/InstallLayout.h"
#include "enginehost/MorvaneEngine.h"

using namespace vantor;
using morvane::EngineView;
using morvane::MorvaneEngine;

namespace {

constexpr const char* kDetails = "Morvane Engine 1.0 (substitute engine host for Brevado)";

// Live objects of one kind, looked up without a lock.
template <typename T, size_t N> class HandleTable {
public:
    bool add(T* object) {
        for (auto& slot : slots) {
            T* expected = nullptr;
            if (slot.compare_exchange_strong(expected, object)) return true;
        }
        return false;
    }
    void remove(T* object) {
        for (auto& slot : slots) {
            T* expected = object;
            if (slot.compare_exchange_strong(expected, nullptr)) return;
        }
    }
    T* find(void* handle) const {
        if (!handle) return nullptr;
        for (const auto& slot : slots)
            if (slot.load(std::memory_order_acquire) == handle) return static_cast<T*>(handle);
        return nullptr;
    }
    template <typename F> void forEach(F f) const {
        for (const auto& slot : slots)
            if (T* object = slot.load(std::memory_order_acquire)) f(object);
    }

private:
    std::atomic<T*> slots[N] = {};
};

HandleTable<MorvaneEngine, 64> g_engines;
HandleTable<EngineView, 64> g_views;
std::mutex g_createLock; // creation and destruction of engines and views

std::string bundleExecutablePath() {
    Dl_info info;
    if (::dladdr(reinterpret_cast<void*>(&morvaneOpcode), &info) == 0 || !info.dli_fname)
        return std::string();
    return info.dli_fname;
}

bool isFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int32_t createEngine(const ZefaCreateRecord* record, void** handle) {
    if (!record || !handle) return morvane::kStatusBadArgument;
    *handle = nullptr;
    const std::string product = morvane::productFolderOfBundleExecutable(bundleExecutablePath());
    const std::string profiles = product + "/" + morvane::kModelProfileFileName;
    std::string error;
    std::unique_ptr<MorvaneEngine> engine =
        MorvaneEngine::create(*record, product + "/" + morvane::kBrevadoFileName,
                              isFile(profiles) ? profiles : std::string(), error);
    if (!engine) return morvane::kStatusEngineFailed;
    std::lock_guard<std::mutex> guard(g_createLock);
    if (!g_engines.add(engine.get())) return morvane::kStatusEngineFailed;
    *handle = engine.release();
    return morvane::kStatusOk;
}

int32_t destroyEngine(MorvaneEngine* engine) {
    std::lock_guard<std::mutex> guard(g_createLock);
    g_engines.remove(engine);
    // Views of the engine lose it; their handles stay valid until 24.
    delete engine;
    return morvane::kStatusOk;
}

int32_t createView(const char* productFile, void** handle, void* engineHandle) {
    if (!handle) return morvane::kStatusBadArgument;
    *handle = nullptr;
    if (!g_engines.find(engineHandle)) return morvane::kStatusBadHandle;
    auto view = std::make_unique<EngineView>(engineHandle, productFile ? productFile : "");
    std::lock_guard<std::mutex> guard(g_createLock);
    if (!g_views.add(view.get())) return morvane::kStatusEngineFailed;
    *handle = view.release();
    return morvane::kStatusOk;
}

// Hands the view its engine's newer picture, if any: the engine is only
// followed while it is alive, and it stays so while the picture is copied.
void takeCanvas(EngineView* view) {
    std::lock_guard<std::mutex> guard(g_createLock);
    if (MorvaneEngine* engine = g_engines.find(view->getEngine())) view->takeCanvas(*engine);
}

int32_t viewOpcode(EngineView* view, int32_t opcode, void* p1, void* p2, int32_t value,
                   int64_t l2) {
    switch (opcode) {
    case kOpDestroyViewTicket: {
        std::lock_guard<std::mutex> guard(g_createLock);
        g_views.remove(view);
        delete view;
        return morvane::kStatusOk;
    }
    case kOpOpenView:
        return view->open(p1, l2 != kViewNotEmbedded) ? morvane::kStatusOk
                                                      : morvane::kStatusEngineFailed;
    case kOpIdleView:
        takeCanvas(view);
        view->idle();
        return morvane::kStatusOk;
    case kOpGetViewSize: {
        if (!p1 || !p2) return morvane::kStatusBadArgument;
        int32_t width = 0, height = 0;
        view->getSize(width, height);
        std::memcpy(p1, &height, sizeof height);
        std::memcpy(p2, &width, sizeof width);
        return morvane::kStatusOk;
    }
    case kOpViewFdNotify:
        view->fdNotify(value);
        return morvane::kStatusOk;
    case kOpViewTimerNotify:
        takeCanvas(view);
        view->timerNotify(value);
        return morvane::kStatusOk;
    default:
        return morvane::kStatusUnknownOpcode;
    }
}

// The view named by an engine opcode's p1, when it belongs to that engine.
EngineView* viewOf(MorvaneEngine* engine, void* p1) {
    EngineView* view = g_views.find(p1);
    return view && view->getEngine() == engine ? view : nullptr;
}

int32_t processRecord(MorvaneEngine* engine, const ZefaEngineProcessEx* record, int32_t version) {
    if (!record) return morvane::kStatusBadArgument;
    if (record->version != version) return morvane::kStatusBadRecord;
    return engine->process(record->outputs, record->events, record->frames, record->syncInfo);
}

int32_t engineOpcode(MorvaneEngine* engine, int32_t opcode, void* p1, void* p2, int32_t value,
                     float f, int64_t l1, int64_t l2) {
    switch (opcode) {
    case kOpDestroyEngine:
        return destroyEngine(engine);
    case kOpSetRateAndBlock:
        return engine->setRateAndBlock(value, l1);
    case kOpSuspend:
    case kOpEngineIdle:
        return morvane::kStatusOk;
    case kOpResume:
        return engine->resume(static_cast<ZefaEngineLatencyInfo*>(p1));
    case kOpSetRandomOff:
        return value == kRandomOffKey ? morvane::kStatusOk : morvane::kStatusBadArgument;
    case kOpProcessEvents:
        return engine->process(static_cast<float**>(p2), static_cast<const MIDIEvents*>(p1), value,
                               nullptr);
    case kOpProcessPlain:
        return processRecord(engine, static_cast<const ZefaEngineProcessEx*>(p1),
                             ZefaEngineProcessEx::kVersionPlain);
    case kOpProcess:
        return processRecord(engine, static_cast<const ZefaEngineProcessEx*>(p1),
                             ZefaEngineProcessEx::kVersionEx);
    case kOpGetParameter:
        return engine->getParameter(value, static_cast<float*>(p1), l1, l2);
    case kOpSetParameter:
        return engine->setParameter(value, f, l1, l2);
    case kOpGetChunk:
        return engine->getChunk(static_cast<const void**>(p1), static_cast<int32_t*>(p2));
    case kOpSetChunk:
        return engine->setChunk(p1, value);
    case kOpGetEngineStats:
        return engine->getStats(static_cast<ZefaEngineStats*>(p1));
    case kOpAddView:
    case kOpRemoveView: {
        EngineView* view = viewOf(engine, p1);
        if (!view) return morvane::kStatusBadHandle;
        opcode == kOpAddView ? view->attach() : view->detach();
        return morvane::kStatusOk;
    }
    case kOpEngineCommand:
        return engine->command(value, p1, p2);
    case kOpSetHostCallback:
        if (value != kHostCallbackValue) return morvane::kStatusBadArgument;
        return engine->addHostCallback(reinterpret_cast<ZefaHostCallback>(p1), p2, ~uint64_t(0));
    case kOpSetSettings:
        return engine->setSettings(static_cast<const ZefaEngineSettings*>(p1));
    case kOpRemoveHostCallback:
        return engine->removeHostCallback(reinterpret_cast<ZefaHostCallback>(p1), p2);
    case kOpGetParameterName:
        if (l1 || l2) return morvane::kStatusBadArgument;
        return engine->getParameterName(value, static_cast<const char**>(p1));
    case kOpGetParameterInfo:
        return engine->getParameterInfo(value, static_cast<const ParameterInfo**>(p1));
    case kOpGetLatencyInfo:
        return engine->getLatency(static_cast<ZefaEngineLatencyInfo*>(p1));
    case kOpGetExportKB:
        return engine->getExportKB(static_cast<const Zefa::ExportKB**>(p1));
    case kOpImportFile:
        return engine->importFile(static_cast<const char*>(p1), value);
    default:
        return morvane::kStatusUnknownOpcode;
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) int32_t
morvaneOpcode(void* handle, int32_t opcode, void* p1, void* p2, void* p3, int32_t value, float f,
              int64_t l1, int64_t l2) {
    switch (opcode) {
    case kOpGetDetails:
        if (handle) return morvane::kStatusBadHandle;
        if (!p1 || value != kDetailsTextValue) return morvane::kStatusBadArgument;
        std::memset(p1, 0, 128);
        std::strncpy(static_cast<char*>(p1), kDetails, 127);
        return morvane::kStatusOk;
    case kOpCreateEngine:
        if (handle) return morvane::kStatusBadHandle;
        return createEngine(static_cast<const ZefaCreateRecord*>(p1), static_cast<void**>(p2));
    case kOpCreateViewTicket:
        if (handle) return morvane::kStatusBadHandle;
        return createView(static_cast<const char*>(p1), static_cast<void**>(p2), p3);
    case kOpDestroyViewTicket:
    case kOpOpenView:
    case kOpIdleView:
    case kOpGetViewSize:
    case kOpViewFdNotify:
    case kOpViewTimerNotify: {
        EngineView* view = g_views.find(handle);
        if (!view) return morvane::kStatusBadHandle;
        return viewOpcode(view, opcode, p1, p2, value, l2);
    }
    default: {
        MorvaneEngine* engine = g_engines.find(handle);
        if (!engine) return morvane::kStatusBadHandle;
        return engineOpcode(engine, opcode, p1, p2, value, f, l1, l2);
    }
    }
}
