// Serial ports on Linux: the adapters that udev names under /dev/serial/by-id
// (the link's name is the adapter's), every USB serial (ttyUSB*) and
// modem-class (ttyACM*) device, by their real path, and the built-in ports
// (ttyS*) that have a UART: the kernel makes ttyS nodes for ports that may
// not exist, and says so by a UART type of 0 in sysfs.
#include "serial/port_discovery_posix.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "serial/port_discovery.h"

namespace quill {
namespace {

namespace fs = std::filesystem;

// Calls f with each entry of folder; a folder that is missing or cannot be
// read has none. Uses the non-throwing steps only.
template <class F>
void ForEachEntry(const fs::path& folder, F&& f) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        f(it->path());
}

// "ttyS" and digits only.
bool IsBuiltInPortName(std::string_view name) {
    return name.size() > 4 && name.starts_with("ttyS") &&
           std::all_of(name.begin() + 4, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The port's UART type as sysfs gives it; 0 (none) when it cannot be read.
bool HasUart(const fs::path& typeFile) {
    std::ifstream in(typeFile);
    int type = 0;
    return static_cast<bool>(in >> type) && type != 0;
}

}  // namespace

std::vector<FoundPort> FindSerialPorts(const std::string& devRoot, const std::string& ttyClassRoot) {
    std::vector<FoundPort> found;
    const fs::path root(devRoot);
    ForEachEntry(root / "serial" / "by-id", [&](const fs::path& link) {
        std::error_code error;
        const fs::path target = fs::canonical(link, error);  // fails for a dangling link
        if (!error) found.push_back({target.string(), link.filename().string()});
    });
    ForEachEntry(root, [&](const fs::path& entry) {
        const std::string name = entry.filename().string();
        const bool builtIn = !ttyClassRoot.empty() && IsBuiltInPortName(name);
        if (!name.starts_with("ttyUSB") && !name.starts_with("ttyACM") && !builtIn) return;
        if (builtIn && !HasUart(fs::path(ttyClassRoot) / name / "type")) return;
        // The real path, so that a by-id link to the same device counts once.
        std::error_code error;
        const fs::path real = fs::canonical(entry, error);
        found.push_back({error ? entry.string() : real.string(), {}, builtIn});
    });
    return SortedPorts(std::move(found));
}

std::vector<FoundPort> FindSerialPorts() {
    return FindSerialPorts("/dev", "/sys/class/tty");
}

}  // namespace quill
