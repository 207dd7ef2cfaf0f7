// The port list following adapters as they are plugged in and pulled out:
// the window registers for the COM-port interface class, the system sends it
// WM_DEVICECHANGE, the window finds the ports again, and the session core's
// rule (FollowPortList) says what the list shows and which entry stays
// chosen. This file only rewrites the list. Window thread only.
#include "form/port_choice.h"
#include "serial/wide_text_win32.h"
#include "form/port_list_follow.h"
#include "win/tarnwell_dlg.h"

namespace quill::win {

void CTarnwellDlg::StartPortWatch() {
    // Without the registration the system still broadcasts port arrivals to
    // top-level windows; either way the list follows what arrives.
    portWatch.Start(window);
}

std::optional<INT_PTR> CTarnwellDlg::OnDeviceChange(WPARAM wParam, LPARAM lParam) {
    if (portWatch.TakeReport(wParam, lParam)) OnPortsChanged();
    return std::nullopt;  // the system's default answer: a device may go when it asks
}

void CTarnwellDlg::OnPortsChanged() {
    if (control(kPortListId) == nullptr || !findPorts) return;
    const std::vector<std::string> entries = EntryTexts(portEntries);

    const std::string editText = Narrow(controlText(kPortListId));
    PortListNow now{shownPorts, entries, selectedIndex(kPortListId), editText, {}};
    if (session.line().held() && !session.line().port().devicePath.empty())
        now.openPath = session.line().port().devicePath;
    const std::vector<FoundPort> found = findPorts();
    PortListNext next = FollowPortList(now, found, EntryTextsFor);
    if (next.changed) {
        FillPortList(next.ports);
        selectIndex(kPortListId, next.selected);
        setControlText(kPortListId, Widen(next.editText));
        shownPorts = std::move(next.ports);
    }
    session.OnPortsFound(portEntries, found);
}

}  // namespace quill::win
