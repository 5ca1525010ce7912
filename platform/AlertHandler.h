// Modal alerts. Nothing here waits for a user: the default handler writes the
// alert to standard error (and through the log hook while one is set) and
// answers with the first button at once. Tests install their own handler.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Button results: the first button is 1000, the second 1001, and so on.
inline constexpr int kAlertFirstButton = 1000;

struct Alert {
    std::string title;                // UTF-8
    std::string text;                 // UTF-8
    std::vector<std::string> buttons; // in the order added
};

using AlertHandler = int (*)(const Alert& alert);
// Installs `handler` (null restores the default); returns the previous one.
AlertHandler setAlertHandler(AlertHandler handler);
// Shows `alert` through the current handler and returns its button result.
int runAlert(const Alert& alert);

// Called by the default handler with each alert's title and text; the log
// file sets it while it is open. Null turns it off.
using AlertLogHook = void (*)(const std::string& title, const std::string& text);
void setAlertLogHook(AlertLogHook hook);

// What the default handler does.
int defaultAlertHandler(const Alert& alert);

} // namespace platform
