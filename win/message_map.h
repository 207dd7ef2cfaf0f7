// The one table that binds a window message to the handler of the main
// window that deals with it: WM_COMMAND by control (or menu) id and
// notification code, WM_TIMER, the engine's posted WM_PORT_TASK and the
// shell's messages. The dialog procedure looks every message up here and
// handles nothing else itself.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>

namespace quill::win {

class CTarnwellDlg;

// Stands for each parameter field's check box in a row's id.
inline constexpr int kEveryFieldCheckBox = 0;

struct MessageEntry {
    using Handler = void (CTarnwellDlg::*)();
    using ControlHandler = void (CTarnwellDlg::*)(int controlId);
    using MessageHandler = std::optional<INT_PTR> (CTarnwellDlg::*)(WPARAM, LPARAM);

    // A WM_COMMAND row: control or menu id and notification code.
    constexpr MessageEntry(int id, WORD code, Handler h)
        : message(WM_COMMAND), id(id), code(code), handler(h) {}
    constexpr MessageEntry(int id, WORD code, ControlHandler h)
        : message(WM_COMMAND), id(id), code(code), controlHandler(h) {}
    // Any other message, with its parameters.
    constexpr MessageEntry(UINT message, MessageHandler h) : message(message), messageHandler(h) {}

    UINT message;
    int id = 0;
    WORD code = 0;
    Handler handler = nullptr;
    ControlHandler controlHandler = nullptr;
    MessageHandler messageHandler = nullptr;
};

std::span<const MessageEntry> MessageMap();

}  // namespace quill::win
