// The window's side of the session: the port list and what a choice in it
// opens, the window timers, the engine's owner interface, and the calls the
// session core makes on the window. Every decision is the session core's;
// this file carries them out. Window thread only, except postToOwner.
#include <algorithm>
#include <cwctype>

#include "protocol/configure_request.h"
#include "win/dialog_template.h"
#include "win/tarnwell_dlg.h"

namespace quill::win {
namespace {

constexpr int kComEntries = 10;  // "com1" .. "com10": the COM ports of those numbers

// What the port list points at.
struct PortChoice {
    std::uint32_t portNumber = 0;  // carried in the engine's notifications
    std::string devicePath;        // empty: the COM port of portNumber
    std::string name;              // as the status line names it
    bool simulated = false;
};

// "com7" or "COM7" gives 7; anything else nothing.
std::optional<std::uint32_t> ComNumber(std::wstring_view text) {
    if (text.size() < 4 || text.size() > 6) return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::towlower(text[i]) != L"com"[i]) return std::nullopt;
    std::uint32_t number = 0;
    for (const wchar_t c : text.substr(3)) {
        if (c < L'0' || c > L'9') return std::nullopt;
        number = number * 10 + static_cast<std::uint32_t>(c - L'0');
    }
    if (number == 0 || number > 255) return std::nullopt;
    return number;
}

std::wstring Trimmed(std::wstring text) {
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    while (!text.empty() && blank(text.back())) text.pop_back();
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    return std::wstring(first, text.end());
}

}  // namespace

std::optional<std::wstring> CTarnwellDlg::FoundPortEntry(const FoundPort& port) {
    const auto number = ComNumber(Widen(port.path));
    if (number && *number <= static_cast<std::uint32_t>(kComEntries)) return std::nullopt;
    // "COM12 USB Serial Port": the adapter's name without the port it repeats.
    std::wstring entry = Widen(port.path);
    std::string adapter = port.name;
    if (const std::string suffix = " (" + port.path + ")"; adapter.ends_with(suffix))
        adapter.resize(adapter.size() - suffix.size());
    if (!adapter.empty()) entry += L" " + Widen(adapter);
    return entry;
}

void CTarnwellDlg::InitPortList() {
    const HWND list = control(kPortListId);
    if (list == nullptr) return;
    // COM ports beyond com10, once each, in the order the system gives them.
    if (findPorts) {
        for (FoundPort& port : findPorts()) {
            const auto entry = FoundPortEntry(port);
            if (!entry) continue;
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry->c_str()));
            foundPorts.push_back(std::move(port));
        }
    }
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(kSimulatorEntryText).c_str()));
    simulatorListEntry = listCount(kPortListId) - 1;
    FitPortListWidth();
}

void CTarnwellDlg::FitPortListWidth() {
    const HWND list = control(kPortListId);
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

namespace {

// The entry the edit field shows: the selected one, or the one whose text was
// typed; then what it stands for.
PortChoice ChoosePort(const CTarnwellDlg& window, const std::vector<FoundPort>& found) {
    const int selected = window.selectedIndex(kPortListId);
    const std::wstring text = Trimmed(window.controlText(kPortListId));
    int entry = -1;
    if (selected >= 0 && window.listItem(kPortListId, selected) == text) {
        entry = selected;
    } else if (!text.empty()) {
        const LRESULT match = SendMessageW(window.control(kPortListId), CB_FINDSTRINGEXACT,
                                           static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
        if (match != CB_ERR) entry = static_cast<int>(match);
    } else {
        entry = selected;  // nothing typed: the selection, if any
    }

    PortChoice choice;
    const int firstFound = kComEntries;
    if (entry >= 0 && entry < kComEntries) {
        choice.portNumber = static_cast<std::uint32_t>(entry + 1);
        choice.name = "com" + std::to_string(choice.portNumber);
    } else if (entry >= 0 && entry == window.simulatorEntry()) {
        choice.portNumber = static_cast<std::uint32_t>(entry + 1);
        choice.name = std::string(kSimulatorName);
        choice.simulated = true;
    } else if (entry >= firstFound && static_cast<std::size_t>(entry - firstFound) < found.size()) {
        const FoundPort& port = found[static_cast<std::size_t>(entry - firstFound)];
        choice.portNumber = ComNumber(Widen(port.path)).value_or(static_cast<std::uint32_t>(entry + 1));
        choice.devicePath = port.path;
        choice.name = port.path;
    } else if (const auto number = ComNumber(text)) {
        choice.portNumber = *number;
        choice.name = "com" + std::to_string(*number);
    } else {
        // A device name typed into the edit field, opened as typed.
        choice.portNumber = static_cast<std::uint32_t>(std::max(selected, 0) + 1);
        choice.devicePath = Narrow(text);
        choice.name = choice.devicePath;
    }
    return choice;
}

}  // namespace

// ---- What the session asks of the window -------------------------------------------

std::optional<std::string> CTarnwellDlg::openPort(std::uint32_t rate) {
    const PortChoice choice = ChoosePort(*this, foundPorts);
    // A reopen (the demo rate list) lets go of whichever line was open.
    serialPort.RequestStop();
    simulated.close();
    openedPath.clear();
    simulatedOpen = choice.simulated;
    if (choice.simulated) {
        simulated.open(*this, choice.portNumber, transmitBufferSize);
        return choice.name;
    }
    if (!serialPort.OpenPort(this, choice.portNumber, rate, kLineParity, kLineDataBits, kLineStopBits,
                             kLineEventMask, transmitBufferSize, choice.devicePath))
        return std::nullopt;
    serialPort.StartWorker();
    openedPath = choice.devicePath;
    return choice.name;
}

std::string CTarnwellDlg::openFailureText() {
    return std::string(kOpenFailedText);
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
    session.OnPortLost();
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
