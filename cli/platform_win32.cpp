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

}  // namespace quill::cli
