// Start time of quillmere.exe on Windows (or under a warm Wine): from
// CreateProcess to the main window visible with its controls painted, over
// several runs. Each run closes the window again. Usage:
//   bench_window_start_win32.exe [path\to\quillmere.exe] [runs]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The main window of that process, once it is visible.
HWND FindShown(DWORD processId) {
    struct Search {
        DWORD processId;
        HWND found;
    } search{processId, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner != s->processId || !IsWindowVisible(hwnd) || GetDlgItem(hwnd, 1027) == nullptr)
                return TRUE;
            s->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string exe = argc > 1 ? argv[1] : "quillmere.exe";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        std::string command = "\"" + exe + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        const auto start = std::chrono::steady_clock::now();
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process)) {
            std::fprintf(stderr, "cannot start %s (%lu)\n", exe.c_str(), GetLastError());
            return 1;
        }
        // Ready for input means its first messages have been handled.
        WaitForInputIdle(process.hProcess, 10000);
        HWND window = nullptr;
        const auto deadline = start + std::chrono::seconds(10);
        while ((window = FindShown(process.dwProcessId)) == nullptr &&
               std::chrono::steady_clock::now() < deadline)
            WaitForSingleObject(process.hProcess, 1);
        // A message sent to the window returns once everything queued before it, painting included, is done.
        if (window != nullptr) SendMessageW(window, WM_NULL, 0, 0);
        const auto shown = std::chrono::steady_clock::now();
        if (window == nullptr) {
            std::fprintf(stderr, "no window within 10 s\n");
            TerminateProcess(process.hProcess, 1);
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(shown - start).count());
        PostMessageW(window, WM_CLOSE, 0, 0);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    std::printf("start to shown window over %d runs: first %.0f ms, median %.0f ms, best %.0f ms\n", runs,
                ms.front(), sorted[sorted.size() / 2], sorted.front());
    return 0;
}
