#include "vantor/PlatformToolsDesktop.h"

#include "platform/RegularFile.h"
#include "vantor/CFTools.h"
#include "vantor/PlatformToolsCocoa.h"
#include "vantor/PlatformToolsFiles.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The monotonic tick counter in nanoseconds. Successive calls in a process
// never return the same value, so names built from it are unique per call.
uint64_t uniqueTicks() {
    static std::atomic<uint64_t> last{0};
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t now =
        static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
    uint64_t prev = last.load(std::memory_order_relaxed);
    uint64_t next;
    do {
        next = now > prev ? now : prev + 1;
    } while (!last.compare_exchange_weak(prev, next, std::memory_order_relaxed));
    return next;
}

uint64_t copyResult(uint32_t status, int error) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(error)) << 32) | status;
}

int removeEntry(const char* path, const struct stat*, int type, struct FTW*) {
    return type == FTW_DP ? ::rmdir(path) : ::unlink(path);
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates one folder from the path bytes as they are, with its missing
// parents when `intermediate`. True when a folder is there afterwards.
bool createFolder(std::string path, bool intermediate) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty()) return false;
    if (isFolder(path)) return true;
    if (intermediate) {
        const size_t slash = path.rfind('/');
        if (slash != std::string::npos && slash > 0) {
            const std::string parent = path.substr(0, slash);
            struct stat st {};
            if (::stat(parent.c_str(), &st) != 0 && !createFolder(parent, true)) return false;
        }
    }
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    return errno == EEXIST && isFolder(path);
}

// The file-lister filter text: "*.wav" becomes "wav", "*.*" becomes "*".
std::string normaliseFilter(const std::string& filter) {
    if (filter.size() >= 3 && filter.compare(0, 2, "*.") == 0) return filter.substr(2);
    return filter;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

std::string entryExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

// Walks the tree below `dir` without following links, calling
// visit(relative path, name, is folder) for every entry; a false result from
// `visit` stops the walk. Only one folder handle is open at a time.
template <typename Visit> bool walkTree(const std::string& dir, Visit&& visit) {
    std::vector<std::string> pending{std::string()};
    bool first = true;
    while (!pending.empty()) {
        const std::string rel = std::move(pending.back());
        pending.pop_back();
        const std::string folder = rel.empty() ? dir : dir + "/" + rel;
        DIR* d = ::opendir(folder.c_str());
        if (!d) {
            if (first) return false;
            continue;
        }
        first = false;
        std::vector<std::pair<std::string, bool>> entries;
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            bool folderEntry = e->d_type == DT_DIR;
            if (e->d_type == DT_UNKNOWN) {
                struct stat st {};
                folderEntry = ::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                              S_ISDIR(st.st_mode);
            }
            entries.emplace_back(name, folderEntry);
        }
        ::closedir(d);
        for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            if (it->second) pending.push_back(rel.empty() ? it->first : rel + "/" + it->first);
        for (const auto& [name, folderEntry] : entries) {
            const std::string entryRel = rel.empty() ? name : rel + "/" + name;
            if (!visit(entryRel, name, folderEntry)) return true;
        }
    }
    return true;
}

// The lister's base: `dir` without trailing '/', so that exactly one '/' joins
// it to a relative entry path.
std::string listerBase(const std::string& dir) {
    std::string base = dir;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

constexpr size_t kListerPathBuffer = 2048;

bool hasHiddenComponent(const std::string& rel) {
    if (!rel.empty() && rel[0] == '.') return true;
    return rel.find("/.") != std::string::npos;
}

std::string percentEncodePath(const std::string& path) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (const char ch : path) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            std::string_view("-._~!$&'()*+,;=:@/").find(ch) != std::string_view::npos;
        if (plain) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

std::mutex g_tempDirLock;
std::string g_tempDir;

} // namespace

bool PDeleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool wrap_deleteFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0;
    return ::nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

bool PDeleteDirectory(const std::string& path) {
    return wrap_deleteFile(path);
}

uint64_t wrap_CopyFile(const std::string& src, const std::string& dst, bool overwrite) {
    if (src.empty() || dst.empty()) return copyResult(kCopyNoWay, 0);
    struct stat st {};
    if (overwrite && ::lstat(dst.c_str(), &st) == 0) wrap_deleteFile(dst);

    const int in = platform::openRegularFile(src);
    if (in < 0) return copyResult(kCopyFailed, errno);
    if (::fstat(in, &st) != 0) {
        const int error = errno;
        ::close(in);
        return copyResult(kCopyFailed, error);
    }
    // Exclusive creation: an existing file or link at `dst` makes the copy fail.
    const int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           st.st_mode & 0777);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return copyResult(kCopyFailed, error);
    }
    int error = 0;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            break;
        }
        if (n == 0) break;
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                error = w < 0 ? errno : EIO;
                break;
            }
            done += w;
        }
        if (error) break;
    }
    ::close(in);
    if (::close(out) != 0 && !error) error = errno;
    if (error) {
        ::unlink(dst.c_str());
        return copyResult(kCopyFailed, error);
    }
    return copyResult(kCopyDone, 0);
}

