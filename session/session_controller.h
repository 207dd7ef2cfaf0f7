// The session with the DTU, written once for every front end (the Qt window,
// the Win32 window, the command line). It decides; the front end carries out.
//
// Principles of operation:
// - Inputs are events: an operator's command (OnOpenPort, OnConfigure, ...),
//   a timer tick (OnTimerTick), a received byte (OnPortByte), the port lost
//   (OnPortLost). They are the handlers of the window, under their names.
// - Outputs are calls on the line (open, send, stop) and on a SessionHost,
//   carried out at once and in order: start or stop a timer, append a
//   report, show a box, set the status line, fill the form, enable controls.
// - The connection state is one value (SessionState); its moves are one table
//   (kTransitions), and which controls are enabled follows from it in one
//   function, EnabledControls, applied after every move.
// - This file is the connection machine and the routing. The request side
//   (what is awaited, held requests, the receive assembler) is RequestCycle;
//   the demo state's sending is AutoSend; the texts are session_texts.h.
// - A search for the DTU (the list's "自动查找DTU", --port auto) is the state
//   Searching: PortSearch polls the candidate ports, and the one that
//   answers becomes the session's port, handed over open and connected.
// - The line is the session's (SessionLine): it opens, sends and holds for
//   every part of the session, and what it receives comes here; the front
//   end sees only the session's conclusions.
// - It owns no widget and no thread: everything runs on the front end's
//   user-interface thread, the serial workers only post there.
#pragma once

#include <array>
#include <memory>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "form/form_values.h"
#include "session/auto_send.h"
#include "session/port_search.h"
#include "session/request_cycle.h"
#include "session/session_host.h"
#include "session/session_line.h"
#include "session/session_texts.h"
#include "session/session_timers.h"

namespace quill {

enum class SessionState : std::uint8_t {
    Closed,          // no port; the config-done box unticked
    WaitingForDtu,   // port open, polling until the DTU announces itself
    Connected,       // the DTU has announced itself: read and configure
    Demo,            // port open as a plain terminal (config-done ticked)
    DemoPortClosed,  // config-done ticked, no port
    Searching,       // no port yet: every candidate polled until one announces a DTU
};

std::string_view StateName(SessionState state);

// What moves the connection machine.
enum class SessionEvent : std::uint8_t {
    OpenSucceeded,   // 1027
    OpenFailed,      // 1027
    Announced,       // the presence byte while waiting
    ConnectTimeout,  // timer 2
    Close,           // 1028, or the end of the connect time-out
    Lost,            // the engine let go of a vanished device
    DemoEntered,     // 1031 ticked
    DemoLeft,        // 1031 unticked
    DemoLeftKnown,   // 1031 unticked without its handler, the DTU known: no new wait
    Reopened,        // 1068's rate took effect (the demo state only)
    AwaitDtu,        // a front end without an operator waits for the next unit
    SearchStarted,   // 1027 with the search chosen
    Found,           // a candidate announced a DTU and became the session's port
    SearchEnded,     // the search found nothing, or was cancelled
};

struct Transition {
    SessionState from;
    SessionEvent event;
    SessionState to;
};

// Every move of the connection machine; an event without a row in the
// current state changes nothing.
inline constexpr std::array kTransitions{
    Transition{SessionState::Closed, SessionEvent::OpenSucceeded, SessionState::WaitingForDtu},
    Transition{SessionState::Closed, SessionEvent::OpenFailed, SessionState::Closed},
    Transition{SessionState::Closed, SessionEvent::DemoEntered, SessionState::DemoPortClosed},
    Transition{SessionState::Closed, SessionEvent::SearchStarted, SessionState::Searching},
    Transition{SessionState::Searching, SessionEvent::Found, SessionState::WaitingForDtu},
    Transition{SessionState::Searching, SessionEvent::SearchEnded, SessionState::Closed},
    Transition{SessionState::WaitingForDtu, SessionEvent::Announced, SessionState::Connected},
    Transition{SessionState::WaitingForDtu, SessionEvent::ConnectTimeout, SessionState::Closed},
    Transition{SessionState::WaitingForDtu, SessionEvent::Close, SessionState::Closed},
    Transition{SessionState::WaitingForDtu, SessionEvent::Lost, SessionState::Closed},
    Transition{SessionState::WaitingForDtu, SessionEvent::DemoEntered, SessionState::Demo},
    Transition{SessionState::Connected, SessionEvent::Close, SessionState::Closed},
    Transition{SessionState::Connected, SessionEvent::Lost, SessionState::Closed},
    Transition{SessionState::Connected, SessionEvent::DemoEntered, SessionState::Demo},
    Transition{SessionState::Connected, SessionEvent::AwaitDtu, SessionState::WaitingForDtu},
    Transition{SessionState::Demo, SessionEvent::Close, SessionState::DemoPortClosed},
    Transition{SessionState::Demo, SessionEvent::Lost, SessionState::DemoPortClosed},
    Transition{SessionState::Demo, SessionEvent::DemoLeft, SessionState::WaitingForDtu},
    Transition{SessionState::Demo, SessionEvent::DemoLeftKnown, SessionState::Connected},
    Transition{SessionState::Demo, SessionEvent::Reopened, SessionState::Demo},
    Transition{SessionState::DemoPortClosed, SessionEvent::OpenSucceeded, SessionState::Demo},
    Transition{SessionState::DemoPortClosed, SessionEvent::OpenFailed, SessionState::DemoPortClosed},
    Transition{SessionState::DemoPortClosed, SessionEvent::DemoLeft, SessionState::Closed},
    Transition{SessionState::DemoPortClosed, SessionEvent::Reopened, SessionState::Demo},
};

// The row for this state and event, if there is one.
std::optional<SessionState> NextState(SessionState from, SessionEvent event);

ControlEnables EnabledControls(SessionState state);

class SessionController : private LineEvents, private SearchOwner {
  public:
    // The session with a line of its own over the serial engine, its
    // notifications posted onto the front end's thread as the setup says.
    SessionController(SessionHost& host, LineSetup setup);
    // The session on a line someone else holds (tests play one).
    SessionController(SessionHost& host, Line& line);
    ~SessionController() override;
    SessionController(const SessionController&) = delete;
    SessionController& operator=(const SessionController&) = delete;

