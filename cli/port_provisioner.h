// Provisioning on one port, unit after unit, as steps that react to what the
// session reports, so that any number of ports share one event loop and one
// thread. Each unit: wait for it to announce itself, read its id, write the
// file and read it back, hand its record on, then wait until it leaves the
// line (kQuietTime without an answer to the polls) and go on with the next.
//
// Principles of operation:
// - One stage value (Stage); begin() starts the first unit, advance() moves
//   on from what the session reported since (its queued outcomes), from the
//   port's own deadlines (the --timeout limit on the wait for a unit, the
//   quiet time) and from an interrupt. advance() is called between the
//   loop's tasks, never from inside the session's calls.
// - The session keeps its own time-outs: an unanswered request ends with
//   NoAnswer, and a wait that passes its connect time-out opens the port again.
// - RunProvisioners drives a set of them on one loop until every one has
//   finished; an interrupt finishes each at its next advance().
// Caller's thread only; the serial workers only post to the loop.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/console_host.h"
#include "cli/dtu_link.h"
#include "cli/event_loop.h"
#include "cli/trace.h"
#include "form/form_values.h"

namespace quill::cli {

// A unit that leaves polls unanswered this long has gone from the line.
inline constexpr auto kQuietTime = std::chrono::seconds(2);
// How often a lost port is looked for.
inline constexpr auto kReturnPoll = std::chrono::milliseconds(500);

// What became of one unit: its line on stdout and its record in the log.
struct UnitRecord {
    std::string port;
    int unit = 0;
    std::string dtuId;
    // passed, refused, differs, read-back-failed, read-failed, no-answer, lost, interrupted
    std::string result;
    std::string shown;  // the result as the line on stdout says it
    std::vector<std::string> differing;
    // A unit whose write began and stopped (refused, cut off, unanswered) is
    // left half-written: the fields it may lack.
    std::vector<std::string> unwritten;
    long long milliseconds = 0;
    std::uint64_t bytesSent = 0;
    std::uint64_t bytesReceived = 0;
};

// What one port's provisioning did, for the summary after several ports.
struct ProvisionTally {
    int passed = 0;
    int failed = 0;
    bool opened = true;  // false: the port could not be opened at all
    bool lost = false;
    bool interrupted = false;
};

struct ProvisionSettings {
    FormValues values;  // the file: its ticked fields are written to every unit
    int count = 0;      // units to do; 0: until interrupted
    // The wait for each unit; nullopt: as long as it takes.
    std::optional<std::chrono::steady_clock::duration> unitTimeout;
    std::string timeoutText;  // the limit as it was given, for the message when it passes
    bool showSecrets = false;  // passwords in the trace and the history of writes
};

// The exit code of a step that did not succeed, after saying why on the console.
int FailureCode(Console& console, StepResult result, std::string_view what);

// The labels of item types, in their order.
std::vector<std::string> Labels(const std::vector<std::uint8_t>& types);

class PortProvisioner {
  public:
    using Clock = std::chrono::steady_clock;
    using UnitSink = std::function<void(const UnitRecord&)>;

    // unitDone receives each unit's record as soon as the unit is done, before
    // anything is said about what follows.
    PortProvisioner(EventLoop& loop, std::string port, const ProvisionSettings& settings, Console& console,
                    Trace* trace, UnitSink unitDone);
    ~PortProvisioner();
    PortProvisioner(const PortProvisioner&) = delete;
    PortProvisioner& operator=(const PortProvisioner&) = delete;

    // Opens the port and starts the wait for the first unit.
    void begin();
    // Moves on from the session's outcomes, the deadlines and an interrupt.
    void advance();

    bool finished() const { return stage_ == Stage::Finished; }
    // Something reported that advance() has to see.
    bool hasOutcome() const { return host_.hasOutcome(); }
    // When advance() has to look again even if nothing is reported.
    Clock::time_point nextDeadline() const;

    const std::string& port() const { return port_; }
    // The port's exit code, once finished.
    int code() const { return code_; }
    const ProvisionTally& tally() const { return tally_; }
    ConsoleHost& host() { return host_; }

  private:
    enum class Stage : std::uint8_t {
        Connecting,  // waiting for the unit to announce itself
        Reading,     // its id
        Writing,     // the file's fields
        Verifying,   // reading them back
        Quiet,       // waiting for the unit to leave the line
        Returning,   // the port went away: waiting for it to come back
        Finished,
    };

    void beginConnect();
    void advanceConnect();
    void endConnect(StepResult connected);
    void beginUnit();
    void beginWrite();
    // Reading, Writing and Verifying: the outcome that ends the stage.
    void advanceAnswer();
    void endUnit(StepResult ended);
    void beginQuiet();
    void advanceQuiet();
    // The port was lost: its series goes on once it is back. nextUnit: the
    // unit in hand was done (recorded), the next one follows.
    void beginReturning(bool nextUnit);
    void advanceReturning();
    void finish(int code);
    // Closes the port if it is open, without the session's reports.
    void close();
    // The step's result for a request the session did not send.
    static StepResult NotSentResult(const CommandResult& sent);

    std::string port_;
    const ProvisionSettings settings_;
    Console& console_;
    UnitSink unitDone_;
    ConsoleHost host_;

    Stage stage_ = Stage::Connecting;
    int unit_ = 1;
    int failures_ = 0;
    int code_ = 0;
    ProvisionTally tally_;
    // The wait for a unit.
    Clock::time_point unitDeadline_ = Clock::time_point::max();
    Clock::time_point waitBegan_;
    Clock::time_point nextProgress_;
    // The unit in hand.
    Clock::time_point unitBegan_;
    std::uint64_t sentBefore_ = 0;
    std::uint64_t receivedBefore_ = 0;
    std::string dtuId_;
    // The wait for the unit to leave.
    Clock::time_point quietUntil_;
    // The wait for the port to come back.
    Clock::time_point nextReturnTry_;
    bool nextUnitOnReturn_ = false;
};

// Runs each port's provisioning on the loop, on the caller's thread, until
// every one has finished.
void RunProvisioners(EventLoop& loop, std::span<PortProvisioner* const> ports);

}  // namespace quill::cli
