#include "platform/ProcessInfo.h"

#include <errno.h> // program_invocation_short_name
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {

std::string processName() {
    const char* name = program_invocation_short_name;
    return name ? std::string(name) : std::string();
}

std::string userName() {
    if (const passwd* pw = getpwuid(geteuid())) {
        if (pw->pw_name && pw->pw_name[0]) return pw->pw_name;
    }
    const char* user = std::getenv("USER");
    return user ? std::string(user) : std::string();
}

std::string operatingSystemVersion() {
    utsname u;
    if (uname(&u) != 0) return "Linux";
    return std::string(u.sysname) + " " + u.release;
}

bool environmentHasKey(const char* key) {
    return key && std::getenv(key) != nullptr;
}

} // namespace platform
