#include "platform/CFPreferences.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>

#include "platform/CFDictionary.h"
#include "platform/CFObject.h"
#include "platform/PlistXml.h"
#include "platform/RegularFile.h"
#include "platform/StandardFolders.h"

const CFStringRef kCFPreferencesCurrentUser = CFSTR("kCFPreferencesCurrentUser");
const CFStringRef kCFPreferencesAnyUser = CFSTR("kCFPreferencesAnyUser");
const CFStringRef kCFPreferencesCurrentHost = CFSTR("kCFPreferencesCurrentHost");
const CFStringRef kCFPreferencesAnyHost = CFSTR("kCFPreferencesAnyHost");

namespace {

enum class Load { Missing, Ok, Broken };

// Reads a store file; `out` gets its root dictionary (a new reference) when Ok.
Load loadFile(const std::string& path, CFDictionaryRef& out) {
    out = nullptr;
    // A store that is not a regular file (a pipe, a link to a device) or is
    // larger than any preference file counts as unreadable: it is not replaced.
    std::string bytes;
    const int error = platform::readRegularFile(path, bytes, platform::kLargestPlistFile);
    if (error == ENOENT || error == ENOTDIR) return Load::Missing;
    if (error != 0) return Load::Broken;
    SxCFHold root(platform::parsePlistXml(bytes));
    if (CFGetTypeID(root.get()) != CFDictionaryGetTypeID()) return Load::Broken;
    out = static_cast<CFDictionaryRef>(root.take());
    return Load::Ok;
}

// Writes `text` to `path` through a temporary file in the same folder.
bool writeAtomically(const std::string& path, const std::string& text) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || !platform::makeFolders(path.substr(0, slash))) return false;
    std::string tmp = path + ".XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) return false;
    bool ok = fchmod(fd, 0644) == 0;
    size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t w = ::write(fd, text.data() + done, text.size() - done);
        if (w < 0 && errno == EINTR) continue;
        ok = w > 0;
        if (ok) done += static_cast<size_t>(w);
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    ok = ok && std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) unlink(tmp.c_str());
    return ok;
}

// Changes set but not yet synchronised, by file.
struct Pending {
    CFMutableDictionaryRef dict = nullptr;
    bool broken = false; // the file could not be read: it must not be replaced
};

std::mutex g_lock;
std::map<std::string, Pending>& pending() {
    static auto* p = new std::map<std::string, Pending>(); // lives for the process
    return *p;
}

std::string utf8Of(CFStringRef s) {
    const SxCFString* str = sxAs<SxCFString>(s, kSxTypeString);
    return str ? str->utf8 : std::string();
}

// A domain is a file name: no '/', not "." or "..", not empty.
bool validDomain(const std::string& d) {
    return !d.empty() && d != "." && d != ".." && d.find('/') == std::string::npos;
}

std::string pathFor(CFStringRef domain, CFStringRef user, CFStringRef host) {
    return platform::preferencesFilePath(utf8Of(domain), user, host);
}

// The value of `key` in the store at `path`, as a new reference. Call with
// g_lock held.
CFTypeRef copyFromStore(const std::string& path, CFStringRef key) {
    if (path.empty()) return nullptr;
    auto it = pending().find(path);
    if (it != pending().end()) {
        CFTypeRef v = CFDictionaryGetValue(it->second.dict, key);
        return v ? CFRetain(v) : nullptr;
    }
    CFDictionaryRef dict = nullptr;
    if (loadFile(path, dict) != Load::Ok) return nullptr;
    SxCFHold hold(dict);
    CFTypeRef v = CFDictionaryGetValue(dict, key);
    return v ? CFRetain(v) : nullptr;
}

} // namespace

namespace platform {

std::string preferencesFilePath(const std::string& domain, CFStringRef user, CFStringRef host) {
    if (!validDomain(domain)) return {};
    std::string base;
    if (CFEqual(user, kCFPreferencesCurrentUser)) {
        base = userConfigFolder();
    } else if (CFEqual(user, kCFPreferencesAnyUser)) {
        base = machineConfigFolder();
    }
    if (base.empty()) return {};
    if (CFEqual(host, kCFPreferencesAnyHost)) return base + "/Preferences/" + domain + ".plist";
    if (CFEqual(host, kCFPreferencesCurrentHost))
        return base + "/Preferences/ByHost/" + domain + "." + hostIdentifier() + ".plist";
    return {};
}

} // namespace platform

CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef domain) {
    const CFStringRef stores[4][2] = {
        {kCFPreferencesCurrentUser, kCFPreferencesCurrentHost},
        {kCFPreferencesCurrentUser, kCFPreferencesAnyHost},
        {kCFPreferencesAnyUser, kCFPreferencesCurrentHost},
        {kCFPreferencesAnyUser, kCFPreferencesAnyHost},
    };
    std::lock_guard<std::mutex> guard(g_lock);
    for (const auto& s : stores)
        if (CFTypeRef v = copyFromStore(pathFor(domain, s[0], s[1]), key)) return v;
    return nullptr;
}

CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef domain, CFStringRef user,
                                         CFStringRef host) {
    std::lock_guard<std::mutex> guard(g_lock);
    return copyFromStore(pathFor(domain, user, host), key);
}

void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef domain,
                           CFStringRef user, CFStringRef host) {
    std::string path = pathFor(domain, user, host);
    if (path.empty() || CFGetTypeID(key) != CFStringGetTypeID()) return;
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = pending().find(path);
    if (it == pending().end()) {
        Pending p;
        CFDictionaryRef dict = nullptr;
        Load l = loadFile(path, dict);
        p.broken = l == Load::Broken;
        p.dict = CFDictionaryCreateMutableCopy(kCFAllocatorDefault, 0, dict);
        if (dict) CFRelease(dict);
        it = pending().emplace(path, p).first;
    }
    if (value) {
        CFDictionarySetValue(it->second.dict, key, value);
    } else {
        CFDictionaryRemoveValue(it->second.dict, key);
    }
}

bool CFPreferencesSynchronize(CFStringRef domain, CFStringRef user, CFStringRef host) {
    std::string path = pathFor(domain, user, host);
    if (path.empty()) return false;
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = pending().find(path);
    if (it == pending().end()) return true;
    Pending p = it->second;
    pending().erase(it);
    SxCFHold hold(p.dict);
    std::string text;
    if (p.broken || !platform::writePlistXml(p.dict, text)) return false;
    return writeAtomically(path, text);
}

CFArrayRef CFPreferencesCopyKeyList(CFStringRef domain, CFStringRef user, CFStringRef host) {
    std::string path = pathFor(domain, user, host);
    if (path.empty()) return nullptr;
    std::lock_guard<std::mutex> guard(g_lock);
    CFDictionaryRef dict = nullptr;
    auto it = pending().find(path);
    if (it != pending().end()) {
        dict = static_cast<CFDictionaryRef>(CFRetain(it->second.dict));
    } else if (loadFile(path, dict) != Load::Ok) {
        return nullptr;
    }
    SxCFHold hold(dict);
    CFIndex n = CFDictionaryGetCount(dict);
    std::vector<CFTypeRef> keys(static_cast<size_t>(n));
    CFDictionaryGetKeysAndValues(dict, keys.data(), nullptr);
    return CFArrayCreate(kCFAllocatorDefault, keys.data(), n);
}
