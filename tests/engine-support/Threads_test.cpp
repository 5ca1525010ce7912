#include "engine-support/Condition.h"
#include "engine-support/Mutex.h"
#include "engine-support/Semaphore.h"
#include "engine-support/ThreadDetached.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using vantor::Condition;
using vantor::Mutex;
using vantor::Semaphore;
using vantor::ThreadDetached;

namespace {

constexpr uint64_t kGenerousMs = 20000; // bound for waits that should end at once

bool tryLockFromAnotherThread(Mutex& m) {
    bool taken = false;
    std::thread other([&] {
        taken = m.tryLock();
        if (taken) m.unlock();
    });
    other.join();
    return taken;
}

TEST(Mutex, NonRecursiveRefusesItsOwnerRecursiveCountsLocks) {
    Mutex plain("ChipWrapMutex", false);
    EXPECT_EQ(plain.getName(), "ChipWrapMutex");
    ASSERT_TRUE(plain.isOk());
    EXPECT_TRUE(plain.lock());
    EXPECT_FALSE(plain.tryLock());
    EXPECT_FALSE(tryLockFromAnotherThread(plain));
    EXPECT_TRUE(plain.unlock());
    EXPECT_TRUE(tryLockFromAnotherThread(plain));

    Mutex recursive(nullptr, true);
    EXPECT_EQ(recursive.getName(), "");
    EXPECT_TRUE(recursive.lock());
    EXPECT_TRUE(recursive.tryLock());
    EXPECT_TRUE(recursive.unlock());
    EXPECT_FALSE(tryLockFromAnotherThread(recursive)) << "still held once";
    EXPECT_TRUE(recursive.unlock());
    EXPECT_TRUE(tryLockFromAnotherThread(recursive));
}

TEST(Condition, DeadlinesAddMillisecondsWithCarry) {
    struct Case {
        timespec base;
        uint64_t ms;
        timespec expected;
    };
    const Case cases[] = {
        {{0, 0}, 1500, {1, 500000000}},   {{5, 600000000}, 1500, {7, 100000000}},
        {{3, 999999999}, 1, {4, 999999}}, {{9, 250}, 0, {9, 250}},
        {{0, 0}, 999, {0, 999000000}},
    };
    for (const Case& c : cases) {
        timespec r = Condition::addMilliseconds(c.base, c.ms);
        EXPECT_EQ(r.tv_sec, c.expected.tv_sec) << c.ms;
        EXPECT_EQ(r.tv_nsec, c.expected.tv_nsec) << c.ms;
    }
    timespec far = Condition::addMilliseconds({100, 0}, UINT64_MAX);
    EXPECT_GT(far.tv_sec, 100) << "saturates instead of wrapping";
    EXPECT_LT(far.tv_nsec, 1000000000);
}

TEST(Condition, TimedWaitEndsWithoutASignalAndWakesOnOne) {
    Condition condition("cond");
    ASSERT_TRUE(condition.lock());
    EXPECT_FALSE(condition.timedWait(0)) << "a deadline that has passed";
    condition.unlock();

    bool ready = false;
    bool woken = false;
    std::thread waiter([&] {
        condition.lock();
        while (!ready)
            if (!condition.timedWait(kGenerousMs)) break;
        woken = ready;
        condition.unlock();
    });
    condition.lock();
    ready = true;
    EXPECT_EQ(condition.signal(), 0);
    condition.unlock();
    waiter.join();
    EXPECT_TRUE(woken);
    EXPECT_EQ(condition.broadcast(), 0);
}

TEST(Semaphore, CountsUpToItsMaximum) {
    Semaphore s("sem", 0, 2);
    EXPECT_TRUE(s.post());
    EXPECT_TRUE(s.post());
    EXPECT_FALSE(s.post());
    EXPECT_TRUE(s.tryWait());
    EXPECT_TRUE(s.tryWait());
    EXPECT_FALSE(s.tryWait());
    EXPECT_FALSE(s.timedWait(0));
    EXPECT_TRUE(s.post());
    EXPECT_TRUE(s.timedWait(0));
    EXPECT_TRUE(s.post());
    EXPECT_TRUE(s.wait());
    EXPECT_EQ(s.getCount(), 0u);

    Semaphore unbounded("many", 5, 0);
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(unbounded.post());
    EXPECT_EQ(unbounded.getCount(), 105u);
}

TEST(Semaphore, HandsEveryPostToAWaitingThread) {
    Semaphore items("items", 0, 0);
    constexpr int kCount = 200;
    std::atomic<int> received{0};
    std::thread consumer([&] {
        for (int i = 0; i < kCount; ++i)
            if (items.timedWait(kGenerousMs)) ++received;
    });
    for (int i = 0; i < kCount; ++i) items.post();
    consumer.join();
    EXPECT_EQ(received.load(), kCount);
}

TEST(ThreadDetached, PriorityIsAPercentageOfThePolicyRange) {
    EXPECT_EQ(ThreadDetached::priorityFor(15, 47, 50), 31);
    EXPECT_EQ(ThreadDetached::priorityFor(1, 99, 0), 1);
    EXPECT_EQ(ThreadDetached::priorityFor(1, 99, 100), 99);
    EXPECT_EQ(ThreadDetached::priorityFor(1, 99, 33), 33);
}

// Records what it sees, waits for the test's go, and reports its own deletion.
class Worker : public ThreadDetached {
public:
    struct Shared {
        Semaphore go{"go", 0, 0};
        Semaphore gone{"gone", 0, 0};
        Mutex lock{"log", false};
        std::vector<std::string> log;
        void add(const std::string& line) {
            lock.lock();
            log.push_back(line);
            lock.unlock();
        }
    };

    Worker(bool realtime, const char* name, Shared& s)
        : ThreadDetached(realtime, name), shared(s) {}
    ~Worker() override {
        shared.add("deleted");
        shared.gone.post();
    }

protected:
    void* run() override {
        char name[32] = {};
        pthread_getname_np(pthread_self(), name, sizeof(name));
        shared.add(std::string("run:") + name);
        shared.add(pthread_equal(*handle(), vantor::currentThread()) ? "handle ok"
                                                                     : "handle wrong");
        if (!shared.go.timedWait(kGenerousMs)) shared.add("no go");
        return nullptr;
    }
    void finished() override { shared.add("finished"); }

private:
    Shared& shared;
};

TEST(ThreadDetached, RunsOnceNamesItselfAndDeletesItself) {
    Worker::Shared shared;
    auto* worker = new Worker(false, "EngineSupportWorkerThread", shared);
    worker->setPriority(50);
    EXPECT_EQ(worker->getPriority(), 50u);
    ASSERT_TRUE(worker->start());
    EXPECT_FALSE(worker->start()) << "alive until it is told to go";
    shared.go.post();
    ASSERT_TRUE(shared.gone.timedWait(kGenerousMs));
    shared.lock.lock();
    EXPECT_EQ(shared.log, (std::vector<std::string>{"run:EngineSupportWo", "handle ok", "finished",
                                                    "deleted"}));
    shared.lock.unlock();
}

TEST(ThreadDetached, RealtimeRequestStillStarts) {
    Worker::Shared shared;
    auto* worker = new Worker(true, nullptr, shared);
    worker->setPriority(100);
    ASSERT_TRUE(worker->start());
    shared.go.post();
    ASSERT_TRUE(shared.gone.timedWait(kGenerousMs));
    vantor::yieldThread();
}

} // namespace
