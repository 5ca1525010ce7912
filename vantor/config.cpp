#include "vantor/config.h"

#include <memory>
#include <set>

#include "platform/CFArray.h"
#include "platform/CFDictionary.h"
#include "platform/CFNumber.h"
#include "platform/CFPreferences.h"
#include "platform/CFPropertyList.h"
#include "vantor/CFTools.h"
#include "vantor/PlatformToolsCocoa.h"

namespace vantor {
namespace {

constexpr uint32_t kUTF8 = kCFStringEncodingUTF8;

// The store that path writes and path deletes of a level address: all users
// at CONFIG_LEVEL_SYSTEM, the current user at every other level; always for
// any host. Single-key writes and deletes, and the listing of a whole domain,
// address the current user at every level.
CFStringRef levelUser(uint32_t level) {
    return level == CONFIG_LEVEL_SYSTEM ? kCFPreferencesAnyUser : kCFPreferencesCurrentUser;
}

bool isDictionary(CFTypeRef v) {
    return v && CFGetTypeID(v) == CFDictionaryGetTypeID();
}

// A string value through the 2048-byte buffer.
bool stringValue(CFTypeRef v, std::string& out) {
    CFTypeWrapper holder(v ? CFRetain(v) : nullptr);
    return holder.getCString2048(out, kUTF8);
}

// Lookup order of a single key: the search over all stores, then the current
// user's store. A new reference or null.
CFTypeRef lookup(const CFStringWrapper& key, const CFStringWrapper& domain) {
    CFTypeRef v = CFPreferencesCopyAppValue(key.getCFStringRef(), domain.getCFStringRef());
    if (!v)
        v = CFPreferencesCopyValue(key.getCFStringRef(), domain.getCFStringRef(),
                                   kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
    return v;
}

// Appends the keys of `dict` that fit the 2048-byte buffer; the count appended.
size_t appendKeys(CFDictionaryRef dict, std::vector<std::string>& keys) {
    CFIndex n = CFDictionaryGetCount(dict);
    std::vector<CFTypeRef> names(static_cast<size_t>(n));
    CFDictionaryGetKeysAndValues(dict, names.data(), nullptr);
    size_t added = 0;
    for (CFTypeRef name : names) {
        std::string text;
        if (stringValue(name, text)) keys.push_back(text), ++added;
    }
    return added;
}

// The root dictionary of a preferences file in `folder` + "/Preferences/";
// null when the domain cannot name a file or the file holds no dictionary.
CFTypeRef readPreferencesFile(const std::string& folder, const std::string& domain) {
    if (folder.empty() || domain.empty() || domain == "." || domain == ".." ||
        domain.find('/') != std::string::npos)
        return nullptr;
    std::string path = folder + "/Preferences/" + domain + ".plist";
    CFURLWrapper url(reinterpret_cast<const uint8_t*>(path.data()), path.size(), false);
    CFReadStreamRef stream = CFReadStreamCreateWithFile(kCFAllocatorDefault, url.getCFURLRef());
    if (!stream) return nullptr;
    CFTypeRef root = nullptr;
    if (CFReadStreamOpen(stream)) {
        root = CFPropertyListCreateWithStream(kCFAllocatorDefault, stream, 0,
                                              kCFPropertyListImmutable, nullptr, nullptr);
        CFReadStreamClose(stream);
    }
    CFRelease(stream);
    if (root && !isDictionary(root)) {
        CFRelease(root);
        root = nullptr;
    }
    return root;
}

std::string libraryFolder(VTC_FindFolderDomain domain) {
    std::string folder;
    return wrap_FindFolder(FOLDER_LIBRARY, domain, folder, false) ? folder : std::string();
}

// Stores `value` (null removes) at `key` of the level's store and writes it.
bool store(const CFStringWrapper& domain, CFStringRef key, CFTypeRef value, uint32_t level) {
    CFPreferencesSetValue(key, value, domain.getCFStringRef(), levelUser(level),
                          kCFPreferencesAnyHost);
    return CFPreferencesSynchronize(domain.getCFStringRef(), levelUser(level),
                                    kCFPreferencesAnyHost);
}

// A mutable copy of the dictionary `value`, or a new one when it is none.
CFMutableDictionaryRef mutableCopy(CFTypeRef value) {
    return CFDictionaryCreateMutableCopy(kCFAllocatorDefault, 0,
                                         isDictionary(value) ? static_cast<CFDictionaryRef>(value)
                                                             : nullptr);
}

using KeyList = std::vector<std::unique_ptr<CFStringWrapper>>;

// Platform strings of every path element; false when one is not UTF-8.
bool makeKeys(const std::vector<std::string>& path, KeyList& keys) {
    for (const std::string& p : path) {
        keys.push_back(std::make_unique<CFStringWrapper>(p, kUTF8, false));
        if (!keys.back()->getCFStringRef()) return false;
    }
    return true;
}

} // namespace

// ---- Single key -----------------------------------------------------------------------

bool readConfigIntValue(const std::string& domain, const std::string& key, int& value, uint32_t) {
    CFStringWrapper d(domain, kUTF8, false), k(key, kUTF8, false);
    if (!d.getCFStringRef() || !k.getCFStringRef()) return false;
    CFTypeWrapper v(lookup(k, d));
    if (CFGetTypeID(v.getCFTypeRef()) != CFNumberGetTypeID()) return false;
    int32_t n = 0;
    if (!CFNumberGetValue(static_cast<CFNumberRef>(v.getCFTypeRef()), kCFNumberSInt32Type, &n))
        return false;
    value = n;
    return true;
}

bool readConfigDoubleValue(const std::string& domain, const std::string& key, double& value,
                           uint32_t) {
    CFStringWrapper d(domain, kUTF8, false), k(key, kUTF8, false);
    if (!d.getCFStringRef() || !k.getCFStringRef()) return false;
    CFTypeWrapper v(lookup(k, d));
    if (CFGetTypeID(v.getCFTypeRef()) != CFNumberGetTypeID()) return false;
    double n = 0;
    if (!CFNumberGetValue(static_cast<CFNumberRef>(v.getCFTypeRef()), kCFNumberFloat64Type, &n))
        return false;
    value = n;
    return true;
}

bool readConfigStringValue(const std::string& domain, const std::string& key, std::string& value,
                           uint32_t level) {
    CFStringWrapper d(domain, kUTF8, false), k(key, kUTF8, false);
    if (!d.getCFStringRef() || !k.getCFStringRef()) return false;
    if (level != CONFIG_LEVEL_USER_FILE) {
        CFTypeWrapper v(lookup(k, d));
        return v.getCString2048(value, kUTF8);
    }
    // The user's own file, keys compared ignoring case; the last match wins.
    CFTypeWrapper root(readPreferencesFile(libraryFolder(DOMAIN_USER), domain));
    if (!root.getCFTypeRef()) return false;
    auto dict = static_cast<CFDictionaryRef>(root.getCFTypeRef());
    CFIndex n = CFDictionaryGetCount(dict);
    std::vector<CFTypeRef> names(static_cast<size_t>(n)), values(static_cast<size_t>(n));
    CFDictionaryGetKeysAndValues(dict, names.data(), values.data());
    bool found = false;
    for (size_t i = 0; i < names.size(); ++i) {
        if (CFStringCompare(static_cast<CFStringRef>(names[i]), k.getCFStringRef(),
                            kCFCompareCaseInsensitive) != kCFCompareEqualTo)
            continue;
        std::string text;
        if (stringValue(values[i], text)) value = text, found = true;
    }
    return found;
}

bool writeConfigIntValue(const std::string& domain, const std::string& key, int value, uint32_t) {
    CFStringWrapper d(domain, kUTF8, false), k(key, kUTF8, false);
    if (!d.getCFStringRef() || !k.getCFStringRef()) return false;
    int32_t n = value;
    CFTypeWrapper number(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &n));
    return store(d, k.getCFStringRef(), number.getCFTypeRef(), CONFIG_LEVEL_USER);
}

bool writeConfigStringValue(const std::string& domain, const std::string& key,
                            const std::string& value, uint32_t) {
    CFStringWrapper d(domain, kUTF8, false), k(key, kUTF8, false), v(value, kUTF8, false);
    if (!d.getCFStringRef() || !k.getCFStringRef() || !v.getCFStringRef()) return false;
    return store(d, k.getCFStringRef(), v.getCFStringRef(), CONFIG_LEVEL_USER);
}

bool deleteConfigValue(const std::string& domain, const std::string& key, uint32_t) {
    CFStringWrapper d(domain, kUTF8, false), k(key, kUTF8, false);
    if (!d.getCFStringRef() || !k.getCFStringRef()) return false;
    return store(d, k.getCFStringRef(), nullptr, CONFIG_LEVEL_USER);
}

bool deleteConfigKey(const std::string&, const std::string&, uint32_t) {
    return false;
}

bool listConfigKeys(const std::string& domain, const std::string& key,
                    std::vector<std::string>& keys, uint32_t) {
    CFStringWrapper d(domain, kUTF8, false),
        k(key.empty() ? std::string("Root") : key, kUTF8, false);
    if (!d.getCFStringRef() || !k.getCFStringRef()) return false;
    CFTypeWrapper v(lookup(k, d));
    if (!isDictionary(v.getCFTypeRef())) return false;
    return appendKeys(static_cast<CFDictionaryRef>(v.getCFTypeRef()), keys) > 0;
}

bool listConfigStringKeys(const std::string&, const std::string&, std::vector<std::string>&,
                          uint32_t) {
    return false;
}

bool listAndMergeSystemUserConfigKeys(const std::string& domain, const std::string& key,
                                      std::vector<std::string>& keys) {
    CFStringWrapper d(domain, kUTF8, false), k(key, kUTF8, false);
    if (!d.getCFStringRef() || !k.getCFStringRef()) return false;
    std::set<std::string> merged;
    for (CFStringRef user : {kCFPreferencesAnyUser, kCFPreferencesCurrentUser}) {
        CFTypeWrapper v(CFPreferencesCopyValue(k.getCFStringRef(), d.getCFStringRef(), user,
                                               kCFPreferencesAnyHost));
        if (!isDictionary(v.getCFTypeRef())) continue;
        std::vector<std::string> names;
        appendKeys(static_cast<CFDictionaryRef>(v.getCFTypeRef()), names);
        merged.insert(names.begin(), names.end());
    }
    keys.insert(keys.end(), merged.begin(), merged.end());
    return !merged.empty();
}

// ---- Path of keys ---------------------------------------------------------------------

namespace {

bool readPath(const std::string& domain, const std::vector<std::string>& path, std::string& value,
              uint32_t level) {
    CFStringWrapper d(domain, kUTF8, false);
    if (!d.getCFStringRef()) return false;
    KeyList keys;
    if (!makeKeys(path, keys)) return false;
    CFTypeWrapper current(nullptr);
    if (level == CONFIG_LEVEL_SYSTEM) {
        current.reset(CFPreferencesCopyAppValue(keys[0]->getCFStringRef(), d.getCFStringRef()));
    } else if (level == CONFIG_LEVEL_SYSTEM_FILE) {
        CFTypeWrapper root(readPreferencesFile(libraryFolder(DOMAIN_LOCAL), domain));
        CFTypeRef v = root.getCFTypeRef()
                          ? CFDictionaryGetValue(static_cast<CFDictionaryRef>(root.getCFTypeRef()),
                                                 keys[0]->getCFStringRef())
                          : nullptr;
        current.reset(v ? CFRetain(v) : nullptr);
    }
    if (!current.getCFTypeRef())
        current.reset(CFPreferencesCopyValue(keys[0]->getCFStringRef(), d.getCFStringRef(),
                                             kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
    if (!current.getCFTypeRef()) return false;
    if (path.size() == 1) return stringValue(current.getCFTypeRef(), value);
    for (size_t i = 1; i < path.size(); ++i) {
        if (!isDictionary(current.getCFTypeRef())) return false;
        CFTypeRef v = CFDictionaryGetValue(static_cast<CFDictionaryRef>(current.getCFTypeRef()),
                                           keys[i]->getCFStringRef());
        if (!v) return false;
        if (i + 1 == path.size()) return stringValue(v, value);
        current.reset(CFRetain(v));
    }
    return false;
}

} // namespace

bool readConfigStringValue(const std::string& domain, const std::vector<std::string>& path,
                           std::string& value, uint32_t level) {
    if (path.size() == 1 && level != CONFIG_LEVEL_SYSTEM_FILE)
        return readConfigStringValue(domain, path[0], value, level);
    if (path.empty()) return false;
    if (readPath(domain, path, value, level)) return true;
    if (level == CONFIG_LEVEL_SYSTEM_FILE) return false;
    return readPath(domain, path, value, CONFIG_LEVEL_SYSTEM_FILE);
}

bool writeConfigStringValue(const std::string& domain, const std::vector<std::string>& path,
                            const std::string& value, uint32_t level) {
    if (path.empty() || path.size() > 3) return false;
    CFStringWrapper d(domain, kUTF8, false), v(value, kUTF8, false);
    if (!d.getCFStringRef() || !v.getCFStringRef()) return false;
    KeyList keys;
    if (!makeKeys(path, keys)) return false;
    if (path.size() == 1) return store(d, keys[0]->getCFStringRef(), v.getCFStringRef(), level);
    CFTypeWrapper stored(CFPreferencesCopyValue(keys[0]->getCFStringRef(), d.getCFStringRef(),
                                                levelUser(level), kCFPreferencesAnyHost));
    CFMutableDictionaryRef outer = mutableCopy(stored.getCFTypeRef());
    CFTypeWrapper outerHolder(outer);
    if (path.size() == 2) {
        CFDictionarySetValue(outer, keys[1]->getCFStringRef(), v.getCFStringRef());
    } else {
        CFMutableDictionaryRef inner =
            mutableCopy(CFDictionaryGetValue(outer, keys[1]->getCFStringRef()));
        CFTypeWrapper innerHolder(inner);
        CFDictionarySetValue(inner, keys[2]->getCFStringRef(), v.getCFStringRef());
        CFDictionarySetValue(outer, keys[1]->getCFStringRef(), inner);
    }
    return store(d, keys[0]->getCFStringRef(), outer, level);
}

bool listConfigKeys(const std::string& domain, const std::vector<std::string>& path,
                    std::vector<std::string>& keys, uint32_t level) {
    if (path.size() == 1) return listConfigKeys(domain, path[0], keys, level);
    CFStringWrapper d(domain, kUTF8, false);
    if (!d.getCFStringRef()) return false;
    if (path.empty()) {
        CFTypeWrapper list(CFPreferencesCopyKeyList(d.getCFStringRef(), kCFPreferencesCurrentUser,
                                                    kCFPreferencesAnyHost));
        if (!list.getCFTypeRef()) return false;
        auto array = static_cast<CFArrayRef>(list.getCFTypeRef());
        for (CFIndex i = 0, n = CFArrayGetCount(array); i < n; ++i) {
            std::string text;
            if (stringValue(CFArrayGetValueAtIndex(array, i), text)) keys.push_back(text);
        }
        return true;
    }
    KeyList names;
    if (!makeKeys(path, names)) return false;
    // The same first value as the path read of this level sees.
    CFTypeWrapper current(
        level == CONFIG_LEVEL_SYSTEM
            ? CFPreferencesCopyAppValue(names[0]->getCFStringRef(), d.getCFStringRef())
            : nullptr);
    if (!current.getCFTypeRef())
        current.reset(CFPreferencesCopyValue(names[0]->getCFStringRef(), d.getCFStringRef(),
                                             kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
    for (size_t i = 1; i < path.size(); ++i) {
        if (!isDictionary(current.getCFTypeRef())) return false;
        CFTypeRef v = CFDictionaryGetValue(static_cast<CFDictionaryRef>(current.getCFTypeRef()),
                                           names[i]->getCFStringRef());
        if (!v) return false;
        current.reset(CFRetain(v));
    }
    if (!isDictionary(current.getCFTypeRef())) return false;
    return appendKeys(static_cast<CFDictionaryRef>(current.getCFTypeRef()), keys) > 0;
}

bool deleteConfigKey(const std::string& domain, const std::vector<std::string>& path,
                     const std::string& key, uint32_t level) {
    if (path.size() > 2) return false;
    CFStringWrapper d(domain, kUTF8, false), k(key, kUTF8, false);
    if (!d.getCFStringRef() || !k.getCFStringRef()) return false;
    KeyList names;
    if (!makeKeys(path, names)) return false;
    if (path.empty()) return store(d, k.getCFStringRef(), nullptr, level);
    CFTypeWrapper stored(CFPreferencesCopyValue(names[0]->getCFStringRef(), d.getCFStringRef(),
                                                levelUser(level), kCFPreferencesAnyHost));
    if (isDictionary(stored.getCFTypeRef())) {
        CFMutableDictionaryRef outer = mutableCopy(stored.getCFTypeRef());
        CFTypeWrapper outerHolder(outer);
        bool changed = true;
        if (path.size() == 1) {
            CFDictionaryRemoveValue(outer, k.getCFStringRef());
        } else {
            CFTypeRef innerValue = CFDictionaryGetValue(outer, names[1]->getCFStringRef());
            changed = isDictionary(innerValue);
            if (changed) {
                CFMutableDictionaryRef inner = mutableCopy(innerValue);
                CFTypeWrapper innerHolder(inner);
                CFDictionaryRemoveValue(inner, k.getCFStringRef());
                CFDictionarySetValue(outer, names[1]->getCFStringRef(), inner);
            }
        }
        if (changed) return store(d, names[0]->getCFStringRef(), outer, level);
    }
    return CFPreferencesSynchronize(d.getCFStringRef(), levelUser(level), kCFPreferencesAnyHost);
}

} // namespace vantor
