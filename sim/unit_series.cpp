#include "sim/unit_series.h"

namespace quill {
namespace {

constexpr auto kStopCheck = std::chrono::milliseconds(200);

// Bytes from the tool other than polls.
std::uint64_t Requests(const DtuServer& server) {
    const DtuCounters c = server.counters();
    return c.receivedBytes - c.pollBytes;
}

}  // namespace

bool ServeUnits(DtuServer& server, std::uint64_t units, const UnitSeriesTimes& times,
                const std::function<bool()>& stopRequested, const std::function<void(std::uint64_t)>& configured) {
    using Clock = std::chrono::steady_clock;
    for (std::uint64_t k = 1; k <= units; ++k) {
        const std::uint64_t accepted = server.counters().configuresAccepted;
        while (!server.waitFor([&] { return server.counters().configuresAccepted > accepted; }, kStopCheck))
            if (stopRequested()) return false;
        // The read-back and anything else the tool still asks come first.
        std::uint64_t polls = server.counters().pollBytes;
        for (Clock::time_point restSince = Clock::now(); Clock::now() - restSince < times.rest;) {
            const std::uint64_t seen = Requests(server);
            if (server.waitFor([&] { return Requests(server) != seen; }, std::min(times.rest, kStopCheck))) {
                restSince = Clock::now();
                polls = server.counters().pollBytes;
            }
            if (stopRequested()) return false;
        }
        const bool polled = server.counters().pollBytes != polls;
        if (configured) configured(k);
        if (k == units) break;

        if (polled) {
            server.setQuiet(true);
            const std::uint64_t ignored = server.counters().ignoredBytes;
            while (!server.waitFor(
                [&] { return server.counters().ignoredBytes >= ignored + times.unansweredPolls; }, kStopCheck))
                if (stopRequested()) return false;
        }
        server.nextUnit();
        server.setQuiet(false);
    }
    return true;
}

}  // namespace quill
