#include "protocol/wire.h"

#include "protocol/frame.h"

namespace quill {

std::array<std::uint8_t, 16> BuildRequestFrame(std::uint8_t command) {
    std::array<std::uint8_t, 16> frame{};
    frame.front() = kFrameDelimiter;
    frame[1] = command;
    frame.back() = kFrameDelimiter;
    return frame;
}

}  // namespace quill
