// The port list following adapters as they are plugged in and pulled out:
// the window registers for the COM-port interface class, the system sends it
// WM_DEVICECHANGE, the window finds the ports again, and the session core's
// rule (FollowPortList) says what the list shows and which entry stays
// chosen. This file only rewrites the list. Window thread only.
#include "session/port_list_follow.h"
#include "serial/wide_text_win32.h"
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
    const HWND list = control(kPortListId);
    if (list == nullptr || !findPorts) return;
    std::vector<std::string> entries;
    for (int i = 0; i < listCount(kPortListId); ++i) entries.push_back(Narrow(listItem(kPortListId, i)));
    // The found ports sit between com1..com10 and the fixed entries after them.
    const auto first = static_cast<std::ptrdiff_t>(std::min<std::size_t>(10, entries.size()));
    const auto end = std::min<std::ptrdiff_t>(first + static_cast<std::ptrdiff_t>(foundPorts.size()),
                                              static_cast<std::ptrdiff_t>(entries.size()));
    const auto entriesFor = [&](std::span<const FoundPort> ports) {
        std::vector<std::string> texts(entries.begin(), entries.begin() + first);
        for (const FoundPort& port : ports) texts.push_back(Narrow(*FoundPortEntry(port)));
        texts.insert(texts.end(), entries.begin() + end, entries.end());
        return texts;
    };
    std::vector<FoundPort> found;
    for (FoundPort& port : findPorts())
        if (FoundPortEntry(port)) found.push_back(std::move(port));

    const std::string editText = Narrow(controlText(kPortListId));
    PortListNow now{foundPorts, entries, selectedIndex(kPortListId), editText, {}};
    if (portHeld() && !openedPath.empty()) now.openPath = openedPath;
    PortListNext next = FollowPortList(now, found, entriesFor);
    if (!next.changed) return;

    const int shift = static_cast<int>(next.entries.size()) - static_cast<int>(entries.size());
    if (simulatorListEntry >= end) simulatorListEntry += shift;
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const std::string& text : next.entries)
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
    selectIndex(kPortListId, next.selected);
    setControlText(kPortListId, Widen(next.editText));
    FitPortListWidth();
    foundPorts = std::move(next.ports);
}

}  // namespace quill::win
