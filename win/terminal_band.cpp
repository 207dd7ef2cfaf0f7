// The terminal band: the demo-state controls below the session row, created
// the first time the operator opens the band ("串口调试（演示状态）") and only
// shown or hidden after that. Until then their states live in the window's
// store, where the session reads and sets them; creating them carries those
// states over, so the band opens as the session left it.
#include <algorithm>

#include "win/dialog_template.h"
#include "win/tarnwell_dlg.h"

namespace quill::win {

void CTarnwellDlg::OnToggleTerminal() {
    ShowTerminalControls(!terminalShown);
}

void CTarnwellDlg::ShowTerminalControls(bool shown) {
    if (window == nullptr) return;
    if (shown && !bandCreated) createTerminalBand();
    terminalShown = shown;
    fitClientHeight(clientHeightUnits());
    for (const HWND item : bandControls) ShowWindow(item, shown ? SW_SHOW : SW_HIDE);
}

int CTarnwellDlg::clientHeightUnits() const {
    return MainClientHeight(terminalShown);
}

void CTarnwellDlg::createTerminalBand() {
    bandCreated = true;
    const auto font = static_cast<WPARAM>(SendMessageW(window, WM_GETFONT, 0, 0));
    // Carrying the stored states over is no operator's doing: no handler runs for it.
    exchangeRunning = true;
    std::vector<HWND> frames;
    for (const PlacedControl& placed : TerminalBandLayout().controls) {
        const ControlDef& row = *placed.control;
        RECT r{placed.rect.x, placed.rect.y, placed.rect.w, placed.rect.h};
        MapDialogRect(window, &r);
        const StoredControl* state = storedControl(row.id);
        const std::wstring caption = state != nullptr ? state->text : Widen(row.caption);
        const DWORD style = ControlStyle(row) & ~static_cast<DWORD>(WS_VISIBLE | WS_DISABLED);
        const HWND item = CreateWindowExW(0, ControlClassName(row.kind),
                                          row.kind == ControlKind::ComboBox ? L"" : caption.c_str(), style,
                                          r.left, r.top, r.right, r.bottom, window,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)),
                                          GetModuleHandleW(nullptr), nullptr);
        if (item == nullptr) continue;
        bandControls.push_back(item);  // labels without an id are shown and hidden through it too
        if (row.kind == ControlKind::GroupBox) frames.push_back(item);
        SendMessageW(item, WM_SETFONT, font, FALSE);
        if (state == nullptr) continue;
        for (const std::string_view entry : row.items)
            SendMessageW(item, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(entry).c_str()));
        if (row.kind == ControlKind::ComboBox) {
            SendMessageW(item, CB_SETCURSEL, static_cast<WPARAM>(state->selected), 0);
            if (state->selected < 0) SetWindowTextW(item, state->text.c_str());
        }
        if (state->ticked) SendMessageW(item, BM_SETCHECK, BST_CHECKED, 0);
        EnableWindow(item, state->enabled ? TRUE : FALSE);
        stored.erase(row.id);  // from now on the control holds its state
    }
    exchangeRunning = false;
    // A frame lies under what it frames: a point inside finds the control, not the frame.
    for (const HWND frame : frames)
        SetWindowPos(frame, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// CBN_SELCHANGE comes before the field shows the picked entry: a pick is
// taken by its selection, typed text by what the field holds.
void CTarnwellDlg::OnDemoRateChanged(RateListChange change) {
    demoRateChange = change;
    session.OnDemoBaudChanged();
}

int CTarnwellDlg::demoRateIndex() const {
    return DemoRateEntry(demoRateChange, selectedIndex(kDemoRateListId),
                         Narrow(controlText(kDemoRateListId)));
}

void CTarnwellDlg::selectDemoRate(int index) {
    demoRateChange = RateListChange::Picked;
    selectIndex(kDemoRateListId, index);
}

void CTarnwellDlg::fitClientHeight(int heightUnits) {
    RECT client{0, 0, MainDialogTemplate().width, heightUnits};
    MapDialogRect(window, &client);
    RECT frame = client;
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
    const int height = frame.bottom - frame.top;
    // Growing downwards must not push the band off the screen: the window moves
    // up as far as its lower edge would leave the work area, never above its top.
    RECT placed;
    GetWindowRect(window, &placed);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    int top = placed.top;
    if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        if (top + height > work.bottom) top = std::max<int>(work.top, work.bottom - height);
    }
    SetWindowPos(window, nullptr, placed.left, top, frame.right - frame.left, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace quill::win
