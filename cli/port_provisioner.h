// The one driver of a DTU on one port: unit after unit for provision, one unit
// for read, write and check, as steps that react to what the session reports,
// so that any number of ports share one event loop and one thread. Each unit:
// wait for it to announce itself, read it (provision: its id), write the file
// and read it back, hand its record on; a series then waits until the unit
// leaves the line (kQuietTime without an answer to the polls) and goes on
// with the next. Each step issues the session's own command (OnOpenPort,
// OnReadParameters, OnConfigure, OnClosePort); the session decides everything
// in between. How a unit ended is a StepResult, its words and exit code the
// table's (cli/results.h).
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
#include "cli/event_loop.h"
#include "cli/results.h"
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
    std::string result;  // the table's log word: passed, refused, differs, no-answer, ...
    std::string shown;   // the result as the line on stdout says it (the table's)
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
    FormValues values;    // the file: its ticked fields are written to every unit
    bool read = true;     // each unit is read first (provision: its id; read, check: the set)
    bool write = true;    // then the file is written
    bool verify = true;   // and read back
    int count = 0;        // units to do; 0: until interrupted
    // The wait for each unit; nullopt: as long as it takes (single: as the
    // session's connect time-out says).
    std::optional<std::chrono::steady_clock::duration> unitTimeout;
    std::string timeoutText;  // the limit as it was given, for the message when it passes
    bool showSecrets = false;  // passwords in the trace and the history of writes
    // One command's one unit (read, write, check), not a series: the session's
    // reports are shown while the unit is awaited, the first step that fails
    // ends the command with the table's code and message (a lost port is not
    // waited for), and a unit that is done leaves its port open.
    bool single = false;
};

// The settings of one command's one unit; the wait for it ends at deadline,
// or without one when the session's connect time-out passes.
ProvisionSettings SingleUnit(std::optional<std::chrono::steady_clock::time_point> deadline,
                             std::string timeoutText);

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
    // What the port's run ended with, and its exit code, once finished.
    StepResult result() const { return result_; }
    int code() const { return RowOf(result_).code; }
    const ProvisionTally& tally() const { return tally_; }
    ConsoleHost& host() { return host_; }
    // Closes the port if it is open, without the session's reports.
    void close();

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
    // Ends the run with result, saying the table's message (detail in its
    // place); finishTold: the unit's line has said it.
    void finish(StepResult result, std::string_view detail = {});
    void finishTold(StepResult result);
    // A series that ends between units: every unit passed, or not.
    StepResult seriesResult() const;
    // What did not answer, for the message of a wait that ended with NoDtu.
    std::string unanswered() const;
    // The port is open, or a search for it runs (--port auto).
    bool opened();
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
    StepResult result_ = StepResult::Done;
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

// While it lives, RequestInterrupt wakes the loop (the one that every port of
// a run shares, one unit's or many).
class InterruptWake {
  public:
    explicit InterruptWake(EventLoop& loop);
    ~InterruptWake();
    InterruptWake(const InterruptWake&) = delete;
    InterruptWake& operator=(const InterruptWake&) = delete;

  private:
    EventLoop& loop_;
};

// Set by RequestInterrupt; steps end at the next turn of their loop.
bool InterruptRequested();
void ClearInterrupt();

}  // namespace quill::cli
