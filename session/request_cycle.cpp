#include "session/request_cycle.h"

#include <utility>

#include "form/parameter_fields.h"
#include "protocol/frame.h"
#include "protocol/session.h"
#include "protocol/write_check.h"
#include "session/session_controller.h"
#include "session/session_texts.h"

namespace quill {

std::size_t RequestCycle::framesLeft() const {
    if (awaited_ != Awaited::ConfigureAnswer || frame_ >= frames_.size()) return 0;
    return frames_.size() - frame_ - 1;
}

// The engine discards unread input before it writes, so an answer is only
// looked for after its request was handed over.
bool RequestCycle::handOver(std::span<const std::uint8_t> bytes) {
    return host_.portHeld() && host_.sendBytes(bytes);
}

void RequestCycle::await(Awaited kind) {
    awaited_ = kind;
    // Told while bytes of an earlier answer may be held: the assembler skips
    // only their remainder.
    assembler_.Expect(kind == Awaited::ConfigureAnswer ? AnswerKind::Configure : AnswerKind::Read);
    if (deadlineMs_ > 0) host_.startTimerById(TIMER_ANSWER_DEADLINE, deadlineMs_);
}

bool RequestCycle::issueRead(Awaited kind, std::uint8_t command) {
    if (!handOver(BuildRequestFrame(command))) return false;
    if (awaited_ != Awaited::Nothing) finish(RequestEnd::Replaced);
    await(kind);
    return true;
}

bool RequestCycle::sendFrame(std::size_t index) {
    if (!handOver(frames_[index].bytes)) return false;
    frame_ = index;
    await(Awaited::ConfigureAnswer);
    return true;
}

CommandResult RequestCycle::askRead(std::uint8_t command) {
    if (framesLeft() > 0) {
        held_.push_back(command);
        return {CommandStatus::Held};
    }
    // Asked for during the verification: its answer serves the verification.
    if (awaited_ == Awaited::VerifyRead) {
        if (!handOver(BuildRequestFrame(command))) return {CommandStatus::Refused, CommandRefusal::NotHandedOver};
        await(Awaited::VerifyRead);
        return {CommandStatus::Sent};
    }
    if (!issueRead(Awaited::ReadAnswer, command)) return {CommandStatus::Refused, CommandRefusal::NotHandedOver};
    return {CommandStatus::Sent};
}

CommandResult RequestCycle::beginWrite(std::vector<ConfigureFrame> frames) {
    if (frames.empty()) return {CommandStatus::Refused, CommandRefusal::FormInvalid};
    if (!handOver(frames.front().bytes)) {
        // Nothing of it went out; a write in progress goes on as it was.
        if (!writeInProgress()) {
            unwritten_.clear();
            for (const ConfigureFrame& frame : frames)
                unwritten_.insert(unwritten_.end(), frame.types.begin(), frame.types.end());
            sendHeld();
        }
        return {CommandStatus::Refused, CommandRefusal::NotHandedOver};
    }
    if (awaited_ != Awaited::Nothing) finish(RequestEnd::Replaced);
    frames_ = std::move(frames);
    frame_ = 0;
    unwritten_.clear();
    mismatched_.clear();
    await(Awaited::ConfigureAnswer);
    return {CommandStatus::Sent};
}

void RequestCycle::onByte(std::uint8_t byte) {
    const AssemblerEvent event = assembler_.AcceptByte(byte);
    using Kind = AssemblerEvent::Kind;
    switch (event.kind) {
        case Kind::None:
            // The DTU is still talking: the deadline counts silence.
            if (awaited_ != Awaited::Nothing && deadlineMs_ > 0)
                host_.startTimerById(TIMER_ANSWER_DEADLINE, deadlineMs_);
            return;
        case Kind::ReadSucceeded:
        case Kind::ConfigureSucceeded:
            finish(RequestEnd::Answered, event.frame);
            return;
        case Kind::ReadFailed:
        case Kind::ConfigureFailed:
            finish(RequestEnd::Failed, event.frame);
            return;
    }
}

void RequestCycle::onDeadlineTick() {
    host_.stopTimerById(TIMER_ANSWER_DEADLINE);
    if (awaited_ == Awaited::Nothing) return;  // a tick left over from an answered request
    finish(RequestEnd::Deadline);
}

void RequestCycle::endAll(RequestEnd why) {
    if (awaited_ != Awaited::Nothing) finish(why);
    frames_.clear();
    held_.clear();
}

// Where every request ends.
void RequestCycle::finish(RequestEnd how, std::span<const std::uint8_t> answer) {
    const Awaited was = std::exchange(awaited_, Awaited::Nothing);
    if (deadlineMs_ > 0) host_.stopTimerById(TIMER_ANSWER_DEADLINE);
    // A replaced request's held bytes are the assembler's to skip; an
    // answered one has left nothing held.
    if (how != RequestEnd::Replaced && how != RequestEnd::Answered && how != RequestEnd::Failed)
        assembler_.Expect(AnswerKind::Nothing);
    if (how == RequestEnd::Deadline) host_.appendInfo(kNoAnswerText);
    switch (was) {
        case Awaited::Nothing:
            return;
        case Awaited::ReadAnswer:
            endRead(how, answer);
            break;
        case Awaited::ConfigureAnswer:
            endFrame(how);
            break;
        case Awaited::VerifyRead:
            endVerify(how, answer);
            break;
    }
    if (how == RequestEnd::Replaced || how == RequestEnd::PortClosed || how == RequestEnd::StateChanged)
        return;
    sendHeld();
}

void RequestCycle::applyReadAnswer(std::span<const std::uint8_t> answer) {
    for (const ItemUpdate& item : ApplyReadAnswer(answer)) host_.applyItemUpdate(item);
    host_.appendInfo(kReadSucceededText);
    host_.sessionOutcome(SessionOutcome::ReadSucceeded);
}

void RequestCycle::endRead(RequestEnd how, std::span<const std::uint8_t> answer) {
    switch (how) {
        case RequestEnd::Answered:
            applyReadAnswer(answer);
            return;
        case RequestEnd::Failed:
            host_.appendInfo(kReadFailedText);
            host_.sessionOutcome(SessionOutcome::ReadFailed);
            return;
        case RequestEnd::Deadline:
            host_.sessionOutcome(SessionOutcome::NoAnswer);
            return;
        default:
            return;
    }
}

void RequestCycle::endFrame(RequestEnd how) {
    if (how != RequestEnd::Answered) {
        writeNotDone(how, frame_);
        return;
    }
    if (frame_ + 1 < frames_.size()) {
        // No verdict until the last frame is answered.
        if (!sendFrame(frame_ + 1)) writeNotDone(RequestEnd::NotHandedOver, frame_ + 1);
        return;
    }
    host_.appendInfo(kConfigureSucceededText);
    host_.sessionOutcome(SessionOutcome::ConfigureSucceeded);
    if (!verifyAfterWrite_) {
        frames_.clear();
        return;
    }
    if (!issueRead(Awaited::VerifyRead, Command::ReadRequest)) endVerify(RequestEnd::NotHandedOver, {});
}

// The write stops at firstUnsent: that frame and every later one did not go
// out, or went out without an answer that says so.
void RequestCycle::writeNotDone(RequestEnd how, std::size_t firstUnsent) {
    for (std::size_t i = firstUnsent; i < frames_.size(); ++i)
        unwritten_.insert(unwritten_.end(), frames_[i].types.begin(), frames_[i].types.end());
    const bool several = frames_.size() > 1;
    frames_.clear();
    switch (how) {
        case RequestEnd::PortClosed:  // the close has been reported
        case RequestEnd::Replaced:    // the operator asked for something else
            return;
        case RequestEnd::Deadline:
            host_.sessionOutcome(SessionOutcome::NoAnswer);
            return;
        default:
            break;
    }
    host_.appendInfo(kConfigureFailedText);
    if (several) {
        std::string text(kNotWrittenPrefix);
        for (std::size_t i = 0; i < unwritten_.size(); ++i)
            text += (i ? "、" : "") + FieldLabel(unwritten_[i]);
        text += "\n\r\n\r";
        host_.appendInfo(text);
    }
    host_.sessionOutcome(SessionOutcome::ConfigureFailed);
}

void RequestCycle::endVerify(RequestEnd how, std::span<const std::uint8_t> answer) {
    switch (how) {
        case RequestEnd::Answered:
            applyReadAnswer(answer);
            break;
        case RequestEnd::Failed:
            host_.appendInfo(kReadFailedText);
            host_.sessionOutcome(SessionOutcome::ReadFailed);
            [[fallthrough]];
        case RequestEnd::NotHandedOver:
            frames_.clear();
            host_.appendInfo(kVerifyNotReadText);
            host_.sessionOutcome(SessionOutcome::VerifyFailed);
            return;
        case RequestEnd::Deadline:
            frames_.clear();
            host_.sessionOutcome(SessionOutcome::NoAnswer);
            return;
        default:
            frames_.clear();
            return;
    }
    mismatched_ = DifferingTypes(frames_, answer);
    frames_.clear();
    for (const std::uint8_t type : mismatched_) {
        std::string text(kVerifyMismatchPrefix);
        text += FieldLabel(type);
        text += "\n\r\n\r";
        host_.appendInfo(text);
    }
    if (mismatched_.empty()) {
        host_.appendInfo(kVerifyPassedText);
        host_.sessionOutcome(SessionOutcome::VerifyPassed);
        return;
    }
    host_.appendInfo(std::string(kVerifyFailedPrefix) + std::to_string(mismatched_.size()) +
                     std::string(kVerifyFailedSuffix));
    host_.sessionOutcome(SessionOutcome::VerifyFailed);
}

// Held requests go out in order once nothing is awaited; one the engine does
// not take is dropped, and the next is tried.
void RequestCycle::sendHeld() {
    while (awaited_ == Awaited::Nothing && !writeInProgress() && !held_.empty()) {
        const std::uint8_t command = held_.front();
        held_.pop_front();
        issueRead(Awaited::ReadAnswer, command);
    }
}

}  // namespace quill
