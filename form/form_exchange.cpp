#include "form/form_exchange.h"

#include "form/control_ids.h"
#include "form/parameter_fields.h"

namespace quill {
namespace {

// Sets a flag for one scope and puts back what it was, so a nested exchange
// (a handler that runs one while another runs) does not clear it early.
class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag(flag), previous(flag) { flag = true; }
    ~FlagScope() { flag = previous; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

  private:
    bool& flag;
    bool previous;
};

}  // namespace

std::string* FormMembers::boundText(int controlId) {
    if (controlId == kInfoAreaId) return &infoText;
    if (controlId == kSendEditId) return &sendText;
    const auto index = BindingIndex(controlId);
    if (!index || BindingTable()[*index].kind != BindingKind::Text) return nullptr;
    return &fieldText[*index];
}

const std::string& FormMembers::member(int controlId) const {
    static const std::string kNone;
    const std::string* text = const_cast<FormMembers*>(this)->boundText(controlId);
    return text != nullptr ? *text : kNone;
}

bool ExchangeForm(FormMembers& members, FormControls& controls, bool saveAndValidate) {
    const FlagScope running(members.exchangeRunning);
    for (const Binding& binding : BindingTable()) {
        const int id = binding.controlId;
        if (binding.kind == BindingKind::Unsigned) {
            if (!saveAndValidate) {
                controls.setControlTextGbk(id, std::to_string(members.autoSendInterval));
                continue;
            }
            const std::optional<std::uint32_t> value = ParseUnsignedText(controls.controlTextGbk(id));
            if (!value) {
                controls.refuseUnsigned(id);
                return false;
            }
            members.autoSendInterval = *value;
            continue;
        }
        std::string* text = members.boundText(id);
        if (text == nullptr) continue;
        if (saveAndValidate)
            *text = controls.controlTextGbk(id);
        else
            controls.setControlTextGbk(id, *text);
    }
    return true;
}

void FieldCheckBoxClicked(FormMembers& members, FormControls& controls, int checkBoxId) {
    ExchangeForm(members, controls, true);
    const ParameterField* field = FindFieldByCheckBox(checkBoxId);
    if (field == nullptr) return;
    const bool ticked = controls.isTicked(checkBoxId);
    for (const int valueId : field->valueIds()) controls.enableControl(valueId, ticked);
}

void ApplyItemUpdate(FormMembers& members, FormControls& controls, const ItemUpdate& item) {
    for (const ControlUpdate& update : item.updates) {
        if (update.selectIndex)
            controls.selectIndex(update.controlId, update.index);
        else
            controls.setControlTextGbk(update.controlId, update.text);
    }
    ExchangeForm(members, controls, true);
}

void ShowFormValues(FormMembers& members, FormControls& controls, const FormValues& values) {
    for (const ParameterField& field : ParameterFields()) {
        const FieldState& state = values[field];
        controls.setTicked(field.checkBoxId(), state.ticked);
        const auto ids = field.valueIds();
        for (std::size_t i = 0; i < ids.size(); ++i) {
            controls.enableControl(ids[i], state.ticked);
            if (!state.ticked) continue;
            if (field.kind == FieldKind::Text)
                controls.setControlTextGbk(ids[i], state.text);
            else
                controls.selectIndex(ids[i], state.indices[i]);
        }
    }
    ExchangeForm(members, controls, true);
}

}  // namespace quill
