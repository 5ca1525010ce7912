// One engine plug-in file loaded the way the engine host loads it: dlopen
// (RTLD_NOW | RTLD_LOCAL), then its four C exports by name. The file stays
// loaded while the object lives; every instance made through it must be
// deleted before that.
#pragma once

#include <cstdint>
#include <string>

#include "instrument/EnginePluginRecords.h"

namespace morvane {

class EnginePluginLibrary {
public:
    EnginePluginLibrary() = default;
    ~EnginePluginLibrary();
    EnginePluginLibrary(const EnginePluginLibrary&) = delete;
    EnginePluginLibrary& operator=(const EnginePluginLibrary&) = delete;

    // Loads the file and finds the four exports; false with a one-line
    // `error` (nothing kept loaded) when the file or an export is missing.
    bool open(const std::string& path, std::string& error);
    bool isOpen() const { return handle != nullptr; }
    const std::string& getPath() const { return path; }

    // getNumZefaPlugins; 0 when not open.
    int32_t pluginCount() const;
    // fillZefaPluginInfo into `info` (zeroed first); false when the plug-in
    // refuses the index or the file is not open.
    bool readInfo(uint32_t index, vantor::EnginePluginSDK::PluginInfo& info) const;
    // newInstance / deleteInstance; null when not open.
    vantor::EnginePluginSDK::PluginRecord*
    newInstance(const char* identifier, vantor::EnginePluginSDK::HostRecord* host) const;
    void deleteInstance(vantor::EnginePluginSDK::PluginRecord* record) const;

private:
    void close();

    void* handle = nullptr;
    std::string path;
    vantor::EnginePluginSDK::GetNumZefaPluginsFn getNum = nullptr;
    vantor::EnginePluginSDK::FillZefaPluginInfoFn fillInfo = nullptr;
    vantor::EnginePluginSDK::NewInstanceFn create = nullptr;
    vantor::EnginePluginSDK::DeleteInstanceFn destroy = nullptr;
};

} // namespace morvane
