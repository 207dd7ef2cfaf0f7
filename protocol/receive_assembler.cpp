#include "protocol/receive_assembler.h"

#include <algorithm>

#include "protocol/frame.h"

namespace quill {

std::string_view EventText(AssemblerEvent::Kind kind) {
    switch (kind) {
        case AssemblerEvent::Kind::ReadSucceeded:
            return kReadSucceededText;
        case AssemblerEvent::Kind::ReadFailed:
            return kReadFailedText;
        case AssemblerEvent::Kind::ConfigureSucceeded:
            return kConfigureSucceededText;
        case AssemblerEvent::Kind::ConfigureFailed:
            return kConfigureFailedText;
        case AssemblerEvent::Kind::None:
            break;
    }
    return {};
}

// Appends b; false, nothing written, when the buffer is full.
bool ReceiveAssembler::store(std::uint8_t b) {
    if (receiveCount < 0 || static_cast<std::size_t>(receiveCount) >= receiveBuffer.size()) return false;
    receiveBuffer[static_cast<std::size_t>(receiveCount)] = b;
    ++receiveCount;
    return true;
}

// A byte of the frame being assembled; bytes not received yet read as 0, so a
// short frame never picks up what an earlier frame left in the buffer.
std::uint8_t ReceiveAssembler::heldByte(std::int32_t index) const {
    return index < receiveCount ? receiveBuffer[static_cast<std::size_t>(index)] : 0;
}

AssemblerEvent ReceiveAssembler::complete(AssemblerEvent::Kind kind) {
    const bool configure =
        kind == AssemblerEvent::Kind::ConfigureSucceeded || kind == AssemblerEvent::Kind::ConfigureFailed;
    (configure ? configurePending : readPending) = false;
    AssemblerEvent event{
        kind, std::span<const std::uint8_t>(receiveBuffer.data(), static_cast<std::size_t>(receiveCount))};
    receiveCount = 0;
    return event;
}

// The answer cannot be held: drop it and report it as failed, so that the
// operator sees it and the next request starts from an empty buffer.
AssemblerEvent ReceiveAssembler::overflow(bool configureFrame) {
    receiveCount = 0;
    (configureFrame ? configurePending : readPending) = false;
    return {configureFrame ? AssemblerEvent::Kind::ConfigureFailed : AssemblerEvent::Kind::ReadFailed, {}};
}

void ReceiveAssembler::NewRequest() {
    resyncing = readPending || configurePending;
    receiveCount = 0;
}

// Judged as far as the head has arrived; a head not complete yet is plausible so far.
bool ReceiveAssembler::plausibleHead() const {
    if (receiveCount < 1) return true;
    if (receiveBuffer[0] != kFrameDelimiter) return false;
    if (receiveCount < 2) return true;
    const std::uint8_t command = receiveBuffer[1];
    const bool read = readPending && command == Command::ReadAnswer;
    if (!read) return configurePending && command == Command::ConfigureAnswer;
    return receiveCount < 4 || FrameLengthField(std::span(receiveBuffer).first(4)) >= kMinFrameLength;
}

void ReceiveAssembler::skipImplausibleHead() {
    while (receiveCount > 0 && !plausibleHead()) {
        // Restart at the next start byte among the held ones, if any.
        std::int32_t next = 1;
        while (next < receiveCount && receiveBuffer[static_cast<std::size_t>(next)] != kFrameDelimiter)
            ++next;
        std::copy(receiveBuffer.begin() + next, receiveBuffer.begin() + receiveCount, receiveBuffer.begin());
        receiveCount -= next;
    }
    // A complete plausible head ends the skipping: from here on frames are judged.
    const bool readHead = receiveCount >= 2 && receiveBuffer[1] == Command::ReadAnswer;
    if (receiveCount >= (readHead ? 4 : 2)) resyncing = false;
}

AssemblerEvent ReceiveAssembler::AcceptByte(std::uint8_t b) {
    if (resyncing && (readPending || configurePending)) {
        if (receiveCount == 0 && b != kFrameDelimiter) return {};
        if (!store(b)) return {};
        skipImplausibleHead();
        // The head just completed (a read head holds its length field, which
        // no byte so far can have completed); the usual rules take over.
        if (!resyncing && receiveBuffer[1] == Command::ReadAnswer &&
            FrameLengthField(std::span(receiveBuffer).first(4)) > receiveBuffer.size())
            return overflow(false);
        return {};
    }
    using Kind = AssemblerEvent::Kind;
    if (readPending) {
        // The read path owns the buffer. While a configure answer is expected
        // too, a frame with its command byte is judged by the configure rule
        // here instead of being stored a second time.
        auto isConfigureFrame = [this] {
            return configurePending && heldByte(1) == Command::ConfigureAnswer;
        };
        if (receiveCount == 0) {
            if (b == kFrameDelimiter) store(b);  // bytes before a start byte are dropped
            return {};
        }
        if (!store(b)) return overflow(isConfigureFrame());
        if (isConfigureFrame()) {
            if (b != kFrameDelimiter) return {};
            return complete(heldByte(0) == kFrameDelimiter && heldByte(2) == 0x00 ? Kind::ConfigureSucceeded
                                                                                  : Kind::ConfigureFailed);
        }
        if (receiveCount == 4 && FrameLengthField(std::span(receiveBuffer).first(4)) > receiveBuffer.size())
            return overflow(false);  // its length field says it can never fit
        if (b != kFrameDelimiter) return {};
        frameLength = heldByte(2) * 256 + heldByte(3);
        if (frameLength > receiveCount) return {};  // a 0x7B inside the data
        return complete(heldByte(0) == kFrameDelimiter && heldByte(1) == Command::ReadAnswer
                            ? Kind::ReadSucceeded
                            : Kind::ReadFailed);
    }
    if (configurePending) {
        if (receiveCount == 0) {
            if (b == kFrameDelimiter) store(b);
            return {};
        }
        if (!store(b)) return overflow(true);
        if (b != kFrameDelimiter) return {};
        // Complete at the first 0x7B after the start; only bytes 0-2 count.
        return complete(heldByte(0) == kFrameDelimiter && heldByte(1) == Command::ConfigureAnswer &&
                                heldByte(2) == 0x00
                            ? Kind::ConfigureSucceeded
                            : Kind::ConfigureFailed);
    }
    return {};  // no answer expected
}

}  // namespace quill
