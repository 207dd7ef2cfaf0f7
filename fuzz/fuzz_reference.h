// Reference results the fuzz targets compare the protocol library against,
// computed by other means than the library's own code.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

// The C library's reading of a decimal text, clamped to 32 bits. Both stop at
// the first byte that is no digit, a zero byte included.
inline std::int32_t ReferenceDecimal(std::string_view text) {
    const std::string s(text);
    const long long v = std::strtoll(s.c_str(), nullptr, 10);
    if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}
