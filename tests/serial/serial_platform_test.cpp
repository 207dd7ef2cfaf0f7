// The POSIX platform layer on its own: the mode string's error, and purge,
// waits and queue count on a pseudo-terminal.
#include "serial/serial_platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>

#include "protocol/wire.h"
#include "sim/dtu_server.h"

namespace quill::platform {
namespace {

using namespace std::chrono_literals;

TEST(ModeStringTest, AModeStringThatDoesNotParseIsAnInvalidArgument) {
    LineSettings settings;
    EXPECT_EQ(BuildLineSettings("baud=57600 parity=X data=8 stop=1", settings), EINVAL);
    EXPECT_EQ(BuildLineSettings("baud=57600 parity=N data=8 stop=1", settings), 0);
    EXPECT_EQ(settings.rate, 57600u);
}

// Codes the engine cannot provoke as root on a build machine (no permission)
// are mapped here from the code alone.
TEST(OpenErrorTest, EachCodeHasItsKind) {
    struct Case {
        int code;
        bool noLineSettings;
        SerialPortErrorKind kind;
    };
    const Case cases[] = {
        {ENOENT, false, SerialPortErrorKind::Missing},
        {ENODEV, false, SerialPortErrorKind::Missing},
        {ENXIO, false, SerialPortErrorKind::Missing},
        {EBUSY, false, SerialPortErrorKind::Busy},
        {EACCES, false, SerialPortErrorKind::NoPermission},
        {EPERM, false, SerialPortErrorKind::NoPermission},
        {EISDIR, false, SerialPortErrorKind::Other},
        {ENOTTY, false, SerialPortErrorKind::Other},
        {ENOTTY, true, SerialPortErrorKind::NotASerialPort},
    };
    for (const Case& c : cases) {
        const SerialPortError error = OpenError(c.code, c.noLineSettings);
        EXPECT_EQ(error.kind, c.kind) << c.code;
        EXPECT_EQ(error.text, ErrorText(c.code));
    }
    EXPECT_EQ(OpenError(EACCES).text, "Permission denied");
}

// A pseudo-terminal with the simulated DTU at its far end, opened the way the
// engine opens a port, with a stop and a write event to wait on.
class LineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim.start());
        const OpenOutcome opened = OpenDevice(sim.devicePath());
        ASSERT_EQ(opened.error, 0);
        device = opened.device;
        ASSERT_EQ(stop.create(), 0);
        ASSERT_EQ(write.create(), 0);
    }
    void TearDown() override { CloseDevice(device); }
    // Parses and applies a mode string; 0 or the error of the step that failed.
    int configure(const std::string& mode) {
        LineSettings settings;
        if (const int error = BuildLineSettings(mode, settings); error != 0) return error;
        return ApplyLineSettings(device, settings);
    }

    DtuServer sim;
    Device device;
    Event stop;
    Event write;
};

TEST_F(LineTest, PurgeEmptiesTheInputQueue) {
    ASSERT_EQ(configure("baud=57600 parity=N data=8 stop=1"), 0);
    sim.send({1, 2, 3, 4, 5});
    ASSERT_TRUE(sim.waitForToolInput(5, 10s));
    std::uint32_t count = 0;
    ASSERT_EQ(InputQueueCount(device, count), 0);
    EXPECT_EQ(count, 5u);
    ASSERT_EQ(Purge(device), 0);
    ASSERT_EQ(InputQueueCount(device, count), 0);
    EXPECT_EQ(count, 0u);
    std::array<std::uint8_t, 8> buffer{};
    const TransferOutcome read = ReadAvailable(device, buffer);
    EXPECT_EQ(read.count, 0u);
    EXPECT_FALSE(read.lost);
    CloseDevice(device);
    EXPECT_FALSE(device.isOpen());
}

TEST_F(LineTest, WaitPrefersStopOverDataOverWrite) {
    write.set();
    EXPECT_EQ(WaitFirst(stop, device, write, true), WaitOutcome::Write);
    sim.send({0x42});
    ASSERT_TRUE(sim.waitForToolInput(1, 10s));
    EXPECT_EQ(WaitFirst(stop, device, write, true), WaitOutcome::LineEvent);
    stop.set();
    EXPECT_EQ(WaitFirst(stop, device, write, true), WaitOutcome::Stop);
    // Manual reset: still signalled until reset.
    EXPECT_TRUE(stop.isSet());
    stop.reset();
    EXPECT_FALSE(stop.isSet());
    EXPECT_EQ(WaitFirst(stop, device, write, true), WaitOutcome::LineEvent);
}

TEST_F(LineTest, AHungUpLineReadsAsLost) {
    sim.vanish();
    ASSERT_TRUE(sim.waitFor([&] { return sim.vanished(); }, 10s));
    // Even with input not watched, the hang-up wakes the wait.
    EXPECT_EQ(WaitFirst(stop, device, write, false), WaitOutcome::LineEvent);
    std::array<std::uint8_t, 8> buffer{};
    EXPECT_TRUE(ReadAvailable(device, buffer).lost);
    const std::uint8_t byte = 0x37;
    EXPECT_TRUE(WriteAll(device, std::span(&byte, 1), stop, 1000).lost);
}

TEST(PlatformTest, PortNumbersMapToTheOnBoardPorts) {
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(PortDevicePath(10), "/dev/ttyS9");
}

// Every rate the tool offers reaches the line, 14400 included, which has no
// standard code on this platform.
class RateTest : public LineTest, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(RateTest, EveryOfferedRateIsAppliedAndReadBack) {
    ASSERT_EQ(configure("baud=" + std::to_string(GetParam()) + " parity=N data=8 stop=1"), 0);
    LineSettings applied;
    ASSERT_EQ(GetLineSettings(device, applied), 0);
    EXPECT_EQ(applied.rate, GetParam());
    EXPECT_EQ(applied.dataBits, 8u);
    EXPECT_EQ(applied.parity, 'N');
}

INSTANTIATE_TEST_SUITE_P(OfferedRates, RateTest, ::testing::ValuesIn(BaudTable));

}  // namespace
}  // namespace quill::platform
