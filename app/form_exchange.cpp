// The window's controls as the form's data exchange sees them (form/), and
// the parameter check boxes that gate their value controls.
#include <QLineEdit>

#include "app/dialog_builder.h"
#include "app/tarnwell_dlg.h"
#include "protocol/text_codec.h"

namespace quill {

std::string CTarnwellDlg::controlTextGbk(int id) const {
    return ToGbk(controlText(id));
}

void CTarnwellDlg::setControlTextGbk(int id, std::string_view gbk) {
    setControlText(id, FromGbk(gbk));
}

void CTarnwellDlg::refuseUnsigned(int id) {
    ShowMessageBox(FromUtf8(kUnsignedPrompt), windowTitle(), MessageIcon::Warning);
    if (auto* edit = qobject_cast<QLineEdit*>(control(id))) {
        edit->setFocus();
        edit->selectAll();
    }
}

void CTarnwellDlg::OnFieldCheckBox(int checkBoxId) {
    FieldCheckBoxClicked(*this, *this, checkBoxId);
}

void CTarnwellDlg::OnDataChannelChanged() {}

}  // namespace quill
