// One command's conversation with the DTU on one port: the event loop, the
// console host and its session, and the waits a command is made of. Each step
// issues the session's own command (OnOpenPort, OnReadParameters,
// OnConfigure, OnClosePort) and runs the loop until the session reports the
// outcome that ends the step; the session decides everything in between.
//
// A script cannot wait as long as it takes: an unanswered request ends at the
// session's answer deadline, as in every front end, and the link may set a
// limit of its own on the wait for a DTU. A step also ends when
// RequestInterrupt was called. Caller's thread only.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/console_host.h"
#include "cli/event_loop.h"
#include "cli/trace.h"

namespace quill::cli {

enum class StepResult : std::uint8_t {
    Done,         // the awaited outcome (connected, read, written, verified)
    Failed,       // a read answer could not be taken
    Refused,      // the DTU refused a frame of the write
    Differs,      // the read-back differs from what was written
    NotReadBack,  // the read-back after the write could not be taken: nothing was compared
    NotSent,      // the session refused the request itself (a box was shown)
    NoDtu,        // no announcement, or no answer, in time
    OpenFailed,   // the port could not be opened
    Lost,         // the port went away
    Interrupted,  // Ctrl-C
};

// While it lives, RequestInterrupt wakes the loop (a search's, a link's, or
// the one that every port of a provisioning shares).
class InterruptWake {
  public:
    explicit InterruptWake(EventLoop& loop);
    ~InterruptWake();
    InterruptWake(const InterruptWake&) = delete;
    InterruptWake& operator=(const InterruptWake&) = delete;

  private:
    EventLoop& loop_;
};

class DtuLink {
  public:
    using Clock = std::chrono::steady_clock;

    DtuLink(std::string portPath, Console& console, Trace* trace);
    ~DtuLink();

    ConsoleHost& host() { return host_; }
    SessionController& session() { return host_.session(); }
    EventLoop& loop() { return loop_; }

    // Opens the port and waits until a DTU announces itself. deadline: the
    // command line's own limit; without one the session's connect timer
    // decides. When the session gives up before the deadline, the port is
    // opened again and the wait goes on. progressLabel names the wait on a
    // terminal's progress line.
    StepResult connect(std::optional<Clock::time_point> deadline, std::string_view progressLabel);
    // Reads the DTU's set into the host's form.
    StepResult read();
    // Writes exactly the ticked fields of values; with verify, reads them back
    // and compares (session().mismatchedTypes() names the differences).
    // session().unwrittenTypes() names what a write that stopped left out.
    StepResult write(FormValues values, bool verify);
    // Closes the port if it is open.
    void close();

  private:
    StepResult waitForDtu(std::optional<Clock::time_point> deadline, std::string_view progressLabel);
    // Runs the loop until an outcome in `wanted` (returned), the port is lost
    // (Lost), the session's answer deadline passes (NoDtu), or an interrupt.
    std::optional<SessionOutcome> awaitAnswer(std::initializer_list<SessionOutcome> wanted,
                                              StepResult& ended);
    bool interrupted() const;
    bool opened();
    // The step's result for a request the session did not send.
    static StepResult NotSentResult(const CommandResult& sent);

    EventLoop loop_;
    InterruptWake wake_{loop_};
    Console& console_;
    ConsoleHost host_;
};

// Set by RequestInterrupt; steps end at the next turn of their loop.
bool InterruptRequested();
void ClearInterrupt();

}  // namespace quill::cli
