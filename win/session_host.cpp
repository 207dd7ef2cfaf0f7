// The window's side of the session: the port list and what a choice in it
// opens, the window timers, the line's way onto this thread, and the calls
// the session core makes on the window. Every decision is the core's (session/, form/);
// this file carries them out. Window thread only, except postToOwner.
#include <algorithm>

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

ChosenPort CTarnwellDlg::chosenPort() {
    const std::optional<PortChoice> choice =
        ChoosePort(portEntries, selectedIndex(kPortListId), Narrow(controlText(kPortListId)));
    if (!choice) return {};
    if (choice->kind == PortEntryKind::Auto)
        return SearchChoice(portEntries, findPorts ? findPorts() : std::vector<FoundPort>{});
    return {ChosenPort::Kind::Port,
            {choice->devicePath, choice->portNumber, choice->name, choice->kind == PortEntryKind::Simulator},
            {}};
}

// The list shows the found port as if the operator had chosen it, so a
// reopen (the demo rate, 1027 after a close) opens it again directly.
void CTarnwellDlg::portFound(const LinePort& port) {
    const FoundPortShown shown = ShowFoundPort(portEntries, port.devicePath);
    selectIndex(kPortListId, shown.selected);  // shows the entry's text
    if (shown.selected < 0) setControlText(kPortListId, Widen(shown.editText));
}

// Every write that went out goes into the history of writes.
void CTarnwellDlg::writeConcluded(const WriteReport& report) {
    if (const std::optional<std::string> failed = writeHistory.record(report, "window", session.line().port().name))
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

// ---- The line's way onto this thread ----------------------------------------------

// Any thread. A post that cannot be delivered (the window is gone) is dropped.
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

// The session's port went away: waited for until it comes back.
void CTarnwellDlg::sessionOutcome(SessionOutcome outcome) {
    if (outcome != SessionOutcome::Lost) return;
    if (const std::optional<LinePort>& lost = session.line().lostPort())
        session.AwaitReturnOf(ReturnKey(shownPorts, lost->devicePath, lost->name));
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
    if (wParam == kAfterFirstPaintTimer) {
        OnFirstPaintDone();
        return TRUE;
    }
    const int timerId = static_cast<int>(wParam);
    // A tick already queued when its timer was killed is not the session's any more.
    if (timerPeriods.count(timerId) == 0) return TRUE;
    OnTimerTick(timerId);
    return TRUE;
}

}  // namespace quill::win
