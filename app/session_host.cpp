// The window's side of the session: the port list and what a choice in it
// opens, the window timers, the line's way onto this thread, and the calls
// the session core makes on the window (status line, reports, boxes, enabled
// controls). Every decision is the core's (session/, form/); this file only
// carries them out. User-interface thread only; the serial worker posts.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QMetaObject>
#include <QTimerEvent>

#include "app/dialog_builder.h"
#include "app/tarnwell_dlg.h"

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

// The choice in the list, as the session opens it: the simulated DTU's
// entry starts the simulator behind it on first use.
ChosenPort CTarnwellDlg::chosenPort() {
    const std::optional<PortChoice> choice =
        ChoosePort(portEntries, selectedIndex(kPortListId), controlText(kPortListId).toStdString());
    if (!choice) return {};
    if (choice->kind == PortEntryKind::Auto) return SearchChoice(portEntries, findPorts());
    ChosenPort chosen{ChosenPort::Kind::Port, {choice->devicePath, choice->portNumber, choice->name}, {}};
    if (choice->kind == PortEntryKind::Simulator) {
        if (!builtInSimulator) {
            auto server = std::make_unique<DtuServer>();
            if (!server->start()) return {};
            builtInSimulator = std::move(server);
        }
        chosen.port.devicePath = builtInSimulator->devicePath();
    }
    return chosen;
}

// The list shows the found port as if the operator had chosen it, so a
// reopen (the demo rate, 1027 after a close) opens it again directly.
void CTarnwellDlg::portFound(const LinePort& port) {
    const FoundPortShown shown = ShowFoundPort(portEntries, port.devicePath);
    selectIndex(kPortListId, shown.selected);  // shows the entry's text
    if (shown.selected < 0) setControlText(kPortListId, FromUtf8(shown.editText));
}

// Every write that went out goes into the history of writes.
void CTarnwellDlg::writeConcluded(const WriteReport& report) {
    if (const std::optional<std::string> failed = writeHistory.record(report, "window", session.line().port().name))
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

// ---- The line's way onto this thread ------------------------------------------

// A queued call to a window that is gone is dropped by Qt.
void CTarnwellDlg::postToOwner(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

// The session's port went away: waited for until it comes back.
void CTarnwellDlg::sessionOutcome(SessionOutcome outcome) {
    if (outcome != SessionOutcome::Lost) return;
    if (const std::optional<LinePort>& lost = session.line().lostPort())
        session.AwaitReturnOf(ReturnKey(shownPorts, lost->devicePath, lost->name));
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
