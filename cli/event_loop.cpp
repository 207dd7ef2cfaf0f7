#include "cli/event_loop.h"

#include <algorithm>
#include <vector>

namespace quill::cli {

void EventLoop::post(std::function<void()> task) {
    {
        std::lock_guard guard(m_);
        tasks_.push_back(std::move(task));
    }
    cv_.notify_all();
}

std::size_t EventLoop::queued() const {
    std::lock_guard guard(m_);
    return tasks_.size();
}

void EventLoop::releaseTimerOwner(TimerOwner owner) {
    std::erase_if(timers_, [owner](const auto& timer) { return timer.first.first == owner; });
    timerHandlers_.erase(owner);
}

void EventLoop::setTimerHandler(TimerOwner owner, std::function<void(int)> handler) {
    if (handler)
        timerHandlers_[owner] = std::move(handler);
    else
        timerHandlers_.erase(owner);
}

void EventLoop::startTimer(TimerOwner owner, int timerId, std::chrono::milliseconds period) {
    if (period < std::chrono::milliseconds(1)) period = std::chrono::milliseconds(1);
    timers_[{owner, timerId}] = Timer{period, Clock::now() + period};
}

void EventLoop::stopTimer(TimerOwner owner, int timerId) {
    timers_.erase({owner, timerId});
}

std::chrono::milliseconds EventLoop::timerPeriod(TimerOwner owner, int timerId) const {
    const auto it = timers_.find({owner, timerId});
    return it != timers_.end() ? it->second.period : std::chrono::milliseconds(0);
}

bool EventLoop::fire(TimerOwner owner, int timerId) {
    const auto it = timers_.find({owner, timerId});
    if (it == timers_.end()) return false;
    it->second.due = Clock::now() + it->second.period;
    // Copied: the handler may release its owner, or set another handler.
    const auto handler = timerHandlers_.find(owner);
    if (handler == timerHandlers_.end()) return true;
    const std::function<void(int)> tick = handler->second;
    tick(timerId);  // may stop or restart any timer
    return true;
}

EventLoop::Clock::time_point EventLoop::nextDue() const {
    Clock::time_point next = Clock::time_point::max();
    for (const auto& [key, timer] : timers_)
        if (timer.due < next) next = timer.due;
    return next;
}

void EventLoop::runStep(const std::function<bool()>& done) {
    // Tasks one at a time: a task may post others, and the loop stops as soon
    // as the awaited condition holds, leaving the rest for the next wait.
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard guard(m_);
            if (tasks_.empty()) break;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        if (done()) return;
    }
    const Clock::time_point now = Clock::now();
    std::vector<TimerKey> due;
    for (const auto& [key, timer] : timers_)
        if (timer.due <= now) due.push_back(key);
    for (const TimerKey& key : due) {
        // An earlier handler of this step may have stopped or restarted it.
        const auto it = timers_.find(key);
        if (it == timers_.end() || it->second.due > now) continue;
        fire(key.first, key.second);
        if (done()) return;
    }
}

void EventLoop::runPending() {
    runStep([] { return false; });
}

bool EventLoop::runUntil(const std::function<bool()>& done, Clock::time_point deadline) {
    for (;;) {
        if (done()) return true;
        runStep(done);
        if (done()) return true;
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return false;
        // Capped: a far deadline must not overflow the wait's own clock arithmetic.
        const Clock::time_point wakeAt = std::min({deadline, nextDue(), now + std::chrono::hours(1)});
        std::unique_lock lock(m_);
        cv_.wait_until(lock, wakeAt, [&] { return !tasks_.empty(); });
    }
}

}  // namespace quill::cli
