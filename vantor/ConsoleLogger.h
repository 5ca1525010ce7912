// The process's log file. One logger per process owns the file; while it is
// open, g_pluginStream points at its stream and every line written through
// writeLogLine lands there as
//   "I:" or "E:", thread handle, ":", monotonic microseconds, ":", text, LF.
// A cleanly closed log ends with "@"; a previous log that does not is kept as
// a dated copy before the new one replaces it.
#pragma once

#include <ctime>
#include <fstream>
#include <ostream>
#include <string>
#include <string_view>

// The open logger's stream; null while no log is open.
extern std::ostream* g_pluginStream;

enum class LogLevel { Info, Error };

// Writes one complete line to g_pluginStream and flushes it; nothing while no
// log is open. Lines from several threads never mix.
void writeLogLine(LogLevel level, std::string_view message);

class ConsoleLogger {
public:
    ConsoleLogger();
    // Writes the closing lines and the final "@" and closes the file.
    virtual ~ConsoleLogger();

    ConsoleLogger(const ConsoleLogger&) = delete;
    ConsoleLogger& operator=(const ConsoleLogger&) = delete;

    // Opens the log at `path` (copying an unfinished previous log first) and
    // writes its header; true when the header was written.
    bool init(const std::string& path);
    bool good() const { return m_stream.good(); }

    // Opens the process-wide logger at `path` the first time it is called;
    // later calls keep the first log and return the first result. The logger
    // lives until the process ends.
    static bool initOnce(const std::string& path);

    // The local time `t` in the asctime form without its line feed, e.g.
    // "Tue Dec  8 09:15:11 2026".
    static std::string timeText(time_t t);

private:
    std::string m_path;
    std::ofstream m_stream;
    bool m_alertHook = false;
};
