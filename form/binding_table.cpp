#include "form/binding_table.h"

namespace quill {

std::optional<std::size_t> BindingIndex(int controlId) {
    for (std::size_t i = 0; i < kBindingTable.size(); ++i)
        if (kBindingTable[i].controlId == controlId) return i;
    return std::nullopt;
}

std::optional<std::uint32_t> ParseUnsignedText(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    const std::string_view digits = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > UINT32_MAX) return std::nullopt;  // checked per digit, so value never wraps
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace quill
