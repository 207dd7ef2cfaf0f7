// quillmere-cli: the DTU session from a command line, for scripts and for
// provisioning many units with one parameter file. Its main() only forwards
// to RunCli, which the tests call in-process with their own streams.
//
// Results go to `out`, messages to `err`; the exit code says one thing each.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "serial/port_discovery.h"

namespace quill::cli {

enum ExitCode : int {
    kExitDone = 0,
    kExitFailed = 1,    // the DTU refused, or the read-back differs from what was written
    kExitUsage = 2,     // bad arguments or a bad parameter file: nothing was sent
    kExitNoDtu = 3,     // no DTU announced itself (or answered) in time
    kExitPortLost = 4,  // the port could not be opened, or it was lost
    kExitInterrupted = 130,
};

// The command line without the program's name, e.g. {"read", "--port", "/dev/ttyUSB0"}.
// errIsTerminal: a progress line may be drawn on err while waiting for a DTU.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool errIsTerminal = false);

// A line of `ports`: "path[<TAB>name]", and "<TAB>*" (the name column then
// always there, maybe empty) for a port that --port auto would try.
std::string PortsLine(const FoundPort& port);

// Ctrl-C: the running command stops at its next step (any thread).
void RequestInterrupt();

}  // namespace quill::cli
