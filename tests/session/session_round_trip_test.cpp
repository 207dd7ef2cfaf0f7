// The whole session without a window: the session core on an owner thread
// (a task loop standing in for the user-interface thread), the real serial
// engine, and the simulated DTU on a pseudo-terminal answering at line speed.
// Open -> poll -> announce -> read -> write in several frames -> verify ->
// close. The core has no Qt, so a thread-sanitized build checks all of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "form/form_values.h"
#include "form/parameter_fields.h"
#include "protocol/item_table.h"
#include "serial/serial_port.h"
#include "session/session_controller.h"
#include "sim/dtu_server.h"
#include "tests/serial/task_loop.h"

namespace quill::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr auto kWait = 10s;

// A front end with no widgets: the engine's owner and the session's host.
// Everything but the waits runs on the loop's thread; what the test reads
// crosses under the mutex.
class LoopHost : public SessionHost, private LineTap {
  public:
    explicit LoopHost(std::string path) : path_(std::move(path)) { session_.line().setTap(this); }
    ~LoopHost() override {
        loop_.runAndWait([this] { session_.line().stop(); });
    }

    // Runs fn with the session on the loop's thread and waits until it has run.
    void run(const std::function<void(SessionController&)>& fn) {
        loop_.runAndWait([&] { fn(session_); });
    }
    bool waitFor(SessionOutcome outcome, std::size_t count = 1) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, kWait, [&] {
            return static_cast<std::size_t>(std::count(outcomes_.begin(), outcomes_.end(), outcome)) >= count;
        });
    }
    std::vector<std::string> info() const {
        std::lock_guard guard(m_);
        return info_;
    }
    std::vector<std::string> boxes() const {
        std::lock_guard guard(m_);
        return boxes_;
    }
    // Loop thread only (inside run()).
    FormValues form;
    Clock::time_point readSent{};
    Clock::time_point lastFilled{};

    // ---- SessionHost ----
    ChosenPort chosenPort() override { return {ChosenPort::Kind::Port, {path_, 1, path_}, {}}; }
    void portFound(const LinePort&) override {}
    void startTimerById(int, int) override {}  // the test ticks by hand
    void stopTimerById(int) override {}
    void appendInfo(std::string_view utf8) override { record(info_, std::string(utf8)); }
    void showBox(std::string_view text, std::string_view, BoxIcon) override {
        record(boxes_, std::string(text));
    }
    void setStatusText(std::string_view) override {}
    void applyEnables(const ControlEnables&) override {}
    void displayReceivedByte(std::uint8_t) override {}
    void applyItemUpdate(const ItemUpdate& update) override {
        ApplyItemUpdates(std::span(&update, 1), form);
        lastFilled = Clock::now();
    }
    bool isTicked(int) const override { return false; }
    void setTicked(int, bool) override {}
    int demoRateIndex() const override { return 9; }
    void selectDemoRate(int) override {}
    bool saveForm() override { return true; }
    FormMembersView formMembers() override {
        snapshot_.emplace(form);
        return {*snapshot_, none_, 1000};
    }
    void sessionOutcome(SessionOutcome outcome) override {
        {
            std::lock_guard guard(m_);
            outcomes_.push_back(outcome);
        }
        cv_.notify_all();
    }

  private:
    // ---- LineTap: when the read went out ----
    void note(std::string_view) override {}
    void sent(std::span<const std::uint8_t> bytes) override {
        if (bytes.size() == 16 && bytes[1] == 0x0B) readSent = Clock::now();
    }
    void received(std::uint8_t) override {}

    void record(std::vector<std::string>& into, std::string text) {
        {
            std::lock_guard guard(m_);
            into.push_back(std::move(text));
        }
        cv_.notify_all();
    }

    std::string path_;
    std::string none_;
    std::optional<FormValuesSnapshot> snapshot_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::vector<SessionOutcome> outcomes_;
    std::vector<std::string> info_;
    std::vector<std::string> boxes_;
    // The session and its line go before the loop that runs their tasks.
    TaskLoop loop_;
    SessionController session_{*this,
                               LineSetup{.post = [this](std::function<void()> task) { loop_.post(std::move(task)); }}};
};

