// Stands in for the main window: a thread that runs the tasks the engine
// posts, in order, and records what it was told. Tests wait on its state
// with a deadline.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "serial/serial_port.h"
#include "tests/serial/task_loop.h"

namespace quill::test {

class TestOwner : public PortOwner {
  public:
    void postToOwner(std::function<void()> task) override {
        loop_.post(std::move(task));
        cv_.notify_all();  // waiters may be counting queued tasks
    }

    void onPortMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override {
        std::function<void(std::uint32_t, std::uint32_t)> hook;
        {
            std::lock_guard guard(m_);
            if (message == WM_PORT_RX_BYTE) bytes_.push_back(static_cast<std::uint8_t>(wParam));
            messages_.push_back(message);
            ports_.push_back(lParam);
            hook = onMessage;
        }
        if (hook) hook(message, wParam);
        // After the hook, so that waiters see what it changed.
        cv_.notify_all();
    }

    void onPortError(const std::string& text) override {
        {
            std::lock_guard guard(m_);
            errors_.push_back(text);
        }
        cv_.notify_all();
    }

    void onPortLost(std::uint32_t portNumber) override {
        {
            std::lock_guard guard(m_);
            lost_.push_back(portNumber);
        }
        cv_.notify_all();
    }

    // Runs fn on the owner's thread and waits until it has run.
    void runOnLoop(const std::function<void()>& fn) { loop_.runAndWait(fn); }

    template <class Pred>
    bool waitFor(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, timeout, [&] { return pred(*this); });
    }

    // Unlocked views for use inside waitFor predicates only.
    std::size_t queuedTasksUnlocked() const { return loop_.queued(); }
    const std::vector<std::uint8_t>& bytesUnlocked() const { return bytes_; }
    std::size_t lostCountUnlocked() const { return lost_.size(); }
    std::size_t errorCountUnlocked() const { return errors_.size(); }

    std::vector<std::uint8_t> bytes() const {
        std::lock_guard guard(m_);
        return bytes_;
    }
    std::vector<std::uint32_t> messages() const {
        std::lock_guard guard(m_);
        return messages_;
    }
    std::vector<std::uint32_t> ports() const {
        std::lock_guard guard(m_);
        return ports_;
    }
    std::vector<std::string> errors() const {
        std::lock_guard guard(m_);
        return errors_;
    }
    std::vector<std::uint32_t> lost() const {
        std::lock_guard guard(m_);
        return lost_;
    }
    void clear() {
        std::lock_guard guard(m_);
        bytes_.clear();
        messages_.clear();
        ports_.clear();
    }

    // Runs on the owner's thread after each recorded notification; set before the port opens.
    std::function<void(std::uint32_t message, std::uint32_t wParam)> onMessage;

  private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::uint32_t> messages_;
    std::vector<std::uint32_t> ports_;
    std::vector<std::string> errors_;
    std::vector<std::uint32_t> lost_;
    TaskLoop loop_;  // last: its thread ends before the records above go
};

}  // namespace quill::test
