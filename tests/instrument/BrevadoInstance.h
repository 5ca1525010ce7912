// One "Brevado" instance as the engine host keeps it, for the media tests
// that drive the built plug-in only through its four exports and its C
// record: activated at 44.1 kHz, files loaded through the load-file
// extension, the transport moved by parameter events (ids 384 and up), the
// stereo output and the events the instance sends collected per block.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "BrevadoLibrary.h"
#include "instrument/EnginePluginRecords.h"
#include "instrument/ChipController.h"
#include "vantor/support/PrivateHome.h"

namespace brevadotest {

using vantor::HDMIDIEvent;
namespace sdk = vantor::EnginePluginSDK;

// Transport ids; the host sends them as parameter events 384 + id.
using enum ChipController::SyncId;
constexpr double kRate = 44100.0;

inline HDMIDIEvent transport(int32_t id, float value, int32_t frame = 0) {
    HDMIDIEvent e{};
    e.kind = 176;
    e.id = 384 + id;
    e.value = value;
    e.tuning = std::numeric_limits<float>::infinity();
    e.frameOffset = frame;
    return e;
}

inline HDMIDIEvent noteOn(uint8_t key, int32_t frame = 0) {
    HDMIDIEvent e{};
    e.status = 0x90;
    e.data1 = key;
    e.data2 = 100;
    e.valid = 1;
    e.frameOffset = frame;
    return e;
}

struct Stereo {
    std::vector<double> left, right;
    void append(const Stereo& s) {
        left.insert(left.end(), s.left.begin(), s.left.end());
        right.insert(right.end(), s.right.begin(), s.right.end());
    }
};

class Instance {
public:
    explicit Instance(uint32_t maxBlock = 1024)
        : record(library().create("com.Vantor.Emulator.MD", &host)) {
        if (!record) return;
        sdk::ProcessingInfo info = {};
        info.sampleRate = kRate;
        info.sampleRateInt = uint32_t(kRate);
        info.maxBlockFrames = maxBlock;
        info.samplePeriod = 1.0 / kRate;
        dispatch(sdk::PLUGIN_OP_SET_PROCESSING_INFO, &info);
        sdk::ActivationRecord a = {};
        a.context = reinterpret_cast<uintptr_t>(profiles.c_str());
        dispatch(sdk::PLUGIN_OP_ACTIVATE_RECORD, &a);
        active = a.result == 1;
    }
    ~Instance() {
        if (record) library().destroy(record);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    intptr_t dispatch(uint32_t op, void* a, void* b = nullptr) {
        return record->dispatcher(record, op, a, b);
    }
    // An extension command for a host record; the plug-in's answer.
    int32_t extension(void* target, uint64_t key, uint32_t action) {
        sdk::ExtensionCommand c = {};
        c.record = target;
        c.size = key;
        c.action = action;
        int32_t result = 1;
        dispatch(sdk::PLUGIN_OP_EXTENSION, &c, &result);
        return result;
    }
    // The load-file extension's answer for `path` in slot 0: 0 loaded, -1 not.
    int32_t load(const std::string& path) {
        std::memset(loadRecord.get(), 0, sizeof *loadRecord);
        loadRecord->header.id = sdk::EXT_LOAD_FILE;
        std::memcpy(loadRecord->path, path.data(), std::min<size_t>(path.size(), 511));
        return extension(loadRecord.get(), 0, 1);
    }
    // Renders `frames` frames in blocks of `block`; `events` go with the
    // first block. The events the instance sends are added to `sent`.
    Stereo render(size_t frames, uint32_t block, std::vector<HDMIDIEvent> events = {}) {
        Stereo out;
        renderBlocks(record, frames, block, std::move(events), out.left, out.right, &sent);
        return out;
    }

    sdk::HostRecord host{nullptr};
    sdk::PluginRecord* record;
    bool active = false;
    const std::string profiles = SX_PRODUCT_DIR "/md_profiles.riff";
    // The host's record stays attached to the instance: it outlives it.
    std::unique_ptr<sdk::LoadFileRecord> loadRecord = std::make_unique<sdk::LoadFileRecord>();
    std::vector<HDMIDIEvent> sent;
};

inline double db(const std::vector<double>& x, size_t from = 0, size_t to = SIZE_MAX) {
    to = std::min(to, x.size());
    double s = 0.0;
    for (size_t i = from; i < to; ++i) s += x[i] * x[i];
    return s > 0.0 && to > from ? 10.0 * std::log10(s / double(to - from)) : -400.0;
}

// A scratch folder for the files a test writes; the plug-in must be loaded.
class MediaFixture : public testhome::Scratch {
protected:
    void SetUp() override {
        testhome::Scratch::SetUp();
        ASSERT_NE(library().handle, nullptr) << ::dlerror();
    }
    std::string file(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string p = path(name);
        testhome::writeFile(p, std::string(bytes.begin(), bytes.end()));
        return p;
    }
};

} // namespace brevadotest
