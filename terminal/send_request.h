// What one Send of the demo-state terminal hands to the serial engine, worked
// out before anything is handed over: the hex bytes of the send buffer, or a
// refusal when the data would not fit. Pure functions; used by the window's
// send handler on the user-interface thread.
//
// Limits: the hex send converts into a 512-byte buffer, and the engine's write
// slot is 512 bytes, so a hex text that gives more than 512 bytes is refused
// whole, as is a text-mode text longer than 511 bytes (the slot less its
// terminator). Sending only the first part would put a different, shorter
// message on the line than the one the operator wrote.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quill {

inline constexpr std::size_t kSendBufferSize = 512;
inline constexpr std::size_t kTextSendLimit = kSendBufferSize - 1;

// The auto-send period is bounded as the platform's window timers bound it:
// a shorter period runs at 10 ms, and a longer one than a timer takes
// (2147483647 ms) runs at that.
inline constexpr int kMinAutoSendPeriod = 10;
inline constexpr int kMaxAutoSendPeriod = 0x7FFFFFFF;

enum class SendRefusal : std::uint8_t {
    None,
    HexTooLong,   // the hex text gives more than kSendBufferSize bytes
    TextTooLong,  // the text has more than kTextSendLimit bytes
};

struct HexSend {
    std::array<std::uint8_t, kSendBufferSize> buffer{};
    std::size_t length = 0;  // bytes of buffer to send; 0 when refused
    SendRefusal refusal = SendRefusal::None;

    std::span<const std::uint8_t> bytes() const { return {buffer.data(), length}; }
};

// The hex pairs of the text in the send buffer: conversion stops at the first
// pair that is not two hex digits (the bytes before it are sent, possibly none).
HexSend BuildHexSend(std::string_view text);

// None when the GBK text fits the write slot with its terminator.
SendRefusal CheckTextSend(std::string_view gbk);

// The message box text (UTF-8) of a refusal; empty for None.
std::string_view RefusalText(SendRefusal refusal);

// The timer period for an auto-send interval in milliseconds.
int AutoSendPeriod(std::uint32_t intervalMs);

}  // namespace quill
