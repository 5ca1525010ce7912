#include "platform/StandardFolders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace platform {
namespace {

// The variable when it holds an absolute path.
std::string absoluteEnv(const char* name) {
    const char* v = std::getenv(name);
    return (v && v[0] == '/') ? std::string(v) : std::string();
}

// The first absolute entry of a ':' list variable, else the first of `fallback`.
std::string firstOfList(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    std::string list = (v && *v) ? v : fallback;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        std::string entry = list.substr(start, end - start);
        if (!entry.empty() && entry[0] == '/') return entry;
        start = end + 1;
    }
    std::string f = fallback;
    return f.substr(0, f.find(':'));
}

std::string withoutTrailingSlash(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

// `base` + `sub`, or empty when there is no base.
std::string under(const std::string& base, const char* sub) {
    return base.empty() ? std::string() : withoutTrailingSlash(base) + sub;
}

} // namespace

std::string homeFolder() {
    std::string home = absoluteEnv("HOME");
    if (home.empty()) {
        if (const passwd* pw = getpwuid(getuid())) {
            if (pw->pw_dir && pw->pw_dir[0] == '/') home = pw->pw_dir;
        }
    }
    return withoutTrailingSlash(home);
}

std::string userDataFolder() {
    std::string v = absoluteEnv("XDG_DATA_HOME");
    return v.empty() ? under(homeFolder(), "/.local/share") : withoutTrailingSlash(v);
}

std::string userConfigFolder() {
    std::string v = absoluteEnv("XDG_CONFIG_HOME");
    return v.empty() ? under(homeFolder(), "/.config") : withoutTrailingSlash(v);
}

std::string desktopFolder() {
    return under(homeFolder(), "/Desktop");
}

std::string machineDataFolder() {
    return withoutTrailingSlash(firstOfList("XDG_DATA_DIRS", "/usr/local/share:/usr/share"));
}

std::string machineConfigFolder() {
    return withoutTrailingSlash(firstOfList("XDG_CONFIG_DIRS", "/etc/xdg"));
}

std::string tempFolder() {
    std::string t = absoluteEnv("TMPDIR");
    if (t.empty()) t = "/tmp";
    if (t.back() != '/') t.push_back('/');
    return t;
}

std::string hostIdentifier() {
    std::ifstream in("/etc/machine-id");
    std::string id;
    if (in && std::getline(in, id)) {
        bool ok = !id.empty();
        for (char c : id) ok = ok && std::isxdigit(static_cast<unsigned char>(c));
        if (ok) return id;
    }
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0 && host[0]) {
        std::string h = host;
        for (char& c : h)
            if (c == '/') c = '_';
        return h;
    }
    return "localhost";
}

bool makeFolders(const std::string& path) {
    if (path.empty()) return false;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash)))
        return false;
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace platform
