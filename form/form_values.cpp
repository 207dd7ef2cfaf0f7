#include "form/form_values.h"

#include <algorithm>

#include "form/window_layout.h"
#include "protocol/text_codec.h"

namespace quill {
namespace {

std::size_t IndexOf(const ParameterField& field) {
    return static_cast<std::size_t>(&field - ParameterFields().data());
}

// The field of a value control and the control's position among its value
// controls; nullptr when the control belongs to no field.
struct ValueSlot {
    const ParameterField* field = nullptr;
    std::size_t position = 0;
};

ValueSlot SlotOf(int controlId) {
    const ParameterField* field = FindFieldByValueControl(controlId);
    if (field == nullptr) return {};
    const auto ids = field->valueIds();
    return {field, static_cast<std::size_t>(std::find(ids.begin(), ids.end(), controlId) - ids.begin())};
}

bool IsList(const ParameterField& field) {
    return field.kind != FieldKind::Text;
}

}  // namespace

FormValues::FormValues() : states_(ParameterFields().size()) {}

FieldState& FormValues::operator[](const ParameterField& field) {
    return states_[IndexOf(field)];
}

const FieldState& FormValues::operator[](const ParameterField& field) const {
    return states_[IndexOf(field)];
}

std::string FormValues::text(int editId) const {
    const ValueSlot slot = SlotOf(editId);
    if (slot.field == nullptr || IsList(*slot.field)) return {};
    return (*this)[*slot.field].text;
}

int FormValues::listIndex(int listId) const {
    const ValueSlot slot = SlotOf(listId);
    if (slot.field == nullptr || !IsList(*slot.field)) return -1;
    return (*this)[*slot.field].indices[slot.position];
}

bool FormValues::selectIndex(int listId, int index) {
    const ValueSlot slot = SlotOf(listId);
    if (slot.field == nullptr || !IsList(*slot.field)) return false;
    const std::size_t count = ListEntries(listId).size();
    (*this)[*slot.field].indices[slot.position] =
        index >= 0 && static_cast<std::size_t>(index) < count ? index : -1;
    return true;
}

bool FormValues::setText(int editId, std::string gbk) {
    const ValueSlot slot = SlotOf(editId);
    if (slot.field == nullptr || IsList(*slot.field)) return false;
    (*this)[*slot.field].text = std::move(gbk);
    return true;
}

bool FormValues::holdsValue(const ParameterField& field) const {
    const FieldState& state = (*this)[field];
    if (!IsList(field)) return !state.text.empty();
    return std::any_of(state.indices.begin(), state.indices.end(), [](int i) { return i >= 0; });
}

bool operator==(const FormValues& a, const FormValues& b) {
    for (const ParameterField& field : ParameterFields()) {
        const FieldState& x = a[field];
        const FieldState& y = b[field];
        const bool same =
            x.ticked == y.ticked && (field.kind == FieldKind::Text   ? x.text == y.text
                                     : field.kind == FieldKind::List ? x.indices[0] == y.indices[0]
                                                                     : x.indices == y.indices);
        if (!same) return false;
    }
    return true;
}

bool FormValuesSnapshot::ticked(int checkBoxId) const {
    const ParameterField* field = FindFieldByCheckBox(checkBoxId);
    return field != nullptr && values_[*field].ticked;
}

std::string FormValuesSnapshot::text(int editId) const {
    return values_.text(editId);
}

int FormValuesSnapshot::listIndex(int listId) const {
    return values_.listIndex(listId);
}

void ApplyItemUpdates(std::span<const ItemUpdate> items, FormValues& values) {
    for (const ItemUpdate& item : items)
        for (const ControlUpdate& update : item.updates) {
            if (update.selectIndex)
                values.selectIndex(update.controlId, update.index);
            else  // what the edit shows, taken back into its member
                values.setText(update.controlId, Utf8ToGbk(GbkToUtf8(update.text)));
        }
}

std::span<const std::string_view> ListEntries(int listId) {
    const ControlDef* control = FindControl(listId);
    if (control == nullptr || control->kind != ControlKind::ComboBox) return {};
    return control->items;
}

std::string DisplayText(const FormValues& values, const ParameterField& field) {
    const FieldState& state = values[field];
    if (!IsList(field)) return GbkToUtf8(state.text);
    const auto entry = [&](std::size_t position) -> std::string {
        const int index = state.indices[position];
        const auto entries = ListEntries(field.valueIds()[position]);
        return index >= 0 && static_cast<std::size_t>(index) < entries.size()
                   ? std::string(entries[static_cast<std::size_t>(index)])
                   : std::string();
    };
    if (field.kind == FieldKind::List || !values.holdsValue(field)) return entry(0);
    std::string shown;
    for (std::size_t i = 0; i < field.valueIds().size(); ++i) {
        if (i > 0) shown += ", ";
        shown += entry(i);
    }
    return shown;
}

FormValues ValuesFromSnapshot(const FormSnapshot& form) {
    FormValues values;
    for (const ParameterField& field : ParameterFields()) {
        FieldState& state = values[field];
        state.ticked = form.ticked(field.checkBoxId());
        const auto ids = field.valueIds();
        if (field.kind == FieldKind::Text) {
            state.text = form.text(ids[0]);
            continue;
        }
        for (std::size_t i = 0; i < ids.size() && i < state.indices.size(); ++i)
            values.selectIndex(ids[i], form.listIndex(ids[i]));
    }
    return values;
}

}  // namespace quill
