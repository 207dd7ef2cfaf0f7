// Port discovery under a device folder other than /dev (POSIX only; tests).
#pragma once

#include <string>
#include <vector>

#include "serial/port_discovery.h"

namespace quill {

// The targets of devRoot/serial/by-id (named after their link) and every
// devRoot/ttyUSB* and devRoot/ttyACM*.
std::vector<FoundPort> FindSerialPorts(const std::string& devRoot);

}  // namespace quill
