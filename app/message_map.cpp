#include "app/message_map.h"

#include <array>

#include "app/tarnwell_dlg.h"

namespace quill {

std::span<const MessageEntry> MessageMap() {
    using D = CTarnwellDlg;
    static const std::array kMap{
        // Window shell and information area.
        MessageEntry{Event::Clicked, 1043, &D::OnHelp},
        MessageEntry{Event::Clicked, 1038, &D::OnClearDisplay},
        // Parameter form.
        MessageEntry{Event::Clicked, kEveryFieldCheckBox, &D::OnFieldCheckBox},
        MessageEntry{Event::TextChanged, 1004, &D::OnDataChannelChanged},
        // Session control (dlg_session.cpp).
        // Demo-state terminal (dlg_terminal.cpp).
        // Parameter write (dlg_parameters.cpp).
    };
    return kMap;
}

}  // namespace quill
