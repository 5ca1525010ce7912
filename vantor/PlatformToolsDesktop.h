// File-system operations beyond plain reading and writing: deleting, copying,
// creating folders, copying permissions, probing for write access, temporary
// names, the volume of a path and the two recursive folder listers. Paths are
// used byte for byte.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace vantor {
class CFURLWrapper;
}

// Result of a copy: low 32 bits a status, high 32 bits the error code (errno)
// of the failed attempt, 0 when there was none.
enum : uint32_t {
    kCopyDone = 0,   // copied
    kCopyNoWay = 3,  // a path was empty
    kCopyFailed = 4, // the copy failed; the high half holds errno
};
inline uint32_t copyStatus(uint64_t result) {
    return static_cast<uint32_t>(result);
}
inline uint32_t copyError(uint64_t result) {
    return static_cast<uint32_t>(result >> 32);
}

bool PDeleteFile(const std::string& path); // unlink; true when it succeeded
// Removes the entry at `path`; a folder is removed with its contents (links
// inside are removed, never followed).
bool wrap_deleteFile(const std::string& path);
bool PDeleteDirectory(const std::string& path);

// Copies the regular file `src` to `dst`. Without `overwrite` an existing `dst`
// makes the copy fail; with it `dst` is removed first. The new file is
// created exclusively, so an existing link at `dst` is never followed.
uint64_t wrap_CopyFile(const std::string& src, const std::string& dst, bool overwrite);
uint64_t PCopyFile(const std::string& src, const std::string& dst, bool overwrite);

// Creates the folder that `url` names (with missing parents when `intermediate`).
// True when the folder exists afterwards; an existing file there is a failure.
bool wrap_CreateFolders(vantor::CFURLWrapper& url, bool intermediate);
// Creates the folder `path` and any missing folders above it: 0 on success
// (also when it already exists as a folder), 2 on failure.
int32_t PCreateDir(const std::string& path);

// Copies the permission bits and owners of `dir` onto `dir` + "/" + `name`.
bool wrap_fixFilePermission(const std::string& dir, const std::string& name);
bool fixFilePermission(const std::string& dir, const std::string& name);

// True when a probe file can be created in `dir` (it is removed at once).
bool directoryWriteAccess(const std::string& dir);

// The user data folder + "/" + vendor + "/" + product, created when missing;
// empty when it cannot be made.
std::string setUserPathVendorProduct(const std::string& vendor, const std::string& product);

std::string getTempDir(); // the temporary folder (ends with '/'), cached
// Temporary folder, "/", "vnt", the monotonic tick counter, then `suffix`;
// every call in a process gives a different name.
std::string makeTempFileName(const std::string& suffix);

// The URL text of the volume (mount point) that holds `path`.
bool PGetVolumeUIDForPath(const std::string& path, std::string& out, bool isDirectory);

// Placeholders with fixed results that callers rely on.
std::string PCalcMD5(const std::string& data);
std::string PCalcMD5(const std::vector<uint8_t>& data);
bool PGzipFile(const std::string& src, const std::string& dst);
uint64_t PcompressBound(uint64_t n);

// Recursive listers; results are inserted into `out` (not cleared first).
void wrap_FileLister(const std::string& dir, const std::string& pattern, std::set<std::string>& out,
                     const std::vector<std::string>& extensions, volatile int* cancel);
void wrap_DirectoryLister(const std::string& dir, std::set<std::string>& out);
