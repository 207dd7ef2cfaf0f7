// How a window's port list follows adapters that come and go: on each report
// of the port watch the window finds the ports again and asks FollowPortList
// what to show. The operator's choice is kept by what it is, not where it
// was: the entry with the same text stays chosen wherever it moves, and the
// edit field keeps whatever it holds. A port that a session holds open keeps
// its entry until the session closes; the refresh after that drops it if the
// system no longer has it. Pure: the window applies the answer.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "form/port_choice.h"
#include "serial/port_discovery.h"

namespace quill {

// What the list shows now.
struct PortListNow {
    std::span<const FoundPort> ports;      // the found ports it offers, in order
    std::span<const std::string> entries;  // the text of every entry, in order
    int selected = -1;                     // -1: none
    std::string_view editText;             // what the edit field holds
    std::optional<std::string_view> openPath;  // the device a session holds open
};

// What it is to show after the refresh.
struct PortListNext {
    bool changed = false;  // false: the list stays exactly as it is
    std::vector<FoundPort> ports;
    std::vector<std::string> entries;
    int selected = -1;
    std::string editText;
};

// The window's entries for a list of found ports (with its fixed entries).
using PortListEntryTexts = std::function<std::vector<std::string>(std::span<const FoundPort>)>;

// The texts of these entries; those of the entries a window offers for these found ports.
std::vector<std::string> EntryTexts(std::span<const PortListEntry> entries);
std::vector<std::string> EntryTextsFor(std::span<const FoundPort> ports);

PortListNext FollowPortList(const PortListNow& now, std::span<const FoundPort> found,
                            const PortListEntryTexts& entriesFor);

}  // namespace quill
