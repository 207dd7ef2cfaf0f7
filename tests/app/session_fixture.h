// What the session and parameter tests share: a real window (offscreen) and a
// simulated DTU on a pseudo-terminal, reached through the real serial engine
// by typing the terminal's path into the port list's edit field. Waits run the
// window's events until a condition holds or a deadline passes.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QString>
#include <memory>
#include <string_view>
#include <vector>

#include "app/dialog_builder.h"
#include "app/tarnwell_dlg.h"
#include "protocol/wire.h"
#include "qt_environment.h"
#include "sim/dtu_server.h"

namespace quill::test {

// Generous, for sanitized builds on a shared machine: a wait returns as soon as its condition holds.
inline constexpr int kWaitMs = 20000;

// The information area's reports, as the session and the protocol word them.
inline constexpr std::string_view kOpenedWait = "<-打开串口成功，请连接DTU...\n\r\n\r";
inline constexpr std::string_view kOpenedDemo = "<-打开串口成功，进入演示状态\n\r\n\r";
inline constexpr std::string_view kClosed = "<-关闭串口成功\n\r\n\r";
inline constexpr std::string_view kConnected = "<-连接DTU成功！\n\r\n\r";
inline constexpr std::string_view kTimedOut = "<-连接DTU超时\n\r\n\r";
inline constexpr std::string_view kDemoEntered = "<-配置完成，进入演示状态\n\r\n\r";
inline constexpr std::string_view kDemoPortClosed = "<-串口未打开，请打开串口\n\r\n\r";
inline constexpr std::string_view kReconnect = "<-请连接DTU...\n\r\n\r";
inline constexpr std::string_view kReadOk = "<-读取参数成功！\n\r\n\r";
inline constexpr std::string_view kReadFailed = "<-读取参数失败！\n\r\n\r";
inline constexpr std::string_view kConfigureOk = "<-配置参数成功！\n\r\n\r";
inline constexpr std::string_view kConfigureFailed = "<-配置参数失败！\n\r\n\r";
// The tool's own wording of a vanished device.
inline constexpr std::string_view kLost = "<-串口已断开（设备被拔出或关闭）\n\r\n\r";

inline constexpr int kPoll = quill::TIMER_DTU_POLL;
inline constexpr int kTimeout = quill::TIMER_CONNECT_TIMEOUT;
inline constexpr int kAutoSend = quill::TIMER_AUTO_SEND;

// A DTU that never announces itself: the test plays its part on the line.
inline DtuFaults Silent() {
    DtuFaults faults;
    faults.noAnnouncement = true;
    return faults;
}

// A request frame as the protocol defines it: 7B, command, thirteen 00, 7B.
inline std::vector<std::uint8_t> RequestFrame(std::uint8_t command) {
    std::vector<std::uint8_t> frame(16, 0x00);
    frame.front() = 0x7B;
    frame[1] = command;
    frame.back() = 0x7B;
    return frame;
}

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        window = std::make_unique<CTarnwellDlg>();
        CaptureBoxes(*window, boxes, dialogs);
    }
    // The window goes first: it closes the port before the terminal vanishes.
    void TearDown() override {
        window.reset();
        server.stop();
        quiet.stop();
    }

    void pointAt(const DtuServer& dtu) {
        window->setControlText(1026, QString::fromStdString(dtu.devicePath()));
    }
    // A click as the operator makes it: nothing happens on a disabled control.
    void click(int id) {
        auto* button = qobject_cast<QAbstractButton*>(window->control(id));
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }
    // How often a report stands in the information area (its "\r"s show nothing).
    int count(std::string_view utf8) const {
        QString text = FromUtf8(utf8);
        text.remove(QLatin1Char('\r'));
        return window->controlText(1000).count(text);
    }
    bool waitCount(std::string_view utf8, int n = 1) {
        return WaitFor([&] { return count(utf8) >= n; }, kWaitMs);
    }
    std::vector<std::uint8_t> received() const { return server.received(); }
    bool waitReceived(std::size_t size) {
        return WaitFor([&] { return server.received().size() >= size; }, kWaitMs);
    }
    // Bytes the test sends wait until the engine has written what the window
    // asked for: each write first discards unread input.
    void sendAfterWrites(std::uint64_t writes, std::vector<std::uint8_t> bytes, DtuServer* from = nullptr) {
        ASSERT_TRUE(WaitFor([&] { return window->session.line().engine().completedWrites() >= writes; }, kWaitMs));
        (from != nullptr ? *from : server).send(std::move(bytes));
    }
    bool enabled(int id) const { return window->control(id)->isEnabled(); }
    QString status() const { return window->controlText(1052); }

    // Closed -> waiting for the DTU -> connected, the way an operator gets there.
    void connectDtu() {
        pointAt(server);
        click(1027);
        ASSERT_TRUE(window->session.portOpen());
        window->OnTimerTick(quill::TIMER_DTU_POLL);
        ASSERT_TRUE(WaitFor([&] { return window->session.dtuConnected(); }, kWaitMs));
    }

    // Opens `quiet`, a DTU that never listens (the test plays its part), and
    // announces it: every answer after this is one the test sends.
    void openQuiet() {
        quiet.setReading(false);  // before its thread starts, so not a byte is taken in
        ASSERT_TRUE(quiet.start());
        pointAt(quiet);
        click(1027);
        ASSERT_TRUE(window->session.portOpen());
    }
    void connectQuiet() {
        openQuiet();
        window->OnTimerTick(quill::TIMER_DTU_POLL);
        sendAfterWrites(1, {0x6C}, &quiet);
        ASSERT_TRUE(WaitFor([&] { return window->session.dtuConnected(); }, kWaitMs));
    }

    DtuServer server;
    DtuServer quiet;
    std::unique_ptr<CTarnwellDlg> window;
    std::vector<BoxCall> boxes;
    std::vector<QString> dialogs;
};

}  // namespace quill::test
