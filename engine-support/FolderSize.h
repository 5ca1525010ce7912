// Folder-content size and the folder-listing wrappers of the engine plug-in.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace vantor {

// Sum of the sizes of every entry below `path` (recursive); 0 for an empty or
// unreadable folder.
int64_t folderByteSize(const std::string& path);
// Entries below `path` whose extension matches `pattern` ("*.wav", "*").
void listFiles(const std::string& path, const std::string& pattern, std::set<std::string>& names,
               volatile int* cancel);
// Entries below `path` whose extension is one of `extensions`, ignoring case.
void listFilesWithExtensions(const std::string& path, const std::vector<std::string>& extensions,
                             std::set<std::string>& names, volatile int* cancel);
// Folders below `path`.
void listDirectories(const std::string& path, std::set<std::string>& names);

} // namespace vantor
