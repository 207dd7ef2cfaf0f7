#include "cli/port_provisioner.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "cli/platform.h"
#include "cli/run_cli.h"
#include "form/parameter_fields.h"

namespace quill::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kDtuIdType = 0x01;
constexpr auto kProgressPeriod = std::chrono::seconds(1);

std::atomic<bool> interruptRequested{false};
// The loops of the running command, woken by an interrupt.
std::mutex activeLoopMutex;
std::vector<EventLoop*> activeLoops;

std::string Joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) text += separator;
        text += part;
    }
    return text;
}

}  // namespace

void RequestInterrupt() {
    interruptRequested = true;
    std::lock_guard guard(activeLoopMutex);
    for (EventLoop* loop : activeLoops) loop->post([] {});
}

InterruptWake::InterruptWake(EventLoop& loop) : loop_(loop) {
    std::lock_guard guard(activeLoopMutex);
    activeLoops.push_back(&loop_);
}

InterruptWake::~InterruptWake() {
    std::lock_guard guard(activeLoopMutex);
    activeLoops.erase(std::remove(activeLoops.begin(), activeLoops.end(), &loop_), activeLoops.end());
}

bool InterruptRequested() {
    return interruptRequested;
}

void ClearInterrupt() {
    interruptRequested = false;
}

std::vector<std::string> Labels(const std::vector<std::uint8_t>& types) {
    std::vector<std::string> labels;
    for (const std::uint8_t type : types) labels.push_back(FieldLabel(type));
    return labels;
}

ProvisionSettings SingleUnit(std::optional<Clock::time_point> deadline, std::string timeoutText) {
    ProvisionSettings settings;
    settings.single = true;
    settings.count = 1;
    if (deadline) settings.unitTimeout = *deadline - Clock::now();
    settings.timeoutText = std::move(timeoutText);
    return settings;
}

PortProvisioner::PortProvisioner(EventLoop& loop, std::string port, const ProvisionSettings& settings,
                                 Console& console, Trace* trace, UnitSink unitDone)
    : port_(std::move(port)),
      settings_(settings),
      console_(console),
      unitDone_(std::move(unitDone)),
      host_(loop, loop.newTimerOwner(), port_, console, trace) {}

PortProvisioner::~PortProvisioner() {
    close();
}

Clock::time_point PortProvisioner::nextDeadline() const {
    switch (stage_) {
        case Stage::Connecting:
            return console_.terminal() ? std::min(unitDeadline_, nextProgress_) : unitDeadline_;
        case Stage::Quiet:
            return quietUntil_;
        case Stage::Returning:
            return nextReturnTry_;
        case Stage::Reading:
        case Stage::Writing:
        case Stage::Verifying:
        case Stage::Finished:
            break;
    }
    return Clock::time_point::max();  // the session's answer deadline ends a silent request
}

bool PortProvisioner::opened() {
    return host_.session().portOpen() || host_.session().state() == SessionState::Searching;
}

void PortProvisioner::close() {
    console_.endProgress();
    if (!opened()) return;
    host_.setReportsShown(false);  // closing at the end of a command is no news
    host_.session().OnClosePort();
    host_.setReportsShown(true);
}

StepResult PortProvisioner::NotSentResult(const CommandResult& sent) {
    // Without a device the port has gone; anything else the session refused
    // it has said why.
    return sent.refusal == CommandRefusal::NotHandedOver ? StepResult::Lost : StepResult::NotSent;
}

void PortProvisioner::begin() {
    beginConnect();
}

void PortProvisioner::advance() {
    // A stage that ends may begin the next, which looks at what is left.
    for (;;) {
        const Stage before = stage_;
        switch (stage_) {
            case Stage::Connecting:
                advanceConnect();
                break;
            case Stage::Reading:
            case Stage::Writing:
            case Stage::Verifying:
                advanceAnswer();
                break;
            case Stage::Quiet:
                advanceQuiet();
                break;
            case Stage::Returning:
                advanceReturning();
                break;
            case Stage::Finished:
                host_.clearOutcomes();  // a closed session's last words change nothing
                return;
        }
        if (stage_ == before) return;
    }
}

void PortProvisioner::finishTold(StepResult result) {
    // A single unit that is done leaves its port to the command.
    if (!settings_.single || result != StepResult::Done) close();
    result_ = result;
    stage_ = Stage::Finished;
}

