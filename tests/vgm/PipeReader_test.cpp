#include "vgm/PipeReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using VGM::PipeQueueEntry;
using VGM::PipeReaderListener;

namespace {

constexpr auto kDeadline = std::chrono::seconds(20); // bound for waits that should end soon

bool operator==(const PipeQueueEntry& a, const PipeQueueEntry& b) {
    return a.address == b.address && a.value == b.value && a.port == b.port;
}

// The n-th write of a test stream: every field changes from one record to the next.
PipeQueueEntry nthWrite(size_t n) {
    return {static_cast<uint16_t>(n * 257 + 3), static_cast<uint8_t>(n * 7),
            static_cast<uint8_t>(n % 3)};
}

std::vector<uint8_t> recordsBytes(size_t first, size_t count) {
    std::vector<uint8_t> bytes;
    for (size_t n = first; n < first + count; ++n) {
        const PipeQueueEntry e = nthWrite(n);
        bytes.insert(bytes.end(), {static_cast<uint8_t>(e.address),
                                   static_cast<uint8_t>(e.address >> 8), e.value, e.port});
    }
    return bytes;
}

// Polls `condition` until it holds or the deadline passes.
bool waitUntil(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

// Runs `action` on another thread; a call that does not return before the
// deadline ends the test program instead of hanging it.
void mustReturn(const char* what, std::function<void()> action) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> returned = done->get_future();
    std::thread([done, action = std::move(action)] {
        action();
        done->set_value();
    }).detach();
    if (returned.wait_for(kDeadline) != std::future_status::ready) {
        std::fprintf(stderr, "%s did not return\n", what);
        std::abort();
    }
}

// Both ends of pipe(2); the write end does not block, so a writer can give up.
struct Pipe {
    int readEnd = -1;
    int writeEnd = -1;
    Pipe() {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return;
        readEnd = ends[0];
        writeEnd = ends[1];
        fcntl(writeEnd, F_SETFL, O_NONBLOCK);
    }
    ~Pipe() {
        closeWriteEnd();
        if (readEnd >= 0) close(readEnd);
    }
    void closeWriteEnd() {
        if (writeEnd >= 0) close(writeEnd);
        writeEnd = -1;
    }
    // Writes all bytes, retrying while the pipe is full; false at the deadline.
    bool write(const uint8_t* bytes, size_t size) {
        const auto end = std::chrono::steady_clock::now() + kDeadline;
        while (size > 0) {
            const ssize_t put = ::write(writeEnd, bytes, size);
            if (put > 0) {
                bytes += put;
                size -= static_cast<size_t>(put);
            } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            } else if (std::chrono::steady_clock::now() > end) {
                return false;
            } else {
                std::this_thread::yield();
            }
        }
        return true;
    }
    bool write(const std::vector<uint8_t>& bytes) { return write(bytes.data(), bytes.size()); }
    // Bytes written and not yet taken by the reader.
    int unread() const {
        int bytes = -1;
        ioctl(readEnd, FIONREAD, &bytes);
        return bytes;
    }
};

// Keeps every event, and how many the largest poll delivered.
class Recorder : public PipeReaderListener {
public:
    using PipeReaderListener::PipeReaderListener;
    std::vector<PipeQueueEntry> events;
    size_t largestPoll = 0;

    // One audio-side poll; the number of events it delivered.
    size_t drain() {
        const size_t before = events.size();
        poll();
        largestPoll = std::max(largestPoll, events.size() - before);
        return events.size() - before;
    }
    // Polls until `count` events in all have arrived; false at the deadline.
    bool drainUntil(size_t count) {
        return waitUntil([&] {
            drain();
            return events.size() >= count;
        });
    }
    void onPipeEvent(uint16_t address, uint8_t value, uint8_t port) override {
        events.push_back({address, value, port});
    }
};

void expectStream(const std::vector<PipeQueueEntry>& events, size_t first, size_t count) {
    ASSERT_EQ(events.size(), count);
    for (size_t i = 0; i < count; ++i)
        ASSERT_TRUE(events[i] == nthWrite(first + i)) << "event " << i;
}

TEST(PipeReader, HandsEveryRecordOverInOrderUnderContention) {
    constexpr size_t kRecords = 20000;
    Pipe pipe;
    ASSERT_GE(pipe.readEnd, 0);
    Recorder recorder(pipe.readEnd);
    ASSERT_TRUE(recorder.start());
    EXPECT_TRUE(recorder.isRunning());

    // Writes of uneven sizes, most of them cutting a record in two.
    const std::vector<uint8_t> bytes = recordsBytes(0, kRecords);
    std::thread writer([&] {
        size_t at = 0;
        for (size_t step = 1; at < bytes.size(); step = step % 61 + 6) {
            const size_t size = std::min(step, bytes.size() - at);
            if (!pipe.write(bytes.data() + at, size)) return;
            at += size;
        }
    });
    const bool arrived = recorder.drainUntil(kRecords);
    writer.join();
    ASSERT_TRUE(arrived) << recorder.events.size() << " of " << kRecords;
    expectStream(recorder.events, 0, kRecords);
    EXPECT_LE(recorder.largestPoll, PipeReaderListener::kQueueCapacity);
    EXPECT_EQ(recorder.drain(), 0u);
}

