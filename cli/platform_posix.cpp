#include <pthread.h>
#include <signal.h>
#include <unistd.h>

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

bool PortPresent(const std::string& port) {
    return ::access(port.c_str(), F_OK) == 0;
}

}  // namespace quill::cli
