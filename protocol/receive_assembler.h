// The receive-side frame collector. The session's request cycle tells it
// which answer its request expects (Expect) and hands it every received byte
// that the presence test does not take (UI thread only, no lock). It keeps
// bytes only while an answer is expected; each completed answer is reported
// as an event, and the caller applies a read answer (ApplyReadAnswer) and
// appends the matching text below.
//
// Read answers complete at a 0x7B at which the byte count reaches the length
// in bytes 2-3 (taken afresh at every 0x7B); configure answers complete at the
// first 0x7B after their start byte. Beyond that:
// - length bytes that have not arrived yet count as 0;
// - a frame that cannot be held in the 5000-byte buffer (its length field says
//   more than 5000, or it reaches 5000 bytes without completing) is a failed
//   answer: the held bytes are dropped and the failure is reported, so the
//   next request starts clean;
// - Expect starts afresh: the request cycle sends one request at a time and
//   tells the assembler only once nothing of an earlier answer can be held.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quill {

inline constexpr std::string_view kReadSucceededText = "<-读取参数成功！\n\r\n\r";
inline constexpr std::string_view kReadFailedText = "<-读取参数失败！\n\r\n\r";
inline constexpr std::string_view kConfigureSucceededText = "<-配置参数成功！\n\r\n\r";
inline constexpr std::string_view kConfigureFailedText = "<-配置参数失败！\n\r\n\r";

struct AssemblerEvent {
    enum class Kind { None, ReadSucceeded, ReadFailed, ConfigureSucceeded, ConfigureFailed };
    Kind kind = Kind::None;
    // The completed frame (empty for None and for an answer too large to
    // hold); valid until the next AcceptByte.
    std::span<const std::uint8_t> frame;
};

// The information-area text of an event (UTF-8); empty for None.
std::string_view EventText(AssemblerEvent::Kind kind);

// What a request's answer is: a read answer (read, reset and verification
// requests) or a configure answer.
enum class AnswerKind : std::uint8_t { Nothing, Read, Configure };

// Where the assembler is, for traces and tests.
enum class AssemblerStage : std::uint8_t {
    Idle,           // no answer expected: every byte is dropped
    AwaitStart,     // bytes before the start byte are dropped
    Head,           // the start byte is in, the command or length bytes are not
    Body,           // the head is in; collecting up to the end byte
};

// Why the last completed frame was refused.
enum class FrameRefusal : std::uint8_t {
    None,
    WrongCommand,  // byte 1 is not the expected answer's command
    Rejected,      // a configure answer whose byte 2 is not 0
    TooLarge,      // it cannot be held in the buffer
};

class ReceiveAssembler {
  public:
    static constexpr std::size_t kCapacity = 5000;

    // A request has been handed over; its answer is of this kind. Whatever
    // was held is dropped (Nothing: no answer is expected).
    void Expect(AnswerKind kind);
    AssemblerEvent AcceptByte(std::uint8_t b);

    AnswerKind expected() const { return expected_; }
    bool readPending() const { return expected_ == AnswerKind::Read; }
    bool configurePending() const { return expected_ == AnswerKind::Configure; }
    AssemblerStage stage() const;
    FrameRefusal lastRefusal() const { return refusal_; }
    std::int32_t receiveCount() const { return receiveCount_; }
    std::int32_t frameLength() const { return frameLength_; }

  private:
    bool store(std::uint8_t b);
    std::uint8_t heldByte(std::int32_t index) const;
    AssemblerEvent complete(AssemblerEvent::Kind kind, FrameRefusal refusal);
    AssemblerEvent overflow();
    AssemblerEvent acceptRead(std::uint8_t b);
    AssemblerEvent acceptConfigure(std::uint8_t b);

    AnswerKind expected_ = AnswerKind::Nothing;
    FrameRefusal refusal_ = FrameRefusal::None;
    std::array<std::uint8_t, kCapacity> receiveBuffer_{};
    std::int32_t receiveCount_ = 0;
    std::int32_t frameLength_ = 0;
};

}  // namespace quill
