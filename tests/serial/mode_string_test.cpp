// The mode string the engine composes, parsed alike on every platform.
#include "serial/mode_string.h"

#include <gtest/gtest.h>

namespace quill::platform {
namespace {

struct ModeCase {
    const char* mode;
    bool valid;
    std::uint32_t rate;
    char parity;
    std::uint32_t dataBits;
    std::uint32_t stopBits;
};

class ModeStringTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeStringTest, ParsesExactlyTheFourSettings) {
    const ModeCase& c = GetParam();
    LineSettings settings;
    settings.rate = 1;
    settings.eventChar = 'q';
    const LineSettings before = settings;
    const bool parsed = ParseModeString(c.mode, settings);
    EXPECT_EQ(parsed, c.valid);
    if (!c.valid) {
        EXPECT_EQ(settings.rate, before.rate);  // unchanged on failure
        EXPECT_EQ(settings.parity, before.parity);
        return;
    }
    EXPECT_EQ(settings.rate, c.rate);
    EXPECT_EQ(settings.parity, c.parity);
    EXPECT_EQ(settings.dataBits, c.dataBits);
    EXPECT_EQ(settings.stopBits, c.stopBits);
    EXPECT_EQ(settings.eventChar, 'q');  // what the mode does not name stays
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ModeStringTest,
    ::testing::Values(ModeCase{"baud=57600 parity=N data=8 stop=1", true, 57600, 'N', 8, 1},
                      ModeCase{"baud=300 parity=e data=7 stop=2", true, 300, 'E', 7, 2},
                      ModeCase{"baud=115200 parity=O data=5 stop=1", true, 115200, 'O', 5, 1},
                      ModeCase{"baud=9600 parity=M data=6 stop=1", true, 9600, 'M', 6, 1},
                      ModeCase{"baud=0 parity=N data=8 stop=1", false, 0, 0, 0, 0},
                      ModeCase{"baud=57600 parity=X data=8 stop=1", false, 0, 0, 0, 0},
                      ModeCase{"baud=57600 parity=N data=4 stop=1", false, 0, 0, 0, 0},
                      ModeCase{"baud=57600 parity=N data=9 stop=1", false, 0, 0, 0, 0},
                      ModeCase{"baud=57600 parity=N data=8 stop=0", false, 0, 0, 0, 0},
                      ModeCase{"baud=57600 parity=N data=8 stop=3", false, 0, 0, 0, 0},
                      ModeCase{"baud=57600 parity=N data=8 stop=1 ", false, 0, 0, 0, 0},
                      ModeCase{"baud=57600 parity=N data=8", false, 0, 0, 0, 0},
                      ModeCase{"baud= parity=N data=8 stop=1", false, 0, 0, 0, 0},
                      ModeCase{"baud=99999999999 parity=N data=8 stop=1", false, 0, 0, 0, 0},
                      ModeCase{"", false, 0, 0, 0, 0}));

}  // namespace
}  // namespace quill::platform
