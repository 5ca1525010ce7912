// Where a benchmark finds the data files the build generates: the product
// folder build/data beside build/bench, found from the running program.
#pragma once

#include <unistd.h>

#include <string>

// The model-profile file next to the engine plug-in in the build tree.
inline std::string profilePath() {
    char exe[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir = n > 0 ? std::string(exe, size_t(n)) : std::string();
    dir = dir.substr(0, dir.find_last_of('/'));
    return dir + "/../data/md_profiles.riff";
}
