// A whole session through the native window, driven by control id: open,
// poll, connect, read, tick and edit, configure, close; the connect time-out
// with its timer's handler called directly; a configure the form refuses;
// a DTU that goes away. Each runs against the port list's built-in simulated
// DTU, and again against a COM port whose far end is the simulated DTU on a
// pseudo-terminal (the Wine test script maps it and names it in
// QUILLMERE_TEST_COM by its number; without it those cases are skipped).
#include <windows.h>
#include <dbt.h>

#include "protocol/wire.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "form/parameter_fields.h"
#include "protocol/configure_request.h"
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

std::optional<std::string> Env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

// What every shown value control holds after reading the simulated DTU's
// factory set, by control, typed as the operator reads it.
const std::map<int, std::string> kFactoryForm{
    {1004, "1"},                                  // data channel
    {1022, "2"},                                  // message filter mode
    {1044, "城东变电站"},                         // station name
    {1050, "+8613800100500"},                     // SMS centre
    {1319, "1"},                                  // device address
    {1071, "13912345678"},  {1073, "123456"},     // super user
    {1079, "13812345678"},  {1081, "654321"},     // host user
    {1083, "13700000001"},  {1085, "111111"},     // extension users 1 to 3
    {1087, "13700000002"},  {1089, "222222"},
    {1091, "13700000003"},  {1093, "333333"},
    // Message bodies 1 to 10: name, address, state 1, state 0.
    {1095, "1号主变"},  {1097, "1001"}, {1099, "投"}, {1101, "退"},
    {1103, "进线开关"}, {1105, "1002"}, {1107, "合"}, {1109, "分"},
    {1111, "母联开关"}, {1113, "1003"}, {1163, "合"}, {1165, "分"},
    {1167, "出线一"},   {1169, "1004"}, {1171, "合"}, {1173, "分"},
    {1175, "出线二"},   {1177, "1005"}, {1179, "合"}, {1181, "分"},
    {1183, "电容器"},   {1185, "1006"}, {1187, "投"}, {1189, "切"},
    {1191, "接地刀闸"}, {1193, "1007"}, {1195, "合"}, {1197, "分"},
    {1199, "门禁"},     {1201, "1008"}, {1203, "开"}, {1205, "关"},
    {1207, "烟感"},     {1209, "1009"}, {1307, "警"}, {1309, "常"},
    {1311, "水浸"},     {1313, "1010"}, {1315, "有"}, {1317, "无"},
};

