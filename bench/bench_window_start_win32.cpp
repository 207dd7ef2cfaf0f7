// Start time of quillmere.exe on Windows (or under a warm Wine): from
// CreateProcess to the main window visible with nothing left to paint, over
// several runs, alternating with a second program (by default the system's
// notepad.exe) so both meet the same warm system. Each run closes the window
// again. Usage:
//   bench_window_start_win32.exe [path\to\quillmere.exe] [runs] [other.exe]
// Prints each program's median, range and the ratio of the medians.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

// The visible top-level window of that process that no other window owns.
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
            if (owner != s->processId || !IsWindowVisible(hwnd) || GetWindow(hwnd, GW_OWNER) != nullptr)
                return TRUE;
            s->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Nothing of the window or its children waits to be painted.
bool Painted(HWND window) {
    if (GetUpdateRect(window, nullptr, FALSE)) return false;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) return false;
    return true;
}

// One start in milliseconds; nullopt when the program did not show a window.
std::optional<double> StartOnce(const std::string& exe) {
    std::string command = "\"" + exe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const auto start = std::chrono::steady_clock::now();
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "cannot start %s (%lu)\n", exe.c_str(), GetLastError());
        return std::nullopt;
    }
    // Ready for input means its first messages have been handled.
    WaitForInputIdle(process.hProcess, 10000);
    const auto deadline = start + std::chrono::seconds(10);
    HWND window = nullptr;
    while ((window = FindShown(process.dwProcessId)) == nullptr && std::chrono::steady_clock::now() < deadline)
        WaitForSingleObject(process.hProcess, 1);
    if (window != nullptr) {
        // A message sent to the window returns once its thread takes messages again.
        SendMessageW(window, WM_NULL, 0, 0);
        while (!Painted(window) && std::chrono::steady_clock::now() < deadline)
            WaitForSingleObject(process.hProcess, 1);
    }
    const auto shown = std::chrono::steady_clock::now();
    if (window == nullptr) {
        std::fprintf(stderr, "%s: no window within 10 s\n", exe.c_str());
        TerminateProcess(process.hProcess, 1);
    } else {
        PostMessageW(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (window == nullptr) return std::nullopt;
    return std::chrono::duration<double, std::milli>(shown - start).count();
}

struct Summary {
    double median;
    double best;
    double worst;
};

Summary Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const std::size_t n = ms.size();
    const double median = n % 2 != 0 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
    return {median, ms.front(), ms.back()};
}

}  // namespace

int main(int argc, char** argv) {
    const std::string exe = argc > 1 ? argv[1] : "quillmere.exe";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const std::string other = argc > 3 ? argv[3] : "notepad.exe";
    // One start of each, not counted: both programs' files are in the cache before timing.
    if (!StartOnce(exe) || !StartOnce(other)) return 1;
    std::vector<double> ours;
    std::vector<double> theirs;
    for (int run = 0; run < runs; ++run) {
        const std::optional<double> a = StartOnce(exe);
        const std::optional<double> b = StartOnce(other);
        if (!a || !b) return 1;
        ours.push_back(*a);
        theirs.push_back(*b);
    }
    const Summary s = Summarise(ours);
    const Summary t = Summarise(theirs);
    std::printf("start to painted window, %d alternating runs each\n", runs);
    std::printf("  %s: median %.0f ms (%.0f-%.0f)\n", exe.c_str(), s.median, s.best, s.worst);
    std::printf("  %s: median %.0f ms (%.0f-%.0f)\n", other.c_str(), t.median, t.best, t.worst);
    std::printf("  ratio of the medians: %.2f\n", s.median / t.median);
    return 0;
}
