#include "vantor/ConsoleLogger.h"

#include "platform/AlertHandler.h"
#include "vantor/support/PrivateHome.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <map>
#include <pthread.h>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

using testhome::readFile;
using testhome::Scratch;
using testhome::writeFile;

namespace {

const std::string kRule(79, '-');

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// "I:" or "E:", thread, ":", microseconds, ":" -> the message, or "" with
// level '?' when the line does not have that form.
struct Line {
    char level = '?';
    unsigned long long thread = 0;
    std::string message;
};

Line parse(const std::string& text) {
    Line line;
    if (text.size() < 2 || (text[0] != 'I' && text[0] != 'E') || text[1] != ':') return line;
    size_t pos = 2;
    unsigned long long numbers[2] = {};
    for (unsigned long long& number : numbers) {
        const size_t colon = text.find(':', pos);
        if (colon == std::string::npos || colon == pos) return line;
        const std::string digits = text.substr(pos, colon - pos);
        if (digits.find_first_not_of("0123456789") != std::string::npos) return line;
        number = std::stoull(digits);
        pos = colon + 1;
    }
    line.level = text[0];
    line.thread = numbers[0];
    line.message = text.substr(pos);
    return line;
}

bool fileExistsAt(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

std::string underscored(std::string text) {
    for (char& c : text)
        if (c == ':') c = '_';
    return text;
}

// True when `candidate` is the time text (with ':' or '_') of a moment
// between `before` and now.
bool matchesTimeBetween(const std::string& candidate, time_t before, bool underscore) {
    for (time_t t = before; t <= std::time(nullptr); ++t) {
        const std::string text = ConsoleLogger::timeText(t);
        if (candidate == (underscore ? underscored(text) : text)) return true;
    }
    return false;
}

TEST(TimeText, AsctimeFormWithoutLineFeed) {
    EXPECT_EQ(ConsoleLogger::timeText(1796721311), "Tue Dec  8 09:15:11 2026");
    EXPECT_EQ(ConsoleLogger::timeText(1752534309), "Mon Jul 14 23:05:09 2025");
    EXPECT_EQ(ConsoleLogger::timeText(0), "Thu Jan  1 00:00:00 1970");
}

using LogFile = Scratch;

TEST_F(LogFile, HeaderLinesThenClosingLinesAndFinalAt) {
    const std::string log = path("plugin.log");
    const time_t before = std::time(nullptr);
    {
        ConsoleLogger logger;
        ASSERT_TRUE(logger.init(log));
        EXPECT_TRUE(logger.good());
        ASSERT_NE(g_pluginStream, nullptr);

        const auto lines = linesOf(readFile(log));
        ASSERT_EQ(lines.size(), 3u);
        const Line first = parse(lines[0]);
        EXPECT_EQ(first.level, 'I');
        EXPECT_EQ(first.thread, static_cast<unsigned long long>(::pthread_self()));
        std::ostringstream address;
        address << static_cast<void*>(g_pluginStream);
        EXPECT_EQ(first.message, "g_pluginStream:" + address.str());
        EXPECT_EQ(first.message.substr(0, 17), "g_pluginStream:0x");

        const Line second = parse(lines[1]);
        EXPECT_EQ(second.level, 'I');
        const std::string head = log + " opened on: ";
        const std::string tail = std::string(" BUILD:") + __DATE__;
        ASSERT_EQ(second.message.rfind(head, 0), 0u) << second.message;
        ASSERT_GT(second.message.size(), head.size() + tail.size());
        EXPECT_EQ(second.message.substr(second.message.size() - tail.size()), tail);
        const std::string date =
            second.message.substr(head.size(), second.message.size() - head.size() - tail.size());
        EXPECT_TRUE(matchesTimeBetween(date, before, true)) << date;

        EXPECT_EQ(parse(lines[2]).message, kRule);
    }
    EXPECT_EQ(g_pluginStream, nullptr);

    const std::string text = readFile(log);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '@');
    const auto lines = linesOf(text);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(parse(lines[3]).message, kRule);
    const Line closed = parse(lines[4]);
    EXPECT_EQ(closed.level, 'I');
    const std::string head = log + " closed on: ";
    ASSERT_EQ(closed.message.rfind(head, 0), 0u) << closed.message;
    EXPECT_TRUE(matchesTimeBetween(closed.message.substr(head.size()), before, false))
        << closed.message;
    EXPECT_EQ(lines[5], "@");
}

TEST_F(LogFile, WritersUseTheLineFormatOnlyWhileALogIsOpen) {
    const std::string log = path("lines.log");
    writeLogLine(LogLevel::Error, "dropped before init");
    {
        ConsoleLogger logger;
        ASSERT_TRUE(logger.init(log));
        writeLogLine(LogLevel::Info, "info text");
        writeLogLine(LogLevel::Error, "error text");
    }
    writeLogLine(LogLevel::Error, "dropped after close");
    const auto lines = linesOf(readFile(log));
    ASSERT_EQ(lines.size(), 8u);
    const Line info = parse(lines[3]);
    const Line error = parse(lines[4]);
    EXPECT_EQ(info.level, 'I');
    EXPECT_EQ(info.message, "info text");
    EXPECT_EQ(error.level, 'E');
    EXPECT_EQ(error.message, "error text");
    EXPECT_EQ(error.thread, static_cast<unsigned long long>(::pthread_self()));
    EXPECT_EQ(readFile(log).find("dropped"), std::string::npos);
}

// What happens to the previous log when a new one is opened.
TEST_F(LogFile, PreviousLogIsCopiedOnlyWhenItLacksTheFinalAt) {
    const struct {
        const char* name;
        std::string previous;
        bool copied;
    } cases[] = {
        {"clean", "I:1:2:x\n@", false},
        {"crashed", "I:1:2:last words\n", true},
        {"empty", "", false},
        {"truncated", "I:1:2:partial", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = path(c.name);
        ::mkdir(folder.c_str(), 0755);
        const std::string log = folder + "/p.log";
        writeFile(log, c.previous);
        const time_t before = std::time(nullptr);
        {
            ConsoleLogger logger;
            ASSERT_TRUE(logger.init(log));
        }
        std::vector<std::string> copies;
        for (const std::string& name : namesIn(folder))
            if (name != "p.log") copies.push_back(name);
        if (!c.copied) {
            EXPECT_TRUE(copies.empty());
            continue;
        }
        ASSERT_EQ(copies.size(), 1u);
        const std::string& copy = copies[0];
        ASSERT_EQ(copy.rfind("p.log_", 0), 0u) << copy;
        ASSERT_EQ(copy.substr(copy.size() - 4), ".log") << copy;
        EXPECT_TRUE(matchesTimeBetween(copy.substr(6, copy.size() - 10), before, true)) << copy;
        EXPECT_EQ(readFile(folder + "/" + copy), c.previous);
        EXPECT_EQ(readFile(log).back(), '@');
    }
}

TEST_F(LogFile, UnopenableLogFailsAndKeepsWritersHarmless) {
    const std::string log = path("no/such/folder/x.log");
    {
        ConsoleLogger logger;
        EXPECT_FALSE(logger.init(log));
        EXPECT_FALSE(logger.good());
        writeLogLine(LogLevel::Error, "into a failed stream");
    }
    EXPECT_EQ(g_pluginStream, nullptr);
    EXPECT_FALSE(fileExistsAt(log));
}

// A logger that does not own the current stream leaves it alone when it is
// destroyed.
TEST_F(LogFile, OnlyTheOwningLoggerClosesTheLog) {
    const std::string log = path("owner.log");
    ConsoleLogger owner;
    ASSERT_TRUE(owner.init(log));
    { ConsoleLogger neverOpened; }
    EXPECT_NE(g_pluginStream, nullptr);
    writeLogLine(LogLevel::Info, "still open");
    EXPECT_EQ(readFile(log).find('@'), std::string::npos);
    EXPECT_EQ(parse(linesOf(readFile(log)).back()).message, "still open");
}

TEST_F(LogFile, LinesFromManyThreadsStayWhole) {
    const std::string log = path("threads.log");
    {
        ConsoleLogger logger;
        ASSERT_TRUE(logger.init(log));
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([t] {
                for (int i = 0; i < 200; ++i)
                    writeLogLine(LogLevel::Info, "thread " + std::to_string(t) + " line " +
                                                     std::to_string(i) + std::string(40, 'x'));
            });
        for (auto& th : threads) th.join();
    }
    const auto lines = linesOf(readFile(log));
    ASSERT_EQ(lines.size(), 3u + 800u + 3u);
    std::multiset<std::string> expected;
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 200; ++i)
            expected.insert("thread " + std::to_string(t) + " line " + std::to_string(i) +
                            std::string(40, 'x'));
    std::multiset<std::string> written;
    std::set<unsigned long long> threads;
    for (size_t i = 3; i < 803; ++i) {
        const Line line = parse(lines[i]);
        ASSERT_EQ(line.level, 'I') << lines[i];
        written.insert(line.message);
        threads.insert(line.thread);
    }
    EXPECT_EQ(written, expected);
    EXPECT_EQ(threads.size(), 4u);
}

TEST_F(LogFile, AlertsAlsoGoToTheOpenLog) {
    const std::string log = path("alerts.log");
    {
        ConsoleLogger logger;
        ASSERT_TRUE(logger.init(log));
        platform::runAlert({"Morvane Engine", "Cannot find data installation", {"OK"}});
    }
    platform::runAlert({"After", "close", {"OK"}});
    const std::string text = readFile(log);
    EXPECT_NE(text.find("Morvane Engine"), std::string::npos);
    EXPECT_NE(text.find("Cannot find data installation"), std::string::npos);
    EXPECT_EQ(text.find("After"), std::string::npos);
}

// The process-wide logger opens once, and its log is closed with "@" when the
// process ends.
TEST_F(LogFile, ProcessLogOpensOnceAndClosesAtExit) {
    const std::string first = path("once.log");
    const std::string second = path("twice.log");
    EXPECT_EXIT(
        {
            const bool a = ConsoleLogger::initOnce(first);
            const bool b = ConsoleLogger::initOnce(second);
            std::exit(a && b && !fileExistsAt(second) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    const std::string text = readFile(first);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '@');
    EXPECT_EQ(linesOf(text).size(), 6u);
}

} // namespace
