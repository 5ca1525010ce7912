#include "vantor/PlatformToolsCocoa.h"

#include <cstdio>
#include <cstring>

#include "platform/AlertHandler.h"
#include "platform/CFArray.h"
#include "platform/CFLocale.h"
#include "platform/Launcher.h"
#include "platform/ProcessInfo.h"
#include "platform/StandardFolders.h"
#include "vantor/CFTools.h"

namespace {

// The text as a platform string when it is valid UTF-8.
bool convertsFromUTF8(const char* text) {
    if (!text) return false;
    vantor::CFStringWrapper s(text, kCFStringEncodingUTF8, false);
    return s.getCFStringRef() != nullptr;
}

int runAlert(const char* title, const char* text, std::vector<std::string> buttons,
             const char* textWhenInvalid) {
    platform::Alert alert;
    alert.title = convertsFromUTF8(title) ? title : "";
    alert.text = convertsFromUTF8(text) ? text : textWhenInvalid;
    alert.buttons = std::move(buttons);
    return platform::runAlert(alert);
}

constexpr int kSecondButton = platform::kAlertFirstButton + 1;

} // namespace

// ---- Alerts ---------------------------------------------------------------------------

void popupModalMessageWindowCocoa(void*, const char* title, const char* text) {
    runAlert(title, text, {"OK"}, "OK");
}

bool popupModalYesNoWindowCocoa(void*, const char* title, const char* text) {
    return runAlert(title, text, {"Yes", "No"}, "") != kSecondButton;
}

bool popupModalOkCancelWindowCocoa(void*, const char* title, const char* text) {
    return runAlert(title, text, {"Ok", "Cancel"}, "") != kSecondButton;
}

void popupModalMessageWindow(void*, const std::string& title, const std::string& text) {
    popupModalMessageWindowCocoa(nullptr, title.c_str(), text.c_str());
}

bool popupModalYesNoWindow(void*, const std::string& title, const std::string& text, bool) {
    return popupModalYesNoWindowCocoa(nullptr, title.c_str(), text.c_str());
}

bool popupModalOkCancelWindow(void*, const std::string& title, const std::string& text) {
    return popupModalOkCancelWindowCocoa(nullptr, title.c_str(), text.c_str());
}

// ---- Folders and names ----------------------------------------------------------------

bool wrap_FindFolder(const VTC_FindFolder& kind, const VTC_FindFolderDomain& domain,
                     std::string& out, bool create) {
    if (kind > FOLDER_LIBRARY || domain > DOMAIN_LOCAL) return false;
    std::string path;
    const bool user = domain == DOMAIN_USER;
    switch (kind) {
    case FOLDER_USER_DATA:
        path = user ? platform::userDataFolder() : platform::machineDataFolder();
        break;
    case FOLDER_DESKTOP:
        path = user ? platform::desktopFolder() : std::string();
        break;
    case FOLDER_LIBRARY:
        path = user ? platform::userConfigFolder() : platform::machineConfigFolder();
        break;
    }
    if (path.empty()) return false;
    if (create && !platform::makeFolders(path)) return false;
    vantor::CFURLWrapper url(reinterpret_cast<const uint8_t*>(path.data()), path.size(), true);
    if (!url.getCFURLRef()) return false;
    return url.getFileSystemRepresentation(out);
}

std::string getUserPath() {
    std::string path;
    return wrap_FindFolder(FOLDER_USER_DATA, DOMAIN_USER, path, false) ? path : std::string();
}

std::string getUserDesktop() {
    std::string path;
    return wrap_FindFolder(FOLDER_DESKTOP, DOMAIN_USER, path, false) ? path : std::string();
}

std::string getUserName() {
    std::string name;
    wrap_userName(name);
    return name;
}

