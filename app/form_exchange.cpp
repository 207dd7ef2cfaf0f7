// The form's data exchange between the bound controls and the value members,
// and the parameter check boxes that gate their value controls.
#include <QLineEdit>

#include "app/dialog_builder.h"
#include "app/tarnwell_dlg.h"
#include "form/parameter_fields.h"
#include "protocol/text_codec.h"

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

std::string* CTarnwellDlg::boundText(int controlId) {
    if (controlId == kInfoAreaId) return &infoText;
    if (controlId == kSendEditId) return &sendText;
    const auto index = BindingIndex(controlId);
    if (!index || BindingTable()[*index].kind != BindingKind::Text) return nullptr;
    return &fieldText[*index];
}

const std::string& CTarnwellDlg::member(int controlId) const {
    static const std::string kNone;
    const std::string* text = const_cast<CTarnwellDlg*>(this)->boundText(controlId);
    return text != nullptr ? *text : kNone;
}

bool CTarnwellDlg::ExchangeFormData(bool saveAndValidate) {
    const FlagScope running(exchangeRunning);
    for (const Binding& binding : BindingTable()) {
        const int id = binding.controlId;
        if (binding.kind == BindingKind::Unsigned) {
            if (!saveAndValidate) {
                setControlText(id, QString::number(autoSendInterval));
                continue;
            }
            const std::optional<std::uint32_t> value = ParseUnsignedText(ToGbk(controlText(id)));
            if (!value) {
                ShowMessageBox(FromUtf8(kUnsignedPrompt), windowTitle(), MessageIcon::Warning);
                if (auto* edit = qobject_cast<QLineEdit*>(control(id))) {
                    edit->setFocus();
                    edit->selectAll();
                }
                return false;
            }
            autoSendInterval = *value;
            continue;
        }
        std::string* text = boundText(id);
        if (text == nullptr) continue;
        if (saveAndValidate)
            *text = ToGbk(controlText(id));
        else
            setControlText(id, FromGbk(*text));
    }
    return true;
}

void CTarnwellDlg::OnFieldCheckBox(int checkBoxId) {
    ExchangeFormData(true);
    const ParameterField* field = FindFieldByCheckBox(checkBoxId);
    if (field == nullptr) return;
    const bool ticked = isTicked(checkBoxId);
    for (const int valueId : field->valueIds()) enableControl(valueId, ticked);
}

void CTarnwellDlg::OnDataChannelChanged() {}

}  // namespace quill
