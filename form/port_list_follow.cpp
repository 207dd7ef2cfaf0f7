#include "form/port_list_follow.h"

#include <algorithm>

namespace quill {
namespace {

int IndexOf(const std::vector<std::string>& entries, std::string_view text) {
    const auto it = std::find(entries.begin(), entries.end(), text);
    return it == entries.end() ? -1 : static_cast<int>(it - entries.begin());
}

}  // namespace

PortListNext FollowPortList(const PortListNow& now, std::span<const FoundPort> found,
                            const PortListEntryTexts& entriesFor) {
    PortListNext next;
    next.ports.assign(found.begin(), found.end());
    if (now.openPath) {
        // The open port stays offered while its session runs, even when the
        // system no longer lists it: the operator sees what is open.
        const auto isOpen = [&](const FoundPort& port) { return port.path == *now.openPath; };
        const auto shown = std::find_if(now.ports.begin(), now.ports.end(), isOpen);
        if (shown != now.ports.end() && std::none_of(found.begin(), found.end(), isOpen)) {
            next.ports.push_back(*shown);
            next.ports = SortedPorts(std::move(next.ports));
        }
    }
    next.entries = entriesFor(next.ports);
    next.editText = std::string(now.editText);
    next.changed = !std::equal(next.entries.begin(), next.entries.end(), now.entries.begin(), now.entries.end()) ||
                   !std::equal(next.ports.begin(), next.ports.end(), now.ports.begin(), now.ports.end());

    const bool hadChoice = now.selected >= 0 && static_cast<std::size_t>(now.selected) < now.entries.size();
    next.selected = hadChoice ? IndexOf(next.entries, now.entries[static_cast<std::size_t>(now.selected)]) : -1;
    // A choice whose entry went keeps its text in the edit field; when an
    // entry of that text comes (the adapter is back), it is chosen again.
    if (next.selected < 0 && !now.editText.empty()) next.selected = IndexOf(next.entries, now.editText);
    return next;
}

std::vector<std::string> EntryTexts(std::span<const PortListEntry> entries) {
    std::vector<std::string> texts;
    texts.reserve(entries.size());
    for (const PortListEntry& entry : entries) texts.push_back(entry.text);
    return texts;
}

std::vector<std::string> EntryTextsFor(std::span<const FoundPort> ports) {
    const std::vector<PortListEntry> entries = PortListEntries(ports);
    return EntryTexts(entries);
}

}  // namespace quill