bool getUserLanguageList(std::vector<std::string>& out) {
    CFArrayRef languages = CFLocaleCopyPreferredLanguages();
    if (!languages) {
        out.push_back("en");
        return false;
    }
    for (CFIndex i = 0, n = CFArrayGetCount(languages); i < n; ++i) {
        CFTypeRef entry = CFArrayGetValueAtIndex(languages, i);
        if (CFGetTypeID(entry) != CFStringGetTypeID()) continue;
        char buffer[64] = {};
        if (!CFStringGetCString(static_cast<CFStringRef>(entry), buffer, sizeof buffer,
                                kCFStringEncodingUTF8))
            continue;
        std::string tag = buffer;
        out.push_back(tag.substr(0, tag.find('-')));
    }
    CFRelease(languages);
    return true;
}

std::string PGetCurrentApplicationPath(void*) {
    std::string name;
    wrap_processName(name);
    if (name.empty()) {
        std::fputs("wrap_processName failed or gave empty name, dummy case\n", stderr);
        return "dummy";
    }
    return name;
}

bool PGetCurrentApplicationPath(std::string& out, void*) {
    std::string name;
    wrap_processName(name);
    out = PGetCurrentApplicationPath(nullptr);
    return !name.empty();
}

std::string PGetCurrentModulePath(void*) {
    return "/NOCLUE";
}

std::string getSandboxResourcePath() {
    return std::string();
}

double getPlatformScale() {
    return 1.0;
}

bool wrap_osversion(std::string& out) {
    out = platform::operatingSystemVersion();
    return true;
}

bool wrap_userName(std::string& out) {
    out = platform::userName();
    return true;
}

bool wrap_processName(std::string& out) {
    out = platform::processName();
    return true;
}

bool wrap_tempDirectory(std::string& out) {
    out = platform::tempFolder();
    return true;
}

bool wrap_isProcessSandboxed() {
    std::string name;
    wrap_processName(name);
    if (name == "AUHostingServiceXPC_arrow" || name == "AUHostingServiceXPC") return true;
    return platform::environmentHasKey("APP_SANDBOX_CONTAINER_ID");
}

// ---- Launching and opening ------------------------------------------------------------

void* wrap_launchApplication(const std::string& appPath, const std::vector<std::string>& arguments,
                             std::string&) {
    vantor::CFStringWrapper text(appPath, kCFStringEncodingUTF8, false);
    if (!text.getCFStringRef()) return nullptr;
    vantor::CFURLWrapper url(text.getCFStringRef(), false);
    std::string program;
    if (!url.getFileSystemRepresentation(program)) return nullptr;
    std::vector<std::string> args;
    for (const std::string& a : arguments) {
        vantor::CFStringWrapper arg(a, kCFStringEncodingUTF8, false);
        if (arg.getCFStringRef()) args.push_back(a);
    }
    return platform::launchApplication(program, args);
}

bool wrap_isRunningAppTerminated(void* handle) {
    return platform::isTerminated(static_cast<platform::RunningApplication*>(handle));
}

void wrap_openURL(const std::string& path) {
    vantor::CFStringWrapper text(path, kCFStringEncodingUTF8, false);
    if (!text.getCFStringRef()) return;
    vantor::CFURLWrapper url(text.getCFStringRef(), false);
    std::string target;
    if (!url.getFileSystemRepresentation(target)) return;
    platform::openWithDefaultApplication(target);
}

void startEditor(const std::string& path) {
    wrap_openURL(path);
}

void startBrowser(const std::string& url) {
    vantor::CFURLWrapper u(
        CFURLCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const uint8_t*>(url.data()),
                             static_cast<CFIndex>(url.size()), kCFStringEncodingASCII, nullptr));
    if (!u.getCFURLRef()) return;
    std::string text;
    vantor::CFStringWrapper s(static_cast<CFStringRef>(CFRetain(CFURLGetString(u.getCFURLRef()))));
    if (!s.getCString2048(text, kCFStringEncodingUTF8)) return;
    platform::openWithDefaultApplication(text);
}

bool launchProgram(const std::string&) {
    return false;
}

bool launchProgramWait(const std::string&, const std::string&, uint64_t) {
    return true;
}

bool launchProgramRedir(const std::string&, const std::string&, const std::string&, uint64_t) {
    return true;
}
