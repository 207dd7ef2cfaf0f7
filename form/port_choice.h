// The port list 1026 and what a choice in it opens, decided once for every
// window: the entries (com1..com10, the ports found on this machine beyond
// them, the search, the simulated DTU) and the port that the entry shown in
// the list's edit field, or the text typed there, stands for; and the entry
// of the rate list 1068 that a demo-state reopen takes. UTF-8; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "serial/port_discovery.h"

namespace quill {

enum class PortEntryKind {
    ComNumber,   // COM n: the platform's device for port number n
    DevicePath,  // a device opened by its path or name
    Simulator,   // the built-in simulated DTU
    Auto,        // look for the DTU on every candidate port
};

struct PortListEntry {
    PortEntryKind kind = PortEntryKind::ComNumber;
    std::string text;              // as the list shows it
    std::uint32_t portNumber = 0;  // carried in the engine's notifications
    std::string devicePath;        // DevicePath only
    friend bool operator==(const PortListEntry&, const PortListEntry&) = default;
};

// com1..com10, then each found port that is not one of them (named after its
// adapter where the system knows it), then the search, then the simulated DTU.
std::vector<PortListEntry> PortListEntries(std::span<const FoundPort> found);

struct PortChoice {
    PortEntryKind kind = PortEntryKind::ComNumber;
    std::uint32_t portNumber = 0;
    std::string devicePath;  // empty: the platform's device for portNumber
    std::string name;        // as the status line names the port
    friend bool operator==(const PortChoice&, const PortChoice&) = default;
};

// The port to open: the entry whose text the field shows (the selected one,
// else one typed, in any case), else a typed "comN" (1 <= N <= 255, leading
// zeros allowed), else a typed device path. Nothing when there is nothing to
// open: an empty field without a selection (port number 0), or a "com" name
// out of range. selectedIndex is -1 when nothing is selected.
std::optional<PortChoice> ChoosePort(std::span<const PortListEntry> entries, int selectedIndex,
                                     std::string_view typedText);

// The port a search found, as the list then shows it: its entry selected
// (and the field showing the entry's text), or, for a port the list does not
// offer, nothing selected and the path typed in the field.
struct FoundPortShown {
    int selected = -1;
    std::string editText;
    PortChoice choice;
    friend bool operator==(const FoundPortShown&, const FoundPortShown&) = default;
};
FoundPortShown ShowFoundPort(std::span<const PortListEntry> entries, std::string_view path);

// A port whose session was lost, known by what names it across a replug:
// the adapter's name where the system gives one (its /dev/serial/by-id
// link: the path may differ when it comes back), else its path (a COM name).
// A port opened by its COM number has no path: the system lists it by its
// name ("com7" as "COM7"). Empty when there is neither.
std::string ReturnKey(std::span<const FoundPort> shown, std::string_view path, std::string_view name = {});
// The port now found that is the lost one come back, if it is.
std::optional<FoundPort> ReturnedPort(std::string_view key, std::span<const FoundPort> found);
// The information area's word that it is back and opened again.
std::string PortBackText(std::string_view name);

// How the rate list 1068 last changed.
enum class RateListChange : std::uint8_t { Picked, Typed };
// The entry the demo state reopens at: a pick's selected entry; after typing,
// the entry whose caption the field holds exactly (blanks around it aside),
// and none (-1: the session's own rate) for any other text. A window's
// selection does not follow typing, so the text decides then.
int DemoRateEntry(RateListChange change, int selectedIndex, std::string_view fieldText);

}  // namespace quill
