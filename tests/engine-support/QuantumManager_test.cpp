#include "engine-support/QuantumManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using vantor::QuantumManager;
using vantor::QuantumTimer;

namespace {

// Logs "name@now" at every call and returns its delays in turn (the last one repeats).
class ScriptedTimer : public QuantumTimer {
public:
    ScriptedTimer(QuantumManager& m, std::string n, std::vector<uint64_t> d,
                  std::vector<std::string>& l)
        : manager(m), name(std::move(n)), delays(std::move(d)), log(l) {}

    uint64_t onQuantum(double sampleRate) override {
        lastRate = sampleRate;
        log.push_back(name + "@" + std::to_string(manager.now));
        const uint64_t delay = delays[calls < delays.size() ? calls : delays.size() - 1];
        ++calls;
        return delay;
    }

    QuantumManager& manager;
    std::string name;
    std::vector<uint64_t> delays;
    std::vector<std::string>& log;
    size_t calls = 0;
    double lastRate = 0;
};

using Log = std::vector<std::string>;

class TimerQueue : public ::testing::Test {
protected:
    ScriptedTimer& timer(const std::string& name, std::vector<uint64_t> delays) {
        timers.push_back(std::make_unique<ScriptedTimer>(manager, name, std::move(delays), log));
        return *timers.back();
    }
    // The chip controller's loop: advance until a non-zero count, render it, repeat.
    std::vector<uint64_t> renderBlock(uint64_t frames) {
        std::vector<uint64_t> pieces;
        int guard = 0;
        while (frames > 0 && ++guard < 10000) {
            uint64_t c = manager.advance(frames);
            if (c == 0) continue;
            pieces.push_back(c);
            frames -= c;
        }
        EXPECT_LT(guard, 10000) << "the driver loop did not end";
        return pieces;
    }

