#include "win/message_map.h"

#include <array>

#include "win/tarnwell_dlg.h"

namespace quill::win {

std::span<const MessageEntry> MessageMap() {
    using D = CTarnwellDlg;
    static const std::array kMap{
        // Window shell and information area.
        MessageEntry{WM_SYSCOMMAND, &D::OnSysCommand},
        MessageEntry{WM_CONTEXTMENU, &D::OnContextMenu},
        MessageEntry{WM_PAINT, &D::OnPaint},
        MessageEntry{WM_QUERYDRAGICON, &D::OnQueryDragIcon},
        MessageEntry{WM_CTLCOLORSTATIC, &D::OnCtlColorStatic},
        MessageEntry{kMenuAbout, 0, &D::OnSysCommandAbout},
        // Fleet work (dlg_parameter_file.cpp, dlg_history.cpp).
        MessageEntry{kMenuSaveFile, 0, &D::OnSaveParameterFile},
        MessageEntry{kMenuLoadFile, 0, &D::OnLoadParameterFile},
        MessageEntry{kMenuCheckFile, 0, &D::OnCheckParameterFile},
        MessageEntry{kMenuHistory, 0, &D::OnShowHistory},
        MessageEntry{kMenuVerify, 0, &D::OnToggleVerify},
        MessageEntry{kMenuTerminal, 0, &D::OnToggleTerminal},
        MessageEntry{WM_DROPFILES, &D::OnDropFiles},
        MessageEntry{IDCANCEL, BN_CLICKED, &D::OnCancel},
        MessageEntry{1043, BN_CLICKED, &D::OnHelp},
        MessageEntry{1038, BN_CLICKED, &D::OnClearDisplay},
        // Parameter form.
        MessageEntry{kEveryFieldCheckBox, BN_CLICKED, &D::OnFieldCheckBox},
        MessageEntry{1004, EN_CHANGE, &D::OnDataChannelChanged},
        // Session control: the session core decides.
        MessageEntry{1027, BN_CLICKED, &D::OnOpenPort},
        MessageEntry{1028, BN_CLICKED, &D::OnClosePort},
        MessageEntry{1026, CBN_SELCHANGE, &D::OnPortPicked},
        MessageEntry{1029, BN_CLICKED, &D::OnReadParameters},
        MessageEntry{1031, BN_CLICKED, &D::OnConfigDone},
        MessageEntry{1032, BN_CLICKED, &D::OnReset},
        MessageEntry{1068, CBN_EDITCHANGE, &D::OnDemoRateTyped},
        // A rate picked from the list reopens the port as typed text does;
        // a selection the program sets sends no notification.
        MessageEntry{1068, CBN_SELCHANGE, &D::OnDemoRatePicked},
        MessageEntry{WM_TIMER, &D::OnTimerMessage},
        MessageEntry{WM_PORT_TASK, &D::OnPortTask},
        MessageEntry{WM_SHOW_RECEIVED, &D::OnShowReceived},
        MessageEntry{WM_DEVICECHANGE, &D::OnDeviceChange},
        // Demo-state terminal.
        MessageEntry{1037, BN_CLICKED, &D::OnSend},
        MessageEntry{1034, BN_CLICKED, &D::OnAutoSend},
        MessageEntry{1035, EN_CHANGE, &D::OnIntervalChanged},
        // Parameter write.
        MessageEntry{1030, BN_CLICKED, &D::OnConfigure},
    };
    return kMap;
}

}  // namespace quill::win
