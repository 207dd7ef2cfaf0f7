// A whole session through the native window, driven by control id: open,
// poll, connect, read, tick and edit, configure, close; the connect time-out
// with its timer's handler called directly; a configure the form refuses;
// a DTU that goes away. Each runs against the port list's built-in simulated
// DTU, and again against a COM port whose far end is the simulated DTU on a
// pseudo-terminal (the Wine test script maps it and names it in
// QUILLMERE_TEST_COM by its number; without it those cases are skipped).
#include "protocol/session.h"

#include <cstdlib>
#include <map>
#include <optional>
#include <set>

#include "form/parameter_fields.h"
#include "protocol/configure_request.h"
#include "protocol/read_answer.h"
#include "protocol/text_codec.h"
#include "sim/simulated_dtu.h"
#include "window_fixture.h"

namespace quill::test {
namespace {

// The information area's reports, as the session and the protocol word them.
constexpr std::string_view kOpenedWait = "<-打开串口成功，请连接DTU...\n\r\n\r";
constexpr std::string_view kClosed = "<-关闭串口成功\n\r\n\r";
constexpr std::string_view kConnected = "<-连接DTU成功！\n\r\n\r";
constexpr std::string_view kTimedOut = "<-连接DTU超时\n\r\n\r";
constexpr std::string_view kReadOk = "<-读取参数成功！\n\r\n\r";
constexpr std::string_view kConfigureOk = "<-配置参数成功！\n\r\n\r";
constexpr std::string_view kConfigureFailed = "<-配置参数失败！\n\r\n\r";
constexpr std::string_view kLost = "<-串口已断开（设备被拔出或关闭）\n\r\n\r";
constexpr std::string_view kStatusClosed = "当前状态：串口已关闭";

enum class Line { Simulated, ComPort };

std::optional<std::string> Env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

// A COM port named by its number in the environment ("5"), as the operator types it ("com5").
std::optional<std::string> ComPortFromEnv(const char* name) {
    const auto number = Env(name);
    if (!number || number->find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    return "com" + *number;
}

// What the window must show after reading a DTU that holds the factory set:
// the protocol's own mapping of that DTU's answer.
std::vector<ItemUpdate> FactoryReadBack() {
    SimulatedDtu dtu;
    const auto request = BuildRequestFrame(0x0B);
    return ApplyReadAnswer(dtu.feed(request));
}

// The fields the flow ticks and edits, with values the configure rules take.
struct Edit {
    int checkBoxId;
    int valueId;
    std::string utf8;
};
const std::vector<Edit> kEdits{
    {1023, 1044, "城西开关站"},   // station name, UCS-2 on the line
    {1051, 1071, "13800001111"},  // super user number
    {1162, 1163, "分"},           // message body 3, state 1
    {1318, 1319, "7"},            // device address, a little-endian word
};

class SessionFlowTest : public WindowTest, public ::testing::WithParamInterface<Line> {
  protected:
    void SetUp() override {
        if (GetParam() == Line::ComPort && !ComPortFromEnv("QUILLMERE_TEST_COM"))
            GTEST_SKIP() << "QUILLMERE_TEST_COM names no COM port with the simulated DTU behind it";
        WindowTest::SetUp();
    }

    void pointAtLine() {
        if (GetParam() == Line::Simulated)
            choose(kPortListId, window->simulatorEntry());
        else
            setText(kPortListId, W(*ComPortFromEnv("QUILLMERE_TEST_COM")));
    }
    std::wstring lineName() const {
        return GetParam() == Line::Simulated ? W(kSimulatorName) : W(*ComPortFromEnv("QUILLMERE_TEST_COM"));
    }

    void open() {
        pointAtLine();
        click(kOpenButtonId);
        ASSERT_TRUE(window->session.portOpen()) << (boxes.empty() ? std::string() : Narrow(boxes[0].text));
        EXPECT_EQ(count(kOpenedWait), 1);
    }
    // Closed -> waiting -> connected: the poll goes out at once rather than after its period.
    void connect() {
        ASSERT_NO_FATAL_FAILURE(open());
        window->OnTimerTick(TIMER_DTU_POLL);
        ASSERT_TRUE(PumpUntil([&] { return window->session.dtuConnected(); }));
        EXPECT_EQ(count(kConnected), 1);
    }

    // Every shown value control against the read-back of the factory set;
    // `changed` names controls that must show another value instead.
    void expectFactoryForm(const std::map<int, std::string>& changed = {}) {
        int checked = 0;
        for (const ItemUpdate& item : FactoryReadBack()) {
            for (const ControlUpdate& update : item.updates) {
                const ControlDef* def = FindControl(update.controlId);
                ASSERT_NE(def, nullptr);
                if (!def->shown) continue;
                ++checked;
                ASSERT_FALSE(update.selectIndex);  // every shown field is an edit
                const auto other = changed.find(update.controlId);
                const std::string expected = other != changed.end() ? Utf8ToGbk(other->second) : update.text;
                const std::u16string wide = GbkToUtf16(expected);
                EXPECT_EQ(text(update.controlId), std::wstring(wide.begin(), wide.end())) << update.controlId;
                EXPECT_EQ(window->member(update.controlId), expected) << update.controlId;
            }
        }
        // Fifteen station and user fields and forty message body fields.
        EXPECT_EQ(checked, 55);
    }

    void configureAndWait(int n) {
        click(kConfigureButtonId);
        ASSERT_TRUE(waitCount(kConfigureOk, n)) << count(kConfigureFailed);
    }
};

TEST_P(SessionFlowTest, OpenConnectReadTickEditConfigureClose) {
    ASSERT_NO_FATAL_FAILURE(connect());
    EXPECT_EQ(text(kStatusLineId), W("当前状态：串口") + lineName() + W("已打开,波特率57600"));
    EXPECT_TRUE(enabled(kReadButtonId));
    EXPECT_TRUE(enabled(kConfigureButtonId));
    EXPECT_FALSE(enabled(kOpenButtonId));
    EXPECT_EQ(window->timerPeriod(TIMER_DTU_POLL), 0);
    EXPECT_EQ(window->timerPeriod(TIMER_CONNECT_TIMEOUT), 0);

    click(kReadButtonId);
    ASSERT_TRUE(waitCount(kReadOk));
    expectFactoryForm();
    // A read fills values, it neither ticks nor enables.
    EXPECT_FALSE(ticked(1023));
    EXPECT_FALSE(enabled(1044));

    std::map<int, std::string> changed;
    for (const Edit& edit : kEdits) {
        click(edit.checkBoxId);
        setText(edit.valueId, W(edit.utf8));
        changed[edit.valueId] = edit.utf8;
    }
    // Changed but not ticked: stays out of the write.
    const std::wstring smsCentre = text(1050);
    setText(1050, L"10086");
    configureAndWait(1);

    if (GetParam() == Line::Simulated) {
        // The DTU stored exactly the ticked fields.
        const DtuItems factory = SimulatedDtu::FactoryItems();
        const DtuItems& stored = window->simulatedLine().dtu().items();
        std::set<std::uint8_t> differing;
        for (const auto& [type, value] : stored)
            if (factory.at(type) != value) differing.insert(type);
        std::set<std::uint8_t> tickedTypes;
        for (const Edit& edit : kEdits) tickedTypes.insert(FindFieldByCheckBox(edit.checkBoxId)->item->type);
        EXPECT_EQ(differing, tickedTypes);
    }

    // Read back what the DTU holds now: the ticked fields changed, the rest did not.
    click(kReadButtonId);
    ASSERT_TRUE(waitCount(kReadOk, 2));
    expectFactoryForm(changed);
    EXPECT_EQ(text(1050), smsCentre);

    if (GetParam() == Line::ComPort) {
        // The DTU behind the COM port outlives this test: give it its factory values back.
        for (const ItemUpdate& item : FactoryReadBack())
            for (const ControlUpdate& update : item.updates)
                if (changed.count(update.controlId) != 0) {
                    const std::u16string wide = GbkToUtf16(update.text);
                    setText(update.controlId, std::wstring(wide.begin(), wide.end()));
                }
        configureAndWait(2);
    }

    click(kCloseButtonId);
    EXPECT_EQ(count(kClosed), 1);
    EXPECT_EQ(text(kStatusLineId), W(kStatusClosed));
    EXPECT_TRUE(enabled(kOpenButtonId));
    EXPECT_FALSE(enabled(kCloseButtonId));
    EXPECT_FALSE(enabled(kReadButtonId));
    EXPECT_FALSE(enabled(kConfigureButtonId));
    EXPECT_TRUE(boxes.empty());
}

TEST_P(SessionFlowTest, NoAnnouncementWithinFortySecondsClosesThePortOnce) {
    ASSERT_NO_FATAL_FAILURE(open());
    EXPECT_EQ(window->timerPeriod(TIMER_CONNECT_TIMEOUT), 40000);
    EXPECT_EQ(window->timerPeriod(TIMER_DTU_POLL), 400);
    // The time-out's tick, before any poll has gone out.
    SendMessageW(window->hwnd(), WM_TIMER, TIMER_CONNECT_TIMEOUT, 0);
    EXPECT_EQ(count(kTimedOut), 1);
    EXPECT_EQ(count(kClosed), 1);
    EXPECT_FALSE(window->session.portOpen());
    EXPECT_EQ(window->timerPeriod(TIMER_CONNECT_TIMEOUT), 0);
    EXPECT_EQ(window->timerPeriod(TIMER_DTU_POLL), 0);
    EXPECT_TRUE(enabled(kOpenButtonId));
    // A tick that was already queued finds its timer gone and changes nothing.
    SendMessageW(window->hwnd(), WM_TIMER, TIMER_CONNECT_TIMEOUT, 0);
    EXPECT_EQ(count(kTimedOut), 1);
    EXPECT_TRUE(boxes.empty());
}

TEST_P(SessionFlowTest, AConfigureTheRulesRefuseShowsItsBoxAndSendsNothing) {
    ASSERT_NO_FATAL_FAILURE(connect());
    click(kReadButtonId);
    ASSERT_TRUE(waitCount(kReadOk));
    const std::wstring stored = text(1073);
    click(1072);  // super user password: exactly six digits
    setText(1073, L"12345");
    click(kConfigureButtonId);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, W("错误提示"));
    EXPECT_FALSE(boxes[0].text.empty());
    EXPECT_FALSE(window->session.assembler().configurePending());
    if (GetParam() == Line::Simulated) {
        EXPECT_EQ(window->simulatedLine().dtu().counters().configureRequests, 0u);
    }
    EXPECT_EQ(count(kConfigureOk) + count(kConfigureFailed), 0);
    // The session goes on: a valid value is written (the one the DTU holds, so it stays as it was).
    setText(1073, stored);
    configureAndWait(1);
    EXPECT_EQ(boxes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Lines, SessionFlowTest, ::testing::Values(Line::Simulated, Line::ComPort),
                         [](const auto& info) {
                             return info.param == Line::Simulated ? "Simulated" : "ComPort";
                         });

// ---- The built-in simulated DTU's line ---------------------------------------------

using SimulatedLineTest = WindowTest;

TEST_F(SimulatedLineTest, AnAnswerStillOnItsWayWhenThePortClosesIsNotDelivered) {
    choose(kPortListId, window->simulatorEntry());
    click(kOpenButtonId);
    window->OnTimerTick(TIMER_DTU_POLL);  // the announcement is posted, not yet handled
    click(kCloseButtonId);
    click(kOpenButtonId);  // a new open of the same line
    PumpPending();
    EXPECT_EQ(window->receivedByteCount, 0u);
    EXPECT_FALSE(window->session.dtuConnected());
    // The reopened line answers its own poll.
    window->OnTimerTick(TIMER_DTU_POLL);
    ASSERT_TRUE(PumpUntil([&] { return window->session.dtuConnected(); }));
    EXPECT_EQ(window->receivedByteCount, 1u);
}

TEST_F(SimulatedLineTest, ARequestLongerThanTheWriteBufferIsRefusedWhole) {
    choose(kPortListId, window->simulatorEntry());
    click(kOpenButtonId);
    win::SimulatedLine& line = window->simulatedLine();
    const std::vector<std::uint8_t> fits(transmitBufferSize, 0x00);
    const std::vector<std::uint8_t> tooLong(transmitBufferSize + 1, 0x00);
    const std::uint64_t before = line.completedWrites();
    EXPECT_TRUE(line.sendBytes(fits));
    EXPECT_FALSE(line.sendBytes(tooLong));
    EXPECT_FALSE(line.sendText(std::string(transmitBufferSize, 'a')));  // its terminator would not fit
    EXPECT_EQ(line.completedWrites(), before + 1);
    EXPECT_EQ(line.dtu().counters().receivedBytes, transmitBufferSize);
}

// ---- A DTU that goes away ---------------------------------------------------------

class UnplugTest : public SessionFlowTest {};

// Ends the simulated DTU process behind the unplug port, as pulling an adapter would.
bool EndUnplugDtu() {
    const auto pid = Env("QUILLMERE_TEST_UNPLUG_PID");
    if (!pid) return false;
    std::wstring command = L"Z:\\bin\\kill -TERM " + W(*pid);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    // A Unix process has no handle to wait on; the test waits for the report instead.
    if (process.hProcess != nullptr) CloseHandle(process.hProcess);
    if (process.hThread != nullptr) CloseHandle(process.hThread);
    return true;
}

TEST_P(UnplugTest, TheLostLineIsReportedOnceAndTheSessionCloses) {
    if (GetParam() == Line::ComPort) {
        const auto port = ComPortFromEnv("QUILLMERE_TEST_UNPLUG_COM");
        if (!port || !Env("QUILLMERE_TEST_UNPLUG_PID")) GTEST_SKIP() << "no COM port to unplug";
        setText(kPortListId, W(*port));
        click(kOpenButtonId);
        ASSERT_TRUE(window->session.portOpen());
        window->OnTimerTick(TIMER_DTU_POLL);
        ASSERT_TRUE(PumpUntil([&] { return window->session.dtuConnected(); }));
        ASSERT_TRUE(EndUnplugDtu());
    } else {
        ASSERT_NO_FATAL_FAILURE(connect());
        window->simulatedLine().vanish();
    }
    ASSERT_TRUE(waitCount(kLost));
    EXPECT_FALSE(window->session.portOpen());
    EXPECT_EQ(text(kStatusLineId), W(kStatusClosed));
    EXPECT_TRUE(enabled(kOpenButtonId));
    EXPECT_FALSE(enabled(kReadButtonId));
    // Whatever else the line does on its way out, the operator hears of it once.
    EXPECT_FALSE(PumpUntil([&] { return count(kLost) > 1 || !boxes.empty(); }, 500));
    EXPECT_EQ(count(kClosed), 0);
}

INSTANTIATE_TEST_SUITE_P(Lines, UnplugTest, ::testing::Values(Line::Simulated, Line::ComPort),
                         [](const auto& info) {
                             return info.param == Line::Simulated ? "Simulated" : "ComPort";
                         });

}  // namespace
}  // namespace quill::test
