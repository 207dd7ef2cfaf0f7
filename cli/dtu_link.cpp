#include "cli/dtu_link.h"

#include <algorithm>
#include <mutex>

namespace quill::cli {
namespace {

std::atomic<bool> interruptRequested{false};
// The loops of the running command, woken by an interrupt.
std::mutex activeLoopMutex;
std::vector<EventLoop*> activeLoops;

constexpr auto kProgressPeriod = std::chrono::seconds(1);

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

DtuLink::DtuLink(std::string portPath, Console& console, Trace* trace)
    : console_(console), host_(loop_, std::move(portPath), console, trace) {}

DtuLink::~DtuLink() {
    close();
}

bool DtuLink::interrupted() const {
    return InterruptRequested();
}

// The port is open, or a search for it runs.
bool DtuLink::opened() {
    return session().portOpen() || session().state() == SessionState::Searching;
}

void DtuLink::close() {
    console_.endProgress();
    if (!opened()) return;
    host_.setReportsShown(false);  // closing at the end of a command is no news
    session().OnClosePort();
    host_.setReportsShown(true);
}

StepResult DtuLink::connect(std::optional<Clock::time_point> deadline, std::string_view progressLabel) {
    return waitForDtu(deadline, progressLabel);
}

StepResult DtuLink::waitForDtu(std::optional<Clock::time_point> deadline, std::string_view progressLabel) {
    host_.clearOutcomes();
    if (session().state() != SessionState::WaitingForDtu) {
        session().OnOpenPort();
        if (!opened()) return StepResult::OpenFailed;
    }
    const Clock::time_point start = Clock::now();
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (deadline && now >= *deadline) {
            close();
            return StepResult::NoDtu;
        }
        const auto waited = std::chrono::duration_cast<std::chrono::seconds>(now - start).count();
        console_.progress(std::string(progressLabel) + " " + std::to_string(waited) + " 秒");
        Clock::time_point sliceEnd = now + kProgressPeriod;
        if (deadline) sliceEnd = std::min(sliceEnd, *deadline);
        loop_.runUntil([&] { return host_.hasOutcome() || interrupted(); }, sliceEnd);
        if (interrupted()) {
            close();
            return StepResult::Interrupted;
        }
        while (const std::optional<SessionOutcome> outcome = host_.takeOutcome()) {
            switch (*outcome) {
                case SessionOutcome::Connected:
                    console_.endProgress();
                    return StepResult::Done;
                case SessionOutcome::Lost:
                    console_.endProgress();
                    return StepResult::Lost;
                case SessionOutcome::TimedOut:
                    // The session has given up and closed the port. Without a
                    // limit of the command line's own, its verdict stands.
                    if (!deadline) {
                        console_.endProgress();
                        return StepResult::NoDtu;
                    }
                    session().OnOpenPort();
                    if (!opened()) return StepResult::OpenFailed;
                    break;
                default:
                    break;
            }
        }
    }
}

std::optional<SessionOutcome> DtuLink::awaitAnswer(std::initializer_list<SessionOutcome> wanted,
                                                   StepResult& ended) {
    for (;;) {
        loop_.runUntil([&] { return host_.hasOutcome() || interrupted(); }, Clock::time_point::max());
        while (const std::optional<SessionOutcome> outcome = host_.takeOutcome()) {
            if (*outcome == SessionOutcome::Lost) {
                ended = StepResult::Lost;
                return std::nullopt;
            }
            if (*outcome == SessionOutcome::NoAnswer) {
                close();
                ended = StepResult::NoDtu;
                return std::nullopt;
            }
            if (std::find(wanted.begin(), wanted.end(), *outcome) != wanted.end()) return outcome;
        }
        if (interrupted()) {
            close();
            ended = StepResult::Interrupted;
            return std::nullopt;
        }
    }
}

StepResult DtuLink::NotSentResult(const CommandResult& sent) {
    // Without a device the port has gone; anything else the session refused
    // it has said why.
    return sent.refusal == CommandRefusal::NotHandedOver ? StepResult::Lost : StepResult::NotSent;
}

StepResult DtuLink::read() {
    host_.clearOutcomes();
    host_.clearReadTypes();
    const CommandResult sent = session().OnReadParameters();
    if (sent.status == CommandStatus::Refused) return NotSentResult(sent);
    StepResult ended = StepResult::Done;
    const auto outcome = awaitAnswer({SessionOutcome::ReadSucceeded, SessionOutcome::ReadFailed}, ended);
    if (!outcome) return ended;
    return *outcome == SessionOutcome::ReadSucceeded ? StepResult::Done : StepResult::Failed;
}

StepResult DtuLink::write(FormValues values, bool verify) {
    host_.setForm(std::move(values));
    host_.clearOutcomes();
    session().setVerifyAfterWrite(verify);
    const CommandResult sent = session().OnConfigure();
    if (sent.status == CommandStatus::Refused) return NotSentResult(sent);
    StepResult ended = StepResult::Done;
    auto outcome = awaitAnswer({SessionOutcome::ConfigureSucceeded, SessionOutcome::ConfigureFailed}, ended);
    if (!outcome) return ended;
    if (*outcome == SessionOutcome::ConfigureFailed) return StepResult::Refused;
    if (!verify) return StepResult::Done;
    outcome = awaitAnswer(
        {SessionOutcome::VerifyPassed, SessionOutcome::VerifyFailed, SessionOutcome::VerifyNotRead}, ended);
    if (!outcome) return ended;
    switch (*outcome) {
        case SessionOutcome::VerifyPassed:
            return StepResult::Done;
        case SessionOutcome::VerifyFailed:
            return StepResult::Differs;
        default:
            return StepResult::NotReadBack;
    }
}

}  // namespace quill::cli
