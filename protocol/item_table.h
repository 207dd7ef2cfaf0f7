// The parameter item table: every item type the DTU protocol knows, with its
// value format, how a read answer shows it, how a configure request checks it,
// and the form controls it belongs to. Written once; the frame reader, the
// configure writer, the window and the tests all iterate this table.
// Plain data, no Qt; texts are UTF-8 here and converted where they are shown.
#pragma once

#include <array>
#include <cstdint>
#include <cstddef>
#include <span>
#include <string_view>

namespace quill {

enum class ValueFormat : std::uint8_t {
    PlainText,   // GBK bytes as typed, no terminator
    DeviceText,  // UCS-2, high byte first
    Byte,
    WordBE,
    WordLE,
    IPv4,
    SerialBlock,  // 3-byte rate BE, data, stop, parity, flow codes
    HexBytes,
    Skipped,  // type 6: read answers only, never interpreted
};

// The value width a format demands; 0 when any width will do.
constexpr std::size_t FixedWidth(ValueFormat format) {
    switch (format) {
        case ValueFormat::Byte:
            return 1;
        case ValueFormat::WordBE:
        case ValueFormat::WordLE:
            return 2;
        case ValueFormat::IPv4:
            return 4;
        case ValueFormat::SerialBlock:
            return 7;
        default:
            return 0;
    }
}

// How a read answer renders the item's value into its control(s).
enum class ReadKind : std::uint8_t {
    Skip,
    Text,      // GBK text, 50-byte work area
    LongText,  // GBK text, 150-byte work area (domain name)
    DecimalByte,
    DecimalWordBE,
    DecimalWordLE,
    DottedAddress,
    Digit,  // one character 0x30 + v0
    Ucs2Text,
    Hex,
    ListIndex,
    SerialLists,  // the five serial setting lists
};

// Which validation and encoding a configure request applies to a ticked field.
enum class WriteRule : std::uint8_t {
    None,             // never written (type 6)
    RequiredText,     // empty -> message; text item
    OptionalText,     // empty allowed, sent as an empty item
    TextEmptyAsZero,  // empty sent as the single byte 0x00
    Password,         // exactly 6 GBK bytes
    Number,           // empty -> message; DecimalValue in the item's format
    DebugState,       // empty -> message; remainder by 16
    Address,          // empty -> message; dotted IPv4 rule
    SerialLists,      // the five list selections
    ListChoice,       // list index 0 or 1
    DataChannel,      // remainder by 256 must be 0 or 1
    FilterMode,       // remainder by 256 must be 0..3
    StationName,      // DeviceText, 1..16 bytes
    BodyName,         // DeviceText, 1..16 bytes
    BodyState,        // DeviceText, exactly 2 bytes
    HexText,          // empty -> message; hex pairs
};

struct ItemDef {
    std::uint8_t type;
    std::string_view name;   // field name, e.g. "stationName"
    std::string_view label;  // the check box caption
    ValueFormat format;
    ReadKind readKind;
    WriteRule writeRule;
    std::string_view emptyMessage;  // the rule's first message; empty when it has none
    int checkBoxId;                 // 0 for items without a form field
    std::array<int, 5> valueIds;    // value control(s); serial settings use all five
    int valueCount;
    bool shown;  // the field's controls are visible
};

inline constexpr std::size_t kItemCount = 114;  // 113 form fields and type 6

// Every known item type in ascending type order.
std::span<const ItemDef> ItemTable();

// The row of a type code, or nullptr for an unknown type (205, 238 and others).
const ItemDef* FindItem(std::uint8_t type);

// The unit's passwords: kept out of traces, logs and records unless asked for.
bool IsSecret(std::uint8_t type);

// The row whose check box or value control has this identifier, or nullptr.
const ItemDef* FindItemByCheckBox(int checkBoxId);
const ItemDef* FindItemByValueControl(int controlId);

}  // namespace quill
