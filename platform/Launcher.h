// Starting programs detached from this process (posix_spawn in a session of
// their own, output to /dev/null) and opening files and URLs with the desktop's
// default application (xdg-open found on PATH). Finished children are reaped
// whenever another launch or a termination test runs; nothing waits.
#pragma once

#include <string>
#include <vector>

namespace platform {

class RunningApplication; // owned by the launcher until the process ends

// Starts `program` with `arguments`; null when it cannot be started. A program
// without '/' is searched on PATH.
RunningApplication* launchApplication(const std::string& program,
                                      const std::vector<std::string>& arguments);
// True for null and for a program that has ended.
bool isTerminated(RunningApplication* app);
// Runs `xdg-open target`; false when it cannot be started.
bool openWithDefaultApplication(const std::string& target);

} // namespace platform
