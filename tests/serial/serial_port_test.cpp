// The engine against the simulated DTU over a pseudo-terminal, with a test
// owner thread standing in for the window.
#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <future>
#include <memory>
#include <string>

#include "sim/dtu_server.h"
#include "tests/serial/test_owner.h"

namespace quill {
namespace {

using namespace std::chrono_literals;
using test::TestOwner;

constexpr std::uint32_t kPort = 3;
constexpr auto kWait = 10s;

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

bool EndsWith(const std::vector<std::uint8_t>& bytes, std::string_view tail) {
    return bytes.size() >= tail.size() &&
           std::equal(tail.begin(), tail.end(), bytes.end() - static_cast<std::ptrdiff_t>(tail.size()));
}

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(sim.start()); }

    bool open(std::uint32_t rate = 57600, std::uint32_t writeBufferSize = 512,
              std::uint32_t mask = EV_RXCHAR | EV_RXFLAG) {
        return port.OpenPort(&owner, kPort, rate, 'N', 8, 1, mask, writeBufferSize, sim.devicePath());
    }
    // Opens, starts and waits for the DTU's announcement: the worker purges
    // the line when it starts, so nothing is sent to it before it answered.
    bool openAndStart(std::uint32_t rate = 57600, std::uint32_t writeBufferSize = 512) {
        if (!open(rate, writeBufferSize) || !port.StartWorker()) return false;
        const std::uint8_t poll = 0x37;
        if (!port.SendBytes(&poll, 1) || !port.waitForWrites(1, kWait)) return false;
        if (!owner.waitFor([](TestOwner& o) { return !o.bytesUnlocked().empty(); })) return false;
        owner.runOnLoop([] {});  // the announcement's batch is over
        const bool announced = owner.bytes() == std::vector<std::uint8_t>{0x6C};
        owner.clear();
        writesAtStart_ = port.completedWrites();
        return announced;
    }
    // What the DTU received after the handshake poll byte.
    std::vector<std::uint8_t> simGot() const {
        auto got = sim.received();
        if (!got.empty() && got.front() == 0x37) got.erase(got.begin());
        return got;
    }
    bool simReceived(std::string_view text) {
        return sim.waitFor([&] { return simGot() == Bytes(text); }, kWait);
    }
    // Write requests carried out since openAndStart.
    bool writesDone(std::uint64_t n) { return port.waitForWrites(writesAtStart_ + n, kWait); }
    std::uint64_t writesSinceStart() const { return port.completedWrites() - writesAtStart_; }

    std::uint64_t writesAtStart_ = 0;

    // Destroyed in reverse: the engine goes first, then the owner, then the line.
    DtuServer sim;
    TestOwner owner;
    CSerialPort port;
};

TEST_F(SerialPortTest, EveryByteValueArrivesUnchangedAndInOrder) {
    ASSERT_TRUE(openAndStart());
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    sim.send(all);
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return o.bytesUnlocked().size() >= 256; }));
    EXPECT_EQ(owner.bytes(), all);
    for (const std::uint32_t lParam : owner.ports()) EXPECT_EQ(lParam, kPort);
    // With EV_RXFLAG in the mask each wake-up ends with the event-character
    // notification, which follows the last byte within its batch.
    owner.runOnLoop([] {});
    const auto messages = owner.messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), WM_PORT_RX_BYTE), 256);
    EXPECT_NE(std::find(messages.begin(), messages.end(), WM_PORT_EVENT_CHAR), messages.end());
    EXPECT_EQ(messages.front(), WM_PORT_RX_BYTE);
    EXPECT_TRUE(owner.errors().empty());
}

TEST_F(SerialPortTest, EveryPollByteIsAnsweredByTheAnnouncement) {
    ASSERT_TRUE(openAndStart());  // the first poll
    const std::uint8_t poll = 0x37;
    ASSERT_TRUE(port.SendBytes(&poll, 1));
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return !o.bytesUnlocked().empty(); }));
    EXPECT_EQ(owner.bytes(), std::vector<std::uint8_t>{0x6C});
    EXPECT_EQ(sim.counters().pollBytes, 2u);
    EXPECT_EQ(sim.counters().announcements, 2u);
}

