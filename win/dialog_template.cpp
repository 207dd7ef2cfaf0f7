#include "win/dialog_template.h"

#include <windows.h>

#include <cstring>

namespace quill::win {
namespace {

// Predefined window classes by their ordinals.
constexpr std::uint16_t kButtonClass = 0x0080;
constexpr std::uint16_t kEditClass = 0x0081;
constexpr std::uint16_t kStaticClass = 0x0082;
constexpr std::uint16_t kComboBoxClass = 0x0085;

// Appends 16-bit units; the buffer is handed over as 32-bit words.
class TemplateWriter {
  public:
    void word(std::uint16_t value) { units.push_back(value); }
    void dword(std::uint32_t value) {
        word(static_cast<std::uint16_t>(value & 0xFFFF));
        word(static_cast<std::uint16_t>(value >> 16));
    }
    void text(std::wstring_view value) {
        for (const wchar_t c : value) word(static_cast<std::uint16_t>(c));
        word(0);
    }
    void ordinal(std::uint16_t value) {
        word(0xFFFF);
        word(value);
    }
    void alignDword() {
        if (units.size() % 2 != 0) word(0);
    }
    std::vector<std::uint32_t> take() {
        alignDword();
        std::vector<std::uint32_t> out(units.size() / 2);
        std::memcpy(out.data(), units.data(), out.size() * sizeof(std::uint32_t));
        return out;
    }

  private:
    std::vector<std::uint16_t> units;
};

std::uint16_t ClassOrdinal(ControlKind kind) {
    switch (kind) {
        case ControlKind::Edit:
        case ControlKind::MultiLineEdit:
            return kEditClass;
        case ControlKind::ComboBox:
            return kComboBoxClass;
        case ControlKind::Static:
        case ControlKind::StaticBorder:
        case ControlKind::Icon:
            return kStaticClass;
        case ControlKind::CheckBox:
        case ControlKind::PlainCheckBox:
        case ControlKind::PushButton:
        case ControlKind::DefaultButton:
        case ControlKind::GroupBox:
            return kButtonClass;
    }
    return kStaticClass;
}

}  // namespace

const wchar_t* ControlClassName(ControlKind kind) {
    switch (ClassOrdinal(kind)) {
        case kButtonClass:
            return L"Button";
        case kEditClass:
            return L"Edit";
        case kComboBoxClass:
            return L"ComboBox";
        default:
            return L"Static";
    }
}

std::uint32_t ControlStyle(const ControlDef& control) {
    DWORD style = WS_CHILD;
    if (control.shown) style |= WS_VISIBLE;
    if (!control.enabled) style |= WS_DISABLED;
    switch (control.kind) {
        case ControlKind::Edit:
            style |= WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT;
            break;
        case ControlKind::MultiLineEdit:
            style |= WS_BORDER | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
            break;
        case ControlKind::CheckBox:
            // Text left of the box and against it, so the box sits next to its value control.
            style |= WS_TABSTOP | BS_AUTOCHECKBOX | BS_LEFTTEXT | BS_RIGHT;
            break;
        case ControlKind::PlainCheckBox:
            style |= WS_TABSTOP | BS_AUTOCHECKBOX;
            break;
        case ControlKind::ComboBox:
            // The edit field scrolls, so a device path longer than the field can be typed.
            style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL;
            break;
        case ControlKind::PushButton:
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        case ControlKind::DefaultButton:
            style |= WS_TABSTOP | BS_DEFPUSHBUTTON;
            break;
        case ControlKind::Static:
            style |= SS_LEFT | SS_NOPREFIX;
            break;
        case ControlKind::StaticBorder:
            style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_SUNKEN | SS_CENTERIMAGE;
            break;
        case ControlKind::GroupBox:
            style |= BS_GROUPBOX;
            break;
        case ControlKind::Icon:
            style |= SS_ICON;
            break;
    }
    return style;
}

std::vector<std::uint32_t> BuildDialogTemplate(const DialogTemplate& layout, const DialogFrame& frame,
                                               int iconId) {
    TemplateWriter w;
    // DLGTEMPLATEEX header.
    w.word(1);       // dlgVer
    w.word(0xFFFF);  // signature
    w.dword(0);      // helpID
    w.dword(frame.exStyle);
    w.dword(frame.style | DS_SETFONT);
    w.word(static_cast<std::uint16_t>(layout.controls.size()));
    w.word(0);  // x, y: placed by the caller (or DS_CENTER)
    w.word(0);
    w.word(static_cast<std::uint16_t>(layout.width));
    w.word(static_cast<std::uint16_t>(layout.height));
    w.word(0);  // no menu
    w.word(0);  // the dialog class
    w.text(Widen(layout.caption));
    w.word(static_cast<std::uint16_t>(layout.pointSize));
    w.word(FW_NORMAL);
    w.word(0);  // italic, charset
    w.text(Widen(layout.fontFace));

    for (const ControlDef& control : layout.controls) {
        w.alignDword();
        w.dword(0);  // helpID
        w.dword(0);  // exStyle
        w.dword(ControlStyle(control));
        for (const int v : {control.rect.x, control.rect.y, control.rect.w, control.rect.h})
            w.word(static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
        // Unnumbered labels and group boxes carry the platform's "no id", -1.
        w.dword(static_cast<std::uint32_t>(control.id));
        w.ordinal(ClassOrdinal(control.kind));
        if (control.kind == ControlKind::Icon)
            w.ordinal(static_cast<std::uint16_t>(iconId));
        else
            w.text(Widen(control.caption));
        w.word(0);  // no creation data
    }
    return w.take();
}

}  // namespace quill::win
