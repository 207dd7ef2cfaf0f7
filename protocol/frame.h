// The parameter frame: 0x7B, command, big-endian total length, 11 reserved
// bytes, items (type, length, value), 0x7B. FrameWriter builds a frame in a
// caller's buffer (configure requests, the simulated DTU); ForEachItem walks
// the items of a received frame (read-back, the simulated DTU). No state
// beyond the writer object; any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quill {

namespace Command {
inline constexpr std::uint8_t ReadRequest = 0x0B;
inline constexpr std::uint8_t ReadAnswer = 0x8B;
inline constexpr std::uint8_t ConfigureRequest = 0x0C;
inline constexpr std::uint8_t ConfigureAnswer = 0x8C;
inline constexpr std::uint8_t ResetRequest = 0x0F;
}  // namespace Command

inline constexpr std::uint8_t kFrameDelimiter = 0x7B;  // start and end byte
inline constexpr std::size_t kFrameHeaderSize = 15;    // items begin here
inline constexpr std::size_t kMinFrameLength = 16;     // a frame without items
inline constexpr std::size_t kMaxValueLength = 253;    // the length byte counts type and length too
inline constexpr std::size_t kMaxFrameLength = 65535;  // what the length field can express

// Builds one frame in a caller's buffer. Every step checks the space first;
// a step that does not fit writes nothing and reports it.
class FrameWriter {
  public:
    explicit FrameWriter(std::span<std::uint8_t> buffer) : buffer_(buffer) {}

    // Start byte, command, zero length and reserved bytes; write position 15.
    // False (nothing written) when the buffer cannot hold a 16-byte frame.
    bool BeginFrame(std::uint8_t command);

    // Type, value width + 2, value. False, nothing written, when no frame was
    // begun, the value is over 253 bytes, or the item and the end byte would
    // not both fit.
    bool AppendItem(std::uint8_t type, std::span<const std::uint8_t> value);

    // End byte and total length at offsets 2-3; the finished frame, or nullopt
    // when no frame was begun or the end byte does not fit.
    std::optional<std::span<const std::uint8_t>> FinishFrame();

    // Bytes written so far (the frame's length once finished).
    std::size_t size() const { return pos_; }

  private:
    std::span<std::uint8_t> buffer_;
    std::size_t pos_ = 0;
    bool begun_ = false;
};

// The total length field (offsets 2-3, high byte first) of a frame; bytes the
// span does not hold count as 0.
inline std::uint32_t FrameLengthField(std::span<const std::uint8_t> frame) {
    const std::uint32_t hi = frame.size() > 2 ? frame[2] : 0;
    const std::uint32_t lo = frame.size() > 3 ? frame[3] : 0;
    return hi << 8 | lo;
}

struct ItemView {
    std::uint8_t type;
    std::span<const std::uint8_t> value;
};

// Calls f(ItemView) for each item of a received frame, in frame order.
// The walk covers positions 15 up to the end byte at length - 1, the length
// taken from offsets 2-3 and capped at the span's size. It ends, reading
// nothing beyond that, at an item whose length byte is below 2, whose length
// byte is the end byte, or whose value would run into or past the end byte.
// Returns true when every item was well formed, false when the walk ended
// early at a malformed one.
template <class F>
bool ForEachItem(std::span<const std::uint8_t> frame, F&& f) {
    std::size_t length = FrameLengthField(frame);
    if (length > frame.size()) length = frame.size();
    if (length < kMinFrameLength + 1) return true;  // no room for an item
    const std::size_t end = length - 1;             // index of the end byte
    std::size_t p = kFrameHeaderSize;
    while (p < end) {
        if (end - p < 2) return false;  // the length byte would be the end byte
        const std::size_t itemLength = frame[p + 1];
        if (itemLength < 2 || itemLength > end - p) return false;
        f(ItemView{frame[p], frame.subspan(p + 2, itemLength - 2)});
        p += itemLength;
    }
    return true;
}

}  // namespace quill
