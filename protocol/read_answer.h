// Maps a completed read answer to the control updates the window applies:
// one entry per item that fills a control, in frame order, each rendered the
// way its item table row's read kind says. Pure; no Qt. The window sets each
// update's control (text or list index), then runs its save-direction
// exchange once per entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quill {

struct ControlUpdate {
    int controlId;
    bool selectIndex;  // true: select entry `index` of a list; false: set `text`
    std::string text;  // GBK bytes
    int index;         // may lie beyond the list, which then selects nothing
};

struct ItemUpdate {
    std::uint8_t type;
    std::vector<ControlUpdate> updates;  // the serial block: five list selections, 1016..1020
};

// Work areas of the read-back, each zero-filled, so a value keeps one byte
// less than its area and a text ends at its first zero byte.
inline constexpr std::size_t kTextArea = 50;       // plain texts and digits
inline constexpr std::size_t kLongTextArea = 150;  // domain name, UCS-2 text, heartbeat bytes
inline constexpr std::size_t kHexTextArea = 400;   // heartbeat packet as hex text

struct ItemView;

// One item as the form shows it; nullopt for a type that fills no control
// (unknown types, 0x06, 0xCD and 0xEE).
std::optional<ItemUpdate> ReadItem(const ItemView& item);

// Unknown types, 0x06, 0xCD and 0xEE are skipped; the walk ends at a malformed
// item (what came before it is kept). Value bytes an item lacks count as 0.
std::vector<ItemUpdate> ApplyReadAnswer(std::span<const std::uint8_t> frame);

}  // namespace quill
