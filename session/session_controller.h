// The session with the DTU, written once for every front end (the Qt window,
// the Win32 window, the command line). It decides; the front end carries out.
//
// Principles of operation:
// - Inputs are events: an operator's command (OnOpenPort, OnConfigure, ...),
//   a timer tick (OnTimerTick), a received byte (OnPortByte), the port lost
//   (OnPortLost). They are the handlers of the window, under their names.
// - Outputs are calls on a SessionHost, carried out at once and in order:
//   open or stop the port, send bytes, start or stop a timer, append a report,
//   show a box, set the status line, fill the form, enable controls.
// - The state is one value (SessionState). Which controls are enabled follows
//   from it in one function, EnabledControls, applied after every event.
// - The controller owns the session flags and the receive assembler. It owns
//   no widget, no handle, no thread: everything runs on the front end's
//   user-interface thread, the serial worker only delivers bytes there.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "form/control_ids.h"
#include "protocol/configure_request.h"
#include "protocol/read_answer.h"
#include "protocol/receive_assembler.h"

namespace quill {

enum class SessionState : std::uint8_t {
    Closed,          // no port; the config-done box unticked
    WaitingForDtu,   // port open, polling until the DTU announces itself
    Connected,       // the DTU has announced itself: read and configure
    Demo,            // port open as a plain terminal (config-done ticked)
    DemoPortClosed,  // config-done ticked, no port
};

std::string_view StateName(SessionState state);

// Window timers, by their fixed ids.
inline constexpr int TIMER_AUTO_SEND = 1;
inline constexpr int TIMER_CONNECT_TIMEOUT = 2;
inline constexpr int TIMER_DTU_POLL = 5;
inline constexpr int kConnectTimeoutMs = 40000;
inline constexpr int kPollPeriodMs = 400;

// Every open: 8N1, received bytes and the event character watched.
inline constexpr char kLineParity = 'N';
inline constexpr std::uint32_t kLineDataBits = 8;
inline constexpr std::uint32_t kLineStopBits = 1;
inline constexpr std::uint32_t kLineEventMask = 0x0003;
inline constexpr std::size_t kSessionRateIndex = 9;  // 57600 in BaudTable

// The enabled state of the session's controls in one state.
struct ControlEnables {
    bool openPort = false;        // 1027
    bool closePort = false;       // 1028
    bool readParameters = false;  // 1029
    bool configure = false;       // 1030
    bool reset = false;           // 1032
    bool terminal = false;        // kTerminalControls
    friend bool operator==(const ControlEnables&, const ControlEnables&) = default;
};
ControlEnables EnabledControls(SessionState state);

// Each control that ControlEnables covers, by id, with whether it is enabled:
// what a front end applies, control by control.
struct ControlEnable {
    int id;
    bool enabled;
};
inline constexpr std::size_t kEnabledControlCount = 5 + std::size(kTerminalControls);
std::array<ControlEnable, kEnabledControlCount> ControlEnableStates(const ControlEnables& enables);

enum class BoxIcon : std::uint8_t { None, Information, Warning, Error };

// What a front end that runs without an operator (the command line) waits for.
enum class SessionOutcome : std::uint8_t {
    Connected,
    TimedOut,
    Lost,
    ReadSucceeded,
    ReadFailed,
    ConfigureSucceeded,  // the last frame of a write was taken
    ConfigureFailed,     // a frame was refused (or its answer malformed)
    VerifyPassed,
    VerifyFailed,
};

// The front end, as the session sees it. Every call is carried out before it returns.
class SessionHost {
  public:
    virtual ~SessionHost() = default;

    // ---- The port ----
    // Opens the port the operator chose at `rate` (8N1, kLineEventMask, the
    // engine's write slot) and starts its worker. Returns the port's name for
    // the status line ("com3", "模拟DTU", a path), or nullopt when it failed.
    virtual std::optional<std::string> openPort(std::uint32_t rate) = 0;
    // The text of the box for a failed open.
    virtual std::string openFailureText() = 0;
    // Asks the worker to end; it closes the device.
    virtual void stopPort() = 0;
    // The engine holds a device (false once it has let go of a vanished one).
    virtual bool portHeld() const = 0;
    virtual bool sendBytes(std::span<const std::uint8_t> bytes) = 0;
    virtual bool sendTextBytes(const std::string& gbk) = 0;

