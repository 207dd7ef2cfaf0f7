// The form's data exchange between the bound controls and the GBK value
// members, the parameter check boxes that gate their value controls, the
// read-back into the form, and the demo-state display of received bytes.
#include <array>

#include "form/parameter_fields.h"
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

// Sets a flag for one scope and puts back what it was, so a nested exchange
// does not clear it early.
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

// The form as the configure request reads it, after the save exchange.
class WindowFormSnapshot : public FormSnapshot {
  public:
    explicit WindowFormSnapshot(const CTarnwellDlg& window) : window(window) {}
    bool ticked(int checkBoxId) const override { return window.isTicked(checkBoxId); }
    std::string text(int editId) const override { return window.member(editId); }
    int listIndex(int listId) const override { return window.selectedIndex(listId); }

  private:
    const CTarnwellDlg& window;
};

constexpr std::array<wchar_t, 16> kHexDigits = {L'0', L'1', L'2', L'3', L'4', L'5', L'6', L'7',
                                                L'8', L'9', L'A', L'B', L'C', L'D', L'E', L'F'};

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
                setControlText(id, std::to_wstring(autoSendInterval));
                continue;
            }
            const std::optional<std::uint32_t> value = ParseUnsignedText(ToGbk(controlText(id)));
            if (!value) {
                ShowMessageBox(Widen(kUnsignedPrompt), windowCaption(), BoxIcon::Warning);
                if (HWND edit = control(id)) {
                    SetFocus(edit);
                    SendMessageW(edit, EM_SETSEL, 0, -1);
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

const FormSnapshot& CTarnwellDlg::formSnapshot() {
    if (!snapshot) snapshot = std::make_unique<WindowFormSnapshot>(*this);
    return *snapshot;
}

void CTarnwellDlg::applyItemUpdate(const ItemUpdate& item) {
    for (const ControlUpdate& update : item.updates) {
        if (update.selectIndex)
            selectIndex(update.controlId, update.index);
        else
            setControlText(update.controlId, FromGbk(update.text));
    }
    // The members follow what is shown, item by item.
    ExchangeFormData(true);
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