TEST(PipeReader, FullQueueLeavesTheRestInThePipeUntilPolled) {
    constexpr size_t kCapacity = PipeReaderListener::kQueueCapacity;
    constexpr size_t kRecords = 2 * kCapacity + 100;
    Pipe pipe;
    Recorder recorder(pipe.readEnd);
    ASSERT_TRUE(pipe.write(recordsBytes(0, kRecords)));
    ASSERT_TRUE(recorder.start());
    ASSERT_TRUE(waitUntil([&] {
        return pipe.unread() == static_cast<int>((kRecords - kCapacity) * 4);
    })) << "nobody polls, so the reader stops at a full queue: "
        << pipe.unread() << " bytes unread";

    // Records taken from the pipe but not yet delivered never exceed the bound.
    size_t mostReadAhead = 0;
    const auto noteReadAhead = [&] {
        const size_t taken = kRecords - static_cast<size_t>(pipe.unread()) / 4;
        mostReadAhead = std::max(mostReadAhead, taken - recorder.events.size());
    };
    ASSERT_TRUE(waitUntil([&] {
        noteReadAhead();
        recorder.drain();
        noteReadAhead();
        return recorder.events.size() >= kRecords;
    }));
    EXPECT_EQ(mostReadAhead, kCapacity);
    EXPECT_LE(recorder.largestPoll, kCapacity);
    EXPECT_EQ(pipe.unread(), 0);
    expectStream(recorder.events, 0, kRecords);
}

TEST(PipeReader, RestartGoesOnWhereTheStopLeftTheStream) {
    Pipe pipe;
    Recorder recorder(pipe.readEnd);
    ASSERT_TRUE(recorder.start());
    ASSERT_TRUE(pipe.write(recordsBytes(0, 3)));
    ASSERT_TRUE(recorder.drainUntil(3));

    // Half a record is taken before the stop; its other half comes after.
    const std::vector<uint8_t> later = recordsBytes(3, 2);
    ASSERT_TRUE(pipe.write(later.data(), 2));
    ASSERT_TRUE(waitUntil([&] { return pipe.unread() == 0; }));
    mustReturn("stop", [&] { recorder.stop(); });
    EXPECT_FALSE(recorder.isRunning());
    ASSERT_TRUE(pipe.write(later.data() + 2, later.size() - 2));
    EXPECT_EQ(pipe.unread(), 6) << "nothing is read while stopped";
    EXPECT_EQ(recorder.drain(), 0u);

    ASSERT_TRUE(recorder.start());
    EXPECT_TRUE(recorder.start()) << "starting a running reader changes nothing";
    ASSERT_TRUE(recorder.drainUntil(5));
    expectStream(recorder.events, 0, 5);
}

TEST(PipeReader, StopsAndDestructionReturnInEveryState) {
    struct Case {
        const char* name;
        std::function<void(Recorder&)> steps; // the listener is destroyed afterwards
    };
    const Case cases[] = {
        {"never started", [](Recorder&) {}},
        {"poll before start",
         [](Recorder& r) {
             EXPECT_EQ(r.drain(), 0u);
             EXPECT_FALSE(r.isRunning());
         }},
        {"stop before start", [](Recorder& r) { r.stop(); }},
        {"started", [](Recorder& r) { ASSERT_TRUE(r.start()); }},
        {"stopped",
         [](Recorder& r) {
             ASSERT_TRUE(r.start());
             r.stop();
         }},
        {"stopped twice",
         [](Recorder& r) {
             ASSERT_TRUE(r.start());
             r.stop();
             r.stop();
         }},
        {"restarted",
         [](Recorder& r) {
             ASSERT_TRUE(r.start());
             r.stop();
             ASSERT_TRUE(r.start());
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pipe pipe;
        mustReturn(c.name, [&] {
            Recorder recorder(pipe.readEnd);
            c.steps(recorder);
        });
    }
}

TEST(PipeReader, SourcesWithoutInputDeliverNothingAndStillStop) {
    Pipe closedWriter;
    closedWriter.closeWriteEnd(); // end of input at once
    const int nullDevice = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int folder = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC); // reads fail
    ASSERT_GE(nullDevice, 0);
    ASSERT_GE(folder, 0);
    const struct {
        const char* name;
        int descriptor;
    } sources[] = {
        {"pipe without writer", closedWriter.readEnd},
        {"empty file", nullDevice},
        {"unreadable", folder},
        {"no descriptor", -1},
    };
    for (const auto& source : sources) {
        SCOPED_TRACE(source.name);
        Recorder recorder(source.descriptor);
        ASSERT_TRUE(recorder.start());
        EXPECT_EQ(recorder.drain(), 0u);
        mustReturn(source.name, [&] { recorder.stop(); });
        EXPECT_EQ(recorder.drain(), 0u);
    }
    close(nullDevice);
    close(folder);
}

TEST(PipeReader, NamedPipeReadsEachWriterInTurn) {
    std::string folder =
        std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/pipereader.XXXXXX";
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    const std::string path = folder + "/registers";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const int source = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(source, 0);
    {
        Recorder recorder(source);
        ASSERT_TRUE(recorder.start());
        size_t sent = 0;
        for (size_t count : {40, 25}) { // the first writer closes before the second opens
            const int writer = open(path.c_str(), O_WRONLY | O_CLOEXEC);
            ASSERT_GE(writer, 0);
            const std::vector<uint8_t> bytes = recordsBytes(sent, count);
            ASSERT_EQ(write(writer, bytes.data(), bytes.size()),
                      static_cast<ssize_t>(bytes.size()));
            close(writer);
            sent += count;
            ASSERT_TRUE(recorder.drainUntil(sent));
        }
        expectStream(recorder.events, 0, sent);
    }
    close(source);
    unlink(path.c_str());
    rmdir(folder.c_str());
}

} // namespace
