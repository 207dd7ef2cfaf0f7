#include <io.h>
#include <windows.h>

#include <algorithm>
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

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(size - 1));
    return utf8;
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

std::string OpenFailureHint(int error) {
    if (error == ERROR_ACCESS_DENIED) return "串口已被其他程序占用。";
    return {};
}

// The COM ports the system lists under SERIALCOMM: the value names the
// driver's device, the data the port's name ("COM3").
std::vector<FoundPort> FindSerialPorts(const std::string& /*devRoot*/, const std::string& /*sysRoot*/) {
    std::vector<FoundPort> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        wchar_t data[256];
        DWORD nameLength = 256;
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        const LONG result = RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        data[std::min<DWORD>(dataSize / sizeof(wchar_t), 255)] = L'\0';
        ports.push_back({Utf8(data), Utf8(name)});
    }
    RegCloseKey(key);
    std::sort(ports.begin(), ports.end(),
              [](const FoundPort& a, const FoundPort& b) { return a.path < b.path; });
    return ports;
}

}  // namespace quill::cli
