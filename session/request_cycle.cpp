#include "session/request_cycle.h"

#include <utility>

#include "form/item_text.h"
#include "form/parameter_fields.h"
#include "protocol/frame.h"
#include "protocol/wire.h"
#include "protocol/write_check.h"
#include "session/session_texts.h"

namespace quill {

static_assert(AnswerDeadlineMs(57600) == 2869);

constexpr std::uint8_t kDtuIdType = 0x01;

std::size_t RequestCycle::framesLeft() const {
    if (awaited_ != Awaited::ConfigureAnswer || frame_ >= frames_.size()) return 0;
    return frames_.size() - frame_ - 1;
}

// The engine discards unread input before it writes, so an answer is only
// looked for after its request was handed over.
bool RequestCycle::handOver(std::span<const std::uint8_t> bytes) {
    return line_.held() && line_.send(bytes);
}

// Counted from the request: what arrives afterwards does not move it.
void RequestCycle::await(Awaited kind) {
    awaited_ = kind;
    assembler_.Expect(kind == Awaited::ConfigureAnswer ? AnswerKind::Configure : AnswerKind::Read);
    host_.startTimerById(TIMER_ANSWER_DEADLINE, answerDeadline());
}

bool RequestCycle::start(Request& request) {
    if (request.check) {
        if (!handOver(BuildRequestFrame(Command::ReadRequest))) return false;
        checked_ = std::move(request.frames);
        await(Awaited::CheckRead);
        return true;
    }
    if (request.frames.empty()) {
        if (!handOver(BuildRequestFrame(request.command))) return false;
        command_ = request.command;
        await(Awaited::ReadAnswer);
        return true;
    }
    if (!handOver(request.frames.front().bytes)) return false;
    frames_ = std::move(request.frames);
    frame_ = 0;
    unwritten_.clear();
    mismatched_.clear();
    writtenDtuId_ = dtuId_;  // the unit as it was known when the write began
    await(Awaited::ConfigureAnswer);
    return true;
}

bool RequestCycle::sendFrame(std::size_t index) {
    if (!handOver(frames_[index].bytes)) return false;
    frame_ = index;
    await(Awaited::ConfigureAnswer);
    return true;
}

CommandResult RequestCycle::askRead(std::uint8_t command) {
    const bool readAwaited = (awaited_ == Awaited::ReadAnswer && command_ == command) ||
                             (awaited_ == Awaited::VerifyRead && command == Command::ReadRequest);
    const bool readQueuedLast = !queue_.empty() && queue_.back().frames.empty() && !queue_.back().check &&
                                queue_.back().command == command;
    if (readAwaited || readQueuedLast) return {CommandStatus::Joined};
    return take({command, {}, false});
}

CommandResult RequestCycle::askCheck(std::vector<ConfigureFrame> file) {
    if (file.empty()) return {CommandStatus::Refused, CommandRefusal::FormInvalid};
    return take({Command::ReadRequest, std::move(file), true});
}

// Sent now when the line is free, else queued.
CommandResult RequestCycle::take(Request request) {
    if (!idle() || !queue_.empty()) {
        ++taken_;
        queue_.push_back(std::move(request));
        sendNext();  // a line still talking: the head's wait is counted
        return {CommandStatus::Held};
    }
    if (!start(request)) return {CommandStatus::Refused, CommandRefusal::NotHandedOver};
    ++taken_;
    return {CommandStatus::Sent};
}

CommandResult RequestCycle::beginWrite(std::vector<ConfigureFrame> frames) {
    if (frames.empty()) return {CommandStatus::Refused, CommandRefusal::FormInvalid};
    std::vector<std::uint8_t> types;
    for (const ConfigureFrame& frame : frames) types.insert(types.end(), frame.types.begin(), frame.types.end());
    const CommandResult taken = take({0, std::move(frames), false});
    if (taken.refusal == CommandRefusal::NotHandedOver) unwritten_ = std::move(types);  // nothing of it went out
    return taken;
}

void RequestCycle::onByte(std::uint8_t byte) {
    if (awaited_ == Awaited::Nothing) {
        // Nothing is asked: after a deadline, every byte makes the line wait longer.
        if (!lineQuiet_) host_.startTimerById(TIMER_LINE_QUIET, kLineQuietMs);
        return;
    }
    const AssemblerEvent event = assembler_.AcceptByte(byte);
    using Kind = AssemblerEvent::Kind;
    switch (event.kind) {
        case Kind::None:
            return;
        case Kind::ReadSucceeded:
        case Kind::ConfigureSucceeded:
            finish(RequestEnd::Answered, event.frame);
            return;
        case Kind::ReadFailed:
        case Kind::ConfigureFailed:
            // The rest of an answer too large to hold is still on its way.
            if (assembler_.lastRefusal() == FrameRefusal::TooLarge) lineDirty();
            finish(RequestEnd::Failed, event.frame);
            return;
    }
}

void RequestCycle::onTimerTick(int timerId) {
    if (timerId == TIMER_LINE_QUIET) {
        host_.stopTimerById(TIMER_LINE_QUIET);
        if (lineQuiet_) return;
        lineQuiet_ = true;
        sendNext();
        return;
    }
    if (timerId != TIMER_ANSWER_DEADLINE) return;
    host_.stopTimerById(TIMER_ANSWER_DEADLINE);
    if (awaited_ != Awaited::Nothing) {
        finish(RequestEnd::Deadline);
        return;
    }
    if (!headWaits_ || queue_.empty()) return;  // a tick left over from an answered request
    // The line never went quiet for the head of the queue.
    headWaits_ = false;
    Request request = std::move(queue_.front());
    queue_.pop_front();
    host_.appendInfo(kNoAnswerText);
    endUnsent(request, RequestEnd::Deadline);
    sendNext();
}

void RequestCycle::endAll(RequestEnd why) {
    if (awaited_ != Awaited::Nothing) finish(why);
    frames_.clear();
    if (headWaits_) host_.stopTimerById(TIMER_ANSWER_DEADLINE);
    headWaits_ = false;
    std::deque<Request> dropped = std::exchange(queue_, {});
    for (Request& request : dropped) endUnsent(request, why);
    if (why == RequestEnd::PortClosed && !lineQuiet_) {
        // The next line is another line.
        lineQuiet_ = true;
        host_.stopTimerById(TIMER_LINE_QUIET);
    }
}

// Where every request that went out ends.
void RequestCycle::finish(RequestEnd how, std::span<const std::uint8_t> answer) {
    const Awaited was = std::exchange(awaited_, Awaited::Nothing);
    host_.stopTimerById(TIMER_ANSWER_DEADLINE);
    assembler_.Expect(AnswerKind::Nothing);
    if (how == RequestEnd::Deadline) {
        host_.appendInfo(kNoAnswerText);
        lineDirty();  // its answer may still come, and must not be taken for the next one's
    }
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
        case Awaited::CheckRead:
            endCheck(how, answer);
            break;
    }
    if (how == RequestEnd::PortClosed || how == RequestEnd::StateChanged) return;
    sendNext();
}

