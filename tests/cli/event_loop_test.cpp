// The command line's event loop: tasks posted from other threads, timers by
// id, and waits that end on a condition or a deadline.
#include "cli/event_loop.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace quill::cli {
namespace {

using namespace std::chrono_literals;

TEST(EventLoopTest, TasksFromAnotherThreadRunInOrderOnTheLoopThread) {
    EventLoop loop;
    std::vector<int> ran;
    std::vector<std::thread::id> threads;
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i)
            loop.post([&, i] {
                ran.push_back(i);
                threads.push_back(std::this_thread::get_id());
            });
    });
    EXPECT_TRUE(loop.runUntil([&] { return ran.size() == 100; }, EventLoop::Clock::now() + 10s));
    poster.join();
    for (int i = 0; i < 100; ++i) EXPECT_EQ(ran[static_cast<std::size_t>(i)], i);
    for (const auto& id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(EventLoopTest, StopsAtTheTaskThatMakesTheConditionHoldAndKeepsTheRest) {
    EventLoop loop;
    int count = 0;
    for (int i = 0; i < 5; ++i) loop.post([&] { ++count; });
    EXPECT_TRUE(loop.runUntil([&] { return count == 2; }, EventLoop::Clock::now() + 1s));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(loop.queued(), 3u);
    // A condition that already holds runs nothing.
    EXPECT_TRUE(loop.runUntil([] { return true; }, EventLoop::Clock::now() + 1s));
    EXPECT_EQ(loop.queued(), 3u);
    loop.runPending();
    EXPECT_EQ(count, 5);
}

TEST(EventLoopTest, ADeadlineEndsTheWaitWhenNothingHappens) {
    EventLoop loop;
    const auto start = EventLoop::Clock::now();
    EXPECT_FALSE(loop.runUntil([] { return false; }, start + 30ms));
    EXPECT_GE(EventLoop::Clock::now() - start, 30ms);
}

TEST(EventLoopTest, APostWakesAWaitingLoopBeforeItsDeadline) {
    EventLoop loop;
    std::promise<void> looping;
    bool ran = false;
    loop.post([&] { looping.set_value(); });
    // Posted once the loop has run the first task and gone on to wait.
    std::thread poster([&] {
        looping.get_future().wait();
        loop.post([&] { ran = true; });
    });
    const auto start = EventLoop::Clock::now();
    EXPECT_TRUE(loop.runUntil([&] { return ran; }, start + 20s));
    EXPECT_LT(EventLoop::Clock::now() - start, 10s);
    poster.join();
}

// Timers are driven through fire() as a test of the session would; a real
// period is checked once, against a deadline.
class EventLoopTimerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        loop.setTimerHandler([this](int id) { ticks.push_back(id); });
    }
    EventLoop loop;
    std::vector<int> ticks;
};

TEST_F(EventLoopTimerTest, FireRunsARunningTimerOnly) {
    loop.startTimer(5, 400ms);
    EXPECT_TRUE(loop.timerRunning(5));
    EXPECT_EQ(loop.timerPeriod(5), 400ms);
    EXPECT_TRUE(loop.fire(5));
    EXPECT_EQ(ticks, std::vector<int>{5});
    loop.stopTimer(5);
    EXPECT_FALSE(loop.fire(5));
    EXPECT_EQ(loop.timerPeriod(5), 0ms);
    EXPECT_EQ(ticks.size(), 1u);
}

TEST_F(EventLoopTimerTest, APeriodicTimerTicksUntilStopped) {
    loop.startTimer(5, 5ms);
    EXPECT_TRUE(loop.runUntil([&] { return ticks.size() >= 3; }, EventLoop::Clock::now() + 10s));
    loop.stopTimer(5);
    const std::size_t count = ticks.size();
    EXPECT_FALSE(loop.runUntil([] { return false; }, EventLoop::Clock::now() + 20ms));
    EXPECT_EQ(ticks.size(), count);
}

