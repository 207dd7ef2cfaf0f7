// The command line's stand-in for a window's message loop: one thread (the
// caller's) runs the tasks the serial worker posts and the session's timers,
// until what the command waits for has happened or its deadline has passed.
//
// Principles of operation:
// - post() is the only call another thread may make: it queues the task under
//   the mutex and wakes the loop through the condition variable.
// - Timers have the session's fixed ids and a period; a timer is periodic
//   until stopped, and starting a running one restarts it. A tick is due one
//   period after the previous tick ran (no catching up after a stall), so
//   ticks are never closer than their period.
// - Several sessions may share one loop: each takes a timer owner of its own,
//   its ids are keyed by that owner, and a tick goes to that owner's handler.
//   A loop with one client uses the default owner (the calls without one).
// - runUntil() runs posted tasks first (in order), then due timers, and checks
//   the predicate after each; between them it waits on the condition variable
//   until the earliest of the next tick, the deadline and a post.
// - Tests drive a timer without waiting for it: fire() runs its handler now.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

namespace quill::cli {

class EventLoop {
  public:
    using Clock = std::chrono::steady_clock;

    EventLoop() = default;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Any thread: queue a task for the loop's thread.
    void post(std::function<void()> task);

    // The key space of a client's timers; kDefaultOwner is the loop's only
    // client when it has one.
    using TimerOwner = int;
    static constexpr TimerOwner kDefaultOwner = 0;
    // Loop thread: a key no other client of this loop has.
    TimerOwner newTimerOwner() { return ++lastOwner_; }
    // Stops the owner's timers and forgets its handler.
    void releaseTimerOwner(TimerOwner owner);

    // Loop thread: what a tick of an owner's timer runs (the session's OnTimerTick).
    void setTimerHandler(TimerOwner owner, std::function<void(int)> handler);
    void startTimer(TimerOwner owner, int timerId, std::chrono::milliseconds period);
    void stopTimer(TimerOwner owner, int timerId);
    bool timerRunning(TimerOwner owner, int timerId) const { return timers_.count({owner, timerId}) != 0; }
    // The running timer's period, zero when it is not running.
    std::chrono::milliseconds timerPeriod(TimerOwner owner, int timerId) const;
    // Runs the handler of a running timer now, as its tick would; the next tick
    // is then a period away. False (nothing run) when it is not running.
    bool fire(TimerOwner owner, int timerId);

    // The same for the default owner.
    void setTimerHandler(std::function<void(int)> handler) {
        setTimerHandler(kDefaultOwner, std::move(handler));
    }
    void startTimer(int timerId, std::chrono::milliseconds period) {
        startTimer(kDefaultOwner, timerId, period);
    }
    void stopTimer(int timerId) { stopTimer(kDefaultOwner, timerId); }
    bool timerRunning(int timerId) const { return timerRunning(kDefaultOwner, timerId); }
    std::chrono::milliseconds timerPeriod(int timerId) const { return timerPeriod(kDefaultOwner, timerId); }
    bool fire(int timerId) { return fire(kDefaultOwner, timerId); }

    // Runs tasks and ticks until done() holds (true) or the deadline passes
    // (false). done() is checked first, so a condition that already holds
    // returns at once without running anything.
    bool runUntil(const std::function<bool()>& done, Clock::time_point deadline);
    // Runs what is queued and what is due now, without waiting.
    void runPending();

    // Tasks waiting to run (diagnostics and tests).
    std::size_t queued() const;

  private:
    struct Timer {
        std::chrono::milliseconds period;
        Clock::time_point due;
    };

    // One step: every task queued so far, then each due timer once.
    void runStep(const std::function<bool()>& done);
    Clock::time_point nextDue() const;

    mutable std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> tasks_;  // under m_

    using TimerKey = std::pair<TimerOwner, int>;

    // Loop thread only.
    std::map<TimerKey, Timer> timers_;
    std::map<TimerOwner, std::function<void(int)>> timerHandlers_;
    TimerOwner lastOwner_ = kDefaultOwner;
};

}  // namespace quill::cli
