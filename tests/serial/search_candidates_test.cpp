// Which found ports a search for the DTU tries.
#include "serial/search_candidates.h"

#include <gtest/gtest.h>

namespace quill {
namespace {

struct CandidateCase {
    const char* name;
    FoundPort port;
    bool candidate;
};

class SearchCandidateTest : public ::testing::TestWithParam<CandidateCase> {};

TEST_P(SearchCandidateTest, AdaptersAndReportedComPortsOnly) {
    EXPECT_EQ(IsSearchCandidate(GetParam().port), GetParam().candidate);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, SearchCandidateTest,
    ::testing::Values(CandidateCase{"UsbSerial", {"/dev/ttyUSB0", ""}, true},
                      CandidateCase{"UsbSerialTwoDigits", {"/dev/ttyUSB12", ""}, true},
                      CandidateCase{"ModemClass", {"/dev/ttyACM3", ""}, true},
                      CandidateCase{"NamedAdapterAnyNode", {"/dev/ttyS4", "usb-Prolific-if00-port0"}, true},
                      CandidateCase{"BareBuiltInPort", {"/dev/ttyS0", ""}, false},
                      CandidateCase{"BuiltInPortWithAUart", {"/dev/ttyS0", "", true}, true},
                      CandidateCase{"PseudoTerminal", {"/dev/pts/3", ""}, false},
                      CandidateCase{"PrefixWithoutNumber", {"/dev/ttyUSB", ""}, false},
                      CandidateCase{"PrefixWithTail", {"/dev/ttyUSB0.lock", ""}, false},
                      CandidateCase{"NodeNotLastInPath", {"/dev/ttyUSB0/x", ""}, false},
                      CandidateCase{"ComPort", {"COM5", ""}, true},
                      CandidateCase{"ComPortTwoDigits", {"COM17", ""}, true},
                      CandidateCase{"NotAComNumber", {"COMX", ""}, false},
                      CandidateCase{"Empty", {"", ""}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SearchCandidatesTest, KeepsTheCandidatesInTheirOrder) {
    const std::vector<FoundPort> found{
        {"/dev/ttyACM0", ""}, {"/dev/ttyS0", ""}, {"/dev/ttyUSB2", ""}, {"/dev/ttyUSB10", "usb-FTDI"}};
    const std::vector<std::string> expected{"/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyUSB10"};
    EXPECT_EQ(SearchCandidatePaths(found), expected);
}

}  // namespace
}  // namespace quill