uint64_t PCopyFile(const std::string& src, const std::string& dst, bool overwrite) {
    return wrap_CopyFile(src, dst, overwrite);
}

bool wrap_CreateFolders(vantor::CFURLWrapper& url, bool intermediate) {
    std::string path;
    if (!url.getFileSystemRepresentation(path) || path.empty()) return false;
    return createFolder(path, intermediate);
}

int32_t PCreateDir(const std::string& path) {
    std::string target = path;
    while (target.size() > 1 && target.back() == '/') target.pop_back();
    if (target.empty()) return 2;
    // Only '/' separates folders here: any other byte is part of a name.
    const size_t slash = target.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        const std::string parent = target.substr(0, slash);
        if (!wrap_FileExists(parent) && PCreateDir(parent) != 0) return 2;
    }
    return createFolder(target, false) ? 0 : 2;
}

bool wrap_fixFilePermission(const std::string& dir, const std::string& name) {
    struct stat st {};
    if (dir.empty() || ::stat(dir.c_str(), &st) != 0) return false;
    const std::string target = dir + "/" + name;
    const bool modeSet = ::chmod(target.c_str(), st.st_mode & 07777) == 0;
    const bool ownerSet = ::chown(target.c_str(), st.st_uid, st.st_gid) == 0;
    return modeSet && ownerSet;
}

bool fixFilePermission(const std::string& dir, const std::string& name) {
    return wrap_fixFilePermission(dir, name);
}

bool directoryWriteAccess(const std::string& dir) {
    if (dir.empty()) return false;
    const std::string probe = dir + "/ vnt" + std::to_string(uniqueTicks()) + ".tmp";
    const int fd =
        ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

std::string setUserPathVendorProduct(const std::string& vendor, const std::string& product) {
    std::string base;
    const VTC_FindFolder kind = FOLDER_USER_DATA;
    const VTC_FindFolderDomain domain = DOMAIN_USER;
    if (!wrap_FindFolder(kind, domain, base, false) || base.empty()) return std::string();
    const std::string path = base + "/" + vendor + "/" + product;
    return createFolder(path, true) ? path : std::string();
}

std::string getTempDir() {
    std::lock_guard<std::mutex> lock(g_tempDirLock);
    if (g_tempDir.empty()) {
        std::string dir;
        if (wrap_tempDirectory(dir)) g_tempDir = dir;
    }
    return g_tempDir;
}

std::string makeTempFileName(const std::string& suffix) {
    return getTempDir() + "/" + "vnt" + std::to_string(uniqueTicks()) + suffix;
}

bool PGetVolumeUIDForPath(const std::string& path, std::string& out, bool /*isDirectory*/) {
    if (path.empty()) return false;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return false;
    std::string mount = resolved;
    std::free(resolved);
    struct stat st {};
    if (::stat(mount.c_str(), &st) != 0) return false;
    // Climb while the parent folder is on the same device.
    while (mount != "/") {
        const size_t slash = mount.rfind('/');
        const std::string parent = slash == 0 ? std::string("/") : mount.substr(0, slash);
        struct stat up {};
        if (::stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev) break;
        mount = parent;
    }
    std::string url = "file://" + percentEncodePath(mount);
    if (url.back() != '/') url.push_back('/');
    if (url.size() > 1023) return false;
    out = url;
    return true;
}

std::string PCalcMD5(const std::string&) {
    return "DUMMYMD5DUMMYMD5DUMMYMD5";
}
std::string PCalcMD5(const std::vector<uint8_t>&) {
    return "DUMMYMD5DUMMYMD5DUMMYMD5";
}
bool PGzipFile(const std::string&, const std::string&) {
    return false;
}
uint64_t PcompressBound(uint64_t n) {
    return n + (n >> 12) + (n >> 14) + 11;
}

void wrap_FileLister(const std::string& dir, const std::string& pattern, std::set<std::string>& out,
                     const std::vector<std::string>& extensions, volatile int* cancel) {
    std::vector<std::string> filters;
    bool all = false;
    if (extensions.empty()) {
        filters.push_back(normaliseFilter(pattern));
    } else {
        for (const std::string& e : extensions) {
            filters.push_back(normaliseFilter(e));
            if (filters.back() == "*") all = true;
        }
    }
    const std::string base = listerBase(dir);
    walkTree(dir, [&](const std::string& rel, const std::string& name, bool) {
        const std::string ext = entryExtension(name);
        bool report = false;
        if (extensions.empty()) {
            report = filters[0] == "*" || ext == filters[0];
        } else if (all) {
            report = !hasHiddenComponent(rel);
        } else {
            for (const std::string& f : filters)
                if (equalsIgnoringCase(ext, f)) report = true;
        }
        if (report) {
            const std::string full = base + "/" + rel;
            if (full.size() < kListerPathBuffer) out.insert(full);
        }
        return !(cancel && *cancel != 0);
    });
}

void wrap_DirectoryLister(const std::string& dir, std::set<std::string>& out) {
    const std::string base = listerBase(dir);
    walkTree(dir, [&](const std::string& rel, const std::string&, bool folderEntry) {
        if (folderEntry) {
            const std::string full = base + "/" + rel;
            if (full.size() < kListerPathBuffer) out.insert(full);
        }
        return true;
    });
}
