// The lines of `quillmere-cli ports`: the mark of a port that --port auto tries.
#include <gtest/gtest.h>

#include "cli/run_cli.h"

namespace quill::cli {
namespace {

TEST(PortsLineTest, MarksThePortsASearchTries) {
    const struct {
        FoundPort port;
        const char* line;
    } cases[] = {
        {{"/dev/ttyUSB0", ""}, "/dev/ttyUSB0\t\t*"},
        {{"/dev/ttyUSB1", "usb-FTDI_FT232R-if00-port0"}, "/dev/ttyUSB1\tusb-FTDI_FT232R-if00-port0\t*"},
        {{"/dev/ttyS0", ""}, "/dev/ttyS0"},
        {{"COM7", "USB Serial Port"}, "COM7\tUSB Serial Port\t*"},
    };
    for (const auto& c : cases) EXPECT_EQ(PortsLine(c.port), c.line) << c.port.path;
}

}  // namespace
}  // namespace quill::cli
