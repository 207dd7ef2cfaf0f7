// The engine on a real COM port under Wine: the port is mapped to a Linux
// pseudo-terminal whose other end is the simulated DTU (quillmere-sim).
// scripts/test-windows.sh sets this up and names the port's number in
// QUILLMERE_TEST_COM; without it the tests are skipped. Frames are typed
// from the protocol's definition.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "serial/serial_platform.h"
#include "serial/serial_port.h"
#include "tests/serial/test_owner.h"
#include "tests/serial/win32/line_fixture.h"

namespace quill {
namespace {

using namespace std::chrono_literals;
using test::LineTest;
using test::TestOwner;
using Bytes = std::vector<std::uint8_t>;

const Bytes kReadRequest{0x7B, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};
const Bytes kAccepted{0x7B, 0x8C, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};

TEST_F(LineTest, APortNumberOpensTheMappedPortAndTheDtuAnswersThePoll) {
    ASSERT_TRUE(openAndAnnounce());
    EXPECT_TRUE(owner.errors().empty());  // every setting was taken
}

TEST_F(LineTest, EveryByteValueTravelsBothWaysThroughAConfigureAndARead) {
    // Item 0x26 (raw bytes) carries 0x00-0x7F, item 0x04 (text) 0x80-0xFF:
    // 15 + 130 + 130 + 1 = 276 bytes (01 14).
    Bytes low(128), high(128);
    for (int i = 0; i < 128; ++i) {
        low[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        high[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0x80 + i);
    }
    Bytes configure{0x7B, 0x0C, 0x01, 0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x26, 130};
    configure.insert(configure.end(), low.begin(), low.end());
    configure.insert(configure.end(), {0x04, 130});
    configure.insert(configure.end(), high.begin(), high.end());
    configure.push_back(0x7B);
    ASSERT_EQ(configure.size(), 276u);

    ASSERT_TRUE(openAndAnnounce());
    ASSERT_TRUE(port.SendBytes(configure));
    EXPECT_EQ(receive(16), kAccepted);

    ASSERT_TRUE(port.SendBytes(kReadRequest));
    const Bytes answer = receiveFrame();
    ASSERT_GE(answer.size(), 16u);
    EXPECT_EQ(answer[1], 0x8B);
    EXPECT_EQ(answer.back(), 0x7B);
    Bytes gotLow, gotHigh;
    EXPECT_TRUE(ForEachItem(answer, [&](const ItemView& item) {
        if (item.type == 0x26) gotLow.assign(item.value.begin(), item.value.end());
        if (item.type == 0x04) gotHigh.assign(item.value.begin(), item.value.end());
    }));
    EXPECT_EQ(gotLow, low);
    EXPECT_EQ(gotHigh, high);
}

TEST_F(LineTest, ReopeningWhileTheWorkerWaitsEndsTheWaitAndTheNewRateWorks) {
    ASSERT_TRUE(openAndAnnounce());
    const auto before = std::chrono::steady_clock::now();
    bool reopened = false;
    owner.runOnLoop([&] {
        reopened = port.OpenPort(&owner, comNumber(), 9600, 'N', 8, 1, EV_RXCHAR | EV_RXFLAG, 512);
        port.StartWorker();
    });
    ASSERT_TRUE(reopened);
    // The worker's wait was pending; stopping it must not wait for the line.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
    ASSERT_TRUE(poll());
    EXPECT_TRUE(owner.errors().empty());
}

TEST_F(LineTest, AHundredOpenStopCyclesLeaveAWorkingPort) {
    for (int i = 0; i < 100; ++i) {
        owner.runOnLoop([&] {
            ASSERT_TRUE(open());
            ASSERT_TRUE(port.StartWorker());
            port.RequestStop();
        });
    }
    ASSERT_TRUE(openAndAnnounce());
    EXPECT_TRUE(owner.errors().empty());
    EXPECT_TRUE(owner.lost().empty());
}

TEST_F(LineTest, APortWithNothingBehindItFailsWithoutABox) {
    EXPECT_FALSE(port.OpenPort(&owner, 199, 57600, 'N', 8, 1, EV_RXCHAR, 512));
    ASSERT_TRUE(port.lastOpenError().has_value());
    EXPECT_EQ(port.lastOpenError()->kind, SerialPortErrorKind::Missing);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(owner.errors().empty());
}

}  // namespace
}  // namespace quill
