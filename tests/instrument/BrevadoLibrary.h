// The built engine plug-in "Brevado", loaded once per test program the way an
// engine host loads it: dlopen of the shared object in the build's product
// folder, and its instance exports. Tests that drive the plug-in through its
// exports only (as a host would) take their instances from here.
#pragma once

#include <dlfcn.h>

#include <algorithm>
#include <memory>
#include <vector>

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

// Renders `frames` frames through an instance's process entry in host blocks
// of `block` frames; `events` go with the first block. Both channels, in
// order; the events the instance sends are added to `sent` when it is given.
inline void renderBlocks(vantor::EnginePluginSDK::PluginRecord* record, size_t frames,
                         uint32_t block, std::vector<vantor::HDMIDIEvent> events,
                         std::vector<double>& left, std::vector<double>& right,
                         std::vector<vantor::HDMIDIEvent>* sent = nullptr) {
    auto in = std::make_unique<vantor::EnginePluginSDK::EventList>();
    auto out = sent ? std::make_unique<vantor::EnginePluginSDK::EventList>() : nullptr;
    std::vector<float> l(block), r(block);
    for (size_t done = 0; done < frames;) {
        const uint32_t n = uint32_t(std::min<size_t>(block, frames - done));
        in->count = events.size();
        std::copy(events.begin(), events.end(), in->events);
        events.clear();
        float* outputs[2] = {l.data(), r.data()};
        if (out) out->count = 0;
        record->process(record, outputs, int32_t(n), in.get(), out.get(), nullptr);
        if (out) sent->insert(sent->end(), out->events, out->events + out->count);
        left.insert(left.end(), l.begin(), l.begin() + n);
        right.insert(right.end(), r.begin(), r.begin() + n);
        done += n;
    }
}

} // namespace brevadotest
