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

constexpr std::array<wchar_t, 16> kHexDigits = {L'0', L'1', L'2', L'3', L'4', L'5', L'6', L'7',
                                                L'8', L'9', L'A', L'B', L'C', L'D', L'E', L'F'};

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
    FieldCheckBoxClicked(*this, *this, checkBoxId);
}

void CTarnwellDlg::displayReceivedByte(std::uint8_t byte) {
    if (!isTicked(kConfigDoneBoxId)) return;
    if (isTicked(kHexModeBoxId)) {
        // "%02X": two upper-case digits, so consecutive bytes run together.
        std::wstring piece;
        // A lead byte held from character mode will get no trail byte now.
        if (const DecodedPiece dropped = receiveDecoder.abandon(); !dropped.empty())
            piece += static_cast<wchar_t>(dropped.units[0]);
        piece += kHexDigits[byte >> 4];
        piece += kHexDigits[byte & 0x0F];
        AppendInfo(piece);
        infoText.push_back(static_cast<char>(kHexDigits[byte >> 4]));
        infoText.push_back(static_cast<char>(kHexDigits[byte & 0x0F]));
        return;
    }
    // "%c": the byte itself; a GBK lead byte waits for its trail byte, a zero byte shows nothing.
    const DecodedPiece shown = receiveDecoder.feed(byte);
    std::wstring piece;
    for (std::size_t i = 0; i < shown.count; ++i) piece += static_cast<wchar_t>(shown.units[i]);
    AppendInfo(piece);
    if (byte != 0) infoText.push_back(static_cast<char>(byte));
}

}  // namespace quill::win
