// The Win32 serial layer against a fake driver (fake_port.h), alone and under
// the engine: what Wine cannot show. The layer on a real port under Wine is
// line_test.cpp.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <chrono>
#include <future>
#include <string>

#include "serial/serial_platform.h"
#include "serial/serial_port.h"
#include "tests/serial/test_owner.h"
#include "tests/serial/win32/fake_port.h"

namespace quill::platform {
namespace {

using namespace std::chrono_literals;
using test::FakePort;
using test::TestOwner;
using Ending = FakePort::Ending;

constexpr std::uint32_t kPort = 4;
constexpr auto kWait = 10s;

// A device opened through the layer on the fake driver, with the engine's
// time-outs and mask, and a stop and a write event.
class FakeDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const OpenOutcome opened = OpenDevice("COM4");
        ASSERT_EQ(opened.error, 0);
        device = opened.device;
        ASSERT_EQ(SetTimeouts(device, Timeouts{1000, 1000, 1000, 1000, 1000}), 0);
        ASSERT_EQ(SetEventMask(device, EV_RXCHAR | EV_RXFLAG), 0);
        ASSERT_EQ(stop.create(), 0);
        ASSERT_EQ(write.create(), 0);
    }
    void TearDown() override { CloseDevice(device); }

    FakePort fake;
    Device device;
    Event stop;
    Event write;
};

TEST_F(FakeDeviceTest, WaitPrefersStopOverTheLineOverAWriteAndLeavesNothingPending) {
    write.set();
    EXPECT_EQ(WaitFirst(stop, device, write, true), WaitOutcome::Write);
    EXPECT_FALSE(fake.anythingPending());  // the armed wait was ended before returning
    write.reset();

    fake.receive(3);
    EXPECT_EQ(WaitFirst(stop, device, write, true), WaitOutcome::LineEvent);

    // Stop and a line event at once: the stop wins, and the wait is ended.
    fake.eventForQueued = false;
    fake.onArm = [&] {
        stop.set();
        fake.receive(1);
    };
    EXPECT_EQ(WaitFirst(stop, device, write, true), WaitOutcome::Stop);
    EXPECT_FALSE(fake.anythingPending());

    // Stop already signalled: no wait is armed at all.
    fake.onArm = nullptr;
    const std::uint64_t waits = fake.waitCalls();
    EXPECT_EQ(WaitFirst(stop, device, write, true), WaitOutcome::Stop);
    EXPECT_EQ(fake.waitCalls(), waits);
}

TEST_F(FakeDeviceTest, AStopEndsTheWaitEvenWhenTheDriverRefusesTheNewMask) {
    // A device on its way out may refuse the mask that would end the wait.
    fake.onArm = [&] {
        fake.maskError = ERROR_GEN_FAILURE;
        stop.set();
    };
    auto waited = std::async(std::launch::async, [&] { return WaitFirst(stop, device, write, false); });
    const bool ended = waited.wait_for(kWait) == std::future_status::ready;
    if (!ended) fake.receive(1);  // let the stuck wait go before failing
    ASSERT_TRUE(ended) << "the wait was left pending";
    EXPECT_EQ(waited.get(), WaitOutcome::Stop);
    EXPECT_FALSE(fake.anythingPending());
    EXPECT_EQ(fake.cancels(), 1u);
}

TEST_F(FakeDeviceTest, BytesQueuedBeforeTheWaitWakeItAtOnce) {
    // Windows raises EV_RXCHAR only for bytes that arrive while a wait is
    // armed; bytes already queued must not be left waiting for the next one.
    fake.eventForQueued = false;
    fake.receive(5);
    EXPECT_EQ(WaitFirst(stop, device, write, true), WaitOutcome::LineEvent);
    EXPECT_FALSE(fake.anythingPending());
    std::array<std::uint8_t, 16> buffer{};
    EXPECT_EQ(ReadAvailable(device, buffer).count, 5u);
}

struct LossCase {
    const char* name;
    DWORD waitError;  // how the pending wait ends (0: with an event)
    DWORD callError;  // how every later call fails
};

class LossTest : public FakeDeviceTest, public ::testing::WithParamInterface<LossCase> {};

