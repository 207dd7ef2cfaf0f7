// The window layouts as data: every control of the main window (272 of them)
// and of the about box, with identifier, kind, caption, rectangle in dialog
// units, start state and list entries. The window builds itself from these
// rows in their order (which is also the tab order); the tests count and check
// them. Plain data, no Qt; captions are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace quill {

inline constexpr int kNoId = -1;  // unnumbered labels and group boxes

enum class ControlKind : std::uint8_t {
    Edit,           // one line, border, horizontal auto-scroll
    MultiLineEdit,  // border, vertical scroll bar, Enter makes a line break
    CheckBox,       // two-state, text left of the box (parameter fields)
    PlainCheckBox,  // two-state, text right of the box
    ComboBox,       // editable drop-down list with a vertical scroll bar
    PushButton,
    DefaultButton,  // push button that Enter presses
    Static,         // label, wraps its text
    StaticBorder,   // one line with a border, no wrapping
    GroupBox,
    Icon,  // the application icon
};

struct DialogRect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    constexpr int right() const { return x + w; }
    constexpr int bottom() const { return y + h; }
    constexpr bool contains(const DialogRect& r) const {
        return r.x >= x && r.y >= y && r.right() <= right() && r.bottom() <= bottom();
    }
    constexpr bool overlaps(const DialogRect& r) const {
        return r.x < right() && x < r.right() && r.y < bottom() && y < r.bottom();
    }
    friend constexpr bool operator==(const DialogRect&, const DialogRect&) = default;
};

struct ControlDef {
    int id = kNoId;
    ControlKind kind = ControlKind::Static;
    std::string_view caption;
    DialogRect rect;
    bool shown = true;
    bool enabled = true;
    std::span<const std::string_view> items;  // entries of a list, index 0 first
    bool hasObject = false;                   // the window keeps a typed control object for it (243 controls)
};

// Height of a drop-down list's selection field. A list's rectangle is as
// high as the list when it is opened.
inline constexpr int kListFieldHeight = 12;

// The part of the window the control covers while no list is open.
constexpr DialogRect ClosedRect(const ControlDef& control) {
    DialogRect r = control.rect;
    if (control.kind == ControlKind::ComboBox) r.h = kListFieldHeight;
    return r;
}

struct DialogTemplate {
    std::string_view caption;
    int width = 0;  // client area in dialog units
    int height = 0;
    std::string_view fontFace;
    int pointSize = 0;
    std::span<const ControlDef> controls;
};

// Template 102, the main window.
const DialogTemplate& MainDialogTemplate();
// Template 100, the about box.
const DialogTemplate& AboutDialogTemplate();

// The main window's row for this identifier, or nullptr (also for kNoId).
const ControlDef* FindControl(int id);

// A control of the main window where a window shows it.
struct PlacedControl {
    const ControlDef* control = nullptr;  // its row in MainDialogTemplate()
    DialogRect rect;                      // a list's rectangle includes its opened list
};

// The part of the window the placed control covers while no list is open.
constexpr DialogRect ClosedRect(const PlacedControl& placed) {
    DialogRect r = placed.rect;
    if (placed.control->kind == ControlKind::ComboBox) r.h = kListFieldHeight;
    return r;
}

// The terminal band: while the terminal is shown the main window grows by
// `height` below its template's client area, and the terminal's controls
// (created hidden from their template rows) stand in the band at these
// rectangles instead. Rows in tab order; the form and the information area
// keep their places.
struct TerminalBand {
    int height = 0;
    std::span<const PlacedControl> controls;
};
const TerminalBand& TerminalBandLayout();

// The main window's client height in dialog units, with or without the band.
int MainClientHeight(bool terminalShown);

// Every control the main window shows in that state, in template order, each
// where it stands.
std::vector<PlacedControl> ShownMainControls(bool terminalShown);

// The eleven line rates of the rate lists, as their entries read.
std::span<const std::string_view> RateListItems();

}  // namespace quill
