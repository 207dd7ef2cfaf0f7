// The port list following adapters: the choice kept by identity, the open
// port's entry kept while its session runs, typed text untouched.
#include "form/port_list_follow.h"

#include <gtest/gtest.h>

namespace quill {
namespace {

// A window's list: two fixed COM entries, the found ports by path, then the
// simulator.
std::vector<std::string> Entries(std::span<const FoundPort> ports) {
    std::vector<std::string> entries{"com1", "com2"};
    for (const FoundPort& port : ports) entries.push_back(port.path);
    entries.push_back("sim");
    return entries;
}

const FoundPort usb0{"/dev/ttyUSB0", ""};
const FoundPort usb1{"/dev/ttyUSB1", ""};
const FoundPort usb2{"/dev/ttyUSB2", ""};
const FoundPort usb10{"/dev/ttyUSB10", ""};
const FoundPort usb0Named{"/dev/ttyUSB0", "usb-Bench_Adapter-if00-port0"};

struct Case {
    const char* what;
    std::vector<FoundPort> shown;
    int selected;
    std::string editText;
    std::optional<std::string> openPath;
    std::vector<FoundPort> found;
    // expected
    bool changed;
    std::vector<FoundPort> ports;
    int nextSelected;
};

TEST(FollowPortList, KeepsTheChoiceTheOpenPortAndTheTypedText) {
    const Case cases[] = {
        {"an adapter plugged in ahead of the chosen one", {usb1}, 2, "/dev/ttyUSB1", {}, {usb0, usb1},
         true, {usb0, usb1}, 3},
        {"the chosen adapter pulled out", {usb0, usb1}, 3, "/dev/ttyUSB1", {}, {usb0},
         true, {usb0}, -1},
        {"the chosen adapter back again", {usb0}, -1, "/dev/ttyUSB1", {}, {usb0, usb1},
         true, {usb0, usb1}, 3},
        {"the open port pulled out stays", {usb0, usb1}, 3, "/dev/ttyUSB1", "/dev/ttyUSB1", {usb0},
         false, {usb0, usb1}, 3},
        {"the open port still listed is offered once", {usb0, usb1}, 3, "/dev/ttyUSB1", "/dev/ttyUSB1",
         {usb0, usb1}, false, {usb0, usb1}, 3},
        {"the open port kept in order among new ones", {usb1}, 2, "/dev/ttyUSB1", "/dev/ttyUSB1", {usb0, usb10},
         true, {usb0, usb1, usb10}, 3},
        {"the session closed: its gone port goes", {usb0, usb1}, 3, "/dev/ttyUSB1", {}, {usb0},
         true, {usb0}, -1},
        {"an open port the list never offered adds nothing", {usb0}, 0, "/dev/ttyS5", "/dev/ttyS5", {},
         true, {}, 0},
        {"a fixed entry after the ports moves with them", {usb0}, 3, "sim", {}, {},
         true, {}, 2},
        {"a COM entry with typed text over it", {usb0}, 0, "/dev/ttyS5", {}, {usb0, usb2},
         true, {usb0, usb2}, 0},
        {"typed text that an arriving adapter matches", {}, -1, "/dev/ttyUSB2", {}, {usb2},
         true, {usb2}, 2},
        {"nothing came or went", {usb0, usb1}, 2, "/dev/ttyUSB0", {}, {usb0, usb1},
         false, {usb0, usb1}, 2},
        {"the same port with its name now known", {usb0}, 2, "/dev/ttyUSB0", {}, {usb0Named},
         true, {usb0Named}, 2},
        {"a selection past the list's end is none", {usb0}, 9, "", {}, {usb0},
         false, {usb0}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::string> entries = Entries(c.shown);
        PortListNow now{c.shown, entries, c.selected, c.editText, {}};
        if (c.openPath) now.openPath = *c.openPath;
        const PortListNext next = FollowPortList(now, c.found, Entries);
        EXPECT_EQ(next.changed, c.changed);
        EXPECT_EQ(next.ports, c.ports);
        EXPECT_EQ(next.entries, Entries(c.ports));
        EXPECT_EQ(next.selected, c.nextSelected);
        EXPECT_EQ(next.editText, c.editText);
    }
}

}  // namespace
}  // namespace quill