TEST_F(EventLoopTimerTest, AHandlerThatStopsAnotherDueTimerKeepsItFromTicking) {
    loop.setTimerHandler([this](int id) {
        ticks.push_back(id);
        loop.stopTimer(id == 2 ? 5 : 2);
    });
    loop.startTimer(2, 1ms);
    loop.startTimer(5, 1ms);
    EXPECT_TRUE(loop.runUntil([&] { return !ticks.empty(); }, EventLoop::Clock::now() + 10s));
    EXPECT_FALSE(loop.runUntil([] { return false; }, EventLoop::Clock::now() + 20ms));
    // One ticked and stopped the other; the one that ticked keeps ticking.
    ASSERT_FALSE(ticks.empty());
    const int first = ticks.front();
    for (const int id : ticks) EXPECT_EQ(id, first);
    EXPECT_FALSE(loop.timerRunning(first == 2 ? 5 : 2));
}

TEST_F(EventLoopTimerTest, RestartingATimerMovesItsNextTick) {
    loop.startTimer(2, 50ms);
    loop.startTimer(2, 10s);  // restarted with a long period: no tick within the wait below
    EXPECT_FALSE(loop.runUntil([&] { return !ticks.empty(); }, EventLoop::Clock::now() + 120ms));
    EXPECT_EQ(loop.timerPeriod(2), 10s);
}

// Sessions sharing a loop use the same fixed ids under owners of their own:
// a tick reaches only its owner's handler, and stopping or releasing one
// owner's timers leaves the others running.
TEST(EventLoopOwnerTest, EachOwnersTimersTickOnlyItsOwnHandler) {
    using Owner = EventLoop::TimerOwner;
    static constexpr int kId = 5;
    const struct {
        const char* name;
        std::function<void(EventLoop&, Owner a, Owner b)> change;
        bool aTicks, bTicks, defaultTicks;
    } cases[] = {
        {"all running", [](EventLoop&, Owner, Owner) {}, true, true, true},
        {"a stopped", [](EventLoop& loop, Owner a, Owner) { loop.stopTimer(a, kId); }, false, true, true},
        {"default stopped", [](EventLoop& loop, Owner, Owner) { loop.stopTimer(kId); }, true, true, false},
        {"b released", [](EventLoop& loop, Owner, Owner b) { loop.releaseTimerOwner(b); }, true, false, true},
        // A released owner's handler is gone: a timer started again under it reaches no one.
        {"b released, restarted",
         [](EventLoop& loop, Owner, Owner b) {
             loop.releaseTimerOwner(b);
             loop.startTimer(b, kId, 1s);
         },
         true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EventLoop loop;
        const Owner a = loop.newTimerOwner();
        const Owner b = loop.newTimerOwner();
        ASSERT_NE(a, b);
        ASSERT_NE(a, EventLoop::kDefaultOwner);
        ASSERT_NE(b, EventLoop::kDefaultOwner);
        std::vector<Owner> ticked;
        for (const Owner owner : {a, b, EventLoop::kDefaultOwner}) {
            loop.setTimerHandler(owner, [&ticked, owner](int id) {
                EXPECT_EQ(id, kId);
                ticked.push_back(owner);
            });
            loop.startTimer(owner, kId, 1s);
        }
        c.change(loop, a, b);
        for (const Owner owner : {a, b, EventLoop::kDefaultOwner}) loop.fire(owner, kId);
        std::vector<Owner> expected;
        if (c.aTicks) expected.push_back(a);
        if (c.bTicks) expected.push_back(b);
        if (c.defaultTicks) expected.push_back(EventLoop::kDefaultOwner);
        EXPECT_EQ(ticked, expected);
        EXPECT_EQ(loop.timerRunning(a, kId), c.aTicks);
        EXPECT_EQ(loop.timerRunning(kId), c.defaultTicks);
    }
}

TEST(EventLoopOwnerTest, TheSameIdOfTwoOwnersTicksForBothInARunningLoop) {
    EventLoop loop;
    const EventLoop::TimerOwner a = loop.newTimerOwner();
    const EventLoop::TimerOwner b = loop.newTimerOwner();
    int aTicks = 0;
    int bTicks = 0;
    loop.setTimerHandler(a, [&](int) { ++aTicks; });
    loop.setTimerHandler(b, [&](int) { ++bTicks; });
    loop.startTimer(a, 2, 1ms);
    loop.startTimer(b, 2, 1ms);
    EXPECT_TRUE(loop.runUntil([&] { return aTicks >= 2 && bTicks >= 2; }, EventLoop::Clock::now() + 10s));
}

}  // namespace
}  // namespace quill::cli
