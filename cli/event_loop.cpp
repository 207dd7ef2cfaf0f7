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

void EventLoop::startTimer(int timerId, std::chrono::milliseconds period) {
    if (period < std::chrono::milliseconds(1)) period = std::chrono::milliseconds(1);
    timers_[timerId] = Timer{period, Clock::now() + period};
}

void EventLoop::stopTimer(int timerId) {
    timers_.erase(timerId);
}

std::chrono::milliseconds EventLoop::timerPeriod(int timerId) const {
    const auto it = timers_.find(timerId);
    return it != timers_.end() ? it->second.period : std::chrono::milliseconds(0);
}

bool EventLoop::fire(int timerId) {
    const auto it = timers_.find(timerId);
    if (it == timers_.end()) return false;
    it->second.due = Clock::now() + it->second.period;
    if (timerHandler_) timerHandler_(timerId);  // may stop or restart any timer
    return true;
}

EventLoop::Clock::time_point EventLoop::nextDue() const {
    Clock::time_point next = Clock::time_point::max();
    for (const auto& [id, timer] : timers_)
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
    std::vector<int> due;
    for (const auto& [id, timer] : timers_)
        if (timer.due <= now) due.push_back(id);
    for (const int id : due) {
        // An earlier handler of this step may have stopped or restarted it.
        const auto it = timers_.find(id);
        if (it == timers_.end() || it->second.due > now) continue;
        fire(id);
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
