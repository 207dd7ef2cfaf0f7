#include "serial/port_discovery.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace quill {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Compares runs of digits by value and everything else byte by byte.
bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && a[endA] == '0') ++endA;  // leading zeros carry no value
            while (endB < b.size() && b[endB] == '0') ++endB;
            std::size_t digitsA = endA;
            std::size_t digitsB = endB;
            while (digitsA < a.size() && IsDigit(a[digitsA])) ++digitsA;
            while (digitsB < b.size() && IsDigit(b[digitsB])) ++digitsB;
            const std::string_view valueA = a.substr(endA, digitsA - endA);
            const std::string_view valueB = b.substr(endB, digitsB - endB);
            if (valueA.size() != valueB.size()) return valueA.size() < valueB.size();
            if (valueA != valueB) return valueA < valueB;
            i = digitsA;
            j = digitsB;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;  // equal by value ("COM01", "COM1"): a fixed order all the same
}

}  // namespace

std::vector<FoundPort> SortedPorts(std::vector<FoundPort> ports) {
    std::stable_sort(ports.begin(), ports.end(), [](const FoundPort& a, const FoundPort& b) {
        if (a.path != b.path) return NaturalLess(a.path, b.path);
        return !a.name.empty() && b.name.empty();  // the named entry first, so that it stays
    });
    ports.erase(std::unique(ports.begin(), ports.end(),
                            [](const FoundPort& a, const FoundPort& b) { return a.path == b.path; }),
                ports.end());
    return ports;
}

}  // namespace quill
