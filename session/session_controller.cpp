#include "session/session_controller.h"

#include <utility>

#include "protocol/frame.h"
#include "protocol/wire.h"
#include "serial/search_candidates.h"

namespace quill {

std::string_view StateName(SessionState state) {
    switch (state) {
        case SessionState::Closed:
            return "Closed";
        case SessionState::WaitingForDtu:
            return "WaitingForDtu";
        case SessionState::Connected:
            return "Connected";
        case SessionState::Demo:
            return "Demo";
        case SessionState::DemoPortClosed:
            return "DemoPortClosed";
        case SessionState::Searching:
            return "Searching";
    }
    return "?";
}

std::optional<SessionState> NextState(SessionState from, SessionEvent event) {
    for (const Transition& row : kTransitions)
        if (row.from == from && row.event == event) return row.to;
    return std::nullopt;
}

ControlEnables EnabledControls(SessionState state) {
    switch (state) {
        case SessionState::Closed:
        case SessionState::DemoPortClosed:
            return {.openPort = true};
        case SessionState::WaitingForDtu:
        case SessionState::Searching:
            return {.closePort = true};
        case SessionState::Connected:
            return {.closePort = true, .readParameters = true, .configure = true};
        case SessionState::Demo:
            return {.closePort = true, .reset = true, .terminal = true};
    }
    return {};
}

std::array<ControlEnable, kEnabledControlCount> ControlEnableStates(const ControlEnables& enables) {
    std::array<ControlEnable, kEnabledControlCount> states{{
        {kOpenButtonId, enables.openPort},
        {kCloseButtonId, enables.closePort},
        {kReadButtonId, enables.readParameters},
        {kConfigureButtonId, enables.configure},
        {kResetButtonId, enables.reset},
    }};
    std::size_t next = 5;
    for (const int id : kTerminalControls) states[next++] = {id, enables.terminal};
    return states;
}

ChosenPort SearchChoice(std::span<const PortListEntry> entries, const std::vector<FoundPort>& found) {
    ChosenPort search{ChosenPort::Kind::Search, {}, {}};
    for (const std::string& path : SearchCandidatePaths(found)) {
        const PortChoice shown = ShowFoundPort(entries, path).choice;
        search.candidates.push_back({path, shown.portNumber, shown.name});
    }
    return search;
}

std::string OpenStatusText(std::string_view portName, std::uint32_t rate) {
    std::string text = "当前状态：串口";
    text += portName;
    text += "已打开,波特率";
    text += std::to_string(rate);
    return text;
}

SessionController::SessionController(SessionHost& host, LineSetup setup)
    : host_(host), ownLine_(std::make_unique<SessionLine>(std::move(setup))), line_(*ownLine_) {
    line_.listen(*this);
}

SessionController::SessionController(SessionHost& host, Line& line) : host_(host), line_(line) {
    line_.listen(*this);
}

SessionController::~SessionController() = default;

void SessionController::onLineError(const std::string& text) {
    host_.showBox(text, kApplicationErrorCaption, BoxIcon::Error);
}

bool SessionController::portOpen() const {
    return state_ == SessionState::WaitingForDtu || state_ == SessionState::Connected ||
           state_ == SessionState::Demo;
}

// Enabled states change with the state and only then, so a control a front
// end enabled for its own reasons stays as it is until the session moves on.
void SessionController::setState(SessionState next) {
    state_ = next;
    const ControlEnables enables = EnabledControls(next);
    if (enablesShown_ && enables == shownEnables_) return;
    host_.applyEnables(enables);
    shownEnables_ = enables;
    enablesShown_ = true;
}

// Takes the table's row for the event; false when the state has none.
bool SessionController::move(SessionEvent event) {
    const std::optional<SessionState> next = NextState(state_, event);
    if (next) setState(*next);
    return next.has_value();
}

// A rate list without a selection has no table entry; the session's own rate stands in.
std::uint32_t SessionController::demoRate() const {
    const int index = host_.demoRateIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= BaudTable.size()) return BaudTable[kSessionRateIndex];
    return BaudTable[static_cast<std::size_t>(index)];
}

void SessionController::beginWait() {
    requests_.forgetUnit();  // whoever announces itself next may be another unit
    host_.startTimerById(TIMER_DTU_POLL, kPollPeriodMs);
    waitingForDtu_ = 1;
    dtuConnected_ = false;
}

void SessionController::endWaitTimers() {
    host_.stopTimerById(TIMER_DTU_POLL);
    host_.stopTimerById(TIMER_CONNECT_TIMEOUT);
}

