// Alerts the code under test raises, kept for the test to read instead of
// being shown: install `captureAlert` with platform::setAlertHandler. Every
// captured alert is answered with its first button.
#pragma once

#include <vector>

#include "platform/AlertHandler.h"

namespace testsupport {

// The alerts captured so far in this test program, oldest first.
inline std::vector<platform::Alert>& alerts() {
    static std::vector<platform::Alert> list;
    return list;
}

inline int captureAlert(const platform::Alert& alert) {
    alerts().push_back(alert);
    return platform::kAlertFirstButton;
}

} // namespace testsupport
