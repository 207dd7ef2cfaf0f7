// The wire's fixed bytes, shared by the sessions, the protocol and the
// simulated DTU: the handshake bytes, the fixed request frames and the line
// rates of the rate lists.
#pragma once

#include <array>
#include <cstdint>

namespace quill {

// The presence test: the tool polls with 0x37 until the DTU answers 0x6C.
inline constexpr std::uint8_t kPollByte = 0x37;
inline constexpr std::uint8_t kAnnounceByte = 0x6C;

// Line rate for each index of the rate lists 1016 and 1068.
inline constexpr std::array<std::uint32_t, 11> BaudTable{300,   600,   1200,  2400,  4800,  9600,
                                                         14400, 19200, 38400, 57600, 115200};

// A fixed 16-byte request frame: 0x7B, the command, thirteen 0x00, 0x7B.
std::array<std::uint8_t, 16> BuildRequestFrame(std::uint8_t command);

}  // namespace quill
