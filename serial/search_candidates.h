// Which of the ports found on this machine a search for the DTU tries: the
// adapters the system reports (USB serial, modem-class, any port the system
// names an adapter for), built-in ports with a UART behind them and, on
// Windows, every COM port it reports. A bare
// built-in port or a path typed by hand is not tried: polling a device that
// is not a DTU is not harmless. Pure; the same on every platform.
#pragma once

#include <string>
#include <vector>

#include "serial/port_discovery.h"

namespace quill {

bool IsSearchCandidate(const FoundPort& port);
// The paths of the candidates among found, in their order, as a search opens them.
std::vector<std::string> SearchCandidatePaths(const std::vector<FoundPort>& found);

}  // namespace quill
