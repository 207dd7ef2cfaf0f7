// quillmere-sim: a simulated DTU on a pseudo-terminal (or on a serial device)
// for trying the tool without hardware. Runs until Ctrl-C, or with --units
// until that many units have been configured.
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "sim/dtu_server.h"
#include "sim/simulated_dtu.h"
#include "sim/unit_series.h"

namespace {

constexpr const char* kUsage =
    "Usage: quillmere-sim [--device PATH] [--wire-rate BPS] [--no-announce] [--delay MS]\n"
    "                     [--store-nothing] [--units N]\n"
    "\n"
    "Simulates a GPRS DTU: answers the poll byte 0x37 with 0x6C, a read request\n"
    "with its parameter set, a configure request by storing the items, and a\n"
    "reset request by restoring its factory set.\n"
    "\n"
    "Without --device it creates a pseudo-terminal and prints the path to open\n"
    "in the tool. With --device it serves that serial device instead (for\n"
    "example one end of a null-modem cable).\n"
    "\n"
    "Answers go out at the simulated wire rate, 10 bits a byte, whatever rate\n"
    "the tool sets (a pseudo-terminal itself passes bytes on at once).\n"
    "\n"
    "  --device PATH     serve this serial device\n"
    "  --wire-rate BPS   send at BPS bit/s (default 57600; 0: as fast as the\n"
    "                    line takes the bytes)\n"
    "  --no-announce     never answer the poll byte\n"
    "  --delay MS        wait MS milliseconds before each answer\n"
    "  --store-nothing   answer configure requests with success but store\n"
    "                    nothing (read-back verification must notice)\n"
    "  --units N         play N units one after another: once a unit has\n"
    "                    answered a configure request with success and the\n"
    "                    tool has sent nothing but polls for 2.5 s, the next\n"
    "                    unit (factory set, a DTU id of its own) takes its\n"
    "                    place; a tool that polls first sees the unit leave\n"
    "                    (8 polls unanswered). Stops after the Nth\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "\n"
    "Example: quillmere-sim --wire-rate 9600 --units 3\n"
    "\n"
    "Stop with Ctrl-C.\n";

// A whole non-negative decimal number, or nothing.
std::optional<unsigned long> Number(const char* text) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || text[0] == '-') return std::nullopt;
    return value;
}

bool StopPending(const sigset_t& signals) {
    const timespec now{0, 0};
    return sigtimedwait(&signals, nullptr, &now) > 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string device;
    quill::DtuFaults faults;
    long delayMs = 0;
    std::uint32_t wireRate = quill::DtuServer::kDefaultWireRate;
    unsigned long units = 0;
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
        } else if (arg == "--store-nothing") {
            faults.storeNothing = true;
        } else if (arg == "--wire-rate" && i + 1 < argc) {
            const auto rate = Number(argv[++i]);
            if (!rate || *rate > 100'000'000) {
                std::fprintf(stderr, "quillmere-sim: --wire-rate needs bits per second (0 to 100000000)\n");
                return 2;
            }
            wireRate = static_cast<std::uint32_t>(*rate);
        } else if (arg == "--units" && i + 1 < argc) {
            const auto count = Number(argv[++i]);
            if (!count || *count == 0 || *count > 1'000'000) {
                std::fprintf(stderr, "quillmere-sim: --units needs a number of units from 1\n");
                return 2;
            }
            units = *count;
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
    server.setWireRate(wireRate);
    const bool started = device.empty() ? server.start() : server.startOnDevice(device);
    if (!started) {
        std::fprintf(stderr, "quillmere-sim: cannot open %s\n",
                     device.empty() ? "a pseudo-terminal" : device.c_str());
        return 1;
    }
    std::printf("Simulated DTU on %s\n", server.devicePath().c_str());
    if (device.empty()) std::printf("Open this path in the tool. Ctrl-C stops.\n");
    std::fflush(stdout);

    if (units > 0) {
        quill::ServeUnits(
            server, units, {}, [&] { return StopPending(stopSignals); },
            [&](std::uint64_t k) {
                const std::string id = quill::SimulatedDtu::FactoryDtuId(server.unit());
                std::printf("Unit %llu of %lu (factory DTU id %s) configured\n", static_cast<unsigned long long>(k),
                            units, id.c_str());
                std::fflush(stdout);
            });
    } else {
        int signal = 0;
        sigwait(&stopSignals, &signal);
    }
    server.stop();
    const quill::DtuCounters c = server.counters();
    std::printf(
        "\nPolls %llu, read requests %llu, configure requests %llu (%llu answered success), "
        "reset requests %llu\n",
        static_cast<unsigned long long>(c.pollBytes), static_cast<unsigned long long>(c.readRequests),
        static_cast<unsigned long long>(c.configureRequests),
        static_cast<unsigned long long>(c.configuresAccepted),
        static_cast<unsigned long long>(c.resetRequests));
    return 0;
}