// ---- Port ------------------------------------------------------------------------

void SessionController::OnOpenPort() {
    if (!NextState(state_, SessionEvent::OpenSucceeded)) return;
    // A search finds a DTU: in the demo state there is none to find, and the
    // open goes to the entry as it is.
    ChosenPort chosen = host_.chosenPort();
    if (!inDemo() && chosen.kind == ChosenPort::Kind::Search) {
        host_.selectDemoRate(static_cast<int>(kSessionRateIndex));
        move(SessionEvent::SearchStarted);
        std::vector<std::string> paths;
        for (const LinePort& candidate : chosen.candidates) paths.push_back(candidate.devicePath);
        searched_ = std::move(chosen.candidates);
        line_.beginSearch(paths);
        search_.start(std::move(paths));  // may end at once: nothing to open
        return;
    }
    if (inDemo() && rememberedDemoRate_) host_.selectDemoRate(*std::exchange(rememberedDemoRate_, {}));
    std::uint32_t rate = demoRate();
    if (!inDemo()) {
        rate = BaudTable[kSessionRateIndex];
        host_.selectDemoRate(static_cast<int>(kSessionRateIndex));
    }
    const std::optional<std::string> name = open(chosen, rate);
    if (!name) {
        host_.showBox(line_.openFailureText(), kErrorCaption, BoxIcon::None);
        move(SessionEvent::OpenFailed);
        return;
    }
    host_.setStatusText(OpenStatusText(*name, rate));
    move(SessionEvent::OpenSucceeded);
    if (inDemo()) {
        host_.appendInfo(kOpenedDemoText);
        return;
    }
    beginWait();
    host_.appendInfo(kOpenedWaitText);
    host_.startTimerById(TIMER_CONNECT_TIMEOUT, kConnectTimeoutMs);
}

// The search's end moves the session: the winner becomes its port, opened
// and announced as if the operator had chosen it; anything else closes.
void SessionController::searchEnded(SearchEnd end) {
    if (end != SearchEnd::Found) {
        move(SessionEvent::SearchEnded);
        if (end == SearchEnd::TimedOut) host_.sessionOutcome(SessionOutcome::TimedOut);
        if (end == SearchEnd::NoneLeft) host_.sessionOutcome(SessionOutcome::Lost);
        return;
    }
    releasedByReopen_ = false;
    requests_.setLineRate(BaudTable[kSessionRateIndex]);
    host_.setStatusText(OpenStatusText(foundName_, BaudTable[kSessionRateIndex]));
    move(SessionEvent::Found);
    beginWait();
    host_.startTimerById(TIMER_CONNECT_TIMEOUT, kConnectTimeoutMs);
    // The announcement the search took is this wait's: no second poll is needed.
    OnPortByte(kAnnounceByte);
}

bool SessionController::takeCandidate(std::size_t index) {
    if (index >= searched_.size() || !line_.adoptCandidate(index, searched_[index])) return false;
    foundName_ = searched_[index].name;
    host_.portFound(searched_[index]);
    return true;
}

// The port the front end chose, opened: its name for the status line, or
// nothing (the line holds why). The search entry is no device: in the demo
// state there is none to search, and nothing opens.
std::optional<std::string> SessionController::open(const ChosenPort& chosen, std::uint32_t rate) {
    if (chosen.kind != ChosenPort::Kind::Port) {
        line_.stop();
        return std::nullopt;
    }
    if (!line_.open(chosen.port, rate)) return std::nullopt;
    releasedByReopen_ = false;
    requests_.setLineRate(rate);
    return chosen.port.name;
}

void SessionController::OnClosePort() {
    if (state_ == SessionState::Searching) {
        search_.cancel();  // says the port is closed, as a close does
        return;
    }
    if (!NextState(state_, SessionEvent::Close)) return;
    host_.appendInfo(kClosedText);
    line_.stop();
    closeSession(SessionEvent::Close);
}

// What a close and a lost device share. The session flags keep their
// values; whatever was asked of the DTU ends here.
void SessionController::closeSession(SessionEvent event) {
    endWaitTimers();
    autoSend_.stop();
    requests_.endAll(RequestEnd::PortClosed);
    host_.setStatusText(kStatusClosedText);
    move(event);
}

