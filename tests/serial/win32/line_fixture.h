// The engine on the COM port that scripts/test-windows.sh maps to the
// simulated DTU's pseudo-terminal (its number in QUILLMERE_TEST_COM).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "serial/serial_port.h"
#include "tests/serial/test_owner.h"

namespace quill::test {

class LineTest : public ::testing::Test {
  protected:
    static constexpr auto kWait = std::chrono::seconds(10);

    void SetUp() override {
        const char* com = std::getenv("QUILLMERE_TEST_COM");
        if (com == nullptr || std::atoi(com) <= 0) {
            GTEST_SKIP() << "needs a COM port with the simulated DTU behind it (scripts/test-windows.sh)";
        }
        comNumber_ = static_cast<std::uint32_t>(std::atoi(com));
    }

    std::uint32_t comNumber() const { return comNumber_; }

    // By port number, as the window opens it.
    bool open() { return port.OpenPort(&owner, comNumber_, 57600, 'N', 8, 1, EV_RXCHAR | EV_RXFLAG, 512); }

    // Sends the poll byte; true when the announcement 0x6C came back.
    bool poll() {
        owner.clear();
        const std::uint8_t pollByte = 0x37;
        return port.SendBytes(&pollByte, 1) && receive(1) == std::vector<std::uint8_t>{0x6C};
    }

    // The DTU answers only once the worker runs: its opening purge would
    // discard anything sent before.
    bool openAndAnnounce() { return open() && port.StartWorker() && poll(); }

    // The next `count` bytes received (fewer at the deadline); they are taken.
    std::vector<std::uint8_t> receive(std::size_t count) {
        owner.waitFor([count](TestOwner& o) { return o.bytesUnlocked().size() >= count; }, kWait);
        owner.runOnLoop([] {});  // the batch is over
        std::vector<std::uint8_t> bytes = owner.bytes();
        owner.clear();
        return bytes;
    }

    // One whole frame, as long as its length field says.
    std::vector<std::uint8_t> receiveFrame() {
        owner.waitFor([](TestOwner& o) { return o.bytesUnlocked().size() >= 4; }, kWait);
        const std::size_t length = FrameLengthField(owner.bytes());
        return receive(length);
    }

    TestOwner owner;
    CSerialPort port;  // after the owner: the engine stops first

  private:
    std::uint32_t comNumber_ = 0;
};

}  // namespace quill::test
