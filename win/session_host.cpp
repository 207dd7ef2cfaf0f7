// The window's side of the session: the port list and what a choice in it
// opens, the window timers, the engine's owner interface, and the calls the
// session core makes on the window. Every decision is the core's (session/, form/);
// this file carries them out. Window thread only, except postToOwner.
#include <algorithm>
#include <iterator>

#include "protocol/configure_request.h"
#include "win/dialog_template.h"
#include "win/tarnwell_dlg.h"

namespace quill::win {

void CTarnwellDlg::InitPortList() {
    shownPorts = findPorts ? findPorts() : std::vector<FoundPort>{};
    FillPortList(shownPorts);
}

void CTarnwellDlg::FillPortList(std::span<const FoundPort> found) {
    const HWND list = control(kPortListId);
    if (list == nullptr) return;
    portEntries = PortListEntries(found);
    // The layout's own com1..com10 are among the entries: the list is made again whole.
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const PortListEntry& entry : portEntries) {
        if (entry.kind == PortEntryKind::Simulator) simulatorListEntry = listCount(kPortListId);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(entry.text).c_str()));
    }

    // The field is narrow: the opened list is as wide as its longest entry.
    HDC dc = GetDC(list);
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (int i = 0; i < listCount(kPortListId); ++i) {
        const std::wstring text = listItem(kPortListId, i);
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        widest = std::max(widest, size.cx);
    }
    SelectObject(dc, previous);
    ReleaseDC(list, dc);
    SendMessageW(list, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(widest + GetSystemMetrics(SM_CXVSCROLL) + 8),
                 0);
}

// ---- What the session asks of the window -------------------------------------------

std::optional<std::string> CTarnwellDlg::openPort(std::uint32_t rate) {
    openFailure.reset();
    const std::optional<PortChoice> choice =
        ChoosePort(portEntries, selectedIndex(kPortListId), Narrow(controlText(kPortListId)));
    // A reopen (the demo rate list) lets go of whichever line was open.
    serialPort.RequestStop();
    simulated.close();
    simulatedOpen = false;
    openedPath.clear();
    // Nothing to open (port number 0), the box says so; the search entry is no
    // device (a search begins before this, and in the demo state there is none).
    if (!choice || choice->kind == PortEntryKind::Auto) return std::nullopt;
    if (choice->kind == PortEntryKind::Simulator) {
        simulatedOpen = true;
        simulated.open(*this, choice->portNumber, transmitBufferSize);
        openedName = choice->name;
        return choice->name;
    }
    if (!serialPort.OpenPort(this, choice->portNumber, rate, kLineParity, kLineDataBits, kLineStopBits,
                             kLineEventMask, transmitBufferSize, choice->devicePath)) {
        openFailure = serialPort.lastOpenError();
        return std::nullopt;
    }
    serialPort.StartWorker();
    openedPath = choice->devicePath;
    openedName = choice->name;
    return choice->name;
}

std::optional<std::vector<std::string>> CTarnwellDlg::searchCandidates() {
    return candidatePorts.searchIfChosen(
        ChoosePort(portEntries, selectedIndex(kPortListId), Narrow(controlText(kPortListId))),
        findPorts ? findPorts() : std::vector<FoundPort>{});
}

// The list shows the found port as if the operator had chosen it, so a
// reopen (the demo rate, 1027 after a close) opens it again directly.
std::optional<std::string> CTarnwellDlg::adoptCandidate(std::size_t index) {
    const std::optional<FoundPortShown> shown = candidatePorts.handOver(index, portEntries, serialPort, this);
    if (!shown) return std::nullopt;
    selectIndex(kPortListId, shown->selected);  // shows the entry's text
    if (shown->selected < 0) setControlText(kPortListId, Widen(shown->editText));
    openedPath = candidatePorts.path(index);
    simulatedOpen = false;
    openedName = shown->choice.name;
    return shown->choice.name;
}

void CTarnwellDlg::stopPort() {
    if (simulatedOpen)
        simulated.close();
    else
        serialPort.RequestStop();
}

bool CTarnwellDlg::portHeld() const {
    return simulatedOpen ? simulated.isOpen() : serialPort.IsOpen();
}