    QuantumManager manager{32};
    Log log;
    std::vector<std::unique_ptr<ScriptedTimer>> timers;
};

TEST_F(TimerQueue, EmptyQueueMovesTimeByTheWholeRequest) {
    EXPECT_EQ(manager.advance(100), 100u);
    EXPECT_EQ(manager.advance(28), 28u);
    EXPECT_EQ(manager.now, 128u);
    EXPECT_FALSE(manager.fired);
}

TEST_F(TimerQueue, ScheduleActsAtOnceAndCutsRenderingAtEveryDueTime) {
    manager.advance(100);
    manager.rate = 48000.0;
    ScriptedTimer& t = timer("T", {5, 3});
    EXPECT_TRUE(manager.schedule(&t, 0));
    EXPECT_EQ(log, (Log{"T@100"}));
    EXPECT_EQ(t.lastRate, 48000.0);
    EXPECT_EQ(renderBlock(12), (std::vector<uint64_t>{5, 3, 3, 1}));
    EXPECT_EQ(log, (Log{"T@100", "T@105", "T@108", "T@111"}));
}

TEST_F(TimerQueue, DueAtTheBlockEndRunsBeforeTheNextPiece) {
    ScriptedTimer& t = timer("T", {5});
    manager.schedule(&t, 0);
    EXPECT_EQ(renderBlock(10), (std::vector<uint64_t>{5, 5}));
    EXPECT_EQ(log, (Log{"T@0", "T@5"}));
    EXPECT_TRUE(manager.fired);
    EXPECT_EQ(manager.advance(3), 3u);
    EXPECT_EQ(log, (Log{"T@0", "T@5", "T@10"}));
}

TEST_F(TimerQueue, EqualDueTimesRunInSchedulingOrderOnePerCall) {
    ScriptedTimer& a = timer("A", {10, 100});
    ScriptedTimer& b = timer("B", {10, 100});
    ScriptedTimer& c = timer("C", {3, 100});
    manager.schedule(&a, 0);
    manager.schedule(&b, 0);
    manager.schedule(&c, 0);
    ASSERT_EQ(manager.queue.size(), 3u);
    EXPECT_EQ(manager.queue[0].timer, &c);
    EXPECT_EQ(manager.queue[1].timer, &a);
    EXPECT_EQ(manager.queue[2].timer, &b);

    EXPECT_EQ(manager.advance(100), 3u);
    EXPECT_EQ(manager.advance(100), 7u);  // runs C, stops at A and B
    EXPECT_EQ(manager.advance(100), 0u);  // runs A; B is due now
    EXPECT_EQ(manager.advance(100), 93u); // runs B; next is C at 103
    log.erase(log.begin(), log.begin() + 3);
    EXPECT_EQ(log, (Log{"C@3", "A@10", "B@10"}));
}

TEST_F(TimerQueue, EntryInThePastIsDueNow) {
    ScriptedTimer& t = timer("T", {10, 50});
    manager.schedule(&t, 0);
    manager.now = 20; // the owner moved time on
    EXPECT_EQ(manager.advance(5), 0u);
    EXPECT_TRUE(manager.fired);
    EXPECT_EQ(manager.advance(5), 5u);
    EXPECT_EQ(log, (Log{"T@0", "T@20"}));
}

TEST_F(TimerQueue, UnscheduleReturnsTheWaitLeftAndRemovesOneEntry) {
    ScriptedTimer& a = timer("A", {50});
    ScriptedTimer& other = timer("X", {1});
    manager.schedule(&a, 0);
    manager.schedule(&a, 0);
    manager.advance(20);
    EXPECT_EQ(manager.unschedule(&other), 0u) << "not queued";
    EXPECT_EQ(manager.unschedule(&a), 30u);
    EXPECT_EQ(manager.queue.size(), 1u) << "only the first entry goes";

    // The head that has fallen due is removed without being called.
    manager.advance(100);
    ASSERT_TRUE(manager.fired);
    EXPECT_EQ(manager.unschedule(&other), 0u);
    EXPECT_TRUE(manager.fired) << "a miss leaves the mark alone";
    const size_t calls = a.calls;
    EXPECT_EQ(manager.unschedule(&a), 0u);
    EXPECT_FALSE(manager.fired);
    EXPECT_EQ(manager.advance(10), 10u);
    EXPECT_EQ(a.calls, calls);
}

TEST_F(TimerQueue, RetimeMovesMatchingEntriesAndResorts) {
    ScriptedTimer& a = timer("A", {100});
    ScriptedTimer& b = timer("B", {50});
    ScriptedTimer& c = timer("C", {70});
    manager.schedule(&a, 1);
    manager.schedule(&b, 2);
    manager.schedule(&c, 1);
    manager.advance(10);
    manager.retimeByCookie(1, 5);
    ASSERT_EQ(manager.queue.size(), 3u);
    EXPECT_EQ(manager.queue[0].due, 15u);
    EXPECT_EQ(manager.queue[1].due, 15u);
    EXPECT_EQ(manager.queue[2].timer, &b);
    EXPECT_EQ(manager.queue[2].due, 50u);
    manager.retimeByTimer(&b, 0);
    EXPECT_EQ(manager.queue[0].timer, &b);
    EXPECT_EQ(manager.queue[0].due, 10u);
    manager.retimeByCookie(99, 0); // no match: nothing changes
    EXPECT_EQ(manager.queue[0].timer, &b);
}

// A head that fell due and was then retimed later must not hand its firing to
// the entry that moves up when that entry is not due yet.
TEST_F(TimerQueue, RetimingAFiredHeadNeverRunsATimerEarly) {
    ScriptedTimer& a = timer("A", {10, 100});
    ScriptedTimer& b = timer("B", {30, 100});
    manager.schedule(&a, 1);
    manager.schedule(&b, 2);
    EXPECT_EQ(manager.advance(100), 10u);
    ASSERT_TRUE(manager.fired);
    manager.retimeByCookie(1, 50); // A now due at 60, B at 30 heads the queue
    EXPECT_EQ(manager.advance(100), 20u);
    EXPECT_EQ(b.calls, 1u) << "B is not due before 30";
    EXPECT_EQ(manager.advance(100), 30u); // runs B at 30, stops at A
    EXPECT_EQ(log, (Log{"A@0", "B@0", "B@30"}));

    // The same through an explicit re-sort of a queue whose due times were edited.
    manager.queue[0].due = 1000;
    ASSERT_TRUE(manager.fired);
    manager.sort();
    EXPECT_EQ(manager.advance(10), 10u);
    EXPECT_EQ(log.size(), 3u);
}

struct ParkCase {
    const char* title;
    uint64_t start;
    uint64_t delay;
};

TEST_F(TimerQueue, DueTimesPastTheRangeParkTheTimer) {
    const ParkCase cases[] = {
        {"largest", 0, UINT64_MAX},
        {"wrapsFromNow", 1000, UINT64_MAX - 10},
        {"justPastTheEnd", 7, UINT64_MAX - 6},
    };
    for (const ParkCase& c : cases) {
        SCOPED_TRACE(c.title);
        QuantumManager m;
        m.advance(c.start);
        std::vector<std::string> l;
        ScriptedTimer t(m, "P", {c.delay}, l);
        m.schedule(&t, 0);
        EXPECT_EQ(m.queue[0].due, QuantumManager::kNever);
        EXPECT_EQ(m.advance(500), 500u);
        EXPECT_EQ(m.advance(UINT64_MAX), UINT64_MAX);
        EXPECT_FALSE(m.fired);
        EXPECT_EQ(t.calls, 1u) << "never fires";
    }
    // The silent delay of the media reader does not overflow and stays far away.
    ScriptedTimer& quiet = timer("Q", {0x7FFFFFFFFFFFFFFFull});
    manager.schedule(&quiet, 3);
    EXPECT_EQ(manager.advance(1 << 20), uint64_t(1) << 20);
    manager.retimeByCookie(3, UINT64_MAX);
    EXPECT_EQ(manager.queue[0].due, QuantumManager::kNever);
}

TEST_F(TimerQueue, RebaseRestartsTimeAtZero) {
    ScriptedTimer& a = timer("A", {40});
    manager.advance(25);
    manager.schedule(&a, 0);
    manager.advance(40);
    ASSERT_TRUE(manager.fired);
    manager.rebase();
    EXPECT_EQ(manager.now, 0u);
    EXPECT_FALSE(manager.fired);
    EXPECT_EQ(manager.queue[0].due, 0u);
    EXPECT_EQ(manager.advance(7), 0u) << "still due now";
}

} // namespace
