// The serial ports found on this machine, for the port lists of the front
// ends (window, command line). One implementation file per platform:
// port_discovery_posix.cpp (device nodes under /dev) and
// port_discovery_win32.cpp (the registry's COM names, SetupAPI's adapter
// names). Called on the owner's thread; it looks, it opens nothing.
#pragma once

#include <string>
#include <vector>

namespace quill {

struct FoundPort {
    std::string path;  // what OpenPort opens: /dev/ttyUSB0, COM5
    std::string name;  // the adapter's name where the system knows it; else empty
    // A built-in port (ttyS*) with a UART behind it: the list reaches it as
    // comN already, a search tries it.
    bool builtInUart = false;
    bool operator==(const FoundPort&) const = default;
};

// Sorted as people count (COM2 before COM10), each path once.
std::vector<FoundPort> FindSerialPorts();

// Orders ports as people count them, digits by value (COM2 before COM10,
// ttyUSB2 before ttyUSB10), and keeps each path once; of two entries for one
// path, the one with a name wins.
std::vector<FoundPort> SortedPorts(std::vector<FoundPort> ports);

}  // namespace quill