void PortProvisioner::finish(StepResult result, std::string_view detail) {
    finishTold(result);
    Exit(console_, result, detail);
}

StepResult PortProvisioner::seriesResult() const {
    return failures_ == 0 ? StepResult::Done : StepResult::UnitsFailed;
}

std::string PortProvisioner::unanswered() const {
    switch (stage_) {
        case Stage::Connecting:
            return settings_.timeoutText +
                   (settings_.single ? " 秒内没有DTU应答：请检查接线、DTU电源，并让DTU进入配置状态"
                                     : " 秒内没有DTU应答");
        case Stage::Reading:
            return "DTU没有应答读取请求";
        default:
            return "DTU没有应答配置请求";
    }
}

// ---- The wait for a unit ----------------------------------------------------------

void PortProvisioner::beginConnect() {
    stage_ = Stage::Connecting;
    const Clock::time_point now = Clock::now();
    unitDeadline_ = settings_.unitTimeout ? now + *settings_.unitTimeout : Clock::time_point::max();
    waitBegan_ = now;
    nextProgress_ = now;
    // A wait for the next unit may last all day: its reports (opened, timed
    // out, closed, connected) are left out.
    host_.setReportsShown(settings_.single);
    host_.clearOutcomes();
    if (host_.session().state() != SessionState::WaitingForDtu) {
        host_.session().OnOpenPort();
        if (!opened()) endConnect(StepResult::OpenFailed);
    }
}

void PortProvisioner::advanceConnect() {
    if (InterruptRequested()) {
        close();
        endConnect(StepResult::Interrupted);
        return;
    }
    while (const std::optional<SessionOutcome> outcome = host_.takeOutcome()) {
        switch (*outcome) {
            case SessionOutcome::Connected:
                console_.endProgress();
                endConnect(StepResult::Done);
                return;
            case SessionOutcome::Lost:
                console_.endProgress();
                endConnect(StepResult::Lost);
                return;
            case SessionOutcome::TimedOut:
                // The session has given up and closed the port. A unit is
                // waited for as long as the command's own limit says; one
                // command without a limit of its own takes the session's verdict.
                if (settings_.single && !settings_.unitTimeout) {
                    console_.endProgress();
                    endConnect(StepResult::NoDtu);
                    return;
                }
                host_.session().OnOpenPort();
                if (!opened()) {
                    endConnect(StepResult::OpenFailed);
                    return;
                }
                break;
            default:
                break;
        }
    }
    const Clock::time_point now = Clock::now();
    if (now >= unitDeadline_) {
        close();
        endConnect(StepResult::NoDtu);
        return;
    }
    if (now >= nextProgress_) {
        const auto waited = std::chrono::duration_cast<std::chrono::seconds>(now - waitBegan_).count();
        const std::string label =
            settings_.single ? std::string("等待DTU应答") : "等待第 " + std::to_string(unit_) + " 台DTU";
        console_.progress(label + " " + std::to_string(waited) + " 秒");
        nextProgress_ = now + kProgressPeriod;
    }
}

void PortProvisioner::endConnect(StepResult connected) {
    host_.setReportsShown(true);
    if (connected == StepResult::Done) {
        beginUnit();
        return;
    }
    if (settings_.single) {
        finish(connected, unanswered());
        return;
    }
    if (connected == StepResult::Interrupted) {
        tally_.interrupted = true;
        console_.message("已中断：完成 " + std::to_string(unit_ - 1) + " 台");
        finishTold(seriesResult());
        return;
    }
    const bool neverOpened = unit_ == 1 && connected == StepResult::OpenFailed && !tally_.lost;
    tally_.opened = tally_.opened && !neverOpened;
    // A port that was there and went away is waited for; one never opened ends the series.
    if (!neverOpened && (connected == StepResult::Lost || connected == StepResult::OpenFailed)) {
        beginReturning(false);
        return;
    }
    tally_.lost = connected == StepResult::Lost || connected == StepResult::OpenFailed;
    finish(connected, unanswered());
}

// ---- One unit ---------------------------------------------------------------------

