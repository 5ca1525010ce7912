#include "platform/CFBundle.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include "platform/CFObject.h"

struct SxCFBundle : SxCFObject {
    SxCFBundle() : SxCFObject(kSxTypeBundle) {}
    std::string folder;     // absolute path of the bundle folder
    void* handle = nullptr; // dlopen handle while loaded
};

namespace {

SxCFBundle* asBundle(CFBundleRef ref) {
    return (ref && ref->typeID == kSxTypeBundle) ? ref : nullptr;
}

CFURLRef urlOf(const std::string& path, bool isDirectory) {
    return CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault,
                                                   reinterpret_cast<const uint8_t*>(path.data()),
                                                   static_cast<CFIndex>(path.size()), isDirectory);
}

std::string executablePath(const SxCFBundle& b) {
    std::string name = b.folder.substr(b.folder.rfind('/') + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return b.folder + "/Contents/x86_64-linux/" + name + ".so";
}

std::string utf8Of(CFStringRef s) {
    const SxCFString* str = sxAs<SxCFString>(s, kSxTypeString);
    return str ? str->utf8 : std::string();
}

} // namespace

CFTypeID CFBundleGetTypeID() {
    return kSxTypeBundle;
}

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL) {
    uint8_t path[4096];
    if (!CFURLGetFileSystemRepresentation(bundleURL, true, path, sizeof path)) return nullptr;
    struct stat st;
    if (stat(reinterpret_cast<const char*>(path), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
    auto* b = new SxCFBundle();
    b->folder = reinterpret_cast<const char*>(path);
    return b;
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) {
    SxCFBundle* b = asBundle(bundle);
    return b ? urlOf(b->folder, true) : nullptr;
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle) {
    SxCFBundle* b = asBundle(bundle);
    return b ? urlOf(b->folder + "/Contents/Resources", true) : nullptr;
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef name, CFStringRef type,
                                 CFStringRef subfolder) {
    SxCFBundle* b = asBundle(bundle);
    std::string file = utf8Of(name);
    if (!b || file.empty() || file.find('/') != std::string::npos) return nullptr;
    std::string ext = utf8Of(type);
    if (!ext.empty()) file += (ext[0] == '.' ? "" : ".") + ext;
    std::string path = b->folder + "/Contents/Resources/";
    std::string sub = utf8Of(subfolder);
    if (!sub.empty()) path += sub + "/";
    path += file;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return nullptr;
    return urlOf(path, S_ISDIR(st.st_mode));
}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle) {
    SxCFBundle* b = asBundle(bundle);
    return b ? urlOf(executablePath(*b), false) : nullptr;
}

bool CFBundleLoadExecutable(CFBundleRef bundle) {
    SxCFBundle* b = asBundle(bundle);
    if (!b) return false;
    if (!b->handle) b->handle = dlopen(executablePath(*b).c_str(), RTLD_NOW | RTLD_LOCAL);
    return b->handle != nullptr;
}

bool CFBundleIsExecutableLoaded(CFBundleRef bundle) {
    SxCFBundle* b = asBundle(bundle);
    return b && b->handle;
}

void CFBundleUnloadExecutable(CFBundleRef bundle) {
    SxCFBundle* b = asBundle(bundle);
    if (!b || !b->handle) return;
    dlclose(b->handle);
    b->handle = nullptr;
}

void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef name) {
    SxCFBundle* b = asBundle(bundle);
    std::string symbol = utf8Of(name);
    if (!b || symbol.empty() || !CFBundleLoadExecutable(bundle)) return nullptr;
    return dlsym(b->handle, symbol.c_str());
}
