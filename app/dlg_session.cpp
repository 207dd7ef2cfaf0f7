// Session control: opening and closing the port, polling the DTU until it
// announces itself, the connect time-out, the fixed read and reset requests,
// the switch into and out of the demo state, and the routing of every
// received byte. All of it runs on the user-interface thread; the serial
// worker only posts tasks (postToOwner) and waits while a byte is handled.
//
// The session's state is not one value: it follows from portOpen, the config
// done box 1031, waitingForDtu and dtuConnected. Timers may tick once more
// after they were killed, so every tick looks at that state before it acts.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QMetaObject>
#include <QTimerEvent>
#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>

#include "app/dialog_builder.h"
#include "app/tarnwell_dlg.h"
#include "protocol/configure_request.h"
#include "protocol/frame.h"
#include "protocol/session.h"

namespace quill {
namespace {

constexpr int kPortListId = 1026;
constexpr int kRateListId = 1068;
constexpr int kConfigDoneId = 1031;
constexpr int kStatusLineId = 1052;
constexpr int kAutoSendBox = 1034;
constexpr std::array<int, 8> kTerminalControls{1033, 1034, 1035, 1036, 1037, 1061, 1066, 1067};
constexpr int kComEntries = 10;               // "com1" .. "com10"
constexpr std::size_t kDefaultRateIndex = 9;  // 57600
// Every open: no parity, 8 data bits, 1 stop bit, received bytes and the event
// character watched, a 512-byte write slot.
constexpr char kParity = 'N';
constexpr std::uint32_t kDataBits = 8;
constexpr std::uint32_t kStopBits = 1;
constexpr std::uint32_t kEventMask = 0x0003;
constexpr std::uint32_t kWriteSlotSize = transmitBufferSize;

constexpr std::string_view kSimulatorEntryText = "模拟DTU（无需硬件）";
constexpr std::string_view kSimulatorName = "模拟DTU";
constexpr std::string_view kOpenFailedText = "没有发现此串口或被占用";
constexpr std::string_view kNoPermissionText =
    "\n没有访问权限：请把当前用户加入 dialout 组（sudo usermod -aG dialout $USER），然后重新登录。";
constexpr std::string_view kApplicationErrorCaption = "Application Error";

constexpr std::string_view kOpenedWaitText = "<-打开串口成功，请连接DTU...\n\r\n\r";
constexpr std::string_view kOpenedDemoText = "<-打开串口成功，进入演示状态\n\r\n\r";
constexpr std::string_view kClosedText = "<-关闭串口成功\n\r\n\r";
constexpr std::string_view kConnectedText = "<-连接DTU成功！\n\r\n\r";
constexpr std::string_view kTimedOutText = "<-连接DTU超时\n\r\n\r";
constexpr std::string_view kDemoEnteredText = "<-配置完成，进入演示状态\n\r\n\r";
constexpr std::string_view kDemoPortClosedText = "<-串口未打开，请打开串口\n\r\n\r";
constexpr std::string_view kReconnectText = "<-请连接DTU...\n\r\n\r";
constexpr std::string_view kPortLostText = "<-串口已断开（设备被拔出或关闭）\n\r\n\r";
constexpr std::string_view kStatusClosedText = "当前状态：串口已关闭";

// What the port list points at.
struct PortChoice {
    std::uint32_t portNumber = 0;  // carried in the engine's notifications
    std::string devicePath;        // empty: the COM port of portNumber
    QString name;                  // as the status line names it
    bool simulated = false;
};

// "com7" (any case) gives 7; anything else nothing.
std::optional<std::uint32_t> ComNumber(const QString& text) {
    if (!text.startsWith(QStringLiteral("com"), Qt::CaseInsensitive) || text.size() < 4) return std::nullopt;
    bool ok = false;
    const uint number = text.mid(3).toUInt(&ok);
    if (!ok || number == 0 || number > 255 || !text.at(3).isDigit()) return std::nullopt;
    return number;
}

PortChoice ChoosePort(const CTarnwellDlg& window) {
    const auto* list = qobject_cast<const QComboBox*>(window.control(kPortListId));
    const int selected = window.selectedIndex(kPortListId);
    const QString text = window.controlText(kPortListId).trimmed();

    // The entry the edit field shows: the selected one, or the one whose text
    // was typed; -1 for a typed path.
    int entry = -1;
    if (list != nullptr) {
        if (selected >= 0 && list->itemText(selected) == text)
            entry = selected;
        else if (!text.isEmpty())
            entry = list->findText(text, Qt::MatchFixedString);
    }
    if (entry < 0 && text.isEmpty()) entry = selected;  // nothing typed: the selection, if any

    PortChoice choice;
    if (entry >= 0 && entry < kComEntries) {
        choice.portNumber = static_cast<std::uint32_t>(entry + 1);
        choice.name = QStringLiteral("com%1").arg(choice.portNumber);
    } else if (entry >= 0 && entry == window.simulatorEntry()) {
        choice.portNumber = static_cast<std::uint32_t>(entry + 1);
        choice.name = FromUtf8(kSimulatorName);
        choice.simulated = true;
    } else if (entry >= 0) {  // a device found on this machine
        choice.portNumber = static_cast<std::uint32_t>(entry + 1);
        choice.devicePath = list->itemText(entry).toStdString();
        choice.name = list->itemText(entry);
    } else if (const auto number = ComNumber(text)) {
        choice.portNumber = *number;
        choice.name = QStringLiteral("com%1").arg(*number);
    } else {
        // A path typed into the edit field, opened as typed.
        choice.portNumber = static_cast<std::uint32_t>(std::max(selected, 0) + 1);
        choice.devicePath = text.toStdString();
        choice.name = text;
    }
    return choice;
}

QString OpenStatusText(const QString& name, std::uint32_t rate) {
    return FromUtf8("当前状态：串口") + name + FromUtf8("已打开,波特率") + QString::number(rate);
}

}  // namespace

// ---- Port list ---------------------------------------------------------------

std::vector<std::string> CTarnwellDlg::FindSerialDevices(const std::string& devRoot) {
    namespace fs = std::filesystem;
    std::set<std::string> found;
    std::error_code error;
    const fs::path root(devRoot);
    // Adapters by their stable name; the list shows the device they point at.
    for (const auto& link : fs::directory_iterator(root / "serial" / "by-id", error)) {
        const fs::path target = fs::canonical(link.path(), error);
        if (!error && fs::exists(target, error)) found.insert(target.string());
    }
    for (const auto& entry : fs::directory_iterator(root, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("ttyUSB") || name.starts_with("ttyACM")) found.insert(entry.path().string());
    }
    return {found.begin(), found.end()};
}

void CTarnwellDlg::InitPortList() {
    auto* list = qobject_cast<QComboBox*>(control(kPortListId));
    if (list == nullptr) return;
    for (const std::string& path : FindSerialDevices("/dev")) list->addItem(QString::fromStdString(path));
    list->addItem(FromUtf8(kSimulatorEntryText));
    simulatorListEntry = list->count() - 1;
    list->setMaxVisibleItems(list->count());
    // The list is narrow: the popup is as wide as its longest entry, and the
    // edit field shows the start of a chosen entry rather than its end.
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0) + 2 * list->view()->frameWidth());
    if (QLineEdit* edit = list->lineEdit())
        connect(list, &QComboBox::currentIndexChanged, edit, [edit] { edit->setCursorPosition(0); });
}