void PortProvisioner::beginUnit() {
    unitBegan_ = Clock::now();
    sentBefore_ = host_.bytesSent();
    receivedBefore_ = host_.bytesReceived();
    dtuId_.clear();
    if (!settings_.read) {
        if (settings_.write)
            beginWrite();
        else
            endUnit(StepResult::Done);  // the unit is there: all that was asked
        return;
    }
    // The unit's own id first: the file may hold no id, or one for every unit.
    host_.setForm(FormValues());
    host_.clearOutcomes();
    host_.clearReadTypes();
    stage_ = Stage::Reading;
    const CommandResult sent = host_.session().OnReadParameters();
    if (sent.status == CommandStatus::Refused) endUnit(NotSentResult(sent));
}

void PortProvisioner::beginWrite() {
    if (const ParameterField* idField = FindFieldByType(kDtuIdType)) {
        const auto& types = host_.readTypes();
        if (std::find(types.begin(), types.end(), kDtuIdType) != types.end())
            dtuId_ = DisplayText(host_.form(), *idField);
    }
    host_.setForm(settings_.values);
    host_.clearOutcomes();
    host_.session().setVerifyAfterWrite(settings_.verify);
    stage_ = Stage::Writing;
    const CommandResult sent = host_.session().OnConfigure();
    if (sent.status == CommandStatus::Refused) endUnit(NotSentResult(sent));
}

void PortProvisioner::advanceAnswer() {
    while (const std::optional<SessionOutcome> outcome = host_.takeOutcome()) {
        switch (*outcome) {
            case SessionOutcome::Lost:
                endUnit(StepResult::Lost);
                return;
            case SessionOutcome::NoAnswer:
                // The unit has stopped answering, the port is fine: the wait
                // for the unit to leave polls on it, and the next unit follows.
                endUnit(StepResult::NoDtu);
                return;
            case SessionOutcome::ReadSucceeded:
                if (stage_ != Stage::Reading) break;
                if (settings_.write)
                    beginWrite();
                else
                    endUnit(StepResult::Done);
                return;
            case SessionOutcome::ReadFailed:
                if (stage_ != Stage::Reading) break;
                endUnit(StepResult::Failed);
                return;
            case SessionOutcome::ConfigureSucceeded:
                if (stage_ != Stage::Writing) break;
                if (settings_.verify)
                    stage_ = Stage::Verifying;
                else
                    endUnit(StepResult::Done);
                return;
            case SessionOutcome::ConfigureFailed:
                if (stage_ != Stage::Writing) break;
                endUnit(StepResult::Refused);
                return;
            case SessionOutcome::VerifyPassed:
            case SessionOutcome::VerifyFailed:
                if (stage_ != Stage::Verifying) break;
                endUnit(*outcome == SessionOutcome::VerifyPassed ? StepResult::Done : StepResult::Differs);
                return;
            case SessionOutcome::VerifyNotRead:
                if (stage_ != Stage::Verifying) break;
                endUnit(StepResult::NotReadBack);
                return;
            case SessionOutcome::Connected:
            case SessionOutcome::TimedOut:
                break;
        }
    }
    if (InterruptRequested()) {
        close();
        endUnit(StepResult::Interrupted);
    }
}

void PortProvisioner::endUnit(StepResult ended) {
    const ResultRow& row = RowOf(ended);
    UnitRecord record;
    record.port = port_;
    record.unit = unit_;
    record.dtuId = dtuId_;
    record.milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - unitBegan_).count();
    record.bytesSent = host_.bytesSent() - sentBefore_;
    record.bytesReceived = host_.bytesReceived() - receivedBefore_;
    record.result = row.logWord;
    if (ended == StepResult::Differs) record.differing = Labels(host_.session().mismatchedTypes());
    record.shown = Filled(row.shown, Joined(record.differing, "、"));
    // The session's list is the last write's: it belongs to this unit only
    // when the unit ended during its write. A write the session did not take
    // up (NotSent) left the list as it was.
    if (stage_ == Stage::Writing && ended != StepResult::NotSent)
        record.unwritten = Labels(host_.session().unwrittenTypes());
    (ended == StepResult::Done ? tally_.passed : tally_.failed) += 1;
    // The unit's line and record come first: it may be half written.
    if (unitDone_) unitDone_(record);
    if (settings_.single) {
        finish(ended, unanswered());
        return;
    }
    if (ended == StepResult::Lost || ended == StepResult::OpenFailed) {
        tally_.lost = true;
        ++failures_;
        // The last unit asked for: the series ends with the loss, as it stands.
        if (settings_.count != 0 && unit_ == settings_.count) {
            finish(ended);
            return;
        }
        beginReturning(true);
        return;
    }
    // The unit's line has said it. A request the session refused would be
    // refused again for every unit that follows.
    if (ended == StepResult::Interrupted || ended == StepResult::NotSent) {
        tally_.interrupted = ended == StepResult::Interrupted;
        finishTold(ended);
        return;
    }
    if (ended != StepResult::Done) ++failures_;
    if (settings_.count != 0 && unit_ == settings_.count) {
        finishTold(seriesResult());
        return;
    }
    console_.message("第 " + std::to_string(unit_) + " 台完成，请换下一台DTU");
    // The unit announces itself at every poll while it is on the line; the
    // session's reports would repeat with each one.
    host_.setReportsShown(false);
    beginQuiet();
}

