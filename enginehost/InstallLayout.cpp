// The product's install layout and the plug-in lookup.
#include "enginehost/InstallLayout.h"

#include <unistd.h>

#include <climits>

#include "platform/StandardFolders.h"

namespace morvane {

std::string productDataFolder() {
    return platform::userDataFolder() + "/sondrix-md";
}

std::string userVst3Folder() {
    return platform::homeFolder() + "/.vst3";
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string hostProgramFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    return folderOf(std::string(buffer, static_cast<size_t>(n)));
}

std::string engineBundleIn(const std::string& productFolder) {
    return productFolder + "/" + kEngineBundleName;
}

std::string productFolderOfBundleExecutable(const std::string& executable) {
    return folderOf(folderOf(folderOf(folderOf(executable))));
}

std::string brevadoBesideHost() {
    const std::string folder = hostProgramFolder();
    return folder.empty() ? std::string(kBrevadoFileName) : folder + "/" + kBrevadoFileName;
}

} // namespace morvane
