// quillmere-sim: a simulated DTU on a pseudo-terminal (or on a serial device)
// for trying the tool without hardware. Runs until Ctrl-C.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sim/dtu_server.h"

namespace {

constexpr const char* kUsage =
    "Usage: quillmere-sim [--device PATH] [--no-announce] [--delay MS]\n"
    "\n"
    "Simulates a GPRS DTU: answers the poll byte 0x37 with 0x6C, a read request\n"
    "with its parameter set, a configure request by storing the items, and a\n"
    "reset request by restoring its factory set.\n"
    "\n"
    "Without --device it creates a pseudo-terminal and prints the path to open\n"
    "in the tool. With --device it serves that serial device instead (for\n"
    "example one end of a null-modem cable).\n"
    "\n"
    "  --device PATH   serve this serial device\n"
    "  --no-announce   never answer the poll byte\n"
    "  --delay MS      wait MS milliseconds before each answer\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "Stop with Ctrl-C.\n";

}  // namespace

int main(int argc, char** argv) {
    std::string device;
    quill::DtuFaults faults;
    long delayMs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("quillmere-sim %s\n", QUILLMERE_VERSION);
            return 0;
        }
        if (arg == "--device" && i + 1 < argc) {
            device = argv[++i];
        } else if (arg == "--no-announce") {
            faults.noAnnouncement = true;
        } else if (arg == "--delay" && i + 1 < argc) {
            char* end = nullptr;
            delayMs = std::strtol(argv[++i], &end, 10);
            if (end == nullptr || *end != '\0' || delayMs < 0) {
                std::fprintf(stderr, "quillmere-sim: --delay needs a number of milliseconds\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "quillmere-sim: unknown argument '%s'\n\n%s", argv[i], kUsage);
            return 2;
        }
    }

    // The signals are taken by sigwait below, not by a handler on some thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    quill::DtuServer server;
    server.setFaults(faults);
    server.setAnswerDelay(std::chrono::milliseconds(delayMs));
    const bool started = device.empty() ? server.start() : server.startOnDevice(device);
    if (!started) {
        std::fprintf(stderr, "quillmere-sim: cannot open %s\n",
                     device.empty() ? "a pseudo-terminal" : device.c_str());
        return 1;
    }
    std::printf("Simulated DTU on %s\n", server.devicePath().c_str());
    if (device.empty()) std::printf("Open this path in the tool. Ctrl-C stops.\n");
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    const quill::DtuCounters c = server.counters();
    std::printf("\nPolls %llu, read requests %llu, configure requests %llu, reset requests %llu\n",
                static_cast<unsigned long long>(c.pollBytes), static_cast<unsigned long long>(c.readRequests),
                static_cast<unsigned long long>(c.configureRequests),
                static_cast<unsigned long long>(c.resetRequests));
    return 0;
}
