// Loading an engine plug-in file and calling its exports.
#include "enginehost/EnginePluginLibrary.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

using namespace vantor::EnginePluginSDK;

namespace morvane {

EnginePluginLibrary::~EnginePluginLibrary() {
    close();
}

void EnginePluginLibrary::close() {
    if (handle) ::dlclose(handle);
    handle = nullptr;
    getNum = nullptr;
    fillInfo = nullptr;
    create = nullptr;
    destroy = nullptr;
}

bool EnginePluginLibrary::open(const std::string& file, std::string& error) {
    close();
    path = file;
    // Only a regular file is handed to the loader (a FIFO would block it), and
    // a name without a folder is a file in the current folder, not a name for
    // the loader's library search.
    struct stat st {};
    const bool found = ::stat(file.c_str(), &st) == 0;
    if (!found || !S_ISREG(st.st_mode)) {
        const char* why = !found ? (errno == ENOENT || errno == ENOTDIR ? "no such file"
                                                                         : std::strerror(errno))
                          : S_ISDIR(st.st_mode) ? "a folder, not a file"
                                                : "not a regular file";
        error = "cannot load the engine plug-in " + file + ": " + why;
        return false;
    }
    const std::string loadable = file.find('/') == std::string::npos ? "./" + file : file;
    handle = ::dlopen(loadable.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        error = "cannot load the engine plug-in " + file + ": " + (why ? why : "unknown error");
        return false;
    }
    struct Export {
        const char* name;
        void** slot;
    } exports[] = {
        {"getNumZefaPlugins", reinterpret_cast<void**>(&getNum)},
        {"fillZefaPluginInfo", reinterpret_cast<void**>(&fillInfo)},
        {"newInstance", reinterpret_cast<void**>(&create)},
        {"deleteInstance", reinterpret_cast<void**>(&destroy)},
    };
    for (const Export& e : exports) {
        *e.slot = ::dlsym(handle, e.name);
        if (!*e.slot) {
            error = "the engine plug-in " + file + " does not export " + e.name;
            close();
            return false;
        }
    }
    return true;
}

int32_t EnginePluginLibrary::pluginCount() const {
    return getNum ? getNum() : 0;
}

bool EnginePluginLibrary::readInfo(uint32_t index, PluginInfo& info) const {
    std::memset(&info, 0, sizeof info);
    if (!fillInfo || fillInfo(index, &info) != 0) return false;
    info.identifier[sizeof info.identifier - 1] = '\0';
    info.name[sizeof info.name - 1] = '\0';
    info.category[sizeof info.category - 1] = '\0';
    return true;
}

PluginRecord* EnginePluginLibrary::newInstance(const char* identifier, HostRecord* host) const {
    return create ? create(identifier, host) : nullptr;
}

void EnginePluginLibrary::deleteInstance(PluginRecord* record) const {
    if (destroy) destroy(record);
}

} // namespace morvane
