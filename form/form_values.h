// The parameter form's state without widgets: for each of the 113 parameter
// fields whether it is ticked and what its value control holds. Front ends
// without a window (the command line) and parameter files work on this; the
// configure request reads it through FormValuesSnapshot, and a read answer is
// applied to it as the window applies it to its controls. Plain data, no Qt;
// one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "form/parameter_fields.h"
#include "protocol/configure_request.h"
#include "protocol/read_answer.h"

namespace quill {

inline constexpr std::size_t kSerialListCount = 5;  // rate, data bits, stop bits, parity, flow control

struct FieldState {
    bool ticked = false;
    std::string text;  // Text fields: GBK, as the edit's member holds it
    // List fields use the first entry, the serial settings all five: the
    // selected index, -1 for none. (An aggregate initialiser that spells
    // this member as {} sets zeros: leave it out instead.)
    std::array<int, kSerialListCount> indices{-1, -1, -1, -1, -1};

    friend bool operator==(const FieldState&, const FieldState&) = default;
};

class FormValues {
  public:
    // Every field unticked, every text empty, no list selection: the form at start.
    FormValues();

    // field: a row of ParameterFields().
    FieldState& operator[](const ParameterField& field);
    const FieldState& operator[](const ParameterField& field) const;

    // By value control: the text of an edit, the selection of a list (-1 when
    // the control is no value control of a field).
    std::string text(int editId) const;
    int listIndex(int listId) const;
    // Sets a list's selection; an index outside the list's entries selects
    // nothing (-1). False when listId is no value list of a field.
    bool selectIndex(int listId, int index);
    bool setText(int editId, std::string gbk);

    // A non-empty text, or at least one list selection.
    bool holdsValue(const ParameterField& field) const;

    // Same ticks and same values; what a field's kind does not use (the
    // indices of an edit, the text of a list) is not compared.
    friend bool operator==(const FormValues& a, const FormValues& b);

  private:
    std::vector<FieldState> states_;  // ParameterFields() order
};

// FormValues as the configure request reads a form.
class FormValuesSnapshot : public FormSnapshot {
  public:
    explicit FormValuesSnapshot(const FormValues& values) : values_(values) {}
    bool ticked(int checkBoxId) const override;
    std::string text(int editId) const override;
    int listIndex(int listId) const override;

  private:
    const FormValues& values_;
};

// Applies a read answer's updates as the window does: an edit takes the text
// as it would show it (GBK in, GBK out through the display), a list selects
// the index or nothing when the index lies beyond its entries. Ticks nothing.
void ApplyItemUpdates(std::span<const ItemUpdate> items, FormValues& values);

// The values a front end's form holds, read through its snapshot (after its
// save exchange): every field's tick, text and list selections.
FormValues ValuesFromSnapshot(const FormSnapshot& form);

// The entries of a value list of the layout, index 0 first; empty for any
// other control.
std::span<const std::string_view> ListEntries(int listId);

// The value as the form shows it, UTF-8: an edit's text; a list's chosen
// entry, empty for none; the serial settings' five entries joined by ", ",
// each empty when unselected, or empty as a whole when none is selected.
std::string DisplayText(const FormValues& values, const ParameterField& field);

}  // namespace quill
