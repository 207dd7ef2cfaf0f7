// quillmere-screenshot.exe: shows the window for the picture in the
// documentation. Without arguments the window as it starts; with "read" after
// opening and reading the built-in simulated DTU; with "terminal" in the demo
// state with the terminal band open, after a read request sent as hex and the
// DTU's answer shown; with "search COMn" after the list's search entry found
// the DTU on COMn (COM40, which exists nowhere, is skipped); with "check" after
// checking the read unit against a parameter file that differs in one field;
// with "history" the history dialog over a few records kept in a folder of its
// own. When the window (or the dialog) is drawn it prints "ready <x> <y> <width>
// <height>" (its client area on the screen) and keeps running until it is
// ended; scripts/screenshot-windows.sh takes the picture.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "form/write_history.h"
#include "protocol/wire.h"
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

// After a read, a file that names the station otherwise and the SMS centre as it is.
bool Check(quill::win::CTarnwellDlg& window) {
    if (!Connect(window)) return false;
    int before = InfoLength(window);
    Click(window, quill::kReadButtonId);
    if (!PumpUntil([&] { return InfoLength(window) > before; })) return false;
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"quillmere-check.json";
    std::ofstream(std::filesystem::path(path), std::ios::binary)
        << R"({"format": "quillmere-parameters", "version": 1,)"
           R"( "fields": {"stationName": "城西开关站", "smsCentreNumber": "+8613800100500"}})";
    window.fileDialogHook = [path](bool) { return path; };
    before = InfoLength(window);
    SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(quill::win::kMenuCheckFile, 0), 0);
    // The differing field, then the verdict: two reports.
    const bool done = PumpUntil([&] {
        const std::wstring text = window.controlText(quill::kInfoAreaId);
        return text.find(L"\x6838\x5BF9\x7ED3\x679C") != std::wstring::npos;  // 核对结果
    });
    DeleteFileW(path.c_str());
    return done;
}

// Prints where a drawn window's client area is on the screen.
void PrintReady(HWND shown) {
    RECT client;
    GetClientRect(shown, &client);
    POINT origin{0, 0};
    ClientToScreen(shown, &origin);
    std::printf("ready %ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
    std::fflush(stdout);
}

// Three writes as the history keeps them, in a data folder of the picture's own,
// then the history dialog, drawn and held until the program is ended.
int History(quill::win::CTarnwellDlg& window) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    SetEnvironmentVariableW(L"APPDATA", (std::wstring(folder) + L"quillmere-picture").c_str());
    std::filesystem::remove_all(std::filesystem::path(std::wstring(folder) + L"quillmere-picture"));
    const std::vector<quill::HistoryRecord> records{
        {"2026-12-09T08:02:11+08:00",
         "window",
         "COM3",
         "13912345678",
         {{"站名", "城东变电站"}},
         "written",
         "passed",
         {},
         {}},
        {"2026-12-09T10:15:40+08:00",
         "provision",
         "COM4",
         "13912345679",
         {{"DTU编号", "13912345679"},
          {"站名", "城西开关站"},
          {"短信中心号码", "+8613800100500"},
          {"数据通道", "1"}},
         "written",
         "differs",
         {"数据通道"},
         {}},
        {"2026-12-10T09:30:05+08:00", "write", "COM5", "", {{"站名", "北郊站"}}, "no-answer", "none", {}, {}},
    };
    for (const quill::HistoryRecord& record : records)
        if (!quill::AppendHistoryLine(quill::DefaultHistoryPath(), quill::HistoryLine(record)).empty())
            return 6;
    window.dialogShownHook = [](HWND dialog) {
        ShowWindow(dialog, SW_SHOW);
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        PumpUntil([] { return true; });
        PrintReady(dialog);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    };
    SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(quill::win::kMenuHistory, 0), 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    quill::win::CTarnwellDlg window;
    window.findPorts = [] { return std::vector<quill::FoundPort>{}; };
    if (!window.Create()) return 1;
    const HWND dialog = window.hwnd();

    if (argc > 1 && std::strcmp(argv[1], "history") == 0) return History(window);
    if (argc > 1 && std::strcmp(argv[1], "check") == 0) {
        if (!Check(window)) return 7;
    } else if (argc > 1 && std::strcmp(argv[1], "terminal") == 0) {
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
    PrintReady(dialog);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