    // ---- Operator commands (the window's handlers) ----
    // Requests say what became of them; a window may ignore it.
    void OnOpenPort();                   // 1027
    void OnClosePort();                  // 1028
    CommandResult OnReadParameters();    // 1029
    CommandResult OnConfigure();         // 1030
    CommandResult OnReset();             // 1032
    // The context menu's "与参数文件核对…": the unit read and compared with
    // these values (a parameter file), field by field, in the information area.
    CommandResult OnCheckFile(const FormValues& file);
    void OnConfigDone();                 // 1031; the box has already changed its tick
    void OnConfigDone(bool ticked);      // the same, with the tick the front end reports
    void OnDemoBaudChanged();            // the operator edits 1068's text
    void OnSend();                       // 1037
    void OnAutoSend();                   // 1034; the box has already changed its tick
    void OnIntervalChanged();            // 1035's text changed
    // The config-done box was set without its handler (start-up, tests).
    void SyncConfigDone();
    void SyncConfigDone(bool ticked);
    // While connected: wait for a DTU to announce itself again on the open
    // port (the next unit of a series), polling as after an open.
    void OnAwaitDtu();

    // ---- A lost port that comes back (the windows) ----
    // The lost session's port, by its key across a replug (ReturnKey).
    void AwaitReturnOf(std::string key) { returnKey_ = std::move(key); }
    // The operator's own open, close or choice of port: it is no longer waited for.
    void ForgetReturn() { returnKey_.clear(); }
    // The ports found again: the lost one among them is chosen as the list
    // shows it, said so, and opened once, exactly as after 打开串口.
    void OnPortsFound(std::span<const PortListEntry> entries, std::span<const FoundPort> found);

