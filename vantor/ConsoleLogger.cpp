#include "vantor/ConsoleLogger.h"

#include "platform/AlertHandler.h"
#include "platform/RegularFile.h"
#include "vantor/PlatformToolsDesktop.h"
#include "vantor/PlatformToolsFiles.h"
#include "vantor/VNTRConv.h"

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

std::ostream* g_pluginStream = nullptr;

namespace {

// Guards g_pluginStream and every line written to it.
std::mutex g_logLock;

const std::string kRule(79, '-');

uint64_t monotonicMicros() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return (static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec)) /
           1000;
}

void writeLineLocked(std::ostream& out, LogLevel level, std::string_view message) {
    std::string line = level == LogLevel::Error ? "E:" : "I:";
    line += std::to_string(static_cast<unsigned long>(::pthread_self()));
    line += ':';
    line += std::to_string(monotonicMicros());
    line += ':';
    line += message;
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.flush();
}

void logAlert(const std::string& title, const std::string& text) {
    writeLogLine(LogLevel::Info, title + ": " + text);
}

// True when `path` is a regular file whose last byte is not '@'. A file that
// cannot be opened or read is not looked at further.
bool endsUnfinished(const std::string& path) {
    const int fd = platform::openRegularFile(path);
    if (fd < 0) return false;
    struct stat st {};
    char last = '@';
    const bool read =
        ::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1;
    ::close(fd);
    return read && last != '@';
}

} // namespace

void writeLogLine(LogLevel level, std::string_view message) {
    std::lock_guard<std::mutex> lock(g_logLock);
    if (g_pluginStream) writeLineLocked(*g_pluginStream, level, message);
}

ConsoleLogger::ConsoleLogger() = default;

ConsoleLogger::~ConsoleLogger() {
    bool owner = false;
    {
        std::lock_guard<std::mutex> lock(g_logLock);
        owner = g_pluginStream == &m_stream;
    }
    if (m_alertHook && owner) platform::setAlertLogHook(nullptr);
    const std::string closedAt = timeText(std::time(nullptr));
    std::lock_guard<std::mutex> lock(g_logLock);
    // Only the logger that owns the current stream closes the log; another
    // logger's stream is left alone.
    if (g_pluginStream == &m_stream) {
        writeLineLocked(m_stream, LogLevel::Info, kRule);
        writeLineLocked(m_stream, LogLevel::Info,
                        VNTRConv(m_path, UTF8) + " closed on: " + closedAt);
        m_stream << '@';
        m_stream.flush();
        g_pluginStream = nullptr;
    }
    if (m_stream.is_open()) m_stream.close();
}

bool ConsoleLogger::init(const std::string& path) {
    m_path = path;
    std::string openedAt = timeText(std::time(nullptr));
    for (char& c : openedAt)
        if (c == ':') c = '_';

    if (fileSize(path) > 0 && endsUnfinished(path))
        PCopyFile(path, path + "_" + openedAt + ".log", true);

    {
        std::lock_guard<std::mutex> lock(g_logLock);
        if (m_stream.is_open()) m_stream.close();
        m_stream.clear();
        m_stream.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
        g_pluginStream = &m_stream;
        if (!m_stream.good()) return false;

        char address[32];
        std::snprintf(address, sizeof address, "%p", static_cast<void*>(&m_stream));
        writeLineLocked(m_stream, LogLevel::Info, std::string("g_pluginStream:") + address);
        if (!m_stream.good()) return false;
        writeLineLocked(m_stream, LogLevel::Info,
                        VNTRConv(path, UTF8) + " opened on: " + openedAt + " BUILD:" + __DATE__);
        writeLineLocked(m_stream, LogLevel::Info, kRule);
    }
    platform::setAlertLogHook(logAlert);
    m_alertHook = true;
    return true;
}

bool ConsoleLogger::initOnce(const std::string& path) {
    static std::once_flag once;
    static bool result = false;
    std::call_once(once, [&path] {
        static ConsoleLogger logger;
        result = logger.init(path);
    });
    return result;
}

std::string ConsoleLogger::timeText(time_t t) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    struct tm local {};
    if (!::localtime_r(&t, &local)) return std::string();
    if (local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 || local.tm_mon > 11)
        return std::string();
    char buffer[79];
    std::snprintf(buffer, sizeof buffer, "%.3s %.3s%3d %.2d:%.2d:%.2d %lld", days[local.tm_wday],
                  months[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<long long>(local.tm_year) + 1900);
    return buffer;
}
