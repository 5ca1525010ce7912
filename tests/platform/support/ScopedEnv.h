// A private folder tree for one test: HOME, XDG_CONFIG_HOME, XDG_CONFIG_DIRS,
// XDG_DATA_HOME, XDG_DATA_DIRS and TMPDIR point into it while the object
// lives; the old values come back and the tree is removed afterwards.
#pragma once

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace sxtest {

class ScopedEnv {
public:
    ScopedEnv() {
        std::string pattern = "/tmp/sx-platform-XXXXXX";
        if (mkdtemp(pattern.data())) root = pattern;
        home = root + "/home";
        configHome = root + "/config";
        configDirs = root + "/etc-xdg";
        dataHome = root + "/data";
        dataDirs = root + "/share";
        tmp = root + "/tmp";
        for (const std::string* d : {&home, &configHome, &configDirs, &dataHome, &dataDirs, &tmp})
            mkdir(d->c_str(), 0755);
        set("HOME", home);
        set("XDG_CONFIG_HOME", configHome);
        set("XDG_CONFIG_DIRS", configDirs + ":/etc/xdg");
        set("XDG_DATA_HOME", dataHome);
        set("XDG_DATA_DIRS", dataDirs + ":/usr/share");
        set("TMPDIR", tmp);
    }
    ~ScopedEnv() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second.first)
                setenv(it->first.c_str(), it->second.second.c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
        if (!root.empty())
            nftw(
                root.c_str(),
                [](const char* p, const struct stat*, int, FTW*) { return remove(p); }, 16,
                FTW_DEPTH | FTW_PHYS);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    // Sets (or, with null, removes) a variable until the object ends.
    void set(const char* name, const char* value) {
        bool known = false;
        for (auto& s : m_saved) known = known || s.first == name;
        if (!known) {
            const char* old = std::getenv(name);
            m_saved.push_back({name, {old != nullptr, old ? old : ""}});
        }
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    void set(const char* name, const std::string& value) { set(name, value.c_str()); }

    static bool writeFile(const std::string& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary);
        out << text;
        return bool(out);
    }
    static std::string readFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static bool exists(const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }

    std::string root, home, configHome, configDirs, dataHome, dataDirs, tmp;

private:
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> m_saved;
};

} // namespace sxtest