TEST(SessionRoundTrip, ReadWriteInFramesAndVerifyAtLineSpeed) {
    DtuServer dtu;  // 57600 bit/s unless told otherwise
    ASSERT_TRUE(dtu.start());
    {
        LoopHost host(dtu.devicePath());
        host.run([](SessionController& s) { s.OnOpenPort(); });
        host.run([](SessionController& s) { s.OnTimerTick(TIMER_DTU_POLL); });
        ASSERT_TRUE(host.waitFor(SessionOutcome::Connected));

        host.run([](SessionController& s) { s.OnReadParameters(); });
        ASSERT_TRUE(host.waitFor(SessionOutcome::ReadSucceeded));
        std::size_t answerBytes = 0;
        for (const auto& [type, value] : dtu.items()) answerBytes += value.size() + 2;
        answerBytes += 16;
        host.run([&](SessionController&) {
            // The form shows the DTU's station, and what was read can be written back.
            const ParameterField* station = FindFieldByCheckBox(FindItem(0x92)->checkBoxId);
            EXPECT_EQ(DisplayText(host.form, *station), "城东变电站");
            const double cycleMs =
                std::chrono::duration<double, std::milli>(host.lastFilled - host.readSent).count();
            const double wireMs = answerBytes * 10.0 * 1000.0 / 57600.0;
            std::printf(
                "read cycle at 57600 bit/s: %.1f ms, answer %zu bytes on the wire %.1f ms, overhead %.1f%%\n",
                cycleMs, answerBytes, wireMs, (cycleMs - wireMs) * 100.0 / wireMs);
            EXPECT_GE(cycleMs, wireMs * 0.95);  // the simulator really talks at line speed
            // Every numbered field with a long value: a write in several frames.
            for (const ParameterField& field : ParameterFields()) {
                const std::uint8_t type = field.item->type;
                if (type < 0xC7 || type > 0xF1) continue;
                host.form[field].ticked = true;
                host.form[field].text = std::string(11, '7');
            }
        });

        host.run([](SessionController& s) {
            s.setVerifyAfterWrite(true);
            s.OnConfigure();
        });
        ASSERT_TRUE(host.waitFor(SessionOutcome::VerifyPassed)) << ::testing::PrintToString(host.info());
        EXPECT_TRUE(host.boxes().empty());
        std::size_t configures = 0;
        for (const std::string& line : host.info()) configures += line == kConfigureSucceededText;
        EXPECT_EQ(configures, 1u);
        EXPECT_GE(dtu.counters().configureRequests, 2u);

        host.run([](SessionController& s) {
            s.OnClosePort();
            EXPECT_EQ(s.state(), SessionState::Closed);
        });
    }
    dtu.stop();
}

// A double-click on 读取参数: the second press is served by the answer
// already on its way, and nothing more goes on the wire.
TEST(SessionRoundTrip, AReadPressedAgainMidAnswerIsServedByThatAnswer) {
    DtuServer dtu;
    ASSERT_TRUE(dtu.start());
    {
        LoopHost host(dtu.devicePath());
        host.run([](SessionController& s) { s.OnOpenPort(); });
        host.run([](SessionController& s) { s.OnTimerTick(TIMER_DTU_POLL); });
        ASSERT_TRUE(host.waitFor(SessionOutcome::Connected));
        host.run([](SessionController& s) { s.OnReadParameters(); });
        ASSERT_TRUE(dtu.waitFor([&] { return dtu.sentTotal() > 200; }, kWait));
        host.run([](SessionController& s) { EXPECT_EQ(s.OnReadParameters().status, CommandStatus::Joined); });
        ASSERT_TRUE(host.waitFor(SessionOutcome::ReadSucceeded));
        ASSERT_TRUE(dtu.waitFor([&] { return dtu.unsentBytes() == 0; }, kWait));
        host.run([](SessionController&) {});  // what the line delivered has been handled
        EXPECT_EQ(dtu.counters().readRequests, 1u);
        for (const std::string& line : host.info()) EXPECT_NE(line, kReadFailedText);
    }
    dtu.stop();
}

}  // namespace
}  // namespace quill::test