QString CTarnwellDlg::OpenFailureText(int openError) {
    QString text = FromUtf8(kOpenFailedText);
    if (openError == EACCES) text += FromUtf8(kNoPermissionText);
    return text;
}

std::optional<QString> CTarnwellDlg::OpenChosenPort(std::uint32_t rate) {
    const PortChoice choice = ChoosePort(*this);
    std::string path = choice.devicePath;
    if (choice.simulated) {
        if (!builtInSimulator) {
            auto server = std::make_unique<DtuServer>();
            if (!server->start()) return std::nullopt;
            builtInSimulator = std::move(server);
        }
        path = builtInSimulator->devicePath();
    }
    if (!serialPort.OpenPort(this, choice.portNumber, rate, kParity, kDataBits, kStopBits, kEventMask,
                             kWriteSlotSize, path))
        return std::nullopt;
    return OpenStatusText(choice.name, rate);
}

// A rate list without a selection has no table entry; the tool's own line
// rate, 57600, stands in.
std::uint32_t CTarnwellDlg::DemoRate() const {
    const int index = selectedIndex(kRateListId);
    if (index < 0 || static_cast<std::size_t>(index) >= BaudTable.size()) return BaudTable[kDefaultRateIndex];
    return BaudTable[static_cast<std::size_t>(index)];
}

