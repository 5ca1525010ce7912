// Desktop services: modal alerts, well-known folders, user and process names,
// preferred languages, the sandbox test, and launching programs and opening
// files and web addresses. The wrap_ functions hold the platform calls; the
// plain functions in front of them are what the rest of the system calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---- Alerts ---------------------------------------------------------------------
// Title and text are UTF-8. The parent window is ignored. Alerts go through
// the alert handler (platform/AlertHandler.h), which by default writes them to
// standard error and to the log and answers with the first button at once.
void popupModalMessageWindowCocoa(void* parent, const char* title, const char* text);
// False when the alert ended with the second button ("No"), true otherwise.
bool popupModalYesNoWindowCocoa(void* parent, const char* title, const char* text);
// False when the alert ended with the second button ("Cancel"), true otherwise.
bool popupModalOkCancelWindowCocoa(void* parent, const char* title, const char* text);
void popupModalMessageWindow(void* parent, const std::string& title, const std::string& text);
bool popupModalYesNoWindow(void* parent, const std::string& title, const std::string& text,
                           bool flag = false);
bool popupModalOkCancelWindow(void* parent, const std::string& title, const std::string& text);

// ---- Folders and names ------------------------------------------------------------
enum VTC_FindFolder : uint32_t {
    FOLDER_USER_DATA =
        0,              // user: ${XDG_DATA_HOME:-$HOME/.local/share}; machine: first XDG_DATA_DIRS
    FOLDER_DESKTOP = 1, // user: $HOME/Desktop; machine: none
    FOLDER_LIBRARY = 2, // user: ${XDG_CONFIG_HOME:-$HOME/.config}; machine: first XDG_CONFIG_DIRS
};
enum VTC_FindFolderDomain : uint32_t {
    DOMAIN_USER = 0,
    DOMAIN_LOCAL = 1,
};

// `out` = the folder's path (created first with `create`). False, and `out`
// unchanged, for an unknown kind or domain or a folder that does not exist for
// that domain; false with `out` empty when the path needs 1024 bytes or more.
bool wrap_FindFolder(const VTC_FindFolder& kind, const VTC_FindFolderDomain& domain,
                     std::string& out, bool create);
std::string getUserPath();    // the user data folder; empty on failure
std::string getUserDesktop(); // the user's desktop; empty on failure
std::string getUserName();
// Appends the preferred languages without their regions ("en-US" gives "en");
// appends "en" and returns false when no language is configured.
bool getUserLanguageList(std::vector<std::string>& out);
// The running process's name (not a path); "dummy" (with a note on standard
// error) when it has none.
std::string PGetCurrentApplicationPath(void* unused = nullptr);
// The same into `out`; false when it gave "dummy".
bool PGetCurrentApplicationPath(std::string& out, void* unused);
std::string PGetCurrentModulePath(void* unused = nullptr); // always "/NOCLUE"
std::string getSandboxResourcePath();                      // always empty
double getPlatformScale();                                 // always 1.0

bool wrap_osversion(std::string& out);
bool wrap_userName(std::string& out);
bool wrap_processName(std::string& out);
bool wrap_tempDirectory(std::string& out); // ends with '/'
bool wrap_isProcessSandboxed();

// ---- Launching and opening --------------------------------------------------------
// Starts the program at `appPath` (a relative path is taken from the current
// folder) with the arguments that are valid UTF-8, detached; the handle (owned
// by the launcher, never freed by the caller) or null. The third parameter is
// unused.
void* wrap_launchApplication(const std::string& appPath, const std::vector<std::string>& arguments,
                             std::string& unused);
bool wrap_isRunningAppTerminated(void* handle); // true for null or an ended program
// Opens a local file or folder with its default application; nothing is
// reported.
void wrap_openURL(const std::string& path);
void startEditor(const std::string& path);
// Opens a web address with the default browser; nothing is reported.
void startBrowser(const std::string& url);
bool launchProgram(const std::string& path); // always false
bool launchProgramWait(const std::string& path, const std::string& arguments,
                       uint64_t timeout); // always true
bool launchProgramRedir(const std::string& path, const std::string& arguments,
                        const std::string& output, uint64_t timeout); // always true