// A request that never went out: not handed over at its turn, dropped from
// the queue, or left waiting for a line that did not go quiet.
void RequestCycle::endUnsent(Request& request, RequestEnd how) {
    if (!request.write()) {
        conclude();
        if (how == RequestEnd::Deadline) host_.sessionOutcome(SessionOutcome::NoAnswer);
        return;
    }
    frames_ = std::move(request.frames);
    frame_ = 0;
    unwritten_.clear();
    writeNotDone(how, 0, false);
}

void RequestCycle::noteDtuId(std::span<const std::uint8_t> answer) {
    ForEachItem(answer, [&](const ItemView& item) {
        if (item.type == kDtuIdType) dtuId_ = ItemValueText(item, false);
    });
}

void RequestCycle::applyReadAnswer(std::span<const std::uint8_t> answer) {
    noteDtuId(answer);
    for (const ItemUpdate& item : ApplyReadAnswer(answer)) host_.applyItemUpdate(item);
    host_.appendInfo(kReadSucceededText);
    host_.sessionOutcome(SessionOutcome::ReadSucceeded);
}

void RequestCycle::endRead(RequestEnd how, std::span<const std::uint8_t> answer) {
    conclude();
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
        case RequestEnd::NotHandedOver:
        case RequestEnd::PortClosed:  // the close or the loss has been reported
        case RequestEnd::StateChanged:
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
        reportWrite(WriteVerdict::Written, ReadBack::None);
        frames_.clear();
        conclude();
        return;
    }
    // The verification belongs to the write: it goes before anything queued.
    if (handOver(BuildRequestFrame(Command::ReadRequest))) {
        await(Awaited::VerifyRead);
        return;
    }
    endVerify(RequestEnd::NotHandedOver, {});
}

