#include "protocol/receive_assembler.h"

#include "protocol/frame.h"

namespace quill {
namespace {

// Bytes 0-3: start byte, command and the length field.
constexpr std::int32_t kReadHeadLength = 4;

}  // namespace

std::string_view EventText(AssemblerEvent::Kind kind) {
    switch (kind) {
        case AssemblerEvent::Kind::ReadSucceeded:
            return kReadSucceededText;
        case AssemblerEvent::Kind::ReadFailed:
            return kReadFailedText;
        case AssemblerEvent::Kind::ConfigureSucceeded:
            return kConfigureSucceededText;
        case AssemblerEvent::Kind::ConfigureFailed:
            return kConfigureFailedText;
        case AssemblerEvent::Kind::None:
            break;
    }
    return {};
}

AssemblerStage ReceiveAssembler::stage() const {
    if (expected_ == AnswerKind::Nothing) return AssemblerStage::Idle;
    if (receiveCount_ == 0) return AssemblerStage::AwaitStart;
    const std::int32_t head = expected_ == AnswerKind::Read ? kReadHeadLength : 2;
    return receiveCount_ < head ? AssemblerStage::Head : AssemblerStage::Body;
}

void ReceiveAssembler::Expect(AnswerKind kind) {
    expected_ = kind;
    receiveCount_ = 0;
}

// Appends b; false, nothing written, when the buffer is full.
bool ReceiveAssembler::store(std::uint8_t b) {
    if (receiveCount_ < 0 || static_cast<std::size_t>(receiveCount_) >= receiveBuffer_.size()) return false;
    receiveBuffer_[static_cast<std::size_t>(receiveCount_)] = b;
    ++receiveCount_;
    return true;
}

// A byte of the frame being assembled; bytes not received yet read as 0, so a
// short frame never picks up what an earlier frame left in the buffer.
std::uint8_t ReceiveAssembler::heldByte(std::int32_t index) const {
    return index < receiveCount_ ? receiveBuffer_[static_cast<std::size_t>(index)] : 0;
}

AssemblerEvent ReceiveAssembler::complete(AssemblerEvent::Kind kind, FrameRefusal refusal) {
    expected_ = AnswerKind::Nothing;
    refusal_ = refusal;
    AssemblerEvent event{
        kind, std::span<const std::uint8_t>(receiveBuffer_.data(), static_cast<std::size_t>(receiveCount_))};
    receiveCount_ = 0;
    return event;
}

// The answer cannot be held: drop it and report it as failed, so that the
// operator sees it and the next request starts from an empty buffer.
AssemblerEvent ReceiveAssembler::overflow() {
    const bool configure = expected_ == AnswerKind::Configure;
    receiveCount_ = 0;
    expected_ = AnswerKind::Nothing;
    refusal_ = FrameRefusal::TooLarge;
    return {configure ? AssemblerEvent::Kind::ConfigureFailed : AssemblerEvent::Kind::ReadFailed, {}};
}

AssemblerEvent ReceiveAssembler::AcceptByte(std::uint8_t b) {
    if (expected_ == AnswerKind::Nothing) return {};
    return expected_ == AnswerKind::Read ? acceptRead(b) : acceptConfigure(b);
}

AssemblerEvent ReceiveAssembler::acceptRead(std::uint8_t b) {
    if (receiveCount_ == 0) {
        if (b == kFrameDelimiter) store(b);  // bytes before a start byte are dropped
        return {};
    }
    if (!store(b)) return overflow();
    if (receiveCount_ == kReadHeadLength &&
        FrameLengthField(std::span(receiveBuffer_).first(kReadHeadLength)) > receiveBuffer_.size())
        return overflow();  // its length field says it can never fit
    if (b != kFrameDelimiter) return {};
    frameLength_ = heldByte(2) * 256 + heldByte(3);
    if (frameLength_ > receiveCount_) return {};  // a 0x7B inside the data
    if (heldByte(1) != Command::ReadAnswer)
        return complete(AssemblerEvent::Kind::ReadFailed, FrameRefusal::WrongCommand);
    return complete(AssemblerEvent::Kind::ReadSucceeded, FrameRefusal::None);
}

// Complete at the first 0x7B after the start; only bytes 0-2 count.
AssemblerEvent ReceiveAssembler::acceptConfigure(std::uint8_t b) {
    if (receiveCount_ == 0) {
        if (b == kFrameDelimiter) store(b);
        return {};
    }
    if (!store(b)) return overflow();
    if (b != kFrameDelimiter) return {};
    if (heldByte(1) != Command::ConfigureAnswer)
        return complete(AssemblerEvent::Kind::ConfigureFailed, FrameRefusal::WrongCommand);
    if (heldByte(2) != 0x00) return complete(AssemblerEvent::Kind::ConfigureFailed, FrameRefusal::Rejected);
    return complete(AssemblerEvent::Kind::ConfigureSucceeded, FrameRefusal::None);
}

}  // namespace quill
