// The --trace file: every byte sent to and received from the DTU with its
// time in milliseconds since the command started, and each complete frame
// decoded item by item (type, label, value bytes in hex and the value as the
// form shows it), so that a field technician can send one file that shows
// what went over the line.
//
//        0.412 > 37
//      401.870 < 6C
//      402.113 > 7B 0B 00 10 00 00 00 00 00 00 00 00 00 00 00 7B
//      402.113 > frame 0x0B 读取请求, 16 bytes
//      488.020 < 7B 8B 01 C4 ...
//      488.020 < frame 0x8B 读取应答, 452 bytes, 113 items
//                  0x01 DTU编号 (11): 32 30 32 34 ... = "20241100017"
//
// Sent bytes are stamped when they are handed to the engine, received bytes
// when the loop delivers them. Received bytes share a line while they come
// close together. Loop thread only.
//
// The unit's passwords show as "**" per byte and "******" as a value, in the
// bytes and the decoded items alike, unless secrets are asked for: lines are
// held while a frame is being collected and written, masked, once it is
// complete (a frame never completed is masked past its head).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "session/session_line.h"

namespace quill::cli {

// Collects the bytes of one direction into frames: a frame starts at 0x7B;
// a configure answer ends at the next 0x7B (its byte 2 is a status), every
// other frame at the 0x7B where its length field is reached. Bytes outside a
// frame (polls, announcements, noise) are not collected.
class FrameCollector {
  public:
    static constexpr std::size_t kLimit = 65535;

    // The completed frame, or an empty span while none completed with this byte.
    std::span<const std::uint8_t> accept(std::uint8_t byte);
    bool collecting() const { return !frame_.empty(); }

  private:
    std::vector<std::uint8_t> frame_;
    std::vector<std::uint8_t> done_;
};

// One frame as text lines (without the time column): its command, length and
// each item with its value as the form shows it. Items the form does not show
// (unknown types, 0x06) are shown with their bytes only; a password's bytes
// and value are masked unless showSecrets.
std::vector<std::string> DescribeFrame(std::span<const std::uint8_t> frame, bool showSecrets = false);

inline constexpr std::string_view kSecretValue = "******";

// Bytes as upper-case hex pairs separated by blanks.
std::string HexBytes(std::span<const std::uint8_t> bytes);

// A tap on the session's line: everything the line carries, as it goes.
class Trace final : public LineTap {
  public:
    using Clock = std::chrono::steady_clock;

    Trace(std::ostream& out, Clock::time_point start, bool showSecrets = false);
    ~Trace() override;
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    void sent(std::span<const std::uint8_t> bytes) override;
    void received(std::uint8_t byte) override;
    // A line of its own (port opened, lost, the command's result).
    void note(std::string_view text) override;
    // Writes everything held, frames not yet complete included.
    void flush();

  private:
    // A byte with the frame it belongs to (0: none) and its place in it.
    struct HeldByte {
        std::uint8_t value;
        bool masked;
        std::uint32_t frame;
        std::uint32_t offset;
    };
    // A line waiting to be written: bytes, or finished text.
    struct Line {
        Clock::time_point at;
        char direction;  // '>', '<' or '#'
        std::vector<HeldByte> bytes;
        std::string text;
    };
    struct Direction {
        char sign;
        FrameCollector frames;
        std::uint32_t serial = 0;
        std::uint32_t offset = 0;
    };

    std::string stamp(Clock::time_point at) const;
    // Runs the byte through the direction's collector; the frame it completed, if any.
    HeldByte classify(Direction& direction, std::uint8_t byte, std::vector<std::uint8_t>& completed);
    void frameDone(const Direction& direction, std::uint32_t serial, Clock::time_point at,
                   std::span<const std::uint8_t> frame);
    void flushReceived();
    void release(bool all);
    void writeLine(const Line& line);

    std::ostream& out_;
    Clock::time_point start_;
    bool showSecrets_;
    Direction sent_{'>', {}};
    Direction received_{'<', {}};
    std::vector<HeldByte> pendingReceived_;
    Clock::time_point pendingSince_{};
    std::vector<Line> held_;
};

}  // namespace quill::cli
