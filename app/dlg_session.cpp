// The window's side of the session: the port list and what a choice in it
// opens, the window timers, the engine's owner interface, and the calls the
// session core makes on the window (status line, reports, boxes, enabled
// controls). Every decision is the session core's (session/); this file only
// carries them out. User-interface thread only; the serial worker posts.
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

namespace quill {
namespace {

constexpr int kComEntries = 10;  // "com1" .. "com10"

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
    shownPorts = findPorts();
    for (const FoundPort& port : shownPorts) list->addItem(QString::fromStdString(port.path));
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
    if (openError == EACCES) text += QStringLiteral("\n") + FromUtf8(kNoPermissionText);
    return text;
}

// ---- What the session asks of the window -------------------------------------

std::optional<std::string> CTarnwellDlg::openPort(std::uint32_t rate) {
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
    if (!serialPort.OpenPort(this, choice.portNumber, rate, kLineParity, kLineDataBits, kLineStopBits,
                             kLineEventMask, transmitBufferSize, path))
        return std::nullopt;
    serialPort.StartWorker();
    openedPath = path;
    return choice.name.toStdString();
}

std::string CTarnwellDlg::openFailureText() {
    return OpenFailureText(serialPort.lastOpenError()).toStdString();
}

void CTarnwellDlg::stopPort() {
    serialPort.RequestStop();
}

bool CTarnwellDlg::portHeld() const {
    return serialPort.IsOpen();
}

bool CTarnwellDlg::sendBytes(std::span<const std::uint8_t> bytes) {
    return serialPort.SendBytes(bytes);
}

bool CTarnwellDlg::sendTextBytes(const std::string& gbk) {
    return serialPort.SendText(gbk.c_str());
}

void CTarnwellDlg::appendInfo(std::string_view utf8) {
    AppendInfo(FromUtf8(utf8));
}

void CTarnwellDlg::showBox(std::string_view textUtf8, std::string_view captionUtf8, BoxIcon icon) {
    ShowMessageBox(FromUtf8(textUtf8), FromUtf8(captionUtf8), static_cast<MessageIcon>(icon));
}

void CTarnwellDlg::setStatusText(std::string_view utf8) {
    setControlText(kStatusLineId, FromUtf8(utf8));
}

void CTarnwellDlg::applyEnables(const ControlEnables& enables) {
    for (const auto& [id, enabled] : ControlEnableStates(enables)) enableControl(id, enabled);
}

int CTarnwellDlg::demoRateIndex() const {
    return selectedIndex(kDemoRateListId);
}

void CTarnwellDlg::selectDemoRate(int index) {
    selectIndex(kDemoRateListId, index);
}

// ---- The engine's owner interface --------------------------------------------

// A queued call to a window that is gone is dropped by Qt.
void CTarnwellDlg::postToOwner(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void CTarnwellDlg::onPortMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
    if (message == WM_PORT_RX_BYTE) OnPortByte(static_cast<std::uint8_t>(wParam), lParam);
}

void CTarnwellDlg::OnPortByte(std::uint8_t byte, std::uint32_t /*portNumber*/) {
    ++receivedByteCount;
    session.OnPortByte(byte);
}

void CTarnwellDlg::onPortError(const std::string& text) {
    ShowMessageBox(QString::fromStdString(text), FromUtf8(kApplicationErrorCaption), MessageIcon::Error);
}

void CTarnwellDlg::onPortLost(std::uint32_t /*portNumber*/) {
    session.OnPortLost();
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
