#include "session/session_controller.h"

#include <utility>

#include "form/parameter_fields.h"
#include "protocol/frame.h"
#include "protocol/item_table.h"
#include "protocol/session.h"
#include "protocol/write_check.h"
#include "terminal/send_request.h"

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
    }
    return "?";
}

ControlEnables EnabledControls(SessionState state) {
    switch (state) {
        case SessionState::Closed:
        case SessionState::DemoPortClosed:
            return {.openPort = true};
        case SessionState::WaitingForDtu:
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

std::string OpenStatusText(std::string_view portName, std::uint32_t rate) {
    std::string text = "当前状态：串口";
    text += portName;
    text += "已打开,波特率";
    text += std::to_string(rate);
    return text;
}

SessionController::SessionController(SessionHost& host) : host_(host) {}

bool SessionController::portOpen() const {
    return state_ == SessionState::WaitingForDtu || state_ == SessionState::Connected ||
           state_ == SessionState::Demo;
}

bool SessionController::inDemo() const {
    return state_ == SessionState::Demo || state_ == SessionState::DemoPortClosed;
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

// A rate list without a selection has no table entry; the session's own rate stands in.
std::uint32_t SessionController::demoRate() const {
    const int index = host_.demoRateIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= BaudTable.size()) return BaudTable[kSessionRateIndex];
    return BaudTable[static_cast<std::size_t>(index)];
}

void SessionController::beginWait() {
    host_.startTimerById(TIMER_DTU_POLL, kPollPeriodMs);
    waitingForDtu_ = 1;
    dtuConnected_ = false;
    setState(SessionState::WaitingForDtu);
}

void SessionController::endWaitTimers() {
    host_.stopTimerById(TIMER_DTU_POLL);
    host_.stopTimerById(TIMER_CONNECT_TIMEOUT);
}

void SessionController::stopAutoSend() {
    if (host_.isTicked(kAutoSendBoxId)) host_.setTicked(kAutoSendBoxId, false);
    host_.stopTimerById(TIMER_AUTO_SEND);
    autoSendSuspended_ = false;
}

// ---- Port ------------------------------------------------------------------------

void SessionController::OnOpenPort() {
    if (!EnabledControls(state_).openPort) return;
    const bool demo = inDemo();
    std::uint32_t rate = demoRate();
    if (!demo) {
        rate = BaudTable[kSessionRateIndex];
        host_.selectDemoRate(static_cast<int>(kSessionRateIndex));
    }
    const std::optional<std::string> name = host_.openPort(rate);
    if (!name) {
        host_.showBox(host_.openFailureText(), kErrorCaption, BoxIcon::None);
        setState(demo ? SessionState::DemoPortClosed : SessionState::Closed);
        return;
    }
    releasedByReopen_ = false;
    host_.setStatusText(OpenStatusText(*name, rate));
    if (demo) {
        setState(SessionState::Demo);
        host_.appendInfo(kOpenedDemoText);
        return;
    }
    host_.startTimerById(TIMER_DTU_POLL, kPollPeriodMs);
    waitingForDtu_ = 1;
    dtuConnected_ = false;
    host_.appendInfo(kOpenedWaitText);
    host_.startTimerById(TIMER_CONNECT_TIMEOUT, kConnectTimeoutMs);
    setState(SessionState::WaitingForDtu);
}

void SessionController::OnClosePort() {
    if (!EnabledControls(state_).closePort) return;
    host_.appendInfo(kClosedText);
    host_.stopPort();
    closeSession();
}

// What a close and a lost device share. The session flags and the assembler
// keep their values; a write in several frames ends here.
void SessionController::closeSession() {
    endWaitTimers();
    stopAutoSend();
    // A write in several frames ends here: what had not been answered did not go out.
    if (nextFrame_ > 0 && nextFrame_ <= written_.size() && !verifyPending_ && assembler_.configurePending) {
        for (std::size_t i = nextFrame_ - 1; i < written_.size(); ++i)
            unsentTypes_.insert(unsentTypes_.end(), written_[i].types.begin(), written_[i].types.end());
    }
    written_.clear();
    verifyPending_ = false;
    heldRequest_ = 0;
    host_.setStatusText(kStatusClosedText);
    setState(inDemo() ? SessionState::DemoPortClosed : SessionState::Closed);
}

// The engine has closed the device and ended its worker; the session follows
// as a close would, and says why once.
void SessionController::OnPortLost() {
    if (!portOpen()) return;
    host_.appendInfo(kPortLostText);
    closeSession();
    host_.sessionOutcome(SessionOutcome::Lost);
}

void SessionController::OnDemoBaudChanged() {
    // Without a session there is nothing to reopen: a port opened here would
    // be open behind a window that says it is closed.
    if (state_ == SessionState::Closed) return;
    const std::uint32_t rate = demoRate();
    if (const std::optional<std::string> name = host_.openPort(rate)) {
        releasedByReopen_ = false;
        host_.setStatusText(OpenStatusText(*name, rate));
        if (state_ == SessionState::DemoPortClosed) setState(SessionState::Demo);
        return;
    }
    // The engine let go of the device before the open failed; nothing is
    // reported and the session stays as it was.
    releasedByReopen_ = true;
}

// ---- Demo state --------------------------------------------------------------------

void SessionController::OnConfigDone() {
    host_.saveForm();
    if (host_.isTicked(kConfigDoneBoxId)) {
        endWaitTimers();
        if (portOpen()) {
            setState(SessionState::Demo);
            host_.appendInfo(kDemoEnteredText);
        } else {
            setState(SessionState::DemoPortClosed);
            host_.appendInfo(kDemoPortClosedText);
        }
        return;
    }

    stopAutoSend();
    if (!portOpen()) {
        setState(SessionState::Closed);
        return;
    }
    host_.selectDemoRate(static_cast<int>(kSessionRateIndex));
    const std::uint32_t rate = BaudTable[kSessionRateIndex];
    if (const std::optional<std::string> name = host_.openPort(rate)) {
        releasedByReopen_ = false;
        host_.appendInfo(kReconnectText);
        host_.setStatusText(OpenStatusText(*name, rate));
    }
    // Also after a failed reopen: the wait runs and its time-out closes the port.
    beginWait();
    host_.startTimerById(TIMER_CONNECT_TIMEOUT, kConnectTimeoutMs);
}

void SessionController::SyncConfigDone() {
    const bool ticked = host_.isTicked(kConfigDoneBoxId);
    if (ticked == inDemo()) return;
    switch (state_) {
        case SessionState::Closed:
            setState(SessionState::DemoPortClosed);
            break;
        case SessionState::DemoPortClosed:
            setState(SessionState::Closed);
            break;
        case SessionState::WaitingForDtu:
        case SessionState::Connected:
            endWaitTimers();  // a tick of the box ends a wait, however it was ticked
            setState(SessionState::Demo);
            break;
        case SessionState::Demo:
            stopAutoSend();  // auto-send belongs to the demo state
            if (dtuConnected_) {
                setState(SessionState::Connected);
            } else {
                beginWait();
                host_.startTimerById(TIMER_CONNECT_TIMEOUT, kConnectTimeoutMs);
            }
            break;
    }
}

// ---- Requests ------------------------------------------------------------------------

// Each request starts a new answer: the engine discards unread input before
// it writes, so a frame still held in part could only be completed by the
// bytes of the new answer, and would be judged in its place. What is left of
// an answer still on the line is skipped by the assembler (NewRequest).
bool SessionController::sendRequest(std::span<const std::uint8_t> frame) {
    if (!host_.portHeld() || !host_.sendBytes(frame)) return false;
    assembler_.NewRequest();
    return true;
}

// Requests go out only where their buttons are enabled; a front end that
// calls the handler anyway (a command line, a queued click) sends nothing.
// A request asked for while a write still has frames to send waits for the
// write's verdict: sent in between, its answer and the next frame's would
// cross, and one of them would be lost.
void SessionController::OnReadParameters() {
    if (!EnabledControls(state_).readParameters) return;
    if (framesLeft() > 0) {
        heldRequest_ = Command::ReadRequest;
        return;
    }
    if (sendRequest(BuildRequestFrame(Command::ReadRequest))) assembler_.readPending = true;
}

// The DTU's answer to a reset is taken in as a read answer.
void SessionController::OnReset() {
    if (!EnabledControls(state_).reset) return;
    if (framesLeft() > 0) {
        heldRequest_ = Command::ResetRequest;
        return;
    }
    if (sendRequest(BuildRequestFrame(Command::ResetRequest))) assembler_.readPending = true;
}

void SessionController::sendHeldRequest() {
    const std::uint8_t command = std::exchange(heldRequest_, 0);
    if (command != 0 && sendRequest(BuildRequestFrame(command))) assembler_.readPending = true;
}

void SessionController::OnConfigure() {
    if (!EnabledControls(state_).configure) return;
    host_.saveForm();
    ConfigureResult request = BuildConfigureRequest(host_.formSnapshot());
    if (!request.errorMessage.empty()) {
        host_.showBox(request.errorMessage, kErrorCaption, BoxIcon::None);
        return;
    }
    written_ = std::move(request.frames);
    nextFrame_ = 0;
    unsentTypes_.clear();
    mismatchedTypes_.clear();
    verifyPending_ = false;
    sendNextFrame();
}

// One frame of the write; the next goes after this one's success answer.
// An answer is awaited only for a frame that was handed over.
bool SessionController::sendNextFrame() {
    if (nextFrame_ >= written_.size()) return false;
    if (!sendRequest(written_[nextFrame_].bytes)) return false;
    ++nextFrame_;
    assembler_.configurePending = true;
    return true;
}

std::string SessionController::FieldLabel(std::uint8_t type) {
    const ItemDef* item = FindItem(type);
    if (item == nullptr) return std::to_string(type);
    if (const ParameterField* field = FindFieldByCheckBox(item->checkBoxId)) return field->accessibleLabel;
    return std::string(item->label);
}

void SessionController::onConfigureAnswer(bool succeeded) {
    // The answer to a write that has ended (the port closed or was lost
    // meanwhile) is no verdict on anything: what was not answered in time
    // counts as not written.
    if (written_.empty()) return;
    // The refused frame, or the one that could not be handed over, and every
    // frame after it did not go out.
    std::size_t firstUnsent = nextFrame_ > 0 ? nextFrame_ - 1 : 0;
    if (succeeded && nextFrame_ < written_.size()) {
        if (sendNextFrame()) return;  // no verdict until the last frame is answered
        firstUnsent = nextFrame_;
        succeeded = false;
    }
    if (!succeeded) {
        for (std::size_t i = firstUnsent; i < written_.size(); ++i)
            unsentTypes_.insert(unsentTypes_.end(), written_[i].types.begin(), written_[i].types.end());
        host_.appendInfo(kConfigureFailedText);
        if (written_.size() > 1) {
            std::string text(kNotWrittenPrefix);
            for (std::size_t i = 0; i < unsentTypes_.size(); ++i)
                text += (i ? "、" : "") + FieldLabel(unsentTypes_[i]);
            text += "\n\r\n\r";
            host_.appendInfo(text);
        }
        written_.clear();
        host_.sessionOutcome(SessionOutcome::ConfigureFailed);
        sendHeldRequest();
        return;
    }
    host_.appendInfo(kConfigureSucceededText);
    host_.sessionOutcome(SessionOutcome::ConfigureSucceeded);
    if (!verifyAfterWrite_) {
        written_.clear();
        sendHeldRequest();
        return;
    }
    verifyPending_ = true;
    if (sendRequest(BuildRequestFrame(Command::ReadRequest))) {
        assembler_.readPending = true;
    } else {
        verifyPending_ = false;
        host_.appendInfo(kVerifyNotReadText);
        host_.sessionOutcome(SessionOutcome::VerifyFailed);
    }
}

void SessionController::onVerifyAnswer(std::span<const std::uint8_t> answer) {
    verifyPending_ = false;
    mismatchedTypes_ = DifferingTypes(written_, answer);
    written_.clear();
    for (const std::uint8_t type : mismatchedTypes_) {
        std::string text(kVerifyMismatchPrefix);
        text += FieldLabel(type);
        text += "\n\r\n\r";
        host_.appendInfo(text);
    }
    if (mismatchedTypes_.empty()) {
        host_.appendInfo(kVerifyPassedText);
        host_.sessionOutcome(SessionOutcome::VerifyPassed);
    } else {
        host_.appendInfo(std::string(kVerifyFailedPrefix) + std::to_string(mismatchedTypes_.size()) +
                         std::string(kVerifyFailedSuffix));
        host_.sessionOutcome(SessionOutcome::VerifyFailed);
    }
    sendHeldRequest();
}

void SessionController::applyAssemblerEvent(const AssemblerEvent& event) {
    using Kind = AssemblerEvent::Kind;
    switch (event.kind) {
        case Kind::None:
            return;
        case Kind::ReadSucceeded:
            for (const ItemUpdate& item : ApplyReadAnswer(event.frame)) host_.applyItemUpdate(item);
            host_.appendInfo(EventText(event.kind));
            host_.sessionOutcome(SessionOutcome::ReadSucceeded);
            if (verifyPending_) onVerifyAnswer(event.frame);
            return;
        case Kind::ReadFailed:
            host_.appendInfo(EventText(event.kind));
            host_.sessionOutcome(SessionOutcome::ReadFailed);
            if (verifyPending_) {
                verifyPending_ = false;
                written_.clear();
                host_.appendInfo(kVerifyNotReadText);
                host_.sessionOutcome(SessionOutcome::VerifyFailed);
                sendHeldRequest();
            }
            return;
        case Kind::ConfigureSucceeded:
        case Kind::ConfigureFailed:
            onConfigureAnswer(event.kind == Kind::ConfigureSucceeded);
            return;
    }
}

// ---- Bytes and ticks --------------------------------------------------------------

void SessionController::OnPortByte(std::uint8_t byte) {
    if (inDemo()) host_.displayReceivedByte(byte);
    if (state_ == SessionState::WaitingForDtu && byte == kAnnounceByte) {
        host_.appendInfo(kConnectedText);
        endWaitTimers();
        dtuConnected_ = true;
        setState(SessionState::Connected);
        host_.sessionOutcome(SessionOutcome::Connected);
        return;
    }
    applyAssemblerEvent(assembler_.AcceptByte(byte));
}

void SessionController::OnTimerTick(int timerId) {
    switch (timerId) {
        case TIMER_DTU_POLL:
            if (state_ != SessionState::WaitingForDtu) {
                host_.stopTimerById(TIMER_DTU_POLL);  // a tick left over from a wait that has ended
                return;
            }
            // After a failed reopen the wait runs without a device until its time-out.
            if (host_.portHeld()) host_.sendBytes(std::span<const std::uint8_t>(&kPollByte, 1));
            return;
        case TIMER_CONNECT_TIMEOUT:
            host_.stopTimerById(TIMER_CONNECT_TIMEOUT);
            if (state_ != SessionState::WaitingForDtu) return;  // the wait ended before its time-out
            host_.stopTimerById(TIMER_DTU_POLL);
            host_.appendInfo(kTimedOutText);
            OnClosePort();
            host_.sessionOutcome(SessionOutcome::TimedOut);
            return;
        case TIMER_AUTO_SEND:
            // Auto-send belongs to its ticked box, on an open port, in the demo state.
            if (state_ != SessionState::Demo || !host_.isTicked(kAutoSendBoxId)) {
                stopAutoSend();
                return;
            }
            if (autoSendSuspended_) {  // a tick left over from before the interval went bad
                host_.stopTimerById(TIMER_AUTO_SEND);
                return;
            }
            // The engine has let go of a device that went away and its report
            // is on the way: the session closes with that one report, not with
            // a "port not open" box from this tick first. A device let go by a
            // failed reopen has not gone away: the send below says the port is
            // not open, once, and auto-send stops.
            if (!host_.portHeld() && !releasedByReopen_) {
                OnPortLost();
                return;
            }
            send(true);
            return;
        default:
            return;
    }
}

// ---- Demo-state terminal ------------------------------------------------------------

void SessionController::OnSend() {
    send(false);
}

void SessionController::send(bool fromTick) {
    auto refuse = [this](std::string_view text) {
        // A refused send would be refused again at every tick, each with its
        // own modal box; auto-send stops before the box is shown.
        if (host_.isTicked(kAutoSendBoxId)) stopAutoSend();
        host_.showBox(text, kErrorCaption, BoxIcon::None);
    };
    if (!host_.portHeld()) {
        refuse(kPortNotOpenText);
        return;
    }
    const bool formValid = host_.saveForm();
    if (fromTick && !formValid) {
        // The interval is no number: the operator has been told once; the
        // ticks wait for a valid one instead of telling again every period.
        suspendAutoSend();
        return;
    }
    if (host_.isTicked(kHexModeBoxId)) {
        const HexSend hex = BuildHexSend(host_.sendTextMember());
        if (hex.refusal != SendRefusal::None) {
            refuse(RefusalText(hex.refusal));
            return;
        }
        host_.sendBytes(hex.bytes());  // also when no byte was converted
        return;
    }
    const std::string& text = host_.sendTextMember();
    if (const SendRefusal refusal = CheckTextSend(text); refusal != SendRefusal::None) {
        refuse(RefusalText(refusal));
        return;
    }
    host_.sendTextBytes(text);
}

void SessionController::suspendAutoSend() {
    host_.stopTimerById(TIMER_AUTO_SEND);
    autoSendSuspended_ = true;
}

void SessionController::OnAutoSend() {
    if (!host_.isTicked(kAutoSendBoxId)) {
        host_.stopTimerById(TIMER_AUTO_SEND);
        autoSendSuspended_ = false;
        return;
    }
    if (!host_.portHeld()) {
        stopAutoSend();
        host_.showBox(kPortNotOpenText, kErrorCaption, BoxIcon::None);
        return;
    }
    if (inDemo()) {
        // The member as it stands: this click runs no exchange first.
        host_.startTimerById(TIMER_AUTO_SEND, AutoSendPeriod(host_.autoSendIntervalMember()));
        autoSendSuspended_ = false;
        return;
    }
    stopAutoSend();
}

void SessionController::OnIntervalChanged() {
    const bool valid = host_.saveForm();
    const bool running = state_ == SessionState::Demo && host_.isTicked(kAutoSendBoxId);
    if (!running) return;
    if (!valid) {
        suspendAutoSend();
    } else if (autoSendSuspended_) {
        host_.startTimerById(TIMER_AUTO_SEND, AutoSendPeriod(host_.autoSendIntervalMember()));
        autoSendSuspended_ = false;
    }
}

}  // namespace quill
