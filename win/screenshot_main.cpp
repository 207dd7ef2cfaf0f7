// quillmere-screenshot.exe: shows the window for the picture in the
// documentation. Without arguments the window as it starts; with "read" after
// opening and reading the built-in simulated DTU; with "terminal" in the demo
// state with the terminal band open, after a read request sent as hex and the
// DTU's answer shown; with "search COMn" after the list's search entry found
// the DTU on COMn (COM40, which exists nowhere, is skipped). When the window is drawn it
// prints "ready <x> <y> <width> <height>" (its client area on the screen) and keeps
// running until it is ended; scripts/screenshot-windows.sh takes the picture.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <functional>

#include "protocol/session.h"
#include "win/tarnwell_dlg.h"

namespace {

// Runs the thread's messages until pred() holds or ten seconds have passed.
bool PumpUntil(const std::function<bool()>& pred) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (pred()) return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return false;
}

int InfoLength(const quill::win::CTarnwellDlg& window) {
    return GetWindowTextLengthW(window.control(quill::kInfoAreaId));
}

void Click(const quill::win::CTarnwellDlg& window, int id) {
    SendMessageW(window.control(id), BM_CLICK, 0, 0);
}

// Opens the built-in simulated DTU and waits until it has announced itself.
bool Connect(quill::win::CTarnwellDlg& window) {
    window.selectIndex(quill::kPortListId, window.simulatorEntry());
    Click(window, quill::kOpenButtonId);
    window.OnTimerTick(quill::TIMER_DTU_POLL);
    return PumpUntil([&] { return window.session.dtuConnected(); });
}

// The demo state with the band open: a read request typed as hex and sent.
bool ShowTerminal(quill::win::CTarnwellDlg& window) {
    if (!Connect(window)) return false;
    SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(quill::win::kMenuTerminal, 0), 0);
    Click(window, quill::kConfigDoneBoxId);
    Click(window, quill::kClearButtonId);
    Click(window, quill::kHexModeBoxId);
    std::wstring hex;
    for (const std::uint8_t byte : quill::BuildRequestFrame(0x0B)) {
        wchar_t pair[4];
        swprintf(pair, 4, L"%02X ", byte);
        hex += pair;
    }
    hex.pop_back();
    window.setControlText(quill::kSendEditId, hex);
    Click(window, quill::kSendButtonId);
    return PumpUntil([&] { return InfoLength(window) > 0; });
}

// The list's search entry over COM40 and the given port.
bool Search(quill::win::CTarnwellDlg& window, const std::string& com) {
    window.findPorts = [com] { return std::vector<quill::FoundPort>{{"COM40", ""}, {com, ""}}; };
    window.selectIndex(quill::kPortListId, window.simulatorEntry() - 1);
    Click(window, quill::kOpenButtonId);
    window.OnTimerTick(quill::TIMER_DTU_POLL);
    return PumpUntil([&] { return window.session.dtuConnected(); });
}

}  // namespace

int main(int argc, char** argv) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    quill::win::CTarnwellDlg window;
    window.findPorts = [] { return std::vector<quill::FoundPort>{}; };
    if (!window.Create()) return 1;
    const HWND dialog = window.hwnd();

    if (argc > 1 && std::strcmp(argv[1], "terminal") == 0) {
        if (!ShowTerminal(window)) return 4;
    } else if (argc > 2 && std::strcmp(argv[1], "search") == 0) {
        if (!Search(window, argv[2])) return 5;
    } else if (argc > 1 && std::strcmp(argv[1], "read") == 0) {
        if (!Connect(window)) return 2;
        const int before = InfoLength(window);
        SendMessageW(window.control(quill::kReadButtonId), BM_CLICK, 0, 0);
        if (!PumpUntil([&] { return InfoLength(window) > before; })) return 3;
        // The read fills the form; tick two fields as an operator about to change them would.
        for (const int box : {1023, 1049}) SendMessageW(window.control(box), BM_CLICK, 0, 0);
    }
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpUntil([] { return true; });
    // The client area: the frame is the desktop's business, not the window's.
    RECT client;
    GetClientRect(dialog, &client);
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    std::printf("ready %ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
    std::fflush(stdout);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