bool CTarnwellDlg::sendBytes(std::span<const std::uint8_t> bytes) {
    return simulatedOpen ? simulated.sendBytes(bytes) : serialPort.SendBytes(bytes);
}

bool CTarnwellDlg::sendTextBytes(const std::string& gbk) {
    return simulatedOpen ? simulated.sendText(gbk) : serialPort.SendText(gbk.c_str());
}

// Every write that went out goes into the history of writes.
void CTarnwellDlg::writeConcluded(const WriteReport& report) {
    if (const std::optional<std::string> failed = writeHistory.record(report, "window", openedName))
        appendInfo(*failed);
}

void CTarnwellDlg::appendInfo(std::string_view utf8) {
    AppendInfo(Widen(utf8));
}

void CTarnwellDlg::showBox(std::string_view textUtf8, std::string_view captionUtf8, BoxIcon icon) {
    ShowMessageBox(Widen(textUtf8), Widen(captionUtf8), icon);
}

void CTarnwellDlg::setStatusText(std::string_view utf8) {
    setControlText(kStatusLineId, Widen(utf8));
}

void CTarnwellDlg::applyEnables(const ControlEnables& enables) {
    for (const auto& [id, enabled] : ControlEnableStates(enables)) enableControl(id, enabled);
}

// ---- The engine's owner interface ----------------------------------------------------

// Worker thread. A post that cannot be delivered (the window is gone) is dropped.
void CTarnwellDlg::postToOwner(std::function<void()> task) {
    auto* boxed = new std::function<void()>(std::move(task));
    const std::lock_guard<std::mutex> guard(postLock);
    if (postTarget == nullptr || !PostMessageW(postTarget, WM_PORT_TASK, 0, reinterpret_cast<LPARAM>(boxed)))
        delete boxed;
}

std::optional<INT_PTR> CTarnwellDlg::OnPortTask(WPARAM, LPARAM lParam) {
    const std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(lParam));
    if (task && *task) (*task)();
    return TRUE;
}

void CTarnwellDlg::onPortMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t) {
    if (message == WM_PORT_RX_BYTE) OnPortByte(static_cast<std::uint8_t>(wParam));
}

void CTarnwellDlg::OnPortByte(std::uint8_t byte) {
    ++receivedByteCount;
    session.OnPortByte(byte);
}

void CTarnwellDlg::onPortError(const std::string& text) {
    ShowMessageBox(Widen(text), Widen(kApplicationErrorCaption), BoxIcon::Error);
}

void CTarnwellDlg::onPortLost(std::uint32_t) {
    const bool hadPort = session.portOpen();
    session.OnPortLost();
    // A COM number's device is its COM name, as the system lists it.
    std::string lost = openedPath;
    if (lost.empty()) std::transform(openedName.begin(), openedName.end(), std::back_inserter(lost), ::toupper);
    if (hadPort && !session.portOpen()) lostPortKey = ReturnKey(shownPorts, lost);
    OnPortsChanged();  // the list kept the port's entry while its session ran
}

// ---- Window timers ---------------------------------------------------------------------

void CTarnwellDlg::SetTimer(int timerId, int milliseconds) {
    // Setting a running timer again restarts it with the new period.
    if (window != nullptr && ::SetTimer(window, static_cast<UINT_PTR>(timerId),
                                        static_cast<UINT>(std::max(milliseconds, 0)), nullptr))
        timerPeriods[timerId] = milliseconds;
}

void CTarnwellDlg::KillTimer(int timerId) {
    const auto it = timerPeriods.find(timerId);
    if (it == timerPeriods.end()) return;
    ::KillTimer(window, static_cast<UINT_PTR>(timerId));
    timerPeriods.erase(it);
}

int CTarnwellDlg::timerPeriod(int timerId) const {
    const auto it = timerPeriods.find(timerId);
    return it != timerPeriods.end() ? it->second : 0;
}

std::optional<INT_PTR> CTarnwellDlg::OnTimerMessage(WPARAM wParam, LPARAM) {
    const int timerId = static_cast<int>(wParam);
    // A tick already queued when its timer was killed is not the session's any more.
    if (timerPeriods.count(timerId) == 0) return TRUE;
    OnTimerTick(timerId);
    return TRUE;
}

}  // namespace quill::win
