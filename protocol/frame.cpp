#include "protocol/frame.h"

#include <algorithm>

namespace quill {

bool FrameWriter::BeginFrame(std::uint8_t command) {
    begun_ = false;
    pos_ = 0;
    if (buffer_.size() < kMinFrameLength) return false;
    std::fill_n(buffer_.begin(), kFrameHeaderSize, std::uint8_t{0});
    buffer_[0] = kFrameDelimiter;
    buffer_[1] = command;
    pos_ = kFrameHeaderSize;
    begun_ = true;
    return true;
}

bool FrameWriter::AppendItem(std::uint8_t type, std::span<const std::uint8_t> value) {
    if (!begun_ || value.size() > kMaxValueLength) return false;
    const std::size_t itemLength = value.size() + 2;
    // Keep room for the end byte, and the total within what the length field holds.
    const std::size_t limit = std::min(buffer_.size(), kMaxFrameLength);
    if (limit - pos_ < itemLength + 1) return false;
    buffer_[pos_] = type;
    buffer_[pos_ + 1] = static_cast<std::uint8_t>(itemLength);
    std::copy(value.begin(), value.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos_ + 2));
    pos_ += itemLength;
    return true;
}

std::optional<std::span<const std::uint8_t>> FrameWriter::FinishFrame() {
    if (!begun_ || pos_ >= buffer_.size() || pos_ >= kMaxFrameLength) return std::nullopt;
    buffer_[pos_++] = kFrameDelimiter;
    buffer_[2] = static_cast<std::uint8_t>(pos_ >> 8);
    buffer_[3] = static_cast<std::uint8_t>(pos_ & 0xFF);
    begun_ = false;
    return std::span<const std::uint8_t>(buffer_.first(pos_));
}

}  // namespace quill
