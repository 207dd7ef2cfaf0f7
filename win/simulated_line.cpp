#include "win/simulated_line.h"

#include <utility>
#include <vector>

namespace quill::win {

void SimulatedLine::open(PortOwner& owner, std::uint32_t portNumber, std::uint32_t writeBufferSize) {
    ++*generation_;
    owner_ = &owner;
    portNumber_ = portNumber;
    writeBufferSize_ = writeBufferSize;
}

void SimulatedLine::close() {
    ++*generation_;
    owner_ = nullptr;
}

bool SimulatedLine::sendBytes(std::span<const std::uint8_t> bytes) {
    if (owner_ == nullptr || bytes.size() > writeBufferSize_) return false;
    ++writes_;
    std::vector<std::uint8_t> answer = dtu_.feed(bytes);
    if (answer.empty()) return true;
    // The task holds the counter, not the line: it stays safe to run after the line is gone.
    std::weak_ptr<std::uint64_t> generation = generation_;
    owner_->postToOwner(
        [owner = owner_, port = portNumber_, sent = *generation_, generation, answer = std::move(answer)] {
            for (const std::uint8_t byte : answer) {
                const auto current = generation.lock();
                if (!current || *current != sent)
                    return;  // closed meanwhile, possibly by a handler of a byte
                owner->onPortMessage(WM_PORT_RX_BYTE, byte, port);
            }
        });
    return true;
}

bool SimulatedLine::sendText(const std::string& text) {
    if (text.size() + 1 > writeBufferSize_) return false;
    return sendBytes(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void SimulatedLine::vanish() {
    if (owner_ == nullptr) return;
    PortOwner* owner = owner_;
    const std::uint32_t port = portNumber_;
    close();
    std::weak_ptr<std::uint64_t> generation = generation_;
    const std::uint64_t closedAt = *generation_;
    owner->postToOwner([owner, port, generation, closedAt] {
        const auto current = generation.lock();
        if (current && *current == closedAt) owner->onPortLost(port);
    });
}

}  // namespace quill::win
