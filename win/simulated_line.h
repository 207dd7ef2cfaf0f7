// The port list's built-in simulated DTU on Windows, where no pseudo-terminal
// can stand in for a COM port: an in-process line with a SimulatedDtu at its
// far end. What the session sends is fed to the DTU at once; the DTU's answer
// comes back later, as the serial engine delivers bytes: one task posted to
// the owner's thread that hands every answer byte to the owner as a
// WM_PORT_RX_BYTE notification. A task that arrives after the line was closed
// (or reopened) delivers nothing, as bytes in a closed port's queue are lost.
// Owner's thread only; no thread of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "serial/serial_port.h"
#include "session/session_line.h"
#include "sim/simulated_dtu.h"

namespace quill::win {

class SimulatedLine final : public LineDevice {
  public:
    SimulatedLine() = default;
    SimulatedLine(const SimulatedLine&) = delete;
    SimulatedLine& operator=(const SimulatedLine&) = delete;

    // Opens the line for this owner; the DTU keeps its state across reopens.
    void open(PortOwner& owner, std::uint32_t portNumber, std::uint32_t writeBufferSize) override;
    void close() override;
    bool isOpen() const override { return owner_ != nullptr; }
    // Refused (false) when the line is closed or the bytes do not fit the
    // write buffer, as the engine refuses them.
    bool sendBytes(std::span<const std::uint8_t> bytes) override;
    // The text without its terminator; the terminator must fit as well.
    bool sendText(const std::string& text) override;
    // The line goes dead as an unplugged adapter does: closed, and the owner
    // told once, on its own thread.
    void vanish();

    SimulatedDtu& dtu() { return dtu_; }
    std::uint64_t completedWrites() const { return writes_; }

  private:
    SimulatedDtu dtu_;
    PortOwner* owner_ = nullptr;
    std::uint32_t portNumber_ = 0;
    std::uint32_t writeBufferSize_ = 0;
    std::uint64_t writes_ = 0;
    // Bumped at every open and close; a posted answer of an older one is dropped.
    std::shared_ptr<std::uint64_t> generation_ = std::make_shared<std::uint64_t>(0);
};

}  // namespace quill::win