// ---- Handlers ----------------------------------------------------------------

void CTarnwellDlg::OnOpenPort() {
    std::uint32_t rate = DemoRate();
    const bool demo = isTicked(kConfigDoneId);
    if (!demo) {
        rate = BaudTable[kDefaultRateIndex];
        selectIndex(kRateListId, static_cast<int>(kDefaultRateIndex));
    }

    if (const std::optional<QString> status = OpenChosenPort(rate)) {
        serialPort.StartWorker();
        portOpen = true;
        setControlText(kStatusLineId, *status);
        if (demo) {
            for (const int id : kTerminalControls) enableControl(id, true);
            enableControl(1032, true);
            AppendInfo(FromUtf8(kOpenedDemoText));
        } else {
            SetTimer(TIMER_DTU_POLL, kPollPeriodMs);
            waitingForDtu = 1;
            dtuConnected = false;
            AppendInfo(FromUtf8(kOpenedWaitText));
            SetTimer(TIMER_CONNECT_TIMEOUT, kConnectTimeoutMs);
        }
    } else {
        ShowMessageBox(OpenFailureText(serialPort.lastOpenError()), FromUtf8(kErrorCaption),
                       MessageIcon::None);
        portOpen = false;
    }
    enableControl(1027, !portOpen);
    enableControl(1028, portOpen);
}

void CTarnwellDlg::OnClosePort() {
    AppendInfo(FromUtf8(kClosedText));
    serialPort.RequestStop();
    closeSession();
}

// What a close and a lost device share: timers, auto-send, flag, status line
// and buttons. The session flags and the assembler keep their values.
void CTarnwellDlg::closeSession() {
    KillTimer(TIMER_DTU_POLL);
    KillTimer(TIMER_CONNECT_TIMEOUT);
    StopAutoSend();
    portOpen = false;
    setControlText(kStatusLineId, FromUtf8(kStatusClosedText));
    enableControl(1027, true);
    for (const int id : {1028, 1029, 1030, 1032}) enableControl(id, false);
    for (const int id : kTerminalControls) enableControl(id, false);
}

// Each request starts a new answer: the engine discards unread input before
// it writes, so a frame still held in part (an answer that stopped half-way,
// or one cut off by a vanished device) could only be completed by the bytes
// of the new answer, and would be judged in its place.
void CTarnwellDlg::OnReadParameters() {
    if (!serialPort.SendBytes(BuildRequestFrame(Command::ReadRequest))) return;
    assembler.receiveCount = 0;
    assembler.readPending = true;
}

// The DTU's answer to a reset is taken in as a read answer.
void CTarnwellDlg::OnReset() {
    if (!serialPort.SendBytes(BuildRequestFrame(Command::ResetRequest))) return;
    assembler.receiveCount = 0;
    assembler.readPending = true;
}

void CTarnwellDlg::OnConfigDone() {
    ExchangeFormData(true);
    if (isTicked(kConfigDoneId)) {
        KillTimer(TIMER_DTU_POLL);
        KillTimer(TIMER_CONNECT_TIMEOUT);
        enableControl(1029, false);
        enableControl(1030, false);
        if (portOpen) {
            enableControl(1032, true);
            for (const int id : kTerminalControls) enableControl(id, true);
            AppendInfo(FromUtf8(kDemoEnteredText));
        } else {
            AppendInfo(FromUtf8(kDemoPortClosedText));
        }
        return;
    }

    for (const int id : kTerminalControls) enableControl(id, false);
    StopAutoSend();
    enableControl(1032, false);
    if (!portOpen) {
        enableControl(1029, false);
        enableControl(1030, false);
        return;
    }
    selectIndex(kRateListId, static_cast<int>(kDefaultRateIndex));
    if (const std::optional<QString> status = OpenChosenPort(BaudTable[kDefaultRateIndex])) {
        AppendInfo(FromUtf8(kReconnectText));
        serialPort.StartWorker();
        portOpen = true;
        setControlText(kStatusLineId, *status);
    }
    // Also after a failed reopen: the wait runs and its time-out closes the port.
    SetTimer(TIMER_DTU_POLL, kPollPeriodMs);
    waitingForDtu = 1;
    dtuConnected = false;
    SetTimer(TIMER_CONNECT_TIMEOUT, kConnectTimeoutMs);
}

