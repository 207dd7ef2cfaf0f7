#include "form/port_choice.h"

#include <gtest/gtest.h>

namespace quill {
namespace {

using Kind = PortEntryKind;

TEST(PortListEntries, ComOneToTenThenPortsBeyondThemThenTheSearchThenTheSimulator) {
    const std::vector<FoundPort> found{{"COM3", "USB Serial Port (COM3)"},
                                       {"COM12", "USB Serial Port (COM12)"},
                                       {"COM15", ""},
                                       {"/dev/ttyUSB0", "usb-FTDI-if00-port0"},
                                       {"/dev/ttyS0", "", true}};  // com1 already
    const std::vector<PortListEntry> entries = PortListEntries(found);
    ASSERT_EQ(entries.size(), 15u);
    EXPECT_EQ(entries[0], (PortListEntry{Kind::ComNumber, "com1", 1, ""}));
    EXPECT_EQ(entries[9], (PortListEntry{Kind::ComNumber, "com10", 10, ""}));
    EXPECT_EQ(entries[10], (PortListEntry{Kind::DevicePath, "COM12 USB Serial Port", 12, "COM12"}));
    EXPECT_EQ(entries[11], (PortListEntry{Kind::DevicePath, "COM15", 15, "COM15"}));
    EXPECT_EQ(entries[12],
              (PortListEntry{Kind::DevicePath, "/dev/ttyUSB0 usb-FTDI-if00-port0", 13, "/dev/ttyUSB0"}));
    EXPECT_EQ(entries[13], (PortListEntry{Kind::Auto, "自动查找DTU", 0, ""}));
    EXPECT_EQ(entries[14], (PortListEntry{Kind::Simulator, "模拟DTU（无需硬件）", 15, ""}));
    EXPECT_EQ(PortListEntries({}).size(), 12u);
}

TEST(ChoosePort, TheEntryShownOrTheTypedText) {
    const std::vector<PortListEntry> entries =
        PortListEntries(std::vector<FoundPort>{{"COM12", "USB Serial Port (COM12)"}, {"/dev/ttyUSB1", ""}});
    const int simulator = static_cast<int>(entries.size()) - 1;  // 13
    struct Case {
        int selected;
        std::string_view typed;
        std::optional<PortChoice> expected;
    };
    const Case cases[] = {
        // The selection, as the field shows it, or alone with nothing typed.
        {0, "com1", PortChoice{Kind::ComNumber, 1, "", "com1"}},
        {6, "", PortChoice{Kind::ComNumber, 7, "", "com7"}},
        {10, "COM12 USB Serial Port", PortChoice{Kind::DevicePath, 12, "COM12", "COM12"}},
        {11, "/dev/ttyUSB1", PortChoice{Kind::DevicePath, 12, "/dev/ttyUSB1", "/dev/ttyUSB1"}},
        {simulator, "模拟DTU（无需硬件）", PortChoice{Kind::Simulator, 14, "", "模拟DTU"}},
        {simulator, "", PortChoice{Kind::Simulator, 14, "", "模拟DTU"}},
        // Typed text wins over the selection; an entry's text in any case is that entry.
        {0, "com7", PortChoice{Kind::ComNumber, 7, "", "com7"}},
        {0, "COM7", PortChoice{Kind::ComNumber, 7, "", "com7"}},
        {0, "  com7\t", PortChoice{Kind::ComNumber, 7, "", "com7"}},
        {-1, "模拟DTU（无需硬件）", PortChoice{Kind::Simulator, 14, "", "模拟DTU"}},
        {-1, "com12 usb serial port", PortChoice{Kind::DevicePath, 12, "COM12", "COM12"}},
        {12, "自动查找DTU", PortChoice{Kind::Auto, 0, "", "自动查找DTU"}},
        {-1, "自动查找dtu", PortChoice{Kind::Auto, 0, "", "自动查找DTU"}},
        // A COM name beyond the list, with leading zeros, at the bounds.
        {-1, "com0007", PortChoice{Kind::ComNumber, 7, "", "com7"}},
        {-1, "COM12", PortChoice{Kind::ComNumber, 12, "", "com12"}},
        {-1, "com255", PortChoice{Kind::ComNumber, 255, "", "com255"}},
        {-1, "com0", std::nullopt},
        {-1, "com256", std::nullopt},
        {-1, "com99999999999999999999", std::nullopt},
        // Anything else is a device path, opened as typed.
        {-1, "/dev/ttyUSB0", PortChoice{Kind::DevicePath, 1, "/dev/ttyUSB0", "/dev/ttyUSB0"}},
        {3, "/dev/ttyUSB0", PortChoice{Kind::DevicePath, 4, "/dev/ttyUSB0", "/dev/ttyUSB0"}},
        {-1, "com", PortChoice{Kind::DevicePath, 1, "com", "com"}},
        {-1, "com7a", PortChoice{Kind::DevicePath, 1, "com7a", "com7a"}},
        // Nothing to open: port number 0.
        {-1, "", std::nullopt},
        {-1, "   ", std::nullopt},
        {99, "", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChoosePort(entries, c.selected, c.typed), c.expected)
            << c.selected << " '" << c.typed << "'";
}

TEST(ShowFoundPort, TheFoundPortsEntryOrItsPathTyped) {
    const std::vector<PortListEntry> entries = PortListEntries(
        std::vector<FoundPort>{{"COM12", "USB Serial Port (COM12)"}, {"/dev/ttyUSB1", "usb-FTDI"}});
    struct Case {
        std::string_view path;
        FoundPortShown expected;
    };
    const Case cases[] = {
        {"COM7", {6, "com7", PortChoice{Kind::ComNumber, 7, "", "com7"}}},
        {"COM12", {10, "COM12 USB Serial Port", PortChoice{Kind::DevicePath, 12, "COM12", "COM12"}}},
        {"/dev/ttyUSB1",
         {11, "/dev/ttyUSB1 usb-FTDI", PortChoice{Kind::DevicePath, 12, "/dev/ttyUSB1", "/dev/ttyUSB1"}}},
        // Not in the list (gone from it, or handed to the search by a test): typed.
        {"/dev/pts/7", {-1, "/dev/pts/7", PortChoice{Kind::DevicePath, 1, "/dev/pts/7", "/dev/pts/7"}}},
        {"COM40", {-1, "COM40", PortChoice{Kind::ComNumber, 40, "", "com40"}}},
    };
    for (const Case& c : cases) EXPECT_EQ(ShowFoundPort(entries, c.path), c.expected) << c.path;
}

// A lost port comes back under its adapter's name (another path, after a
// replug) or, without a name, under its path; nothing else counts as it.
TEST(ReturnedPort, TheSameAdapterOrTheSamePathOnly) {
    const std::vector<FoundPort> before{{"/dev/ttyUSB0", "usb-Acme_A1-if00-port0"}, {"COM5", ""}};
    struct Case {
        const char* what;
        std::string lostPath;
        std::vector<FoundPort> now;
        std::optional<std::string> back;  // its path
        std::string lostName = {};        // a port opened by its COM number has no path
    };
    const Case cases[] = {
        {"same adapter, new path", "/dev/ttyUSB0", {{"/dev/ttyUSB1", "usb-Acme_A1-if00-port0"}}, "/dev/ttyUSB1"},
        {"same adapter, same path", "/dev/ttyUSB0", {{"/dev/ttyUSB0", "usb-Acme_A1-if00-port0"}}, "/dev/ttyUSB0"},
        {"another adapter on the old path", "/dev/ttyUSB0", {{"/dev/ttyUSB0", "usb-Acme_B2-if00-port0"}}, std::nullopt},
        {"not back yet", "/dev/ttyUSB0", {{"COM5", ""}}, std::nullopt},
        {"a COM name", "COM5", {{"COM3", ""}, {"COM5", ""}}, "COM5"},
        {"a named port on a COM name", "COM5", {{"COM5", "USB Serial Port"}}, std::nullopt},
        {"a path never listed", "/dev/pts/7", {{"/dev/pts/7", ""}}, "/dev/pts/7"},
        {"a COM number, listed by its name", "", {{"COM3", ""}, {"COM5", ""}}, "COM5", "com5"},
        {"neither path nor name", "", {{"COM5", ""}}, std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<FoundPort> back = ReturnedPort(ReturnKey(before, c.lostPath, c.lostName), c.now);
        EXPECT_EQ(back ? std::optional(back->path) : std::nullopt, c.back) << c.what;
    }
    EXPECT_FALSE(ReturnedPort("", {{FoundPort{"", ""}}}));
}

TEST(DemoRateEntry, APickByItsSelectionTypedTextByWhatItNames) {
    struct Case {
        RateListChange change;
        int selected;
        std::string_view text;
        int expected;
    };
    const Case cases[] = {
        {RateListChange::Picked, 5, "57600", 5},  // the field still shows the old entry
        {RateListChange::Picked, -1, "", -1},
        {RateListChange::Typed, 9, "9600", 5},  // typing leaves the old selection
        {RateListChange::Typed, -1, " 115200 ", 10},
        {RateListChange::Typed, 9, "960", -1},
        {RateListChange::Typed, 9, "96000", -1},
        {RateListChange::Typed, 9, "", -1},
        {RateListChange::Typed, 9, "300", 0},
        {RateListChange::Typed, 9, "921600", -1},  // beyond the list
    };
    for (const Case& c : cases) EXPECT_EQ(DemoRateEntry(c.change, c.selected, c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace quill
