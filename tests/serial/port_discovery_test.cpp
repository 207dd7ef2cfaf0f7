// The order and uniqueness of the port list, the same on every platform.
#include "serial/port_discovery.h"

#include <gtest/gtest.h>

namespace quill {
namespace {

using Ports = std::vector<FoundPort>;

struct OrderCase {
    const char* name;
    Ports given;
    Ports sorted;
};

class SortedPortsTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(SortedPortsTest, CountsAsPeopleDoAndKeepsEachPathOnce) {
    EXPECT_EQ(SortedPorts(GetParam().given), GetParam().sorted);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SortedPortsTest,
    ::testing::Values(
        OrderCase{"Empty", {}, {}},
        OrderCase{"ComNumbersByValue",
                  {{"COM10", ""}, {"COM2", ""}, {"COM1", ""}, {"COM3", ""}},
                  {{"COM1", ""}, {"COM2", ""}, {"COM3", ""}, {"COM10", ""}}},
        OrderCase{"DeviceNodesByValue",
                  {{"/dev/ttyUSB10", ""}, {"/dev/ttyUSB2", ""}, {"/dev/ttyACM0", ""}},
                  {{"/dev/ttyACM0", ""}, {"/dev/ttyUSB2", ""}, {"/dev/ttyUSB10", ""}}},
        OrderCase{"TheNamedEntryOfAPathStays",
                  {{"/dev/ttyUSB0", ""}, {"/dev/ttyUSB0", "usb-FTDI-if00-port0"}, {"/dev/ttyUSB0", ""}},
                  {{"/dev/ttyUSB0", "usb-FTDI-if00-port0"}}},
        OrderCase{"LeadingZerosCountForNothingButOrderIsFixed",
                  {{"COM01", ""}, {"COM1", ""}, {"COM001", ""}},
                  {{"COM001", ""}, {"COM01", ""}, {"COM1", ""}}},
        OrderCase{"NumbersInsideNames",
                  {{"/dev/ttyUSB1x", ""}, {"/dev/ttyUSB1", ""}, {"/dev/ttyUSB0x", ""}},
                  {{"/dev/ttyUSB0x", ""}, {"/dev/ttyUSB1", ""}, {"/dev/ttyUSB1x", ""}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quill