TEST_P(LossTest, ADeviceGoneMidWaitEndsTheWaitOrTheReadAsLost) {
    const LossCase& c = GetParam();
    fake.onArm = [&] { fake.unplug(c.waitError, c.callError); };
    // Either ends the worker as lost: the wait itself failing, or the port's
    // status failing right after the wait was armed.
    EXPECT_EQ(WaitFirst(stop, device, write, true), WaitOutcome::Failed);
    EXPECT_EQ(fake.waitCalls(), 1u);
    std::array<std::uint8_t, 8> buffer{};
    const TransferOutcome read = ReadAvailable(device, buffer);
    EXPECT_TRUE(read.lost);
    EXPECT_EQ(read.error, static_cast<int>(c.callError));
    const std::uint8_t byte = 0x37;
    EXPECT_TRUE(WriteAll(device, std::span(&byte, 1), stop, 1000).lost);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, LossTest,
    ::testing::Values(LossCase{"AbortedThenNotReady", ERROR_OPERATION_ABORTED, ERROR_NOT_READY},
                      LossCase{"AbortedThenBadCommand", ERROR_OPERATION_ABORTED, ERROR_BAD_COMMAND},
                      LossCase{"NotConnected", ERROR_DEVICE_NOT_CONNECTED, ERROR_DEVICE_NOT_CONNECTED},
                      LossCase{"EventThenBrokenPipe", 0, ERROR_BROKEN_PIPE},
                      LossCase{"EventThenAccessDenied", 0, ERROR_ACCESS_DENIED},
                      LossCase{"EventThenGeneralFailure", 0, ERROR_GEN_FAILURE}),
    [](const auto& info) { return std::string(info.param.name); });

struct TimeoutCase {
    const char* name;
    Ending ending;
    bool asynchronous;
};

class TimeoutTest : public FakeDeviceTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(TimeoutTest, AReadThatTimesOutGotNothingAndIsNoFault) {
    fake.receive(4);
    fake.readEnding = GetParam().ending;
    fake.asynchronous = GetParam().asynchronous;
    std::array<std::uint8_t, 8> buffer{};
    const TransferOutcome read = ReadAvailable(device, buffer);
    EXPECT_EQ(read.count, 0u);
    EXPECT_EQ(read.error, 0);
    EXPECT_FALSE(read.lost);
}

TEST_P(TimeoutTest, AWriteThatTimesOutIsATimeOutWhileWaitingAndNoLoss) {
    fake.writeEnding = GetParam().ending;
    fake.asynchronous = GetParam().asynchronous;
    const std::array<std::uint8_t, 3> bytes{1, 2, 3};
    const TransferOutcome put = WriteAll(device, bytes, stop, 1000);
    EXPECT_EQ(put.count, 0u);
    EXPECT_EQ(put.error, ERROR_TIMEOUT);
    EXPECT_TRUE(put.pending);  // the engine reports no box for it
    EXPECT_FALSE(put.lost);
}

