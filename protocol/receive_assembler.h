// The receive-side frame collector. The window's OnPortByte hands it every
// received byte that the presence test does not take (UI thread only, no
// lock). It keeps bytes only while an answer is expected: readPending after a
// read or reset request, configurePending after a configure request. Each
// completed answer is reported as an event; the caller applies a read answer
// (ApplyReadAnswer) and appends the matching text below.
//
// Read answers complete at a 0x7B at which the byte count reaches the length
// in bytes 2-3 (taken afresh at every 0x7B); configure answers complete at the
// first 0x7B after their start byte. Beyond that:
// - length bytes that have not arrived yet count as 0;
// - while both answers are expected, each byte is stored once: a frame whose
//   command byte is 0x8C is judged as the configure answer (ends at its first
//   0x7B after the start), every other frame as the read answer;
// - a frame that cannot be held in the 5000-byte buffer (its length field says
//   more than 5000, or it reaches 5000 bytes without completing) is a failed
//   answer: its flag is cleared, the held bytes are dropped and the failure is
//   reported, so the next request starts clean.
// - a request sent while an earlier answer was still expected (NewRequest)
//   may be followed by the tail of that answer before its own answer: until a
//   frame with a plausible head has begun (0x7B, an expected answer command,
//   and for a read answer a length of at least 16), a head that is not one is
//   skipped to the next 0x7B instead of being judged.
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

class ReceiveAssembler {
  public:
    static constexpr std::size_t kCapacity = 5000;

    AssemblerEvent AcceptByte(std::uint8_t b);
    // A request has been handed over: the next answer starts from an empty
    // buffer. Call before setting the request's pending flag.
    void NewRequest();

    bool readPending = false;
    bool configurePending = false;
    std::array<std::uint8_t, kCapacity> receiveBuffer{};
    std::int32_t receiveCount = 0;
    std::int32_t frameLength = 0;
    // Skipping what is left of an interrupted answer (see above).
    bool resyncing = false;

  private:
    // In resync: drops held heads that cannot begin an expected answer.
    void skipImplausibleHead();
    bool plausibleHead() const;
    bool store(std::uint8_t b);
    std::uint8_t heldByte(std::int32_t index) const;
    AssemblerEvent complete(AssemblerEvent::Kind kind);
    AssemblerEvent overflow(bool configureFrame);
};

}  // namespace quill
