// The port list following adapters as they are plugged in and pulled out:
// udev's monitor on the window's event loop reports, the window finds the
// ports again, and the session core's rule (FollowPortList) says what the
// list shows and which entry stays chosen. This file only rewrites the list.
// User-interface thread only.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSocketNotifier>

#include "app/tarnwell_dlg.h"
#include "session/port_list_follow.h"

namespace quill {
namespace {

constexpr int kComEntries = 10;  // "com1" .. "com10" come before the found ports

}  // namespace

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
    std::vector<std::string> entries;
    for (int i = 0; i < list->count(); ++i) entries.push_back(list->itemText(i).toStdString());
    // The found ports sit between the COM entries and the fixed entries after them.
    const auto first = static_cast<std::ptrdiff_t>(std::min<std::size_t>(kComEntries, entries.size()));
    const auto end = std::min<std::ptrdiff_t>(first + static_cast<std::ptrdiff_t>(shownPorts.size()),
                                              static_cast<std::ptrdiff_t>(entries.size()));
    const auto entriesFor = [&](std::span<const FoundPort> ports) {
        std::vector<std::string> texts(entries.begin(), entries.begin() + first);
        for (const FoundPort& port : ports) texts.push_back(port.path);
        texts.insert(texts.end(), entries.begin() + end, entries.end());
        return texts;
    };

    const std::string editText = list->currentText().toStdString();
    PortListNow now{shownPorts, entries, list->currentIndex(), editText, {}};
    if (portHeld() && !openedPath.empty()) now.openPath = openedPath;
    const std::vector<FoundPort> found = findPorts();
    PortListNext next = FollowPortList(now, found, entriesFor);
    if (!next.changed) return;

    // Rewritten as a whole, with the list's own signals held: nothing the
    // operator did happened.
    const QSignalBlocker hold(list);
    const int shift = static_cast<int>(next.entries.size()) - static_cast<int>(entries.size());
    if (simulatorListEntry >= end) simulatorListEntry += shift;
    list->clear();
    for (const std::string& text : next.entries) list->addItem(QString::fromStdString(text));
    list->setCurrentIndex(next.selected);
    list->setEditText(QString::fromStdString(next.editText));
    if (QLineEdit* edit = list->lineEdit()) edit->setCursorPosition(0);
    list->setMaxVisibleItems(list->count());
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0) + 2 * list->view()->frameWidth());
    shownPorts = std::move(next.ports);
}

}  // namespace quill
