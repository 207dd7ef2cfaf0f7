// The command line as the session's host: the session core decides, this
// class carries its calls out on a console. Reports go to the message stream
// as lines, boxes become error messages, window timers become the event
// loop's timers, the form is a FormValues, and the session's line posts onto
// the event loop's thread; the trace is a tap on that line. What a command waits for comes back as
// SessionOutcome values, queued in the order the session reported them.
//
// One thread: the command's, which runs the event loop. The serial workers
// only post to the loop. Hosts of several ports may share one loop, each
// with its own timer owner there.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/event_loop.h"
#include "cli/trace.h"
#include "form/form_values.h"
#include "session/session_controller.h"
#include "session/write_record.h"

namespace quill::cli {

// The message stream (stderr), with at most one progress line that later
// messages replace; the progress line is drawn only on a terminal.
class Console {
  public:
    Console(std::ostream& err, bool terminal) : err_(err), terminal_(terminal) {}
    void message(std::string_view text);
    void progress(std::string_view text);
    void endProgress();
    bool terminal() const { return terminal_; }

  private:
    std::ostream& err_;
    bool terminal_;
    bool progressShown_ = false;
};

// The --port value that asks for a search: the port where a DTU answers, or
// for provision every port a search would try.
inline constexpr std::string_view kAutoPort = "auto";

// The candidates of this machine, as a search tries them: the discovered
// ports that are candidates, or what a source set below gives.
std::vector<std::string> SearchCandidatePaths();
// Replaces the discovery (tests hand the search their pseudo-terminals); an
// empty function restores it.
void SetSearchCandidateSource(std::function<std::vector<std::string>()> source);

// A report of the information area as console lines: without its "<-" marks
// and the blank lines the window puts between reports.
std::vector<std::string_view> ReportLines(std::string_view text);

class ConsoleHost final : public SessionHost {
  public:
    // The loop's only client: its timers are the default owner's.
    ConsoleHost(EventLoop& loop, std::string portPath, Console& console, Trace* trace);
    // One of several on the loop: its timers are `timerOwner`'s.
    ConsoleHost(EventLoop& loop, EventLoop::TimerOwner timerOwner, std::string portPath, Console& console,
                Trace* trace);
    ~ConsoleHost() override;
    ConsoleHost(const ConsoleHost&) = delete;
    ConsoleHost& operator=(const ConsoleHost&) = delete;

    SessionController& session() { return session_; }
    EventLoop& loop() { return loop_; }
    EventLoop::TimerOwner timerOwner() const { return timerOwner_; }

    // The form the session reads for a write and a read answer fills.
    FormValues& form() { return form_; }
    void setForm(FormValues values) { form_ = std::move(values); }
    // Item types of the read answers applied since the last clear, in frame order.
    const std::vector<std::uint8_t>& readTypes() const { return readTypes_; }
    // What those read answers filled, item by item.
    const std::vector<ItemUpdate>& readFills() const { return readFills_; }
    void clearReadTypes() {
        readTypes_.clear();
        readFills_.clear();
    }

    // Outcomes the session reported and no one has taken yet.
    bool hasOutcome() const { return !outcomes_.empty(); }
    std::optional<SessionOutcome> takeOutcome();
    void clearOutcomes() { outcomes_.clear(); }
    // The session's reports are echoed to the console while on (the default).
    void setReportsShown(bool shown) { reportsShown_ = shown; }
    // The session's boxes too (on by default): off while a lost port is tried again.
    void setBoxesShown(bool shown) { boxesShown_ = shown; }

    // The port the session opens: as given, or the one a search found.
    const std::string& portPath() const { return portPath_; }
    // Every write that goes out is recorded there, as made by `frontEnd`
    // (the command's name); passwords masked unless showSecrets.
    void recordWritesTo(WriteHistory* history, std::string frontEnd, bool showSecrets) {
        history_ = history;
        frontEnd_ = std::move(frontEnd);
        showSecrets_ = showSecrets;
    }
    // Engines of a search's candidates still held (tests: none once it ended).
    std::size_t candidatesHeld() const { return session_.line().candidatesHeld(); }

    // Bytes handed to the engine and bytes delivered to the session.
    std::uint64_t bytesSent() const { return session_.line().bytesSent(); }
    std::uint64_t bytesReceived() const { return session_.line().bytesReceived(); }

    // ---- SessionHost ----
    // Given kAutoPort, the session searches every candidate and takes the
    // found port over still open.
    ChosenPort chosenPort() override;
    void portFound(const LinePort& port) override { portPath_ = port.devicePath; }
    void startTimerById(int timerId, int periodMs) override;
    void stopTimerById(int timerId) override;
    void appendInfo(std::string_view utf8) override;
    void showBox(std::string_view textUtf8, std::string_view captionUtf8, BoxIcon icon) override;
    void setStatusText(std::string_view) override {}
    void applyEnables(const ControlEnables&) override {}
    void displayReceivedByte(std::uint8_t) override {}
    void applyItemUpdate(const ItemUpdate& update) override;
    bool isTicked(int checkBoxId) const override;
    void setTicked(int checkBoxId, bool ticked) override;
    int demoRateIndex() const override { return demoRateIndex_; }
    void selectDemoRate(int index) override { demoRateIndex_ = index; }
    bool saveForm() override { return true; }
    FormMembersView formMembers() override { return {snapshot_, sendText_, 0}; }
    void sessionOutcome(SessionOutcome outcome) override { outcomes_.push_back(outcome); }
    void writeConcluded(const WriteReport& report) override;

  private:
    EventLoop& loop_;
    EventLoop::TimerOwner timerOwner_;
    std::string portPath_;
    Console& console_;
    Trace* trace_;
    FormValues form_;
    FormValuesSnapshot snapshot_{form_};
    std::vector<std::uint8_t> readTypes_;
    std::vector<ItemUpdate> readFills_;
    std::deque<SessionOutcome> outcomes_;
    bool reportsShown_ = true;
    bool boxesShown_ = true;
    int demoRateIndex_ = -1;
    std::string sendText_;
    WriteHistory* history_ = nullptr;
    std::string frontEnd_;
    bool showSecrets_ = false;
    // Last: the line's workers stop before anything they reach is gone.
    SessionController session_;
};

}  // namespace quill::cli
