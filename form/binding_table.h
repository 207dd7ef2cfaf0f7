// The order in which the window's data exchange visits its bound controls,
// and what each is bound to: a GBK string member, or the one unsigned number
// (the auto-send interval). Lists and check boxes are not bound; their state
// is read from the control when needed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "form/control_ids.h"

namespace quill {

enum class BindingKind : std::uint8_t {
    Text,      // GBK string member
    Unsigned,  // unsigned 32-bit member, shown as a decimal number
};

struct Binding {
    int controlId = 0;
    BindingKind kind = BindingKind::Text;
};

inline constexpr std::size_t kBindingCount = 113;

namespace detail {

consteval std::array<Binding, kBindingCount> MakeBindingTable() {
    std::array<Binding, kBindingCount> table{};
    std::size_t n = 0;
    auto text = [&](int id) { table[n++] = {id, BindingKind::Text}; };
    auto oddRange = [&](int first, int last) {
        for (int id = first; id <= last; id += 2) text(id);
    };
    text(kInfoAreaId);
    for (int id : {1025, 1010, 1008, 1002, 1006, 1004, 1042, 1040, 1048, 1046}) text(id);
    text(kSendEditId);
    table[n++] = {kIntervalEditId, BindingKind::Unsigned};
    for (int id : {1063, 1065, 1070, 1076, 1078}) text(id);
    for (int id : {1022, 1044, 1050, 1071, 1073}) text(id);
    oddRange(1079, 1113);
    oddRange(1163, 1209);
    oddRange(1307, 1401);
    return table;
}

}  // namespace detail

inline constexpr std::array<Binding, kBindingCount> kBindingTable = detail::MakeBindingTable();
// One row too many does not compile; one too few leaves an empty row behind.
static_assert(kBindingTable.back().controlId != 0, "every binding row must be filled");

// The rows in exchange order.
inline constexpr std::span<const Binding> BindingTable() {
    return kBindingTable;
}

// Position of the control in the exchange order, or nullopt when it is not bound.
std::optional<std::size_t> BindingIndex(int controlId);

// The value of an unsigned binding's text: decimal digits only, blanks and
// tabs around them allowed, at most 4294967295. Anything else (empty text, a
// sign, other characters, a larger value) is refused.
std::optional<std::uint32_t> ParseUnsignedText(std::string_view text);

}  // namespace quill