// A text in the DTU's code page, through the system's own conversion.
std::string Gbk(std::string_view utf8) {
    const std::wstring wide = W(utf8);
    if (wide.empty()) return {};
    const int length = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(936, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string gbk(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    WideCharToMultiByte(936, 0, wide.data(), length, gbk.data(), bytes, nullptr, nullptr);
    return gbk;
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

    // Every shown value control against the factory set as typed above;
    // `changed` names controls that must show another value instead.
    void expectFactoryForm(const std::map<int, std::string>& changed = {}) {
        for (const ParameterField& field : ParameterFields()) {
            if (!field.shown()) continue;
            for (const int id : field.valueIds()) EXPECT_EQ(kFactoryForm.count(id), 1u) << id;
        }
        EXPECT_EQ(kFactoryForm.size(), 55u);  // fifteen station and user fields, forty of the bodies
        for (const auto& [id, factory] : kFactoryForm) {
            const auto other = changed.find(id);
            const std::string& expected = other != changed.end() ? other->second : factory;
            EXPECT_EQ(text(id), W(expected)) << id;
            EXPECT_EQ(window->member(id), Gbk(expected)) << id;
        }
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
        // The DTU stored exactly the ticked fields, in their formats on the line.
        const DtuItems factory = SimulatedDtu::FactoryItems();
        const DtuItems& stored = window->simulatedLine().dtu().items();
        const std::map<std::uint8_t, std::vector<std::uint8_t>> written{
            {0x92, {0x57, 0xCE, 0x89, 0x7F, 0x5F, 0x00, 0x51, 0x73, 0x7A, 0xD9}},  // 城西开关站
            {0x94, {'1', '3', '8', '0', '0', '0', '0', '1', '1', '1', '1'}},
            {0xA8, {0x52, 0x06}},  // 分
            {0xC6, {0x07, 0x00}},
        };
        std::set<std::uint8_t> differing;
        for (const auto& [type, value] : stored)
            if (factory.at(type) != value) differing.insert(type);
        EXPECT_EQ(differing, (std::set<std::uint8_t>{0x92, 0x94, 0xA8, 0xC6}));
        for (const auto& [type, value] : written) EXPECT_EQ(stored.at(type), value) << int(type);
    }

    // Read back what the DTU holds now: the ticked fields changed, the rest did not.
    click(kReadButtonId);
    ASSERT_TRUE(waitCount(kReadOk, 2));
    expectFactoryForm(changed);
    EXPECT_EQ(text(1050), smsCentre);

    if (GetParam() == Line::ComPort) {
        // The DTU behind the COM port outlives this test: give it its factory values back.
        for (const auto& [id, value] : changed) setText(id, W(kFactoryForm.at(id)));
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

// The list's search entry: 1027 tries every candidate, the one with the DTU
// behind it becomes the window's port still open, chosen in the list.
TEST_P(SessionFlowTest, TheSearchEntryFindsTheDtuAndKeepsItsPortOpen) {
    if (GetParam() != Line::ComPort) GTEST_SKIP() << "the search tries the COM ports the system reports";
    const std::string typed = *ComPortFromEnv("QUILLMERE_TEST_COM");  // "com7"
    const std::string com = "COM" + typed.substr(3);
    foundPorts = {{"COM40", ""}, {com, ""}};
    choose(kPortListId, window->simulatorEntry() - 1);
    ASSERT_EQ(text(kPortListId), W("自动查找DTU"));
    click(kOpenButtonId);
    EXPECT_EQ(window->session.state(), SessionState::Searching);
    EXPECT_EQ(count("<-串口COM40不存在，已跳过\n\r\n\r"), 1);
    EXPECT_FALSE(enabled(kOpenButtonId));
    window->OnTimerTick(TIMER_DTU_POLL);
    ASSERT_TRUE(PumpUntil([&] { return window->session.dtuConnected(); }));
    EXPECT_EQ(count("<-在串口" + com + "上找到DTU\n\r\n\r"), 1);
    EXPECT_EQ(text(kStatusLineId), W("当前状态：串口" + typed + "已打开,波特率57600"));
    EXPECT_EQ(window->selectedIndex(kPortListId), std::stoi(typed.substr(3)) - 1);
    click(kReadButtonId);
    ASSERT_TRUE(waitCount("<-读取参数成功！\n\r\n\r"));
    EXPECT_TRUE(boxes.empty());
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
    EXPECT_EQ(window->session.line().bytesReceived(), 0u);
    EXPECT_FALSE(window->session.dtuConnected());
    // The reopened line answers its own poll.
    window->OnTimerTick(TIMER_DTU_POLL);
    ASSERT_TRUE(PumpUntil([&] { return window->session.dtuConnected(); }));
    EXPECT_EQ(window->session.line().bytesReceived(), 1u);
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
    if (GetParam() != Line::ComPort) return;

    // The system reports the COM port back: it is opened again, once, without a
    // press (its far end is gone for good here, so that open is refused).
    std::string listed = *ComPortFromEnv("QUILLMERE_TEST_UNPLUG_COM");  // "com8"; the system says "COM8"
    std::transform(listed.begin(), listed.end(), listed.begin(), ::toupper);
    foundPorts = {{listed, ""}};
    const auto arrival = [&] {
        constexpr GUID kComPort = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
        DEV_BROADCAST_DEVICEINTERFACE_W report{};
        report.dbcc_size = sizeof(report);
        report.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        report.dbcc_classguid = kComPort;
        SendMessageW(window->hwnd(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&report));
    };
    arrival();
    EXPECT_EQ(count("已重新接入，重新打开"), 1);
    EXPECT_EQ(boxes.size(), 1u);  // the open tried once
    arrival();
    EXPECT_EQ(boxes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Lines, UnplugTest, ::testing::Values(Line::Simulated, Line::ComPort),
                         [](const auto& info) {
                             return info.param == Line::Simulated ? "Simulated" : "ComPort";
                         });

}  // namespace
}  // namespace quill::test