INSTANTIATE_TEST_SUITE_P(Flavours, TimeoutTest,
                         ::testing::Values(TimeoutCase{"WineAtOnce", Ending::TimeoutWine, false},
                                           TimeoutCase{"WineLater", Ending::TimeoutWine, true},
                                           TimeoutCase{"WindowsAtOnce", Ending::TimeoutWindows, false},
                                           TimeoutCase{"WindowsLater", Ending::TimeoutWindows, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FakeDeviceTest, AWriteTheDriverNeverEndsIsCancelledAtTheDeadline) {
    fake.writeEnding = Ending::Hang;
    const std::array<std::uint8_t, 3> bytes{1, 2, 3};
    const TransferOutcome put = WriteAll(device, bytes, stop, 30);
    EXPECT_EQ(put.error, ERROR_TIMEOUT);
    EXPECT_TRUE(put.pending);
    EXPECT_EQ(fake.cancels(), 1u);
    EXPECT_FALSE(fake.anythingPending());
}

TEST_F(FakeDeviceTest, AStopEndsAPendingWriteQuietly) {
    fake.writeEnding = Ending::Hang;
    const std::array<std::uint8_t, 3> bytes{1, 2, 3};
    stop.set();
    const TransferOutcome put = WriteAll(device, bytes, stop, 60000);
    EXPECT_EQ(put.error, 0);
    EXPECT_FALSE(put.lost);
    EXPECT_EQ(fake.cancels(), 1u);
    EXPECT_FALSE(fake.anythingPending());
}

TEST_F(FakeDeviceTest, AWriteThatFailsAtOnceIsReportedAsItsError) {
    fake.writeEnding = Ending::Fail;
    fake.failure = ERROR_INVALID_PARAMETER;
    const std::array<std::uint8_t, 1> bytes{1};
    const TransferOutcome put = WriteAll(device, bytes, stop, 1000);
    EXPECT_EQ(put.error, ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(put.pending);
    EXPECT_FALSE(put.lost);
}

TEST_F(FakeDeviceTest, LineSettingsTurnEveryHandshakeOffAndRaiseRts) {
    LineSettings settings;
    ASSERT_EQ(GetLineSettings(device, settings), 0);
    EXPECT_EQ(settings.rate, 9600u);  // as the port was left
    EXPECT_EQ(settings.parity, 'E');
    settings.eventChar = 'q';
    settings.rtsAsserted = true;
    ASSERT_EQ(BuildLineSettings("baud=57600 parity=N data=8 stop=1", settings), 0);
    ASSERT_EQ(ApplyLineSettings(device, settings), 0);
    const DCB dcb = fake.appliedState();
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_FALSE(dcb.fParity);
    EXPECT_TRUE(dcb.fBinary);
    EXPECT_FALSE(dcb.fOutxCtsFlow);
    EXPECT_FALSE(dcb.fOutxDsrFlow);
    EXPECT_FALSE(dcb.fDsrSensitivity);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_FALSE(dcb.fOutX);
    EXPECT_FALSE(dcb.fInX);
    EXPECT_FALSE(dcb.fAbortOnError);  // an error would otherwise stop every transfer
    EXPECT_FALSE(dcb.fErrorChar);
    EXPECT_FALSE(dcb.fNull);
    EXPECT_EQ(dcb.EvtChar, 'q');

    ASSERT_EQ(BuildLineSettings("baud=300 parity=o data=7 stop=2", settings), 0);
    ASSERT_EQ(ApplyLineSettings(device, settings), 0);
    EXPECT_EQ(fake.appliedState().Parity, ODDPARITY);
    EXPECT_TRUE(fake.appliedState().fParity);
    EXPECT_EQ(fake.appliedState().StopBits, TWOSTOPBITS);
    ASSERT_EQ(GetLineSettings(device, settings), 0);
    EXPECT_EQ(settings.parity, 'O');
    EXPECT_EQ(settings.stopBits, 2u);
    EXPECT_TRUE(settings.rtsAsserted);
}

struct NameCase {
    const char* given;
    const wchar_t* opened;
};

class DeviceNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(DeviceNameTest, PlainComNamesGetTheDevicePrefix) {
    FakePort fake;
    OpenOutcome opened = OpenDevice(GetParam().given);
    ASSERT_EQ(opened.error, 0);
    EXPECT_EQ(fake.openedName(), GetParam().opened);
    CloseDevice(opened.device);
    EXPECT_EQ(fake.closes(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Names, DeviceNameTest,
                         ::testing::Values(NameCase{"COM3", L"\\\\.\\COM3"},
                                           NameCase{"com12", L"\\\\.\\com12"},
                                           NameCase{"\\\\.\\COM7", L"\\\\.\\COM7"}, NameCase{"COMX", L"COMX"},
                                           NameCase{"COM", L"COM"}));

TEST(PlatformTest, AModeStringThatDoesNotParseIsAnInvalidParameter) {
    LineSettings settings;
    EXPECT_EQ(BuildLineSettings("baud=57600 parity=X data=8 stop=1", settings), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(BuildLineSettings("baud=57600 parity=N data=8 stop=1", settings), 0);
    EXPECT_EQ(settings.rate, 57600u);
}

TEST(PlatformTest, SomethingWithoutLineSettingsIsNoPortAndIsClosedAgain) {
    FakePort fake;
    fake.commStateError = ERROR_INVALID_FUNCTION;
    const OpenOutcome opened = OpenDevice("COM2");
    EXPECT_EQ(opened.error, ERROR_INVALID_FUNCTION);
    EXPECT_EQ(OpenError(opened.error, opened.noLineSettings).kind, SerialPortErrorKind::NotASerialPort);
    EXPECT_FALSE(opened.device.isOpen());
    EXPECT_EQ(fake.closes(), 1u);
}

TEST(PlatformTest, EachOpenErrorCodeHasItsKind) {
    struct Case {
        int code;
        bool noLineSettings;
        SerialPortErrorKind kind;
    };
    const Case cases[] = {
        {ERROR_FILE_NOT_FOUND, false, SerialPortErrorKind::Missing},
        {ERROR_PATH_NOT_FOUND, false, SerialPortErrorKind::Missing},
        {ERROR_INVALID_NAME, false, SerialPortErrorKind::Missing},
        {ERROR_ACCESS_DENIED, false, SerialPortErrorKind::Busy},
        {ERROR_SHARING_VIOLATION, false, SerialPortErrorKind::Busy},
        {ERROR_GEN_FAILURE, false, SerialPortErrorKind::Other},
        {ERROR_INVALID_FUNCTION, true, SerialPortErrorKind::NotASerialPort},
    };
    for (const Case& c : cases) {
        const SerialPortError error = OpenError(c.code, c.noLineSettings);
        EXPECT_EQ(error.kind, c.kind) << c.code;
        EXPECT_EQ(error.text, ErrorText(c.code));
    }
}

TEST(PlatformTest, ErrorTextsComeFromTheSystemTableWithoutTheLineBreak) {
    const std::string text = ErrorText(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.rfind("Unknown error", 0), 0u);
    // A code with the customer bit set has no text in the system table.
    EXPECT_EQ(ErrorText(0x20001234), "Unknown error 536875572");
}

// ---- The engine on the fake driver ------------------------------------------

class FakeEngineTest : public ::testing::Test {
  protected:
    bool open(std::uint32_t rate = 57600) {
        return port.OpenPort(&owner, kPort, rate, 'N', 8, 1, EV_RXCHAR | EV_RXFLAG, 512, "COM4");
    }

    FakePort fake;  // outlives the engine, which closes the device through it
    TestOwner owner;
    CSerialPort port;
};

TEST_F(FakeEngineTest, APortHeldByAnotherProgramTakesTheBusyPath) {
    for (const DWORD busy :
         {static_cast<DWORD>(ERROR_ACCESS_DENIED), static_cast<DWORD>(ERROR_SHARING_VIOLATION)}) {
        fake.openError = busy;
        EXPECT_FALSE(open());
        EXPECT_EQ(port.lastOpenError(),
                  (SerialPortError{SerialPortErrorKind::Busy, ErrorText(static_cast<int>(busy))}));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_FALSE(port.StartWorker());
    }
    EXPECT_TRUE(owner.errors().empty());  // no box: the caller explains
}

TEST_F(FakeEngineTest, OpeningAppliesTheEngineSettings) {
    ASSERT_TRUE(open());
    const COMMTIMEOUTS t = fake.appliedTimeouts();
    EXPECT_EQ(t.ReadIntervalTimeout, 1000u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 1000u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 1000u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 1000u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
    EXPECT_EQ(fake.mask(), static_cast<DWORD>(EV_RXCHAR | EV_RXFLAG));
    EXPECT_EQ(fake.appliedState().BaudRate, 57600u);
    EXPECT_EQ(fake.appliedState().EvtChar, 'q');
    EXPECT_EQ(fake.appliedState().fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_TRUE(owner.errors().empty());
}

TEST_F(FakeEngineTest, ARateNoLineRunsShowsTheSetCommStateBox) {
    EXPECT_TRUE(open(5000000));
    EXPECT_EQ(owner.errors(), std::vector<std::string>{ComposeErrorText(
                                  "SetCommState()", ErrorText(ERROR_INVALID_PARAMETER), kPort)});
    EXPECT_TRUE(port.IsOpen());
}

// A read that fails at once, and one whose wait for completion fails: the box
// names the step that failed.
class FakeEngineReadFailureTest : public FakeEngineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FakeEngineReadFailureTest, TheBoxNamesTheStepThatFailed) {
    const bool pending = GetParam();
    fake.readEnding = Ending::Fail;
    fake.failure = ERROR_CRC;
    fake.asynchronous = pending;
    ASSERT_TRUE(open());
    ASSERT_TRUE(port.StartWorker());
    ASSERT_TRUE(fake.waitForArmedWaits(1, kWait));
    fake.receive(1);
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return o.errorCountUnlocked() > 0; }, kWait));
    port.RequestStop();
    EXPECT_EQ(owner.errors().front(),
              ComposeErrorText(pending ? "GetOverlappedResults() in ReadFile()" : "ReadFile()",
                               ErrorText(ERROR_CRC), kPort));
    EXPECT_TRUE(owner.lost().empty());  // a failed read is no lost device
}

INSTANTIATE_TEST_SUITE_P(Steps, FakeEngineReadFailureTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Completion" : "Read"; });

class FakeEngineLossTest : public FakeEngineTest, public ::testing::WithParamInterface<LossCase> {};

TEST_P(FakeEngineLossTest, ALossMidWaitIsReportedOnceAndTheWorkerEnds) {
    ASSERT_TRUE(open());
    ASSERT_TRUE(port.StartWorker());
    ASSERT_TRUE(fake.waitForArmedWaits(1, kWait));  // past the worker's opening purge
    fake.receive(2);
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return o.bytesUnlocked().size() == 2; }, kWait));
    ASSERT_TRUE(fake.waitForArmedWaits(2, kWait));
    const std::uint64_t armed = fake.waitCalls();
    fake.unplug(GetParam().waitError, GetParam().callError);
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return o.lostCountUnlocked() > 0; }, kWait));
    // The worker has closed the device and ended: nothing can follow the report.
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.StartWorker());
    owner.runOnLoop([] {});
    EXPECT_EQ(owner.lost(), std::vector<std::uint32_t>{kPort});
    EXPECT_TRUE(owner.errors().empty());
    // No second wait after the loss: a loop that re-armed would spin.
    EXPECT_EQ(fake.waitCalls(), armed);
    EXPECT_EQ(fake.closes(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FakeEngineLossTest,
    ::testing::Values(LossCase{"AbortedThenNotReady", ERROR_OPERATION_ABORTED, ERROR_NOT_READY},
                      LossCase{"BadCommand", ERROR_BAD_COMMAND, ERROR_BAD_COMMAND},
                      LossCase{"NotConnected", ERROR_DEVICE_NOT_CONNECTED, ERROR_DEVICE_NOT_CONNECTED},
                      LossCase{"EventThenNotReady", 0, ERROR_NOT_READY},
                      LossCase{"EventThenBrokenPipe", 0, ERROR_BROKEN_PIPE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FakeEngineTest, AWriteThatTimesOutShowsNoBoxAndTheWorkerGoesOn) {
    fake.writeEnding = Ending::TimeoutWine;
    fake.asynchronous = true;
    ASSERT_TRUE(open());
    ASSERT_TRUE(port.StartWorker());
    ASSERT_TRUE(fake.waitForArmedWaits(1, kWait));
    const std::uint8_t poll = 0x37;
    ASSERT_TRUE(port.SendBytes(&poll, 1));
    ASSERT_TRUE(port.waitForWrites(1, kWait));
    ASSERT_TRUE(fake.waitForArmedWaits(2, kWait));
    fake.receive(1);
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return o.bytesUnlocked().size() == 1; }, kWait));
    EXPECT_TRUE(owner.errors().empty());
    EXPECT_TRUE(owner.lost().empty());
}

TEST_F(FakeEngineTest, AStopEndsAPendingWaitAndClosesTheDevice) {
    ASSERT_TRUE(open());
    ASSERT_TRUE(port.StartWorker());
    ASSERT_TRUE(fake.waitForArmedWaits(1, kWait));
    port.RequestStop();
    // Reopening joins the worker; it returns only once the wait has ended.
    ASSERT_TRUE(open());
    EXPECT_EQ(fake.closes(), 1u);
    EXPECT_FALSE(fake.anythingPending());
    EXPECT_TRUE(owner.lost().empty());
}

}  // namespace
}  // namespace quill::platform