TEST_F(SerialPortTest, TwoSendsBeforeTheWorkerTakesTheFirstWriteOnlyTheSecond) {
    // The worker waits while the owner handles a byte, so both requests land
    // before it can take the first.
    owner.onMessage = [this](std::uint32_t message, std::uint32_t wParam) {
        if (message != WM_PORT_RX_BYTE || wParam != 0x01) return;
        EXPECT_TRUE(port.SendBytes(Bytes("first")));
        EXPECT_TRUE(port.SendBytes(Bytes("second")));
    };
    ASSERT_TRUE(openAndStart());
    sim.send({0x01});
    ASSERT_TRUE(writesDone(1));
    ASSERT_TRUE(simReceived("second")) << simGot().size();
    EXPECT_EQ(writesSinceStart(), 1u);
}

TEST_F(SerialPortTest, AZeroByteSendStillPurgesTheLine) {
    // 10000 bytes to a DTU that does not read: the kernel holds them, most of
    // them not yet delivered. The empty send must throw those away.
    ASSERT_TRUE(openAndStart(57600, 16384));
    sim.setReading(false);
    ASSERT_TRUE(port.SendBytes(std::vector<std::uint8_t>(10000, 'a')));
    ASSERT_TRUE(writesDone(1));
    ASSERT_TRUE(port.SendBytes(nullptr, 0));
    ASSERT_TRUE(writesDone(2));
    ASSERT_TRUE(sim.writeAsTool(Bytes("END")));  // marks the end of what is left
    sim.setReading(true);
    ASSERT_TRUE(sim.waitFor([&] { return EndsWith(simGot(), "END"); }, kWait));
    const auto got = simGot();
    EXPECT_LT(got.size(), 10003u);
    EXPECT_TRUE(std::all_of(got.begin(), got.end() - 3, [](std::uint8_t b) { return b == 'a'; }));
}

struct SlotCase {
    const char* name;
    bool text;             // SendText rather than SendBytes
    std::uint32_t length;  // bytes or characters
    bool accepted;
};

class WriteSlotTest : public SerialPortTest, public ::testing::WithParamInterface<SlotCase> {};

TEST_P(WriteSlotTest, RequestsBeyondTheSlotAreRefusedWhole) {
    constexpr std::uint32_t kSlot = 16;
    const SlotCase c = GetParam();
    const std::string payload(c.length, 'x');
    bool result = false;
    // Made while the worker waits for the owner: a refused request must leave
    // the earlier one in the slot, untouched.
    owner.onMessage = [&](std::uint32_t message, std::uint32_t wParam) {
        if (message != WM_PORT_RX_BYTE || wParam != 0x01) return;
        EXPECT_TRUE(port.SendBytes(Bytes("keep")));
        result = c.text ? port.SendText(payload.c_str()) : port.SendBytes(Bytes(payload));
    };
    ASSERT_TRUE(openAndStart(57600, kSlot));
    sim.send({0x01});
    ASSERT_TRUE(writesDone(1));
    EXPECT_EQ(result, c.accepted);
    EXPECT_TRUE(simReceived(c.accepted ? payload : "keep"));
}

INSTANTIATE_TEST_SUITE_P(Bounds, WriteSlotTest,
                         ::testing::Values(SlotCase{"BytesFillingTheSlot", false, 16, true},
                                           SlotCase{"BytesOneOver", false, 17, false},
                                           SlotCase{"TextLeavingRoomForTheTerminator", true, 15, true},
                                           SlotCase{"TextWithNoRoomForTheTerminator", true, 16, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialPortTest, RequestsWithoutBytesOrSlotAreRefused) {
    EXPECT_FALSE(port.SendBytes(Bytes("x")));  // never opened: no slot yet
    ASSERT_TRUE(open());
    EXPECT_FALSE(port.SendText(nullptr));
    EXPECT_FALSE(port.SendBytes(nullptr, 1));
    EXPECT_TRUE(port.SendBytes(nullptr, 0));
}

TEST_F(SerialPortTest, OpeningFromAHandlerStopsTheWorkerPurgesAndReopens) {
    bool reopened = false;
    owner.onMessage = [&](std::uint32_t message, std::uint32_t wParam) {
        if (message != WM_PORT_RX_BYTE || wParam != 'B' || reopened) return;
        // Bytes that wait in the port when it is reopened must be gone.
        sim.send(Bytes("OLD"));
        ASSERT_TRUE(sim.waitForToolInput(3, kWait));
        reopened = port.OpenPort(&owner, kPort, 9600, 'N', 8, 1, EV_RXCHAR, 512, sim.devicePath());
        EXPECT_TRUE(port.StartWorker());
    };
    ASSERT_TRUE(openAndStart());
    sim.send(Bytes("B"));
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return !o.bytesUnlocked().empty(); }));
    owner.runOnLoop([] {});
    ASSERT_TRUE(reopened);
    EXPECT_EQ(sim.lineRate(), 9600u);
    const std::uint8_t poll = 0x37;
    ASSERT_TRUE(port.SendBytes(&poll, 1));
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return EndsWith(o.bytesUnlocked(), "l"); }));
    EXPECT_EQ(owner.bytes(), Bytes("Bl"));  // 'l' is the announcement 0x6C
}

