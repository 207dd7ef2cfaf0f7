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

namespace quill::cli {

class EventLoop {
  public:
    using Clock = std::chrono::steady_clock;

    EventLoop() = default;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Any thread: queue a task for the loop's thread.
    void post(std::function<void()> task);

    // Loop thread: what a tick of a timer runs (the session's OnTimerTick).
    void setTimerHandler(std::function<void(int)> handler) { timerHandler_ = std::move(handler); }
    void startTimer(int timerId, std::chrono::milliseconds period);
    void stopTimer(int timerId);
    bool timerRunning(int timerId) const { return timers_.count(timerId) != 0; }
    // The running timer's period, zero when it is not running.
    std::chrono::milliseconds timerPeriod(int timerId) const;
    // Runs the handler of a running timer now, as its tick would; the next tick
    // is then a period away. False (nothing run) when it is not running.
    bool fire(int timerId);

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

    // Loop thread only.
    std::map<int, Timer> timers_;
    std::function<void(int)> timerHandler_;
};

}  // namespace quill::cli
