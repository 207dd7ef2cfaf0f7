// How provisioning scales over ports: one unit on one pseudo-terminal, then
// one unit on each of N at once, every unit a simulated DTU at line speed
// (57600 bit/s). The parameter file is a whole set, as read from a unit.
// Usage: bench_provision_ports [N] (default 8). Prints both times and the ratio.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "sim/dtu_server.h"

namespace {

using Clock = std::chrono::steady_clock;

double ProvisionSeconds(const std::vector<std::string>& ports, const std::string& file) {
    std::vector<std::string> args{"provision"};
    for (const std::string& port : ports) {
        args.push_back("--port");
        args.push_back(port);
    }
    args.insert(args.end(), {file, "--count", "1"});
    std::ostringstream out;
    std::ostringstream err;
    const Clock::time_point began = Clock::now();
    const int code = quill::cli::RunCli(args, out, err);
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    if (code != 0) std::fprintf(stderr, "exit %d\n%s%s", code, out.str().c_str(), err.str().c_str());
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 8;
    std::vector<std::unique_ptr<quill::DtuServer>> servers;
    std::vector<std::string> ports;
    for (int i = 0; i < count; ++i) {
        servers.push_back(std::make_unique<quill::DtuServer>());
        if (!servers.back()->start()) return 1;
        ports.push_back(servers.back()->devicePath());
    }
    const std::string file =
        (std::filesystem::temp_directory_path() / "quillmere-bench-provision.json").string();
    {
        std::ostringstream out;
        std::ostringstream err;
        if (quill::cli::RunCli({"read", "--port", ports[0], "--json"}, out, err) != 0) return 1;
        std::ofstream(file) << out.str();
    }
    const double alone = ProvisionSeconds({ports[0]}, file);
    const double together = ProvisionSeconds(ports, file);
    std::printf("one unit alone: %.3f s\n%d units on %d ports at once: %.3f s\nratio: %.2f\n", alone, count, count,
                together, together / alone);
    std::filesystem::remove(file);
    return 0;
}
