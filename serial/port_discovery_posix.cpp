// Serial ports on Linux: the adapters that udev names under /dev/serial/by-id
// (the link's name is the adapter's), and every USB serial (ttyUSB*) and
// modem-class (ttyACM*) device, by their real path.
#include "serial/port_discovery_posix.h"

#include <filesystem>
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

}  // namespace

std::vector<FoundPort> FindSerialPorts(const std::string& devRoot) {
    std::vector<FoundPort> found;
    const fs::path root(devRoot);
    ForEachEntry(root / "serial" / "by-id", [&](const fs::path& link) {
        std::error_code error;
        const fs::path target = fs::canonical(link, error);  // fails for a dangling link
        if (!error) found.push_back({target.string(), link.filename().string()});
    });
    ForEachEntry(root, [&](const fs::path& entry) {
        const std::string name = entry.filename().string();
        if (!name.starts_with("ttyUSB") && !name.starts_with("ttyACM")) return;
        // The real path, so that a by-id link to the same device counts once.
        std::error_code error;
        const fs::path real = fs::canonical(entry, error);
        found.push_back({error ? entry.string() : real.string(), {}});
    });
    return SortedPorts(std::move(found));
}

std::vector<FoundPort> FindSerialPorts() {
    return FindSerialPorts("/dev");
}

}  // namespace quill
