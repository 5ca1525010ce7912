// The instrument object behind every "Brevado" handle: the console instrument
// as an engine plug-in. It owns seven console sound-system units (MD_Emu):
// units 0-5 carry the six voices, unit 6 plays media; all seven share unit 0's
// table of model profiles. It answers the host's information words, takes the
// processing information, activates the units for the host's rate and block,
// and hands the host its parameter map (1792 engine ids) and descriptions.
//
// This is the object's frame: the console controller, the extension commands
// and the audio chain that make it sound join it later; until then a block
// comes out silent.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "emulators/ChipEmu.h"
#include "engine-support/Mutex.h"
#include "instrument/EnginePluginSDK.h"

namespace acme {

class ChipWrap : public vantor::EnginePluginSDK::InstrumentPlugin {
public:
    using EventList = vantor::EnginePluginSDK::EventList;

    static constexpr uint32_t kEngineIdCount = 1792; // engine ids 0-1791
    static constexpr uint32_t kUnitCount = 7;
    // Host processing information outside these bounds is refused by activate.
    static constexpr double kMinRate = 8000.0;
    static constexpr double kMaxRate = 384000.0;
    static constexpr uint32_t kMaxBlockFrames = 4096;
    // Every unit keeps buffers of this many chip samples (tens of bytes each):
    // a slow rate with a long block would ask for gigabytes, so activate
    // refuses more than this (44100 Hz with 4096 frames still fits).
    static constexpr uint32_t kMaxChipSamples = 1u << 21;

    // "MD" builds the seven units; any other name builds none.
    ChipWrap(vantor::EnginePluginSDK::HostRecord* host, const char* emulatorName);
    ~ChipWrap() override;

    // Inits every unit for the current rate and block with `context` as the
    // profile-path text (or 0). 1 when done; 0 when the processing information
    // is outside the bounds above (nothing is touched then).
    uint32_t activate(uint64_t context, uint64_t reserved, uint32_t version) override;
    vantor::ParameterInfo* getParameterInfo(uint32_t* count) override;
    // *ok = 1 when the proposed channel count is the object's output count.
    void checkOutputConfig(const vantor::EnginePluginSDK::OutputConfig* config,
                           uint32_t* ok) override;
    void getParameterMap(EventList* destination) override;
    // Zeroes the block's output channels (the audio chain is not here yet).
    void process(float** outputs, int32_t frames, EventList* in, EventList* out,
                 vantor::EnginePluginSDK::TimeRecord* time) override;
    void applyMasterSetting(vantor::EnginePluginSDK::MasterSetting* setting) override;

    // Chip samples per render call for the current processing information
    // (0 when it or the result is outside the bounds).
    uint32_t maxChipSamples() const;
    const std::string& getEmulatorName() const { return emulatorName; }
    size_t unitCount() const { return units.size(); }
    ChipEmu* unit(size_t i) const { return i < units.size() ? units[i].get() : nullptr; }
    bool isActive() const { return active; }
    uint32_t getVersion() const { return version; }

private:
    void buildParameterMap();

    std::string emulatorName;
    std::vector<std::unique_ptr<ChipEmu>> units;
    ChipInfo* chipInfo = nullptr; // the first unit's, borrowed
    uint32_t version = 0;         // the last activation's
    bool active = false;
    float outputGains[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    vantor::Mutex mutex;
    std::unique_ptr<EventList> parameterMap;
    std::vector<vantor::ParameterInfo> parameterTable;
};

} // namespace acme