// The engine has closed the device and ended its worker; the session follows
// as a close would, and says why once.
void SessionController::OnPortLost() {
    if (!NextState(state_, SessionEvent::Lost)) return;
    host_.appendInfo(kPortLostText);
    closeSession(SessionEvent::Lost);
    host_.sessionOutcome(SessionOutcome::Lost);
}

void SessionController::OnDemoBaudChanged() {
    // The rate is the demo state's. Outside it the DTU's line stays at the
    // session rate, which is all the DTU understands; the pick waits for the
    // next demo-state open.
    if (!inDemo()) {
        rememberedDemoRate_ = host_.demoRateIndex();
        return;
    }
    rememberedDemoRate_.reset();
    if (!NextState(state_, SessionEvent::Reopened)) return;
    const std::uint32_t rate = demoRate();
    requests_.endAll(RequestEnd::StateChanged);
    // A reopen lets go of the line first, so an open that fails, or a choice
    // that opens nothing, leaves no device held behind the window.
    line_.stop();
    if (const std::optional<std::string> name = open(host_.chosenPort(), rate)) {
        host_.setStatusText(OpenStatusText(*name, rate));
        move(SessionEvent::Reopened);
        return;
    }
    // The engine let go of the device before the open failed; nothing is
    // reported and the session stays as it was.
    releasedByReopen_ = true;
}

void SessionController::OnPortsFound(std::span<const PortListEntry> entries, std::span<const FoundPort> found) {
    const std::optional<FoundPort> back = ReturnedPort(returnKey_, found);
    if (!back) return;
    returnKey_.clear();
    const PortChoice shown = ShowFoundPort(entries, back->path).choice;
    const LinePort port{back->path, shown.portNumber, shown.name};
    host_.portFound(port);
    host_.appendInfo(PortBackText(port.name));
    OnOpenPort();
}

void SessionController::OnAwaitDtu() {
    if (!move(SessionEvent::AwaitDtu)) return;
    requests_.endAll(RequestEnd::StateChanged);
    beginWait();
    host_.startTimerById(TIMER_CONNECT_TIMEOUT, kConnectTimeoutMs);
}

// ---- Demo state --------------------------------------------------------------------

void SessionController::OnConfigDone() {
    OnConfigDone(host_.isTicked(kConfigDoneBoxId));
}

void SessionController::OnConfigDone(bool ticked) {
    host_.saveForm();
    // Requests belong to the state they were made in; a write in several
    // frames ends here with what it did not write.
    requests_.endAll(RequestEnd::StateChanged);
    if (ticked) {
        search_.cancel();
        endWaitTimers();
        const bool open = portOpen();
        if (!move(SessionEvent::DemoEntered)) return;
        host_.appendInfo(open ? kDemoEnteredText : kDemoPortClosedText);
        return;
    }

    autoSend_.stop();
    if (state_ != SessionState::Demo) {
        move(SessionEvent::DemoLeft);
        return;
    }
    host_.selectDemoRate(static_cast<int>(kSessionRateIndex));
    const std::uint32_t rate = BaudTable[kSessionRateIndex];
    if (const std::optional<std::string> name = open(host_.chosenPort(), rate)) {
        host_.appendInfo(kReconnectText);
        host_.setStatusText(OpenStatusText(*name, rate));
    }
    // Also after a failed reopen: the wait runs and its time-out closes the port.
    beginWait();
    host_.startTimerById(TIMER_CONNECT_TIMEOUT, kConnectTimeoutMs);
    move(SessionEvent::DemoLeft);
}

void SessionController::SyncConfigDone() {
    SyncConfigDone(host_.isTicked(kConfigDoneBoxId));
}

void SessionController::SyncConfigDone(bool ticked) {
    if (ticked == inDemo()) return;
    requests_.endAll(RequestEnd::StateChanged);
    if (ticked) {
        search_.cancel();
        endWaitTimers();  // a tick of the box ends a wait, however it was ticked
        move(SessionEvent::DemoEntered);
        return;
    }
    autoSend_.stop();  // auto-send belongs to the demo state
    if (state_ == SessionState::Demo && dtuConnected_) {
        move(SessionEvent::DemoLeftKnown);
        return;
    }
    if (state_ == SessionState::Demo) {
        beginWait();
        host_.startTimerById(TIMER_CONNECT_TIMEOUT, kConnectTimeoutMs);
    }
    move(SessionEvent::DemoLeft);
}

// ---- Requests ------------------------------------------------------------------------

