// Port discovery under a device folder other than /dev (POSIX only; tests).
#pragma once

#include <string>
#include <vector>

#include "serial/port_discovery.h"

namespace quill {

// The targets of devRoot/serial/by-id (named after their link), every
// devRoot/ttyUSB* and devRoot/ttyACM*, and each devRoot/ttyS<n> whose
// ttyClassRoot/ttyS<n>/type names a UART (not 0). An empty ttyClassRoot
// looks at no built-in port.
std::vector<FoundPort> FindSerialPorts(const std::string& devRoot, const std::string& ttyClassRoot = {});

}  // namespace quill
