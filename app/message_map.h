// The one table that binds a window event on a control to the handler of the
// main window that deals with it. The window connects its controls from this
// table when it is built; nothing else connects control signals.
#pragma once

#include <cstdint>
#include <span>

namespace quill {

class CTarnwellDlg;

enum class Event : std::uint8_t {
    Clicked,          // a button or check box was pressed; a check box has already changed its tick
    TextChanged,      // an edit's text changed, by the operator or the program
    ListEditChanged,  // the operator changed the text in a drop-down list's edit field
    ListPicked,       // the operator picked an entry of a drop-down list (never a selection the program sets)
    EnterPressed,     // the operator pressed Enter in an edit
};

// Stands for each parameter field's check box in a row's controlId.
inline constexpr int kEveryFieldCheckBox = 0;

struct MessageEntry {
    using Handler = void (CTarnwellDlg::*)();
    using ControlHandler = void (CTarnwellDlg::*)(int controlId);

    constexpr MessageEntry(Event e, int id, Handler h) : event(e), controlId(id), handler(h) {}
    constexpr MessageEntry(Event e, int id, ControlHandler h) : event(e), controlId(id), controlHandler(h) {}

    Event event;
    int controlId;
    Handler handler = nullptr;                // called without arguments, or
    ControlHandler controlHandler = nullptr;  // called with the control's identifier
};

std::span<const MessageEntry> MessageMap();

}  // namespace quill
