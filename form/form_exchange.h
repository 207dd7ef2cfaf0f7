#pragma once
// The form's data exchange, written once for every window: the value members,
// the exchange between them and the bound controls over the binding table,
// the parameter check boxes that gate their value controls, and the
// read-back into the form. A window supplies its controls through
// FormControls and keeps nothing of this logic itself.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "form/binding_table.h"
#include "form/form_values.h"
#include "protocol/configure_request.h"
#include "protocol/read_answer.h"

namespace quill {

// What the exchange needs of a window's controls. Texts are GBK.
class FormControls {
  public:
    virtual std::string controlTextGbk(int id) const = 0;
    virtual void setControlTextGbk(int id, std::string_view gbk) = 0;
    virtual bool isTicked(int id) const = 0;
    // Without raising the click handler.
    virtual void setTicked(int id, bool ticked) = 0;
    virtual int selectedIndex(int id) const = 0;  // -1: no entry selected
    virtual void selectIndex(int id, int index) = 0;
    virtual void enableControl(int id, bool enable) = 0;
    // The text of this edit is not an unsigned number: prompt the operator and
    // give the edit the focus with its whole text selected.
    virtual void refuseUnsigned(int id) = 0;

  protected:
    ~FormControls() = default;
};

// The window's value members, in GBK.
struct FormMembers {
    std::string infoText;                   // bound to 1000
    std::string sendText;                   // bound to 1036
    std::uint32_t autoSendInterval = 1000;  // ms, bound to 1035
    // The other bound edits, by position in the exchange order.
    std::array<std::string, kBindingCount> fieldText;
    // True while an exchange runs: the window does not handle its controls'
    // change notifications then.
    bool exchangeRunning = false;

    // The member bound to this control; null for a control bound to no text.
    std::string* boundText(int controlId);
    // Its value; empty for a control bound to no text.
    const std::string& member(int controlId) const;
};

// Copies every bound control into its member (save) or every member into its
// control (load), in the binding table's order. A save stops at an interval
// that is no unsigned number, after refusing it, and returns false; the
// members after it keep their values.
bool ExchangeForm(FormMembers& members, FormControls& controls, bool saveAndValidate);

// A parameter check box was clicked: the members are saved, then its value
// controls follow its tick.
void FieldCheckBoxClicked(FormMembers& members, FormControls& controls, int checkBoxId);

// Shows one read-back item's values in the controls; the members follow what
// is shown, item by item.
void ApplyItemUpdate(FormMembers& members, FormControls& controls, const ItemUpdate& item);

// Shows values as a loaded parameter file puts them into the form: every
// field ticked as the values say (the rest unticked), its value controls
// enabled with its tick as a click on the box would, and the ticked fields
// filled; then the members follow.
void ShowFormValues(FormMembers& members, FormControls& controls, const FormValues& values);

// The form as the configure request reads it, after a save exchange: the
// members' texts, ticks and list selections from the controls.
class ControlsFormSnapshot : public FormSnapshot {
  public:
    ControlsFormSnapshot(const FormMembers& members, const FormControls& controls)
        : members(members), controls(controls) {}
    bool ticked(int checkBoxId) const override { return controls.isTicked(checkBoxId); }
    std::string text(int editId) const override { return members.member(editId); }
    int listIndex(int listId) const override { return controls.selectedIndex(listId); }

  private:
    const FormMembers& members;
    const FormControls& controls;
};

}  // namespace quill
