#include "platform/AlertHandler.h"

#include <atomic>
#include <cstdio>

namespace platform {
namespace {

std::atomic<AlertHandler> g_handler{nullptr};
std::atomic<AlertLogHook> g_logHook{nullptr};

} // namespace

AlertHandler setAlertHandler(AlertHandler handler) {
    return g_handler.exchange(handler);
}

void setAlertLogHook(AlertLogHook hook) {
    g_logHook.store(hook);
}

int runAlert(const Alert& alert) {
    AlertHandler handler = g_handler.load();
    return handler ? handler(alert) : defaultAlertHandler(alert);
}

int defaultAlertHandler(const Alert& alert) {
    std::string buttons;
    for (const std::string& b : alert.buttons) buttons += (buttons.empty() ? "" : "/") + b;
    std::fprintf(stderr, "ALERT: %s\n%s\n[%s]\n", alert.title.c_str(), alert.text.c_str(),
                 buttons.c_str());
    std::fflush(stderr);
    if (AlertLogHook hook = g_logHook.load()) hook(alert.title, alert.text);
    return kAlertFirstButton;
}

} // namespace platform