    // ---- Timers: periodic until stopped; starting a running timer restarts it ----
    virtual void startTimerById(int timerId, int periodMs) = 0;
    virtual void stopTimerById(int timerId) = 0;

    // ---- What the operator sees ----
    virtual void appendInfo(std::string_view utf8) = 0;
    virtual void showBox(std::string_view textUtf8, std::string_view captionUtf8, BoxIcon icon) = 0;
    virtual void setStatusText(std::string_view utf8) = 0;
    virtual void applyEnables(const ControlEnables& enables) = 0;
    // The demo-state display of one received byte (hex or character, as 1033 says).
    virtual void displayReceivedByte(std::uint8_t byte) = 0;
    // One item of a read answer into the form, then the form's members follow.
    virtual void applyItemUpdate(const ItemUpdate& update) = 0;

    // ---- The form ----
    virtual bool isTicked(int checkBoxId) const = 0;
    virtual void setTicked(int checkBoxId, bool ticked) = 0;
    // The demo rate list 1068: its selected index (-1 none), and selecting one.
    virtual int demoRateIndex() const = 0;
    virtual void selectDemoRate(int index) = 0;
    // The save-direction exchange: every bound control into its member. False
    // when the interval is not an unsigned number (the front end has told the
    // operator; members after it are untouched).
    virtual bool saveForm() = 0;
    // After saveForm: the form as the configure request reads it.
    virtual const FormSnapshot& formSnapshot() = 0;
    // After saveForm: the send edit's member (GBK) and the auto-send interval member.
    virtual const std::string& sendTextMember() const = 0;
    virtual std::uint32_t autoSendIntervalMember() const = 0;

    // ---- For front ends without an operator; the window ignores it ----
    virtual void sessionOutcome(SessionOutcome /*outcome*/) {}
};

// Texts of the information area and the boxes.
inline constexpr std::string_view kOpenedWaitText = "<-打开串口成功，请连接DTU...\n\r\n\r";
inline constexpr std::string_view kOpenedDemoText = "<-打开串口成功，进入演示状态\n\r\n\r";
inline constexpr std::string_view kClosedText = "<-关闭串口成功\n\r\n\r";
inline constexpr std::string_view kConnectedText = "<-连接DTU成功！\n\r\n\r";
inline constexpr std::string_view kTimedOutText = "<-连接DTU超时\n\r\n\r";
inline constexpr std::string_view kDemoEnteredText = "<-配置完成，进入演示状态\n\r\n\r";
inline constexpr std::string_view kDemoPortClosedText = "<-串口未打开，请打开串口\n\r\n\r";
inline constexpr std::string_view kReconnectText = "<-请连接DTU...\n\r\n\r";
inline constexpr std::string_view kPortLostText = "<-串口已断开（设备被拔出或关闭）\n\r\n\r";
inline constexpr std::string_view kStatusClosedText = "当前状态：串口已关闭";
inline constexpr std::string_view kErrorCaption = "错误提示";
inline constexpr std::string_view kApplicationErrorCaption = "Application Error";
inline constexpr std::string_view kPortNotOpenText = "串口没有打开，请打开串口";
// A write in several frames that stopped at a refused frame names what did not go out.
inline constexpr std::string_view kNotWrittenPrefix = "<-以下参数未配置：";
// Verification after a write: each differing field, then one verdict.
inline constexpr std::string_view kVerifyMismatchPrefix = "<-回读校验不一致：";
inline constexpr std::string_view kVerifyPassedText = "<-回读校验通过！\n\r\n\r";
inline constexpr std::string_view kVerifyFailedPrefix = "<-回读校验失败：";
inline constexpr std::string_view kVerifyFailedSuffix = "项参数不一致！\n\r\n\r";
inline constexpr std::string_view kVerifyNotReadText = "<-回读校验失败：未能读取参数！\n\r\n\r";

// "当前状态：串口<name>已打开,波特率<rate>"
std::string OpenStatusText(std::string_view portName, std::uint32_t rate);

class SessionController {
  public:
    explicit SessionController(SessionHost& host);