TEST_F(SerialPortTest, AStopWithoutWorkerIsResetByTheNextOpen) {
    ASSERT_TRUE(open());
    port.RequestStop();
    // A stop left signalled would end the new worker before it answers anything.
    ASSERT_TRUE(openAndStart());
    EXPECT_TRUE(port.IsOpen());
}

// A request queued while no worker runs never reaches the line: the next
// open starts from an empty slot.
TEST_F(SerialPortTest, ASendWithoutAWorkerIsDiscardedByTheNextOpen) {
    ASSERT_TRUE(open());
    ASSERT_TRUE(port.SendBytes(Bytes("stale")));
    ASSERT_TRUE(openAndStart());
    ASSERT_TRUE(port.SendBytes(Bytes("new")));
    ASSERT_TRUE(writesDone(1));
    ASSERT_TRUE(simReceived("new")) << simGot().size();
}

// Every write first discards what is unread on the line, but received data
// comes before a write request: bytes that arrive while the owner handles a
// byte and then asks for a write are read and handed over before the write
// (and its purge) happens, so none of them is lost.
TEST_F(SerialPortTest, BytesWaitingWhenAWriteIsRequestedAreHandedOverFirst) {
    owner.onMessage = [this](std::uint32_t message, std::uint32_t wParam) {
        if (message != WM_PORT_RX_BYTE || wParam != 0x01) return;
        sim.send(Bytes("XYZ"));
        EXPECT_TRUE(sim.waitForToolInput(3, kWait));
        EXPECT_TRUE(port.SendBytes(Bytes("w")));
    };
    ASSERT_TRUE(openAndStart());
    sim.send({0x01});
    ASSERT_TRUE(writesDone(1));
    ASSERT_TRUE(simReceived("w"));
    sim.send({0x02});  // marks the end of what the owner is handed
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return EndsWith(o.bytesUnlocked(), "\x02"); }));
    EXPECT_EQ(owner.bytes(), (std::vector<std::uint8_t>{0x01, 'X', 'Y', 'Z', 0x02}));
}

struct AbsentCase {
    const char* name;
    std::string path;
    std::uint32_t portNumber;
    SerialPortErrorKind kind;
    const char* text;
};

class AbsentDeviceTest : public ::testing::TestWithParam<AbsentCase> {};

