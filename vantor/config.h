// Preference values of a preferences domain (a reverse-DNS name such as
// "com.vantor.morvane"): integers, doubles and UTF-8 strings, and nested
// dictionaries reached through a path of keys.
//
// Single-key writes and deletes always address the current user, whatever the
// level. For path writes and deletes (see platform/CFPreferences.h for the files):
//   CONFIG_LEVEL_SYSTEM:      written for all users; read through the search
//                             over every store, which includes it.
//   every other level:        written for the current user; read through the
//                             search (path reads: the current user's store).
//   CONFIG_LEVEL_SYSTEM_FILE: path reads also look into the machine-wide file.
//   CONFIG_LEVEL_USER_FILE:   single-key string reads look into the user's file
//                             directly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantor {

enum CONFIG_LEVEL : uint32_t {
    CONFIG_LEVEL_USER = 0,
    CONFIG_LEVEL_SYSTEM = 1,
    CONFIG_LEVEL_SYSTEM_FILE = 3,
    CONFIG_LEVEL_USER_FILE = 4,
};

// ---- Single key ---------------------------------------------------------------------
bool readConfigIntValue(const std::string& domain, const std::string& key, int& value,
                        uint32_t level);
bool readConfigDoubleValue(const std::string& domain, const std::string& key, double& value,
                           uint32_t level);
bool readConfigStringValue(const std::string& domain, const std::string& key, std::string& value,
                           uint32_t level);
bool writeConfigIntValue(const std::string& domain, const std::string& key, int value,
                         uint32_t level);
bool writeConfigStringValue(const std::string& domain, const std::string& key,
                            const std::string& value, uint32_t level);
bool deleteConfigValue(const std::string& domain, const std::string& key, uint32_t level);
bool deleteConfigKey(const std::string& domain, const std::string& key, uint32_t level); // false
// Appends the keys of the dictionary at `key` ("Root" when empty).
bool listConfigKeys(const std::string& domain, const std::string& key,
                    std::vector<std::string>& keys, uint32_t level);
bool listConfigStringKeys(const std::string& domain, const std::string& key,
                          std::vector<std::string>& keys, uint32_t level); // false
// Appends, sorted and without duplicates, the keys of the dictionaries stored
// at `key` for all users and for the current user.
bool listAndMergeSystemUserConfigKeys(const std::string& domain, const std::string& key,
                                      std::vector<std::string>& keys);

// ---- Path of keys -------------------------------------------------------------------
bool readConfigStringValue(const std::string& domain, const std::vector<std::string>& path,
                           std::string& value, uint32_t level);
bool writeConfigStringValue(const std::string& domain, const std::vector<std::string>& path,
                            const std::string& value, uint32_t level); // 1 to 3 keys
bool listConfigKeys(const std::string& domain, const std::vector<std::string>& path,
                    std::vector<std::string>& keys, uint32_t level);
bool deleteConfigKey(const std::string& domain, const std::vector<std::string>& path,
                     const std::string& key, uint32_t level); // path of 0 to 2 keys

} // namespace vantor
