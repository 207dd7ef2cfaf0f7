#include "form/port_choice.h"

#include <algorithm>
#include <cctype>

#include "form/window_texts.h"
#include "protocol/serial_block.h"

namespace quill {
namespace {

constexpr std::uint32_t kListedComPorts = 10;  // "com1" .. "com10"
constexpr std::uint32_t kHighestComPort = 255;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// "com" and digits only, in any case: a COM name, valid or not.
bool IsComName(std::string_view text) {
    return text.size() > 3 && SameIgnoringCase(text.substr(0, 3), "com") &&
           std::all_of(text.begin() + 3, text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The number of a COM name; nothing when out of range. Stops counting once
// past the range, so that no run of digits can overflow.
std::optional<std::uint32_t> ComNumber(std::string_view text) {
    if (!IsComName(text)) return std::nullopt;
    std::uint32_t number = 0;
    for (const char c : text.substr(3)) {
        number = number * 10 + static_cast<std::uint32_t>(c - '0');
        if (number > kHighestComPort) return std::nullopt;
    }
    if (number == 0) return std::nullopt;
    return number;
}

std::string ComName(std::uint32_t number) {
    return "com" + std::to_string(number);
}

// "USB Serial Port (COM12)" names COM12 again: the adapter's part alone.
std::string EntryText(const FoundPort& port) {
    std::string adapter = port.name;
    if (const std::string suffix = " (" + port.path + ")"; adapter.ends_with(suffix))
        adapter.resize(adapter.size() - suffix.size());
    return adapter.empty() ? port.path : port.path + " " + adapter;
}

std::optional<int> EntryShown(std::span<const PortListEntry> entries, int selected, std::string_view text) {
    const bool isSelected = selected >= 0 && static_cast<std::size_t>(selected) < entries.size();
    if (text.empty()) return isSelected ? std::optional<int>(selected) : std::nullopt;
    if (isSelected && entries[static_cast<std::size_t>(selected)].text == text) return selected;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (SameIgnoringCase(entries[i].text, text)) return static_cast<int>(i);
    return std::nullopt;
}

}  // namespace

std::vector<PortListEntry> PortListEntries(std::span<const FoundPort> found) {
    std::vector<PortListEntry> entries;
    for (std::uint32_t n = 1; n <= kListedComPorts; ++n)
        entries.push_back({PortEntryKind::ComNumber, ComName(n), n, {}});
    for (const FoundPort& port : found) {
        if (port.builtInUart) continue;  // one of com1..com10, or typed
        const std::optional<std::uint32_t> number = ComNumber(port.path);
        if (number && *number <= kListedComPorts) continue;  // listed already
        const auto index = static_cast<std::uint32_t>(entries.size());
        entries.push_back(
            {PortEntryKind::DevicePath, EntryText(port), number.value_or(index + 1), port.path});
    }
    entries.push_back({PortEntryKind::Auto, std::string(kAutoEntryText), 0, {}});
    const auto index = static_cast<std::uint32_t>(entries.size());
    entries.push_back({PortEntryKind::Simulator, std::string(kSimulatorEntryText), index + 1, {}});
    return entries;
}

std::optional<PortChoice> ChoosePort(std::span<const PortListEntry> entries, int selectedIndex,
                                     std::string_view typedText) {
    const std::string_view text = Trimmed(typedText);
    if (const std::optional<int> shown = EntryShown(entries, selectedIndex, text)) {
        const PortListEntry& entry = entries[static_cast<std::size_t>(*shown)];
        switch (entry.kind) {
            case PortEntryKind::ComNumber:
                return PortChoice{entry.kind, entry.portNumber, {}, ComName(entry.portNumber)};
            case PortEntryKind::DevicePath:
                return PortChoice{entry.kind, entry.portNumber, entry.devicePath, entry.devicePath};
            case PortEntryKind::Simulator:
                return PortChoice{entry.kind, entry.portNumber, {}, std::string(kSimulatorName)};
            case PortEntryKind::Auto:
                return PortChoice{entry.kind, 0, {}, entry.text};
        }
    }
    if (text.empty() || (IsComName(text) && !ComNumber(text))) return std::nullopt;
    if (const std::optional<std::uint32_t> number = ComNumber(text))
        return PortChoice{PortEntryKind::ComNumber, *number, {}, ComName(*number)};
    // Anything else is a device opened as typed.
    const auto number = static_cast<std::uint32_t>(std::max(selectedIndex, 0) + 1);
    return PortChoice{PortEntryKind::DevicePath, number, std::string(text), std::string(text)};
}

FoundPortShown ShowFoundPort(std::span<const PortListEntry> entries, std::string_view path) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const PortListEntry& entry = entries[i];
        const bool same = entry.kind == PortEntryKind::DevicePath
                              ? entry.devicePath == path
                              : entry.kind == PortEntryKind::ComNumber && SameIgnoringCase(entry.text, path);
        if (!same) continue;
        const int index = static_cast<int>(i);
        return {index, entry.text, *ChoosePort(entries, index, entry.text)};
    }
    FoundPortShown shown{-1, std::string(path), {}};
    if (const std::optional<PortChoice> choice = ChoosePort(entries, -1, path)) shown.choice = *choice;
    return shown;
}

int DemoRateEntry(RateListChange change, int selectedIndex, std::string_view fieldText) {
    if (change == RateListChange::Picked) return selectedIndex;
    const std::string_view text = Trimmed(fieldText);
    for (std::size_t i = 0; i < kRateCaptions.size(); ++i)
        if (kRateCaptions[i] == text) return static_cast<int>(i);
    return -1;
}

std::string ReturnKey(std::span<const FoundPort> shown, std::string_view path, std::string_view name) {
    std::string listed(path);
    if (listed.empty())
        for (const char c : name) listed += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const FoundPort& port : shown)
        if (port.path == listed) return port.name.empty() ? port.path : port.name;
    return listed;
}

std::optional<FoundPort> ReturnedPort(std::string_view key, std::span<const FoundPort> found) {
    if (key.empty()) return std::nullopt;
    for (const FoundPort& port : found)
        if ((!port.name.empty() && port.name == key) || (port.name.empty() && port.path == key)) return port;
    return std::nullopt;
}

std::string PortBackText(std::string_view name) {
    return "<-串口" + std::string(name) + "已重新接入，重新打开\n\r\n\r";
}

}  // namespace quill