// ---- The wait for the unit to leave -----------------------------------------------

void PortProvisioner::beginQuiet() {
    stage_ = Stage::Quiet;
    host_.clearOutcomes();
    host_.session().OnAwaitDtu();
    quietUntil_ = Clock::now() + kQuietTime;
}

void PortProvisioner::advanceQuiet() {
    if (InterruptRequested()) {
        host_.setReportsShown(true);
        close();
        tally_.interrupted = true;
        console_.message("已中断：完成 " + std::to_string(unit_) + " 台");
        finishTold(seriesResult());
        return;
    }
    bool reported = false;
    bool stillThere = false;
    while (const std::optional<SessionOutcome> outcome = host_.takeOutcome()) {
        reported = true;
        if (*outcome == SessionOutcome::Lost) {
            beginReturning(true);
            return;
        }
        if (*outcome == SessionOutcome::Connected) stillThere = true;
    }
    if (stillThere) {
        beginQuiet();  // a new quiet time from this announcement on
        return;
    }
    if (!reported && Clock::now() < quietUntil_) return;
    host_.setReportsShown(true);
    // The session goes on polling for the next unit; its connect time-out
    // may close the port, and the wait for the unit opens it again.
    if (!host_.session().portOpen()) {
        beginReturning(true);
        return;
    }
    ++unit_;
    beginConnect();
}

// ---- The wait for a lost port ---------------------------------------------------

void PortProvisioner::beginReturning(bool nextUnit) {
    close();
    stage_ = Stage::Returning;
    tally_.lost = true;
    nextUnitOnReturn_ = nextUnit;
    nextReturnTry_ = Clock::now() + kReturnPoll;
    console_.message("串口已断开，等待串口重新接入");
}

void PortProvisioner::advanceReturning() {
    if (InterruptRequested()) {
        tally_.interrupted = true;
        console_.message("已中断：完成 " + std::to_string(nextUnitOnReturn_ ? unit_ : unit_ - 1) + " 台");
        finishTold(seriesResult());
        return;
    }
    const Clock::time_point now = Clock::now();
    if (now < nextReturnTry_) return;
    nextReturnTry_ = now + kReturnPoll;
    if (!PortPresent(port_)) return;
    // Just back, it may still refuse an open: the next try tells, without a word now.
    host_.setReportsShown(false);
    host_.setBoxesShown(false);
    host_.clearOutcomes();
    host_.session().OnOpenPort();
    host_.setBoxesShown(true);
    if (!host_.session().portOpen()) return;
    console_.message("串口已重新接入，继续");
    if (nextUnitOnReturn_) ++unit_;
    beginConnect();
}

// ---- Every port on one loop -------------------------------------------------------

void RunProvisioners(EventLoop& loop, std::span<PortProvisioner* const> ports) {
    const InterruptWake wake(loop);
    for (PortProvisioner* port : ports) port->begin();
    for (;;) {
        Clock::time_point next = Clock::time_point::max();
        bool running = false;
        for (PortProvisioner* port : ports) {
            port->advance();
            if (port->finished()) continue;
            running = true;
            next = std::min(next, port->nextDeadline());
        }
        if (!running) return;
        loop.runUntil(
            [&] {
                return InterruptRequested() ||
                       std::any_of(ports.begin(), ports.end(), [](PortProvisioner* port) {
                           return !port->finished() && port->hasOutcome();
                       });
            },
            next);
    }
}

}  // namespace quill::cli