// The write stops at firstUnsent: that frame and every later one did not go
// out, or went out without an answer that says it was taken.
void RequestCycle::writeNotDone(RequestEnd how, std::size_t firstUnsent, bool wentOut) {
    conclude();
    for (std::size_t i = firstUnsent; i < frames_.size(); ++i)
        unwritten_.insert(unwritten_.end(), frames_[i].types.begin(), frames_[i].types.end());
    const bool several = frames_.size() > 1;
    if (wentOut) {
        const WriteVerdict verdict = how == RequestEnd::Failed     ? WriteVerdict::Refused
                                     : how == RequestEnd::Deadline ? WriteVerdict::NoAnswer
                                                                   : WriteVerdict::CutOff;
        reportWrite(verdict, ReadBack::None);
    }
    frames_.clear();
    host_.appendInfo(kConfigureFailedText);
    if (several) {
        std::string text(kNotWrittenPrefix);
        for (std::size_t i = 0; i < unwritten_.size(); ++i)
            text += (i ? "、" : "") + FieldLabel(unwritten_[i]);
        text += "\n\r\n\r";
        host_.appendInfo(text);
    }
    switch (how) {
        case RequestEnd::PortClosed:  // the session reports the loss itself
            return;
        case RequestEnd::Deadline:
            host_.sessionOutcome(SessionOutcome::NoAnswer);
            return;
        default:
            host_.sessionOutcome(SessionOutcome::ConfigureFailed);
            return;
    }
}

void RequestCycle::endVerify(RequestEnd how, std::span<const std::uint8_t> answer) {
    conclude();
    switch (how) {
        case RequestEnd::Answered:
            applyReadAnswer(answer);
            break;
        case RequestEnd::Failed:
            host_.appendInfo(kReadFailedText);
            [[fallthrough]];
        case RequestEnd::NotHandedOver:
            reportWrite(WriteVerdict::Written, ReadBack::NotRead);
            frames_.clear();
            host_.appendInfo(kVerifyNotReadText);
            host_.sessionOutcome(SessionOutcome::VerifyNotRead);
            return;
        case RequestEnd::Deadline:
            reportWrite(WriteVerdict::Written, ReadBack::NoAnswer);
            frames_.clear();
            host_.sessionOutcome(SessionOutcome::NoAnswer);
            return;
        case RequestEnd::PortClosed:
        case RequestEnd::StateChanged:
            reportWrite(WriteVerdict::Written, ReadBack::NotRead);
            frames_.clear();
            return;
    }
    mismatched_ = DifferingTypes(frames_, answer);
    reportWrite(WriteVerdict::Written, mismatched_.empty() ? ReadBack::Passed : ReadBack::Differs);
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

void RequestCycle::endCheck(RequestEnd how, std::span<const std::uint8_t> answer) {
    conclude();
    const std::vector<ConfigureFrame> file = std::exchange(checked_, {});
    switch (how) {
        case RequestEnd::Answered:
            break;
        case RequestEnd::Failed:
            host_.appendInfo(kReadFailedText);
            host_.appendInfo(kCheckNotReadText);
            return;
        case RequestEnd::Deadline:
            host_.sessionOutcome(SessionOutcome::NoAnswer);
            return;
        case RequestEnd::NotHandedOver:
        case RequestEnd::PortClosed:
        case RequestEnd::StateChanged:
            return;
    }
    noteDtuId(answer);
    const std::vector<std::uint8_t> differing = DifferingTypes(file, answer);
    for (const std::uint8_t type : differing)
        host_.appendInfo(std::string(kCheckDiffersPrefix) + FieldLabel(type) + "\n\r\n\r");
    if (differing.empty()) {
        host_.appendInfo(kCheckPassedText);
        return;
    }
    host_.appendInfo(std::string(kCheckFailedPrefix) + std::to_string(differing.size()) +
                     std::string(kCheckFailedSuffix));
}

void RequestCycle::reportWrite(WriteVerdict verdict, ReadBack readBack) {
    WriteReport report;
    report.frames = frames_;
    report.verdict = verdict;
    report.readBack = readBack;
    report.unwritten = unwritten_;
    if (readBack == ReadBack::Differs) report.differing = mismatched_;
    // Unknown before the write, the read-back names the unit.
    report.dtuId = writtenDtuId_.empty() ? dtuId_ : writtenDtuId_;
    host_.writeConcluded(report);
}

void RequestCycle::lineDirty() {
    lineQuiet_ = false;
    host_.startTimerById(TIMER_LINE_QUIET, kLineQuietMs);
}

// Queued requests go out in order, each once nothing is awaited and the
// line is quiet; one the engine does not take ends there, and the next is tried.
void RequestCycle::sendNext() {
    while (awaited_ == Awaited::Nothing && !queue_.empty()) {
        if (!lineQuiet_) {
            if (!headWaits_) host_.startTimerById(TIMER_ANSWER_DEADLINE, answerDeadline());
            headWaits_ = true;
            return;
        }
        if (headWaits_) host_.stopTimerById(TIMER_ANSWER_DEADLINE);
        headWaits_ = false;
        Request request = std::move(queue_.front());
        queue_.pop_front();
        if (!start(request)) endUnsent(request, RequestEnd::NotHandedOver);
    }
}

}  // namespace quill
