// The terminal band: the demo-state controls below the session row, created
// the first time the operator opens the band ("串口调试（演示状态）") and only
// shown or hidden after that. Until then their states live in the window's
// store, where the session reads and sets them; creating them carries those
// states over, so the band opens as the session left it.
#include <algorithm>

#include "win/dialog_template.h"
#include "win/tarnwell_dlg.h"

namespace quill::win {
namespace {

// The rows of the band, in the layout's order (their tab order).
bool InTerminalBand(const ControlDef& row) {
    static constexpr int kBandIds[] = {1031, 1032, 1033, 1034, 1035, 1036, 1037, 1038, 1061, 1066, 1067, 1068};
    if (row.shown) return false;
    if (row.id == kNoId) return row.caption == "波特率";  // the rate list's label
    return std::find(std::begin(kBandIds), std::end(kBandIds), row.id) != std::end(kBandIds);
}

// Bottom of the band in dialog units, with the layout's margin below it.
int BandBottom() {
    int bottom = MainDialogTemplate().height;
    for (const ControlDef& row : MainDialogTemplate().controls)
        if (InTerminalBand(row)) bottom = std::max(bottom, ClosedRect(row).bottom() + 4);
    return bottom;
}

}  // namespace

void CTarnwellDlg::OnToggleTerminal() {
    ShowTerminalControls(!terminalShown);
}

void CTarnwellDlg::ShowTerminalControls(bool shown) {
    if (window == nullptr) return;
    if (shown && !bandCreated) createTerminalBand();
    terminalShown = shown;
    fitClientHeight(clientHeightUnits());
    for (const ControlDef& row : MainDialogTemplate().controls) {
        if (!InTerminalBand(row)) continue;
        for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
            if (GetWindowLongPtrW(child, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(&row))
                ShowWindow(child, shown ? SW_SHOW : SW_HIDE);
    }
}

int CTarnwellDlg::clientHeightUnits() const {
    return terminalShown ? BandBottom() : MainDialogTemplate().height;
}

void CTarnwellDlg::createTerminalBand() {
    bandCreated = true;
    const auto font = static_cast<WPARAM>(SendMessageW(window, WM_GETFONT, 0, 0));
    // Carrying the stored states over is no operator's doing: no handler runs for it.
    exchangeRunning = true;
    for (const ControlDef& row : MainDialogTemplate().controls) {
        if (!InTerminalBand(row)) continue;
        RECT r{row.rect.x, row.rect.y, row.rect.w, row.rect.h};
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
        // Which row the control was made from: labels without an id are found by it too.
        SetWindowLongPtrW(item, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&row));
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
}

void CTarnwellDlg::fitClientHeight(int heightUnits) {
    RECT client{0, 0, MainDialogTemplate().width, heightUnits};
    MapDialogRect(window, &client);
    RECT frame = client;
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace quill::win
