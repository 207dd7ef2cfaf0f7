#include "app/message_map.h"

#include <array>

#include "app/tarnwell_dlg.h"

namespace quill {

std::span<const MessageEntry> MessageMap() {
    using D = CTarnwellDlg;
    static const std::array kMap{
        // Window shell and information area.
        MessageEntry{Event::Clicked, kHelpButtonId, &D::OnHelp},
        MessageEntry{Event::Clicked, kClearButtonId, &D::OnClearDisplay},
        // Parameter form.
        MessageEntry{Event::Clicked, kEveryFieldCheckBox, &D::OnFieldCheckBox},
        MessageEntry{Event::TextChanged, 1004, &D::OnDataChannelChanged},
        // Session control (session_host.cpp).
        MessageEntry{Event::Clicked, kOpenButtonId, &D::OnOpenPort},
        MessageEntry{Event::Clicked, kCloseButtonId, &D::OnClosePort},
        MessageEntry{Event::ListPicked, kPortListId, &D::OnPortPicked},
        MessageEntry{Event::Clicked, kReadButtonId, &D::OnReadParameters},
        MessageEntry{Event::Clicked, kConfigDoneBoxId, &D::OnConfigDone},
        MessageEntry{Event::Clicked, kResetButtonId, &D::OnReset},
        MessageEntry{Event::ListEditChanged, kDemoRateListId, &D::OnDemoRateTyped},
        // A rate picked from the list reopens the line just as typed text does.
        MessageEntry{Event::ListPicked, kDemoRateListId, &D::OnDemoRatePicked},
        // Demo-state terminal (dlg_terminal.cpp).
        MessageEntry{Event::Clicked, kSendButtonId, &D::OnSend},
        MessageEntry{Event::EnterPressed, kSendEditId, &D::OnSend},  // as a terminal sends a typed line
        MessageEntry{Event::Clicked, kAutoSendBoxId, &D::OnAutoSend},
        MessageEntry{Event::TextChanged, kIntervalEditId, &D::OnIntervalChanged},
        // Parameter write (the session core).
        MessageEntry{Event::Clicked, kConfigureButtonId, &D::OnConfigure},
    };
    return kMap;
}

}  // namespace quill
