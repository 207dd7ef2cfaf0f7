// The fleet path at scale: `provision` over several pseudo-terminals, unit
// after unit, each unit a simulated DTU at line speed with a fault of its
// own (none, noise before every answer, answers in pieces, stores nothing,
// answers with the wrong command, a lying length, talks without end after
// the read, goes silent in the middle of the write). The log alone is then
// judged: every unit has exactly one record, on its own port, with the result
// its fault must give, and no unit that lacks a value is a pass.
//
// Usage: bench_provision_fleet [units per port, default 25] [ports, default 4]
// Prints a line per result and fault, the time, and "fleet: N passed, M failed".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/run_cli.h"
#include "sim/dtu_server.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

enum class Fault { None, Noise, Pieces, StoresNothing, WrongCommand, LyingLength, Talks, SilentMidWrite };
constexpr Fault kFaults[] = {Fault::None,         Fault::Noise,       Fault::Pieces, Fault::StoresNothing,
                             Fault::WrongCommand, Fault::LyingLength, Fault::Talks,  Fault::SilentMidWrite};

const char* Name(Fault f) {
    switch (f) {
        case Fault::None:
            return "none";
        case Fault::Noise:
            return "noise";
        case Fault::Pieces:
            return "pieces";
        case Fault::StoresNothing:
            return "stores-nothing";
        case Fault::WrongCommand:
            return "wrong-command";
        case Fault::LyingLength:
            return "lying-length";
        case Fault::Talks:
            return "talks-without-end";
        case Fault::SilentMidWrite:
            return "silent-mid-write";
    }
    return "?";
}

// The one result the log may give a unit with this fault.
const char* Expected(Fault f) {
    switch (f) {
        case Fault::None:
        case Fault::Noise:
        case Fault::Pieces:
            return "passed";
        case Fault::StoresNothing:
            return "differs";
        case Fault::WrongCommand:
        case Fault::LyingLength:
            return "read-failed";
        case Fault::Talks:
        case Fault::SilentMidWrite:
            return "no-answer";
    }
    return "?";
}

void Apply(quill::DtuServer& unit, Fault f) {
    quill::DtuFaults faults;
    if (f == Fault::Noise) faults.garbageBeforeFrame = 40;
    if (f == Fault::StoresNothing) faults.storeNothing = true;
    if (f == Fault::WrongCommand) faults.wrongCommand = 0x8D;
    if (f == Fault::LyingLength) faults.lyingLength = 0xFFFF;
    unit.setFaults(faults);
    unit.setAnswerPieces(
        f == Fault::Pieces ? std::vector<std::size_t>{3, 17, 200} : std::vector<std::size_t>{}, 15ms);
    unit.setTalkAfterRead(f == Fault::Talks);
}

// Plays one port's units in turn: each on the line until its record is
// written, then off the line (quiet) until the command has seen it go.
void PlayPort(quill::DtuServer& line, const std::vector<Fault>& units, const std::string& log,
              const std::string& port) {
    const auto records = [&] {
        std::ifstream in(log);
        std::size_t n = 0;
        for (std::string text; std::getline(in, text);)
            n += nlohmann::json::parse(text, nullptr, false).value("port", "") == port;
        return n;
    };
    for (std::size_t i = 0; i < units.size(); ++i) {
        Apply(line, units[i]);
        if (units[i] == Fault::SilentMidWrite) {
            const std::uint64_t before = line.counters().configureRequests;
            line.waitFor([&] { return line.counters().configureRequests >= before + 1; }, 60s);
            line.setQuiet(true);
        }
        const Clock::time_point deadline = Clock::now() + 60s;
        while (records() < i + 1 && Clock::now() < deadline)
            std::this_thread::sleep_for(20ms);  // a file, not an event
        line.setTalkAfterRead(false);
        if (i + 1 == units.size()) break;  // the series ends with it: nothing polls any more
        line.setQuiet(true);
        const std::uint64_t ignored = line.counters().ignoredBytes;
        if (!line.waitFor([&] { return line.counters().ignoredBytes >= ignored + 8; }, 60s))
            std::printf("%s unit %zu: no polls while off the line\n", port.c_str(), i + 1);
        line.nextUnit();
        line.setQuiet(false);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int perPort = argc > 1 ? std::atoi(argv[1]) : 25;
    const int portCount = argc > 2 ? std::atoi(argv[2]) : 4;
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / "quillmere-fleet";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string log = (folder / "fleet.log").string();

    std::vector<std::unique_ptr<quill::DtuServer>> lines;
    std::vector<std::string> args{"provision"};
    std::map<std::string, std::vector<Fault>> plan;
    std::srand(7);
    for (int p = 0; p < portCount; ++p) {
        lines.push_back(std::make_unique<quill::DtuServer>());
        if (!lines.back()->start()) return 1;
        const std::string port = lines.back()->devicePath();
        args.insert(args.end(), {"--port", port});
        for (int u = 0; u < perPort; ++u) plan[port].push_back(kFaults[std::rand() % std::size(kFaults)]);
    }
    // A file of two frames, so a unit can go silent between them.
    std::string file = (folder / "fleet.json").string();
    {
        const std::string fields =
            R"("apn": "CMIOT", "stationName": "城西开闭所", "mainCentreDomain": "scada.)" +
            std::string(230, 'a') + R"(.example.cn", "smsCentreNumber": "+8613800100500")";
        std::ofstream(file) << R"({"format": "quillmere-parameters", "version": 1, "fields": {)" + fields +
                                   "}}";
    }
    args.insert(args.end(), {file, "--count", std::to_string(perPort), "--log", log});
    if (const char* trace = std::getenv("QUILLMERE_FLEET_TRACE")) args.insert(args.end(), {"--trace", trace});

    const Clock::time_point began = Clock::now();
    std::vector<std::thread> players;
    for (std::size_t p = 0; p < lines.size(); ++p)
        players.emplace_back(PlayPort, std::ref(*lines[p]), std::cref(plan[lines[p]->devicePath()]), log,
                             lines[p]->devicePath());
    std::ostringstream out;
    std::ostringstream err;
    const int code = quill::cli::RunCli(args, out, err);
    for (std::thread& t : players) t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();

    // Judged from the log alone: one record per unit, in order, per port.
    std::map<std::string, std::vector<nlohmann::json>> logged;
    std::ifstream in(log);
    for (std::string text; std::getline(in, text);) {
        nlohmann::json record = nlohmann::json::parse(text, nullptr, false);
        logged[record.value("port", "")].push_back(record);
    }
    int passed = 0;
    int failed = 0;
    std::map<std::string, int> tally;
    for (const auto& [port, faults] : plan) {
        const std::vector<nlohmann::json>& records = logged[port];
        if (records.size() != faults.size()) {
            std::printf("%s: %zu records for %zu units\n", port.c_str(), records.size(), faults.size());
            ++failed;
        }
        for (std::size_t i = 0; i < std::min(records.size(), faults.size()); ++i) {
            const std::string result = records[i].value("result", "");
            const bool right =
                result == Expected(faults[i]) && records[i].value("unit", 0) == static_cast<int>(i + 1);
            ++tally[std::string(Name(faults[i])) + " -> " + result];
            if (right) {
                ++passed;
            } else {
                ++failed;
                std::printf("%s unit %zu (%s): logged %s\n", port.c_str(), i + 1, Name(faults[i]),
                            result.c_str());
            }
        }
    }
    for (const auto& [what, n] : tally) std::printf("%5d  %s\n", n, what.c_str());
    std::printf("%d units on %d ports in %.1f s, exit %d\n", perPort * portCount, portCount, seconds, code);
    std::printf("fleet: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