TEST_P(AbsentDeviceTest, OpenFailsWithoutABox) {
    const AbsentCase& c = GetParam();
    TestOwner owner;
    CSerialPort port;
    EXPECT_FALSE(port.OpenPort(&owner, c.portNumber, 57600, 'N', 8, 1, EV_RXCHAR, 512, c.path));
    const std::optional<SerialPortError> error = port.lastOpenError();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->kind, c.kind);
    EXPECT_EQ(error->text, c.text);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.StartWorker());
    EXPECT_TRUE(owner.errors().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Devices, AbsentDeviceTest,
    ::testing::Values(AbsentCase{"MissingPath", "/dev/quillmere-no-such-port", 1,
                                 SerialPortErrorKind::Missing, "No such file or directory"},
                      AbsentCase{"PortNumberWithoutDevice", "", 200, SerialPortErrorKind::Missing,
                                 "No such file or directory"},  // /dev/ttyS199
                      AbsentCase{"Directory", "/tmp", 1, SerialPortErrorKind::Other, "Is a directory"},
                      AbsentCase{"NotATerminal", "/dev/null", 1, SerialPortErrorKind::NotASerialPort,
                                 "Inappropriate ioctl for device"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialPortTest, ASecondOpenOfABusyDeviceFailsUntilTheFirstCloses) {
    ASSERT_TRUE(openAndStart());
    TestOwner otherOwner;
    CSerialPort other;
    EXPECT_FALSE(other.OpenPort(&otherOwner, kPort, 57600, 'N', 8, 1, EV_RXCHAR, 512, sim.devicePath()));
    EXPECT_EQ(other.lastOpenError(), (SerialPortError{SerialPortErrorKind::Busy, "Device or resource busy"}));
    EXPECT_TRUE(otherOwner.errors().empty());

    // The first holder is unharmed by the attempt.
    sim.send(Bytes("ok"));
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return EndsWith(o.bytesUnlocked(), "ok"); }));

    port.RequestStop();
    // Any open waits for the stopping worker, which closes the device first.
    EXPECT_FALSE(port.OpenPort(&owner, kPort, 57600, 'N', 8, 1, EV_RXCHAR, 512, "/dev/null"));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(other.OpenPort(&otherOwner, kPort, 57600, 'N', 8, 1, EV_RXCHAR, 512, sim.devicePath()));
}

TEST_F(SerialPortTest, AThousandOpenStopCyclesWhileFloodingFinish) {
    std::atomic<bool> stopFromHandler{false};
    std::atomic<int> stopsInHandler{0};
    owner.onMessage = [&](std::uint32_t message, std::uint32_t) {
        if (message == WM_PORT_RX_BYTE && stopFromHandler.exchange(false)) {
            port.RequestStop();
            ++stopsInHandler;
        }
    };
    sim.setWireRate(0);  // a worker busy with bytes at every stop
    sim.setFlood(true);
    constexpr int kCycles = 1000;
    for (int i = 0; i < kCycles; ++i) {
        owner.runOnLoop([&] {
            ASSERT_TRUE(open());
            ASSERT_TRUE(port.StartWorker());
        });
        if (i % 2 == 0) {
            owner.runOnLoop([&] { port.RequestStop(); });
        } else {
            // A stop from inside a handler, while the worker waits for that very handler.
            stopFromHandler = true;
            ASSERT_TRUE(owner.waitFor([&](TestOwner&) { return !stopFromHandler; }, kWait)) << "cycle " << i;
        }
    }
    owner.runOnLoop([&] { port.RequestStop(); });
    sim.setFlood(false);
    EXPECT_EQ(stopsInHandler, kCycles / 2);
    EXPECT_FALSE(owner.bytes().empty());
    EXPECT_TRUE(owner.errors().empty());
    EXPECT_TRUE(owner.lost().empty());
}

TEST_F(SerialPortTest, ADeviceVanishingMidStreamEndsInOneReportAndAClosedPort) {
    sim.setWireRate(0);
    sim.setFlood(true);
    ASSERT_TRUE(open());
    ASSERT_TRUE(port.StartWorker());
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return o.bytesUnlocked().size() > 1000; }));
    sim.vanish();
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return o.lostCountUnlocked() > 0; }));
    owner.runOnLoop([] {});  // anything posted before the report has run now
    EXPECT_EQ(owner.lost(), std::vector<std::uint32_t>{kPort});
    EXPECT_TRUE(owner.errors().empty());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.StartWorker());
    // Sending afterwards does no harm and raises nothing.
    EXPECT_TRUE(port.SendBytes(Bytes("late")));
    owner.runOnLoop([] {});
    EXPECT_TRUE(owner.errors().empty());
}