    // ---- Timers, bytes, the port ----
    void OnTimerTick(int timerId);
    void OnPortByte(std::uint8_t byte);
    void OnPortLost();
    // A byte from, and the loss of, candidate i of the search.
    void OnCandidateByte(std::size_t index, std::uint8_t byte) { search_.OnPortByte(index, byte); }
    void OnCandidateLost(std::size_t index) { search_.OnPortLost(index); }

    // ---- State ----
    // The session's own line; only for a session made with a LineSetup.
    SessionLine& line() { return *ownLine_; }
    const SessionLine& line() const { return *ownLine_; }
    SessionState state() const { return state_; }
    bool portOpen() const;
    // The demo state (config-done ticked), as the front end last reported the tick.
    bool inDemo() const { return state_ == SessionState::Demo || state_ == SessionState::DemoPortClosed; }
    std::int32_t waitingForDtu() const { return waitingForDtu_; }
    bool dtuConnected() const { return dtuConnected_; }
    const RequestCycle& requests() const { return requests_; }
    const ReceiveAssembler& assembler() const { return requests_.assembler(); }
    const AutoSend& autoSend() const { return autoSend_; }
    const PortSearch& search() const { return search_; }
    // Frames of the write in progress not yet sent (after the one awaiting its answer).
    std::size_t framesLeft() const { return requests_.framesLeft(); }

    // ---- For front ends without an operator ----
    // 0 (the default): an answer is awaited as long as it takes. Otherwise a
    // request whose DTU stays silent this long ends (SessionOutcome::NoAnswer).
    void setAnswerDeadline(int ms) { requests_.setAnswerDeadline(ms); }

    // ---- Verification after a write ----
    // On: after the last frame of a write succeeded, the DTU is read again and
    // every written field compared; each difference is reported by its label,
    // then one verdict line (SessionOutcome::VerifyPassed / VerifyFailed).
    void setVerifyAfterWrite(bool on) { requests_.setVerifyAfterWrite(on); }
    bool verifyAfterWrite() const { return requests_.verifyAfterWrite(); }
    // Item types of the last verification that differ (empty when it passed).
    const std::vector<std::uint8_t>& mismatchedTypes() const { return requests_.mismatchedTypes(); }
    // Item types of the last write that were not written (a frame was refused
    // or the session ended before it went out); empty after a full write.
    const std::vector<std::uint8_t>& unwrittenTypes() const { return requests_.unwrittenTypes(); }

  private:
    // ---- LineEvents: what the line received ----
    void onLineByte(std::uint8_t byte) override { OnPortByte(byte); }
    void onLineLost() override { OnPortLost(); }
    void onLineError(const std::string& text) override;
    void onCandidateByte(std::size_t index, std::uint8_t byte) override { OnCandidateByte(index, byte); }
    void onCandidateLost(std::size_t index) override { OnCandidateLost(index); }
    // ---- SearchOwner ----
    bool takeCandidate(std::size_t index) override;
    void searchEnded(SearchEnd end) override;

    bool move(SessionEvent event);
    void setState(SessionState next);
    void beginWait();
    void endWaitTimers();
    void closeSession(SessionEvent event);
    std::uint32_t demoRate() const;
    std::optional<std::string> open(const ChosenPort& chosen, std::uint32_t rate);

    SessionHost& host_;
    std::unique_ptr<SessionLine> ownLine_;  // with a LineSetup; its reports are posted, never made inline
    Line& line_;
    SessionState state_ = SessionState::Closed;
    std::int32_t waitingForDtu_ = 0;
    bool dtuConnected_ = false;
    // The reopen from 1068 failed: the engine let go of the device, but
    // nothing vanished, so no loss is reported for it.
    bool releasedByReopen_ = false;
    // The search's candidates, and the winner as the front end names it.
    std::vector<LinePort> searched_;
    std::string returnKey_;  // a lost port awaited back; empty: none
    std::string foundName_;
    // A rate picked in 1068 outside the demo state, for the next demo-state open.
    std::optional<int> rememberedDemoRate_;
    ControlEnables shownEnables_{};
    bool enablesShown_ = false;
    RequestCycle requests_{host_, line_};
    AutoSend autoSend_{host_, line_};
    PortSearch search_{host_, line_, *this};
};

}  // namespace quill