// Requests go out only where their buttons are enabled; a front end that
// calls the handler anyway (a command line, a queued click) sends nothing.
CommandResult SessionController::OnReadParameters() {
    if (!EnabledControls(state_).readParameters) return {CommandStatus::Refused, CommandRefusal::NotNow};
    return requests_.askRead(Command::ReadRequest);
}

// The DTU's answer to a reset is taken in as a read answer.
CommandResult SessionController::OnReset() {
    if (!EnabledControls(state_).reset) return {CommandStatus::Refused, CommandRefusal::NotNow};
    return requests_.askRead(Command::ResetRequest);
}

CommandResult SessionController::OnCheckFile(const FormValues& file) {
    if (!EnabledControls(state_).readParameters) return {CommandStatus::Refused, CommandRefusal::NotNow};
    // The file as a write would send it, so the comparison is the read-back's.
    const FormValuesSnapshot snapshot(file);
    ConfigureResult request = BuildConfigureRequest(snapshot);
    if (!request.errorMessage.empty()) {
        host_.showBox(request.errorMessage, kErrorCaption, BoxIcon::None);
        return {CommandStatus::Refused, CommandRefusal::FormInvalid};
    }
    return requests_.askCheck(std::move(request.frames));
}

CommandResult SessionController::OnConfigure() {
    if (!EnabledControls(state_).configure) return {CommandStatus::Refused, CommandRefusal::NotNow};
    host_.saveForm();
    ConfigureResult request = BuildConfigureRequest(host_.formMembers().snapshot);
    if (!request.errorMessage.empty()) {
        host_.showBox(request.errorMessage, kErrorCaption, BoxIcon::None);
        return {CommandStatus::Refused, CommandRefusal::FormInvalid};
    }
    return requests_.beginWrite(std::move(request.frames));
}

// ---- Bytes and ticks --------------------------------------------------------------

void SessionController::OnPortByte(std::uint8_t byte) {
    if (inDemo()) host_.displayReceivedByte(byte);
    if (byte == kAnnounceByte && move(SessionEvent::Announced)) {
        host_.appendInfo(kConnectedText);
        endWaitTimers();
        dtuConnected_ = true;
        host_.sessionOutcome(SessionOutcome::Connected);
        return;
    }
    requests_.onByte(byte);
}

void SessionController::OnTimerTick(int timerId) {
    if (state_ == SessionState::Searching) {
        search_.OnTimerTick(timerId);  // the search's poll and time-out use the wait's timers
        return;
    }
    switch (timerId) {
        case TIMER_DTU_POLL:
            if (state_ != SessionState::WaitingForDtu) {
                host_.stopTimerById(TIMER_DTU_POLL);  // a tick left over from a wait that has ended
                return;
            }
            // After a failed reopen the wait runs without a device until its time-out.
            if (line_.held()) line_.send(std::span<const std::uint8_t>(&kPollByte, 1));
            return;
        case TIMER_CONNECT_TIMEOUT:
            host_.stopTimerById(TIMER_CONNECT_TIMEOUT);
            // The wait may have ended before its time-out.
            if (!NextState(state_, SessionEvent::ConnectTimeout)) return;
            host_.stopTimerById(TIMER_DTU_POLL);
            host_.appendInfo(kTimedOutText);
            OnClosePort();
            host_.sessionOutcome(SessionOutcome::TimedOut);
            return;
        case TIMER_ANSWER_DEADLINE:
        case TIMER_LINE_QUIET:
            requests_.onTimerTick(timerId);
            return;
        case TIMER_AUTO_SEND:
            // Auto-send belongs to its ticked box, on an open port, in the demo state.
            if (state_ != SessionState::Demo || !host_.isTicked(kAutoSendBoxId)) {
                autoSend_.stop();
                return;
            }
            // The engine has let go of a device that went away and its report
            // is on the way: the session closes with that one report, not with
            // a "port not open" box from this tick first. A device let go by a
            // failed reopen has not gone away: the send says the port is not
            // open, once, and auto-send stops.
            if (!autoSend_.suspended() && !line_.held() && !releasedByReopen_) {
                OnPortLost();
                return;
            }
            autoSend_.onTick();
            return;
        default:
            return;
    }
}

// ---- Demo-state terminal ------------------------------------------------------------

void SessionController::OnSend() {
    autoSend_.send(false);
}

void SessionController::OnAutoSend() {
    autoSend_.onBox(inDemo());
}

void SessionController::OnIntervalChanged() {
    autoSend_.onIntervalChanged(state_ == SessionState::Demo && host_.isTicked(kAutoSendBoxId));
}

}  // namespace quill
