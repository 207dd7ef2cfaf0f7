#include "terminal/send_request.h"

#include <algorithm>

#include "protocol/value_codec.h"

namespace quill {

HexSend BuildHexSend(std::string_view text) {
    // One byte more than the buffer holds tells "exactly full" from "more
    // than fits"; the conversion itself stops at the scratch buffer's end.
    std::array<std::uint8_t, kSendBufferSize + 1> scratch{};
    const std::size_t n = ParseHexText(text, scratch);
    HexSend send;
    if (n > kSendBufferSize) {
        send.refusal = SendRefusal::HexTooLong;
        return send;
    }
    std::copy_n(scratch.begin(), n, send.buffer.begin());
    send.length = n;
    return send;
}

SendRefusal CheckTextSend(std::string_view gbk) {
    // The engine takes the text up to its first zero byte.
    const std::size_t length = std::min(gbk.size(), gbk.find('\0'));
    return length > kTextSendLimit ? SendRefusal::TextTooLong : SendRefusal::None;
}

std::string_view RefusalText(SendRefusal refusal) {
    switch (refusal) {
        case SendRefusal::HexTooLong:
            return "发送数据超过512字节，请减少发送数据";
        case SendRefusal::TextTooLong:
            return "发送数据超过511字节，请减少发送数据";
        case SendRefusal::None:
            break;
    }
    return {};
}

int AutoSendPeriod(std::uint32_t intervalMs) {
    if (intervalMs < static_cast<std::uint32_t>(kMinAutoSendPeriod)) return kMinAutoSendPeriod;
    if (intervalMs > static_cast<std::uint32_t>(kMaxAutoSendPeriod)) return kMaxAutoSendPeriod;
    return static_cast<int>(intervalMs);
}

}  // namespace quill