TEST(SerialPortLifetime, ABatchStillQueuedWhenTheEngineIsDestroyedDeliversNothing) {
    DtuServer sim;
    ASSERT_TRUE(sim.start());
    TestOwner owner;
    auto port = std::make_unique<CSerialPort>();
    ASSERT_TRUE(port->OpenPort(&owner, kPort, 57600, 'N', 8, 1, EV_RXCHAR, 512, sim.devicePath()));
    ASSERT_TRUE(port->StartWorker());
    const std::uint8_t poll = 0x37;
    ASSERT_TRUE(port->SendBytes(&poll, 1));  // past the worker's opening purge once answered
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return !o.bytesUnlocked().empty(); }));
    owner.runOnLoop([] {});
    owner.clear();

    // The owner is busy; the worker posts its batch behind that and waits.
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    owner.postToOwner([&started, released] {
        started.set_value();
        released.wait();
    });
    started.get_future().wait();
    sim.send(Bytes("late"));
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return o.queuedTasksUnlocked() >= 1; }));

    auto destroyed = std::async(std::launch::async, [&] { port.reset(); });
    EXPECT_EQ(destroyed.wait_for(kWait), std::future_status::ready);
    release.set_value();
    destroyed.wait();
    owner.runOnLoop([] {});  // the stale batch has run by now
    EXPECT_TRUE(owner.bytes().empty());
    EXPECT_TRUE(owner.messages().empty());
}

struct ErrorBoxCase {
    const char* name;
    std::uint32_t rate;
    char parity;
    std::uint32_t dataBits;
    std::uint32_t stopBits;
    const char* text;
};

class ErrorBoxTest : public SerialPortTest, public ::testing::WithParamInterface<ErrorBoxCase> {};

TEST_P(ErrorBoxTest, ASettingThatFailsShowsOneBoxAndTheClosedPortStaysOpen) {
    const ErrorBoxCase& c = GetParam();
    EXPECT_TRUE(port.OpenPort(&owner, kPort, c.rate, c.parity, c.dataBits, c.stopBits, EV_RXCHAR, 512,
                              sim.devicePath()));
    // Shown on the calling thread before OpenPort returns.
    EXPECT_EQ(owner.errors(), std::vector<std::string>{c.text});
    EXPECT_TRUE(port.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ErrorBoxTest,
    ::testing::Values(
        ErrorBoxCase{
            "UnknownParity", 57600, 'X', 8, 1,
            "WARNING:  BuildCommDCB() Failed with the following error: \nInvalid argument\nPort: 3\n"},
        ErrorBoxCase{
            "NineDataBits", 57600, 'N', 9, 1,
            "WARNING:  BuildCommDCB() Failed with the following error: \nInvalid argument\nPort: 3\n"},
        ErrorBoxCase{
            "ThreeStopBits", 57600, 'N', 8, 3,
            "WARNING:  BuildCommDCB() Failed with the following error: \nInvalid argument\nPort: 3\n"},
        ErrorBoxCase{
            "RateTheLineCannotRun", 5000000, 'N', 8, 1,
            "WARNING:  SetCommState() Failed with the following error: \nInvalid argument\nPort: 3\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ComposeErrorText, KeepsALongPlatformTextWhole) {
    const std::string platformText(600, 'e');
    const std::string text = ComposeErrorText("WriteFile()", platformText, 10);
    EXPECT_EQ(text,
              "WARNING:  WriteFile() Failed with the following error: \n" + platformText + "\nPort: 10\n");
}

enum class Setup { NeverOpened, OpenedOnly, OpenedAndStopped, OpenedWithPendingSend };

class NeverStartedTest : public ::testing::TestWithParam<Setup> {};

TEST_P(NeverStartedTest, DestroyingAnEngineWhoseWorkerNeverRanDoesNotWait) {
    DtuServer sim;
    ASSERT_TRUE(sim.start());
    TestOwner owner;
    auto port = std::make_unique<CSerialPort>();
    if (GetParam() != Setup::NeverOpened) {
        ASSERT_TRUE(port->OpenPort(&owner, kPort, 57600, 'N', 8, 1, EV_RXCHAR, 512, sim.devicePath()));
    }
    if (GetParam() == Setup::OpenedAndStopped) port->RequestStop();
    if (GetParam() == Setup::OpenedWithPendingSend) {
        ASSERT_TRUE(port->SendBytes(Bytes("never")));
    }
    auto done = std::async(std::launch::async, [&] { port.reset(); });
    EXPECT_EQ(done.wait_for(2s), std::future_status::ready);
    done.wait();
    EXPECT_TRUE(sim.received().empty());
    EXPECT_TRUE(owner.errors().empty());
}

INSTANTIATE_TEST_SUITE_P(Setups, NeverStartedTest,
                         ::testing::Values(Setup::NeverOpened, Setup::OpenedOnly, Setup::OpenedAndStopped,
                                           Setup::OpenedWithPendingSend));

}  // namespace
}  // namespace quill
