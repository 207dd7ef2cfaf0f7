// The parameter fields of the form: one per item that has a check box (113).
// Each row points at its item-table row, which already holds the name, the
// label, the check box, the value control(s) and whether it is shown; this
// table adds only what the form needs on top: how the value is held and the
// name under which assistive tools announce the value control.
// Built once on first use; read-only afterwards, so any thread may read it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "protocol/item_table.h"

namespace quill {

enum class FieldKind : std::uint8_t {
    Text,         // an edit bound to a string member
    List,         // a list; the value is its selected index, -1 for none
    SerialLists,  // the five serial setting lists
};

struct ParameterField {
    const ItemDef* item = nullptr;
    FieldKind kind = FieldKind::Text;
    // The label without its surrounding blanks; message body fields carry
    // their body's title in front ("消息体1 名称").
    std::string accessibleLabel;

    std::string_view name() const { return item->name; }
    std::string_view label() const { return item->label; }
    int checkBoxId() const { return item->checkBoxId; }
    std::span<const int> valueIds() const {
        return std::span<const int>(item->valueIds).first(static_cast<std::size_t>(item->valueCount));
    }
    bool shown() const { return item->shown; }
};

inline constexpr std::size_t kParameterFieldCount = 113;

// Every field, in ascending item type order.
std::span<const ParameterField> ParameterFields();

// The field with this check box, or with this value control; nullptr when none.
const ParameterField* FindFieldByCheckBox(int checkBoxId);
const ParameterField* FindFieldByValueControl(int controlId);

// The field of an item type, or nullptr for a type the form has no field for.
const ParameterField* FindFieldByType(std::uint8_t type);

// How reports, traces and the command line name an item type: its field's
// accessible label; "未知参数" for a type the form has no field for.
std::string FieldLabel(std::uint8_t type);

}  // namespace quill
