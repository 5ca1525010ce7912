#include "engine-support/FolderSize.h"

#include "vantor/PlatformToolsDesktop.h"
#include "vantor/PlatformToolsFiles.h"

namespace vantor {

int64_t folderByteSize(const std::string& path) {
    std::set<std::string> entries;
    ::wrap_FileLister(path, "*.*", entries, {}, nullptr);
    int64_t total = 0;
    for (const std::string& entry : entries) total += ::fileSize(entry);
    return total;
}

void listFiles(const std::string& path, const std::string& pattern, std::set<std::string>& names,
               volatile int* cancel) {
    ::wrap_FileLister(path, pattern, names, {}, cancel);
}

void listFilesWithExtensions(const std::string& path, const std::vector<std::string>& extensions,
                             std::set<std::string>& names, volatile int* cancel) {
    ::wrap_FileLister(path, "", names, extensions, cancel);
}

void listDirectories(const std::string& path, std::set<std::string>& names) {
    ::wrap_DirectoryLister(path, names);
}

} // namespace vantor
