// Facts about the running process and its user.
#pragma once

#include <string>

namespace platform {

// The program's short name (the last component of argv[0]).
std::string processName();
// The login name of the effective user id ($USER when it has no entry).
std::string userName();
// The kernel's name and release, e.g. "Linux 6.1.0-18-amd64".
std::string operatingSystemVersion();
bool environmentHasKey(const char* key);

} // namespace platform
