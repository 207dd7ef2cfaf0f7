// The window's side of the session: the port list and what a choice in it
// opens, the window timers, the engine's owner interface, and the calls the
// session core makes on the window (status line, reports, boxes, enabled
// controls). Every decision is the core's (session/, form/); this file only
// carries them out. User-interface thread only; the serial worker posts.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QMetaObject>
#include <QTimerEvent>

#include "app/dialog_builder.h"
#include "app/tarnwell_dlg.h"
#include "form/open_failure.h"

namespace quill {

// ---- Port list ---------------------------------------------------------------

void CTarnwellDlg::InitPortList() {
    shownPorts = findPorts();
    FillPortList(shownPorts);
    // The edit field shows the start of a chosen entry rather than its end.
    auto* list = qobject_cast<QComboBox*>(control(kPortListId));
    if (QLineEdit* edit = list != nullptr ? list->lineEdit() : nullptr)
        connect(list, &QComboBox::currentIndexChanged, edit, [edit] { edit->setCursorPosition(0); });
}

void CTarnwellDlg::FillPortList(std::span<const FoundPort> found) {
    auto* list = qobject_cast<QComboBox*>(control(kPortListId));
    if (list == nullptr) return;
    portEntries = PortListEntries(found);
    list->clear();
    for (const PortListEntry& entry : portEntries) {
        if (entry.kind == PortEntryKind::Simulator) simulatorListEntry = list->count();
        list->addItem(FromUtf8(entry.text));
    }
    list->setMaxVisibleItems(list->count());
    // The list is narrow: the popup is as wide as its longest entry.
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0) + 2 * list->view()->frameWidth());
}

// ---- What the session asks of the window -------------------------------------

std::optional<std::string> CTarnwellDlg::openPort(std::uint32_t rate) {
    openFailure.reset();
    const std::optional<PortChoice> choice =
        ChoosePort(portEntries, selectedIndex(kPortListId), controlText(kPortListId).toStdString());
    // Nothing to open, the box says so; the search entry is no device (a
    // search begins before this, and in the demo state there is none).
    if (!choice || choice->kind == PortEntryKind::Auto) return std::nullopt;
    std::string path = choice->devicePath;
    if (choice->kind == PortEntryKind::Simulator) {
        if (!builtInSimulator) {
            auto server = std::make_unique<DtuServer>();
            if (!server->start()) return std::nullopt;
            builtInSimulator = std::move(server);
        }
        path = builtInSimulator->devicePath();
    }
    if (!serialPort.OpenPort(this, choice->portNumber, rate, kLineParity, kLineDataBits, kLineStopBits,
                             kLineEventMask, transmitBufferSize, path)) {
        openFailure = serialPort.lastOpenError();
        return std::nullopt;
    }
    serialPort.StartWorker();
    openedPath = path;
    openedName = choice->name;
    return choice->name;
}

std::optional<std::vector<std::string>> CTarnwellDlg::searchCandidates() {
    return candidatePorts.searchIfChosen(
        ChoosePort(portEntries, selectedIndex(kPortListId), controlText(kPortListId).toStdString()),
        findPorts());
}

// The list shows the found port as if the operator had chosen it, so a
// reopen (the demo rate, 1027 after a close) opens it again directly.
std::optional<std::string> CTarnwellDlg::adoptCandidate(std::size_t index) {
    const std::optional<FoundPortShown> shown = candidatePorts.handOver(index, portEntries, serialPort, this);
    if (!shown) return std::nullopt;
    selectIndex(kPortListId, shown->selected);  // shows the entry's text
    if (shown->selected < 0) setControlText(kPortListId, FromUtf8(shown->editText));
    openedPath = candidatePorts.path(index);
    openedName = shown->choice.name;
    return shown->choice.name;
}

std::string CTarnwellDlg::openFailureText() {
    return OpenFailureText(openFailure);
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

// Every write that went out goes into the history of writes.
void CTarnwellDlg::writeConcluded(const WriteReport& report) {
    if (const std::optional<std::string> failed = writeHistory.record(report, "window", openedName))
        appendInfo(*failed);
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
    return DemoRateEntry(demoRateChange, selectedIndex(kDemoRateListId),
                         controlText(kDemoRateListId).toStdString());
}

void CTarnwellDlg::selectDemoRate(int index) {
    demoRateChange = RateListChange::Picked;
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
    const bool hadPort = session.portOpen();
    session.OnPortLost();
    if (hadPort && !session.portOpen()) lostPortKey = ReturnKey(shownPorts, openedPath);
    OnPortsChanged();  // the list kept the port's entry while its session ran
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