    // ---- Operator commands (the window's handlers) ----
    void OnOpenPort();         // 1027
    void OnClosePort();        // 1028
    void OnReadParameters();   // 1029
    void OnConfigure();        // 1030
    void OnConfigDone();       // 1031; the box has already changed its tick
    void OnReset();            // 1032
    void OnDemoBaudChanged();  // the operator edits 1068's text
    void OnSend();             // 1037, and every auto-send tick
    void OnAutoSend();         // 1034; the box has already changed its tick
    void OnIntervalChanged();  // 1035's text changed
    // The config-done box was set without its handler (start-up, tests).
    void SyncConfigDone();

    // ---- Timers, bytes, the port ----
    void OnTimerTick(int timerId);
    void OnPortByte(std::uint8_t byte);
    void OnPortLost();

    // ---- State ----
    SessionState state() const { return state_; }
    bool portOpen() const;
    std::int32_t waitingForDtu() const { return waitingForDtu_; }
    bool dtuConnected() const { return dtuConnected_; }
    const ReceiveAssembler& assembler() const { return assembler_; }
    ReceiveAssembler& assembler() { return assembler_; }
    // Frames of the write in progress not yet sent (after the one awaiting its answer).
    std::size_t framesLeft() const { return written_.size() - std::min(nextFrame_, written_.size()); }
    // The label a report gives a field: the form's (message body fields carry their body's title).
    static std::string FieldLabel(std::uint8_t type);

    // ---- Verification after a write ----
    // On: after the last frame of a write succeeded, the DTU is read again and
    // every written field compared; each difference is reported by its label,
    // then one verdict line (SessionOutcome::VerifyPassed / VerifyFailed).
    void setVerifyAfterWrite(bool on) { verifyAfterWrite_ = on; }
    bool verifyAfterWrite() const { return verifyAfterWrite_; }
    // Item types of the last verification that differ (empty when it passed).
    const std::vector<std::uint8_t>& mismatchedTypes() const { return mismatchedTypes_; }
    // Item types of the last write that were not written (a frame was refused
    // or the session ended before it went out); empty after a full write.
    const std::vector<std::uint8_t>& unwrittenTypes() const { return unsentTypes_; }

  private:
    void setState(SessionState next);
    void beginWait();
    void endWaitTimers();
    void closeSession();
    void stopAutoSend();
    void suspendAutoSend();
    void send(bool fromTick);
    bool sendRequest(std::span<const std::uint8_t> frame);
    void applyAssemblerEvent(const AssemblerEvent& event);
    bool sendNextFrame();
    void sendHeldRequest();
    void onConfigureAnswer(bool succeeded);
    void onVerifyAnswer(std::span<const std::uint8_t> answer);
    std::uint32_t demoRate() const;
    bool inDemo() const;

    SessionHost& host_;
    SessionState state_ = SessionState::Closed;
    std::int32_t waitingForDtu_ = 0;
    bool dtuConnected_ = false;
    // The reopen from 1068 failed: the engine let go of the device, but
    // nothing vanished, so no loss is reported for it.
    bool releasedByReopen_ = false;
    // Auto-send waits for a valid interval before it ticks again.
    bool autoSendSuspended_ = false;
    ControlEnables shownEnables_{};
    bool enablesShown_ = false;
    ReceiveAssembler assembler_;
    // The write in progress (and then under verification): its frames, each
    // sent after the one before it succeeded; nextFrame_ is the next to send.
    std::vector<ConfigureFrame> written_;
    std::size_t nextFrame_ = 0;
    std::vector<std::uint8_t> unsentTypes_;
    bool verifyAfterWrite_ = false;
    bool verifyPending_ = false;  // the read after a write is on its way
    // A read or reset asked for while a write still had frames to send; it
    // goes out once the write has its verdict (0: none).
    std::uint8_t heldRequest_ = 0;
    std::vector<std::uint8_t> mismatchedTypes_;
};

}  // namespace quill
