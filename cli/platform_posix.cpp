#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "cli/platform.h"

namespace quill::cli {

void PrepareConsole() {}  // terminals take UTF-8 and the escape as they are

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

// The signals are blocked in every thread and taken by sigwait on one thread
// of their own, where the callback may lock and notify as any thread can.
void WatchInterrupts(std::function<void()> onInterrupt) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals, onInterrupt = std::move(onInterrupt)] {
        for (;;) {
            int signal = 0;
            if (sigwait(&signals, &signal) == 0) onInterrupt();
        }
    }).detach();
}

std::string OpenFailureHint(int error) {
    if (error == EACCES)
        return "没有访问权限：请把当前用户加入 dialout 组（sudo usermod -aG dialout $USER），然后重新登录。";
    return {};
}

// Adapters by their stable names under serial/by-id, then USB and ACM devices
// without one, then the built-in ports the kernel has found hardware for (a
// port without hardware reports UART type 0).
std::vector<FoundPort> FindSerialPorts(const std::string& devRoot, const std::string& sysRoot) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> found;  // path -> name
    std::error_code error;
    const fs::path dev(devRoot);
    for (const auto& link : fs::directory_iterator(dev / "serial" / "by-id", error)) {
        const fs::path target = fs::canonical(link.path(), error);
        if (!error) found[target.string()] = link.path().filename().string();
    }
    for (const auto& entry : fs::directory_iterator(dev, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("ttyUSB") || name.starts_with("ttyACM"))
            found.try_emplace(entry.path().string());
    }
    for (const auto& entry : fs::directory_iterator(fs::path(sysRoot) / "class" / "tty", error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("ttyS")) continue;
        std::ifstream typeFile(entry.path() / "type");
        int uartType = 0;
        if (typeFile >> uartType && uartType != 0) found.try_emplace((dev / name).string());
    }
    std::vector<FoundPort> ports;
    for (auto& [path, name] : found) ports.push_back({path, name});
    return ports;
}

}  // namespace quill::cli
