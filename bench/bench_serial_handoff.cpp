// Throughput of the serial engine's hand-off: the simulated DTU floods a
// pseudo-terminal, the engine's worker reads it and hands every byte to an
// owner thread that only counts them. Printed as bytes per second and as a
// multiple of a 115200 bit/s line (11,520 bytes/s).
//
//   bench_serial_handoff [--seconds N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string_view>
#include <thread>

#include "serial/serial_port.h"
#include "sim/dtu_server.h"
#include "tests/serial/task_loop.h"

namespace {

constexpr double kLineBytesPerSecond = 11520.0;

class CountingOwner : public quill::PortOwner {
  public:
    void postToOwner(std::function<void()> task) override { loop_.post(std::move(task)); }
    void onPortMessage(std::uint32_t message, std::uint32_t, std::uint32_t) override {
        if (message == quill::WM_PORT_RX_BYTE) ++count_;  // owner thread only
    }
    void onPortError(const std::string& text) override { std::fprintf(stderr, "%s", text.c_str()); }
    void onPortLost(std::uint32_t) override { std::fprintf(stderr, "port lost\n"); }

    // Reads the count on the owner's thread.
    std::uint64_t count() {
        std::uint64_t value = 0;
        loop_.runAndWait([&] { value = count_; });
        return value;
    }

  private:
    std::uint64_t count_ = 0;
    quill::test::TaskLoop loop_;  // last: its thread ends before count_ goes
};

}  // namespace

int main(int argc, char** argv) {
    double seconds = 3.0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench_serial_handoff [--seconds N]\n");
            return 2;
        }
    }
    if (seconds <= 0) seconds = 3.0;

    quill::DtuServer sim;
    if (!sim.start()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    CountingOwner owner;
    quill::CSerialPort port;
    if (!port.OpenPort(&owner, 1, 115200, 'N', 8, 1, quill::EV_RXCHAR | quill::EV_RXFLAG, 512,
                       sim.devicePath()) ||
        !port.StartWorker()) {
        std::fprintf(stderr, "cannot open %s\n", sim.devicePath().c_str());
        return 1;
    }
    sim.setWireRate(0);  // the hand-off's own limit, not the line's
    sim.setFlood(true);

    using Clock = std::chrono::steady_clock;
    // Warm up, then measure between two counts taken on the owner's thread.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::uint64_t startCount = owner.count();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const std::uint64_t endCount = owner.count();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    sim.setFlood(false);
    port.RequestStop();

    const double rate = static_cast<double>(endCount - startCount) / elapsed;
    std::printf("bytes handed over: %llu in %.2f s\n", static_cast<unsigned long long>(endCount - startCount),
                elapsed);
    std::printf("throughput: %.0f bytes/s = %.1f x a 115200 bit/s line (11520 bytes/s)\n", rate,
                rate / kLineBytesPerSecond);
    return rate / kLineBytesPerSecond >= 100.0 ? 0 : 3;
}
