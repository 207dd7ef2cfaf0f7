// The port list following adapters as they are plugged in and pulled out:
// udev's monitor on the window's event loop reports, the window finds the
// ports again, and the session core's rule (FollowPortList) says what the
// list shows and which entry stays chosen. This file only rewrites the list.
// User-interface thread only.
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSocketNotifier>

#include "app/dialog_builder.h"
#include "app/tarnwell_dlg.h"
#include "form/port_choice.h"
#include "form/port_list_follow.h"

namespace quill {

void CTarnwellDlg::StartPortWatch() {
    if (portWatch.Start(nullptr).has_value()) return;  // no udev here: nothing to follow
    auto* notifier = new QSocketNotifier(portWatch.descriptor(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        if (portWatch.TakeReport()) OnPortsChanged();
    });
}

void CTarnwellDlg::OnPortsChanged() {
    auto* list = qobject_cast<QComboBox*>(control(kPortListId));
    if (list == nullptr || !findPorts) return;
    const std::vector<std::string> entries = EntryTexts(portEntries);

    const std::string editText = list->currentText().toStdString();
    PortListNow now{shownPorts, entries, list->currentIndex(), editText, {}};
    if (session.line().held() && !session.line().port().devicePath.empty())
        now.openPath = session.line().port().devicePath;
    const std::vector<FoundPort> found = findPorts();
    PortListNext next = FollowPortList(now, found, EntryTextsFor);
    if (!next.changed) {
        session.OnPortsFound(portEntries, found);
        return;
    }

    // Rewritten with the list's own signals held: nothing the operator did happened.
    const QSignalBlocker hold(list);
    FillPortList(next.ports);
    list->setCurrentIndex(next.selected);
    list->setEditText(QString::fromStdString(next.editText));
    if (QLineEdit* edit = list->lineEdit()) edit->setCursorPosition(0);
    shownPorts = std::move(next.ports);
    session.OnPortsFound(portEntries, found);
}

}  // namespace quill
