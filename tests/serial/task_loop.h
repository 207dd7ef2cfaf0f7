// A thread that runs posted tasks one after another, in order: the stand-in
// for the window's thread wherever the engine is driven without a window
// (engine tests, the thread-sanitized round trip, the hand-off benchmark).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quill::test {

class TaskLoop {
  public:
    TaskLoop() : thread_([this] { run(); }) {}
    // Runs what is still queued, then ends the thread.
    ~TaskLoop() {
        {
            std::lock_guard guard(m_);
            quit_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    TaskLoop(const TaskLoop&) = delete;
    TaskLoop& operator=(const TaskLoop&) = delete;

    void post(std::function<void()> task) {
        {
            std::lock_guard guard(m_);
            tasks_.push_back(std::move(task));
        }
        cv_.notify_all();
    }

    // Runs fn on the loop's thread, after everything posted before it, and
    // returns once it has run.
    void runAndWait(const std::function<void()>& fn) {
        bool done = false;
        post([&] {
            fn();
            std::lock_guard guard(m_);
            done = true;
            cv_.notify_all();
        });
        std::unique_lock lock(m_);
        cv_.wait(lock, [&] { return done; });
    }

    std::size_t queued() const {
        std::lock_guard guard(m_);
        return tasks_.size();
    }

  private:
    void run() {
        std::unique_lock lock(m_);
        for (;;) {
            cv_.wait(lock, [&] { return quit_ || !tasks_.empty(); });
            if (tasks_.empty()) return;
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
    }

    mutable std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> tasks_;
    bool quit_ = false;
    std::thread thread_;  // last: it starts once everything above is ready
};

}  // namespace quill::test
