#include "serial/search_candidates.h"

#include <algorithm>
#include <string_view>

namespace quill {
namespace {

// prefix followed by one or more digits and nothing else.
bool IsNumbered(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size() || !name.starts_with(prefix)) return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool IsSearchCandidate(const FoundPort& port) {
    if (!port.name.empty() || port.builtInUart) return true;  // the system knows a device behind it
    const std::string_view path = port.path;
    if (IsNumbered(path, "COM")) return true;
    const std::size_t slash = path.find_last_of('/');
    const std::string_view node = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return IsNumbered(node, "ttyUSB") || IsNumbered(node, "ttyACM");
}

std::vector<std::string> SearchCandidatePaths(const std::vector<FoundPort>& found) {
    std::vector<std::string> paths;
    for (const FoundPort& port : found)
        if (IsSearchCandidate(port)) paths.push_back(port.path);
    return paths;
}

}  // namespace quill
