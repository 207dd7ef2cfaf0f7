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
        MessageEntry{Event::Clicked, 1027, &D::OnOpenPort},
        MessageEntry{Event::Clicked, 1028, &D::OnClosePort},
        MessageEntry{Event::Clicked, 1029, &D::OnReadParameters},
        MessageEntry{Event::Clicked, 1031, &D::OnConfigDone},
        MessageEntry{Event::Clicked, 1032, &D::OnReset},
        MessageEntry{Event::ListEditChanged, 1068, &D::OnDemoBaudChanged},
        // Demo-state terminal (dlg_terminal.cpp).
        MessageEntry{Event::Clicked, 1037, &D::OnSend},
        MessageEntry{Event::Clicked, 1034, &D::OnAutoSend},
        MessageEntry{Event::TextChanged, 1035, &D::OnIntervalChanged},
        // Parameter write (dlg_parameters.cpp).
        MessageEntry{Event::Clicked, 1030, &D::OnConfigure},
    };
    return kMap;
}

}  // namespace quill
