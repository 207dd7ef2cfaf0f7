// Turns a dialog layout (form/window_layout.h) into an in-memory Win32 dialog
// template (DLGTEMPLATEEX with DS_SETFONT), so the native window is built by
// the system's dialog manager from the same rows as every other front end:
// same ids, captions, rectangles in dialog units, start states and tab order.
// Pure data work: no window is created here, so any thread may call it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "form/window_layout.h"
#include "serial/wide_text_win32.h"

namespace quill::win {

// Window styles of the dialog itself, given by the caller (main window or
// about box); DS_SETFONT is always added.
struct DialogFrame {
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
};

// The style bits of one control of this kind in this start state.
std::uint32_t ControlStyle(const ControlDef& control);

// The system's class name for a control of this kind, for controls the
// window creates itself after the dialog.
const wchar_t* ControlClassName(ControlKind kind);

// The whole template, DWORD-aligned as the dialog manager requires. Icon
// controls name icon resource `iconId`.
std::vector<std::uint32_t> BuildDialogTemplate(const DialogTemplate& layout, const DialogFrame& frame,
                                               int iconId);

}  // namespace quill::win
