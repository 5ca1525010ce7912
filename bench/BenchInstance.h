// One console instrument object as a host prepares it through its process
// entry (rate, longest block, the build tree's model profiles), the MIDI
// events the benchmarks send it, and a song loaded into its media unit from
// a scratch file.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BuildTreeData.h"
#include "instrument/ChipWrap.h"

namespace benchinstance {

inline std::unique_ptr<acme::ChipWrap> makeInstance(double rate, uint32_t maxBlock) {
    using namespace vantor::EnginePluginSDK;
    static const std::string profiles = profilePath();
    auto w = std::make_unique<acme::ChipWrap>(nullptr, "MD");
    ProcessingInfo info = {};
    info.sampleRate = rate;
    info.sampleRateInt = uint32_t(rate);
    info.maxBlockFrames = maxBlock;
    dispatchEntry(w->getRecord(), PLUGIN_OP_SET_PROCESSING_INFO, &info, nullptr);
    ActivationRecord a = {};
    a.context = reinterpret_cast<uintptr_t>(profiles.c_str());
    dispatchEntry(w->getRecord(), PLUGIN_OP_ACTIVATE_RECORD, &a, nullptr);
    return w;
}

inline vantor::HDMIDIEvent midi(uint8_t status, uint8_t d1, uint8_t d2) {
    vantor::HDMIDIEvent e{};
    e.status = status;
    e.data1 = d1;
    e.data2 = d2;
    e.valid = 1;
    return e;
}

// Writes `song` as a .vgm in a scratch folder, loads it through the file
// extension and removes the file again. False when any step fails.
inline bool loadSong(acme::ChipWrap& w, const std::vector<uint8_t>& song) {
    using namespace vantor::EnginePluginSDK;
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench-song-XXXXXX";
    if (!mkdtemp(dir.data())) return false;
    const std::string path = dir + "/song.vgm";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(song.data()), std::streamsize(song.size()));
    auto load = std::make_unique<LoadFileRecord>();
    std::memset(load.get(), 0, sizeof *load);
    load->header.id = EXT_LOAD_FILE;
    std::memcpy(load->path, path.data(), std::min<size_t>(path.size(), 511));
    ExtensionCommand c = {};
    c.record = load.get();
    c.action = 1;
    int32_t result = -1;
    dispatchEntry(w.getRecord(), PLUGIN_OP_EXTENSION, &c, &result);
    std::remove(path.c_str());
    rmdir(dir.c_str());
    return result == 0;
}

} // namespace benchinstance
