#include "form/parameter_fields.h"

#include <algorithm>
#include <vector>

#include "form/window_layout.h"

namespace quill {
namespace {

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The title of the group box that holds the control, or empty.
std::string_view GroupTitle(int controlId) {
    const ControlDef* control = FindControl(controlId);
    if (control == nullptr) return {};
    for (const ControlDef& c : MainDialogTemplate().controls)
        if (c.kind == ControlKind::GroupBox && c.rect.contains(control->rect)) return c.caption;
    return {};
}

FieldKind KindOf(const ItemDef& item) {
    if (item.valueCount > 1) return FieldKind::SerialLists;
    return item.readKind == ReadKind::ListIndex ? FieldKind::List : FieldKind::Text;
}

std::vector<ParameterField> BuildFields() {
    std::vector<ParameterField> fields;
    fields.reserve(kParameterFieldCount);
    for (const ItemDef& item : ItemTable()) {
        if (item.checkBoxId == 0) continue;
        std::string label(Trimmed(item.label));
        if (const std::string_view title = GroupTitle(item.checkBoxId); !title.empty())
            label = std::string(title) + " " + label;
        fields.push_back({&item, KindOf(item), std::move(label)});
    }
    return fields;
}

const std::vector<ParameterField>& Fields() {
    static const std::vector<ParameterField> fields = BuildFields();
    return fields;
}

}  // namespace

std::span<const ParameterField> ParameterFields() {
    return Fields();
}

const ParameterField* FindFieldByCheckBox(int checkBoxId) {
    const auto& fields = Fields();
    const auto it = std::find_if(fields.begin(), fields.end(), [checkBoxId](const ParameterField& f) {
        return f.checkBoxId() == checkBoxId;
    });
    return it != fields.end() ? &*it : nullptr;
}

const ParameterField* FindFieldByValueControl(int controlId) {
    for (const ParameterField& f : Fields())
        for (const int id : f.valueIds())
            if (id == controlId) return &f;
    return nullptr;
}

const ParameterField* FindFieldByType(std::uint8_t type) {
    const ItemDef* item = FindItem(type);
    if (item == nullptr || item->checkBoxId == 0) return nullptr;
    return FindFieldByCheckBox(item->checkBoxId);
}

std::string FieldLabel(std::uint8_t type) {
    const ParameterField* field = FindFieldByType(type);
    return field != nullptr ? field->accessibleLabel : std::string("未知参数");
}

}  // namespace quill
