#include <io.h>
#include <windows.h>

#include <cstdio>
#include <utility>

#include "cli/platform.h"

namespace quill::cli {
namespace {

std::function<void()> interruptCallback;

// Windows calls this on a thread of its own for Ctrl-C, Ctrl-Break and closing the console.
BOOL WINAPI OnConsoleControl(DWORD /*event*/) {
    if (interruptCallback) interruptCallback();
    return TRUE;
}

}  // namespace

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(err, &mode)) SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

void WatchInterrupts(std::function<void()> onInterrupt) {
    interruptCallback = std::move(onInterrupt);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool PortPresent(const std::string& port) {
    // COM5, or \\.\COM5: its DOS device name; anything else an open decides.
    const std::string name = port.rfind("\\\\.\\", 0) == 0 ? port.substr(4) : port;
    if (name.size() < 4 || (name.compare(0, 3, "COM") != 0 && name.compare(0, 3, "com") != 0)) return true;
    wchar_t target[512];
    return ::QueryDosDeviceW(std::wstring(name.begin(), name.end()).c_str(), target, 512) != 0;
}

}  // namespace quill::cli
