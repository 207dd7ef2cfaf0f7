// The session's timers, by the fixed ids the front ends' timers carry, their
// periods, and the line settings of every open. Included by every part of
// the session that starts a timer or opens a line.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/receive_assembler.h"

namespace quill {

inline constexpr int TIMER_AUTO_SEND = 1;
inline constexpr int TIMER_CONNECT_TIMEOUT = 2;
inline constexpr int TIMER_DTU_POLL = 5;
inline constexpr int TIMER_ANSWER_DEADLINE = 6;
inline constexpr int TIMER_LINE_QUIET = 7;

inline constexpr int kConnectTimeoutMs = 40000;
inline constexpr int kPollPeriodMs = 400;

// How long the DTU may take before its answer begins (it may store the set
// first), and how long a line must be silent before a request follows a
// deadline: longer than any gap between the bytes of one answer.
inline constexpr int kDtuAnswerDelayMs = 2000;
inline constexpr int kLineQuietMs = 200;

// The answer deadline at a line rate: the largest answer the assembler holds,
// 10 bits a byte, plus the DTU's own delay: 2869 ms at 57600 bit/s.
constexpr int AnswerDeadlineMs(std::uint32_t rate) {
    const std::uint64_t bits = std::uint64_t{ReceiveAssembler::kCapacity} * 10 * 1000;
    const std::uint64_t perSecond = rate == 0 ? 57600 : rate;
    return static_cast<int>((bits + perSecond - 1) / perSecond) + kDtuAnswerDelayMs;
}

// Every open: 8N1, received bytes and the event character watched.
inline constexpr char kLineParity = 'N';
inline constexpr std::uint32_t kLineDataBits = 8;
inline constexpr std::uint32_t kLineStopBits = 1;
inline constexpr std::uint32_t kLineEventMask = 0x0003;
inline constexpr std::size_t kSessionRateIndex = 9;  // 57600 in BaudTable

}  // namespace quill