void CTarnwellDlg::OnDemoBaudChanged() {
    const std::uint32_t rate = DemoRate();
    if (const std::optional<QString> status = OpenChosenPort(rate)) {
        serialPort.StartWorker();
        portOpen = true;
        setControlText(kStatusLineId, *status);
    }
}

void CTarnwellDlg::OnTimerTick(int timerId) {
    const bool waiting = portOpen && waitingForDtu == 1 && !dtuConnected && !isTicked(kConfigDoneId);
    switch (timerId) {
        case TIMER_DTU_POLL:
            if (!waiting) {
                KillTimer(TIMER_DTU_POLL);  // a tick left over from a wait that has ended
                return;
            }
            serialPort.SendBytes(std::span<const std::uint8_t>(&kPollByte, 1));
            return;
        case TIMER_CONNECT_TIMEOUT:
            KillTimer(TIMER_CONNECT_TIMEOUT);
            if (!waiting) return;  // the wait ended before its time-out
            KillTimer(TIMER_DTU_POLL);
            AppendInfo(FromUtf8(kTimedOutText));
            OnClosePort();
            return;
        case TIMER_AUTO_SEND:
            // Auto-send belongs to its ticked box, on an open port, in the demo state.
            if (!portOpen || !isTicked(kConfigDoneId) || !isTicked(kAutoSendBox)) {
                StopAutoSend();
                return;
            }
            // The engine has let go of the device (it went away and its report
            // is on the way): the session closes with that one report, not
            // with a "port not open" box from this tick first.
            if (!serialPort.IsOpen()) {
                onPortLost(0);
                return;
            }
            OnSend();
            return;
        default:
            return;
    }
}

void CTarnwellDlg::OnPortByte(std::uint8_t byte, std::uint32_t /*portNumber*/) {
    ++receivedByteCount;
    const bool demo = isTicked(kConfigDoneId);
    if (demo) DisplayReceivedByte(byte);
    if (waitingForDtu == 1 && !dtuConnected && !demo && byte == kAnnounceByte) {
        AppendInfo(FromUtf8(kConnectedText));
        KillTimer(TIMER_DTU_POLL);
        KillTimer(TIMER_CONNECT_TIMEOUT);
        dtuConnected = true;
        enableControl(1029, true);
        enableControl(1030, true);
        return;
    }
    ApplyAssemblerEvent(assembler.AcceptByte(byte));
}

// ---- The engine's owner interface --------------------------------------------

// A queued call to a window that is gone is dropped by Qt.
void CTarnwellDlg::postToOwner(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void CTarnwellDlg::onPortMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
    if (message == WM_PORT_RX_BYTE) OnPortByte(static_cast<std::uint8_t>(wParam), lParam);
}

void CTarnwellDlg::onPortError(const std::string& text) {
    ShowMessageBox(QString::fromStdString(text), FromUtf8(kApplicationErrorCaption), MessageIcon::Error);
}

// The engine has closed the device and ended its worker; the window follows
// as a close would, and says why once.
void CTarnwellDlg::onPortLost(std::uint32_t /*portNumber*/) {
    if (!portOpen) return;
    AppendInfo(FromUtf8(kPortLostText));
    closeSession();
}

// ---- Window timers -------------------------------------------------------------

void CTarnwellDlg::SetTimer(int timerId, int milliseconds) {
    KillTimer(timerId);
    const int qtId = startTimer(milliseconds, Qt::PreciseTimer);
    if (qtId != 0) windowTimers[timerId] = WindowTimer{qtId, milliseconds};
}

void CTarnwellDlg::KillTimer(int timerId) {
    const auto it = windowTimers.find(timerId);
    if (it == windowTimers.end()) return;
    killTimer(it->second.qtId);
    windowTimers.erase(it);
}

int CTarnwellDlg::timerPeriod(int timerId) const {
    const auto it = windowTimers.find(timerId);
    return it != windowTimers.end() ? it->second.period : 0;
}

void CTarnwellDlg::timerEvent(QTimerEvent* event) {
    for (const auto& [timerId, timer] : windowTimers) {
        if (timer.qtId == event->timerId()) {
            OnTimerTick(timerId);  // may kill or restart timers: the loop ends here
            return;
        }
    }
    QDialog::timerEvent(event);
}

}  // namespace quill
