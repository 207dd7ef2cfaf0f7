// The window's controls as the form's data exchange sees them (form/), the
// parameter check boxes that gate their value controls, and the demo-state
// display of received bytes.
#include <array>

#include "protocol/text_codec.h"
#include "win/dialog_template.h"
#include "win/tarnwell_dlg.h"

namespace quill::win {
namespace {

std::wstring FromGbk(std::string_view gbk) {
    const std::u16string text = GbkToUtf16(gbk);
    return {text.begin(), text.end()};
}

std::string ToGbk(std::wstring_view text) {
    return Utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

}  // namespace

std::string CTarnwellDlg::controlTextGbk(int id) const {
    return ToGbk(controlText(id));
}

void CTarnwellDlg::setControlTextGbk(int id, std::string_view gbk) {
    setControlText(id, FromGbk(gbk));
}

void CTarnwellDlg::refuseUnsigned(int id) {
    ShowMessageBox(Widen(kUnsignedPrompt), windowCaption(), BoxIcon::Warning);
    if (HWND edit = control(id)) {
        SetFocus(edit);
        SendMessageW(edit, EM_SETSEL, 0, -1);
    }
}

void CTarnwellDlg::OnFieldCheckBox(int checkBoxId) {
    showReceived();  // the click's exchange saves the area's text
    FieldCheckBoxClicked(*this, *this, checkBoxId);
}

void CTarnwellDlg::displayReceivedByte(std::uint8_t byte) {
    if (!isTicked(kConfigDoneBoxId)) return;
    const ReceivedPiece piece = ShowReceivedByte(receiveDecoder, byte, isTicked(kHexModeBoxId));
    receivedPending.append(piece.shown.begin(), piece.shown.begin() + piece.shownCount);
    infoText.append(piece.kept.data(), piece.keptCount);
    if (!showReceivedPosted && !receivedPending.empty())
        showReceivedPosted = PostMessageW(window, WM_SHOW_RECEIVED, 0, 0) != FALSE;
    // Without a queue to wait in, the byte is shown at once.
    if (!showReceivedPosted) showReceived();
}

}  // namespace quill::win
