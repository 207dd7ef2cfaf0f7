#include "protocol/read_answer.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "protocol/frame.h"
#include "protocol/item_table.h"
#include "protocol/serial_block.h"
#include "protocol/wire.h"
#include "protocol/value_codec.h"

namespace quill {
namespace {

// The value byte at i; bytes the item does not carry read as 0 rather than
// as whatever follows the item in the frame.
int ValueByte(std::span<const std::uint8_t> value, std::size_t i) {
    return i < value.size() ? value[i] : 0;
}

// A value copied into a zero-filled work area of `area` bytes: it keeps at
// most area - 1 bytes and ends at its first zero byte.
std::span<const std::uint8_t> InArea(std::span<const std::uint8_t> value, std::size_t area) {
    value = value.first(std::min(value.size(), area - 1));
    const auto zero = std::find(value.begin(), value.end(), std::uint8_t{0});
    return value.first(static_cast<std::size_t>(zero - value.begin()));
}

std::string AsText(std::span<const std::uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string Decimal(int v) {
    return std::to_string(v);
}

// Code to list index: the position of the code in `codes`, else the code itself.
template <std::size_t N, class T>
int IndexOf(const std::array<T, N>& codes, std::uint32_t code) {
    const auto it = std::find(codes.begin(), codes.end(), code);
    return it != codes.end() ? static_cast<int>(it - codes.begin()) : static_cast<int>(code);
}

std::vector<ControlUpdate> SerialUpdates(const ItemDef& def, std::span<const std::uint8_t> v) {
    const std::uint32_t rate =
        static_cast<std::uint32_t>(ValueByte(v, 0) << 16 | ValueByte(v, 1) << 8 | ValueByte(v, 2));
    const std::array<int, 5> indices{
        IndexOf(BaudTable, rate),
        IndexOf(kDataBitsSetting.codes, static_cast<std::uint32_t>(ValueByte(v, 3))),
        IndexOf(kStopBitsSetting.codes, static_cast<std::uint32_t>(ValueByte(v, 4))),
        IndexOf(kParitySetting.codes, static_cast<std::uint32_t>(ValueByte(v, 5))),
        IndexOf(kFlowSetting.codes, static_cast<std::uint32_t>(ValueByte(v, 6)))};
    std::vector<ControlUpdate> updates;
    for (std::size_t i = 0; i < indices.size() && i < static_cast<std::size_t>(def.valueCount); ++i)
        updates.push_back({def.valueIds[i], true, {}, indices[i]});
    return updates;
}

std::string Rendered(ReadKind kind, std::span<const std::uint8_t> v) {
    switch (kind) {
        case ReadKind::Text:
            return AsText(InArea(v, kTextArea));
        case ReadKind::LongText:
            return AsText(InArea(v, kLongTextArea));
        case ReadKind::DecimalByte:
            return Decimal(ValueByte(v, 0));
        case ReadKind::DecimalWordBE:
            return Decimal(ValueByte(v, 0) * 256 + ValueByte(v, 1));
        case ReadKind::DecimalWordLE:
            return Decimal(ValueByte(v, 1) * 256 + ValueByte(v, 0));
        case ReadKind::DottedAddress:
            return Decimal(ValueByte(v, 0)) + '.' + Decimal(ValueByte(v, 1)) + '.' +
                   Decimal(ValueByte(v, 2)) + '.' + Decimal(ValueByte(v, 3));
        case ReadKind::Digit: {
            // One character in a zero-filled area: a code that wraps to 0 shows nothing.
            const auto c = static_cast<char>((0x30 + ValueByte(v, 0)) & 0xFF);
            return c == '\0' ? std::string() : std::string(1, c);
        }
        case ReadKind::Ucs2Text:
            // Pairs swapped into the area; the last code unit of the area stays zero.
            return DecodeDeviceText(v.first(std::min(v.size(), kLongTextArea - 2)));
        case ReadKind::Hex: {
            std::array<char, kHexTextArea> text;
            FormatHexBytes(InArea(v, kLongTextArea), text);
            return std::string(text.data());
        }
        case ReadKind::Skip:
        case ReadKind::ListIndex:
        case ReadKind::SerialLists:
            break;
    }
    return {};
}

}  // namespace

std::optional<ItemUpdate> ReadItem(const ItemView& item) {
    const ItemDef* def = FindItem(item.type);
    if (def == nullptr || def->readKind == ReadKind::Skip || def->valueCount < 1) return std::nullopt;
    ItemUpdate update{item.type, {}};
    if (def->readKind == ReadKind::SerialLists)
        update.updates = SerialUpdates(*def, item.value);
    else if (def->readKind == ReadKind::ListIndex)
        update.updates.push_back({def->valueIds[0], true, {}, ValueByte(item.value, 0)});
    else
        update.updates.push_back({def->valueIds[0], false, Rendered(def->readKind, item.value), 0});
    return update;
}

std::vector<ItemUpdate> ApplyReadAnswer(std::span<const std::uint8_t> frame) {
    std::vector<ItemUpdate> result;
    ForEachItem(frame, [&](const ItemView& item) {
        if (auto update = ReadItem(item)) result.push_back(std::move(*update));
    });
    return result;
}

}  // namespace quill
