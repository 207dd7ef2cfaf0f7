// The trace file: frames found in each direction's bytes, decoded item by
// item. Frames are typed from the frame format, not built by our encoder.
#include "cli/trace.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <vector>

namespace quill::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kConfigureAccepted{0x7B, 0x8C, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};
// Byte 2 is a status: read as a length it would say 272 bytes.
const Bytes kConfigureRefused{0x7B, 0x8C, 0x01, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};
// A read answer whose DTU id "1{2" holds the delimiter: 15 + 5 + 1 = 21 bytes.
const Bytes kReadAnswer{0x7B, 0x8B, 0x00, 0x15, 0,    0,    0,    0,    0,    0,   0,
                        0,    0,    0,    0,    0x01, 0x05, 0x31, 0x7B, 0x32, 0x7B};

// Every frame completed while feeding bytes, in order.
std::vector<Bytes> Collect(const Bytes& bytes) {
    FrameCollector collector;
    std::vector<Bytes> frames;
    for (const std::uint8_t b : bytes) {
        const auto frame = collector.accept(b);
        if (!frame.empty()) frames.emplace_back(frame.begin(), frame.end());
    }
    return frames;
}

struct CollectCase {
    const char* name;
    Bytes frame;
};

class FrameCollectorTest : public ::testing::TestWithParam<CollectCase> {};

TEST_P(FrameCollectorTest, FindsTheFrameBetweenPollsAndAnnouncements) {
    const Bytes& frame = GetParam().frame;
    Bytes stream{0x37, 0x6C, 0x00};
    stream.insert(stream.end(), frame.begin(), frame.end());
    stream.push_back(0x6C);
    EXPECT_EQ(Collect(stream), std::vector<Bytes>{frame});
}

TEST_P(FrameCollectorTest, NoFrameCompletesBeforeItsLastByte) {
    const Bytes& frame = GetParam().frame;
    EXPECT_TRUE(Collect(Bytes(frame.begin(), frame.end() - 1)).empty());
}

INSTANTIATE_TEST_SUITE_P(Frames, FrameCollectorTest,
                         ::testing::Values(CollectCase{"ConfigureAccepted", kConfigureAccepted},
                                           CollectCase{"ConfigureRefused", kConfigureRefused},
                                           CollectCase{"ReadAnswerWithDelimiterInside", kReadAnswer}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameCollectorTest, FramesBackToBackAreFoundEach) {
    Bytes stream = kReadAnswer;
    stream.insert(stream.end(), kConfigureRefused.begin(), kConfigureRefused.end());
    stream.insert(stream.end(), kReadAnswer.begin(), kReadAnswer.end());
    EXPECT_EQ(Collect(stream), (std::vector<Bytes>{kReadAnswer, kConfigureRefused, kReadAnswer}));
}

TEST(DescribeFrameTest, NamesEveryItemWithItsLabelAndValueBytes) {
    // DTU id "12", then the station name 城东 in UCS-2, high byte first.
    const Bytes configure{0x7B, 0x0C, 0x00, 0x1A, 0,    0,    0,    0,    0,    0,    0,    0,    0,
                          0,    0,    0x01, 0x04, 0x31, 0x32, 0x92, 0x06, 0x57, 0xCE, 0x4E, 0x1C, 0x7B};
    EXPECT_EQ(DescribeFrame(configure), (std::vector<std::string>{
                                            "frame 0x0C 配置请求, 26 bytes, 2 items",
                                            "                0x01 DTU编号 (2): 31 32",
                                            "                0x92 站名 (4): 57 CE 4E 1C",
                                        }));
}

TEST(DescribeFrameTest, TellsTheConfigureAnswersStatus) {
    EXPECT_EQ(DescribeFrame(kConfigureAccepted),
              std::vector<std::string>{"frame 0x8C 配置应答, 16 bytes, 成功"});
    EXPECT_EQ(DescribeFrame(kConfigureRefused),
              std::vector<std::string>{"frame 0x8C 配置应答, 16 bytes, 失败 (0x01)"});
}

TEST(DescribeFrameTest, SaysWhereTheItemsEndAtAMalformedOne) {
    // The second item's length byte is 1: no item is that short.
    const Bytes answer{0x7B, 0x8B, 0x00, 0x17, 0,    0,    0,    0,    0,    0,    0,   0,
                       0,    0,    0,    0x01, 0x04, 0x31, 0x32, 0x04, 0x01, 0x00, 0x7B};
    const std::vector<std::string> lines = DescribeFrame(answer);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "frame 0x8B 读取应答, 23 bytes, 1 items");
    EXPECT_NE(lines[2].find("malformed"), std::string::npos);
}

TEST(TraceTest, StampsEachDirectionAndDecodesCompleteFrames) {
    std::ostringstream out;
    {
        Trace trace(out, Trace::Clock::now());
        trace.sent(Bytes{0x37});
        trace.received(0x6C);
        for (const std::uint8_t b : kReadAnswer) trace.received(b);
        trace.note("port lost");
    }
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    const std::regex stamp(R"(^ +[0-9]+\.[0-9]{3} (.*)$)");
    std::vector<std::string> rest;
    for (const std::string& line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, stamp)) << line;
        rest.push_back(match[1]);
    }
    EXPECT_EQ(rest, (std::vector<std::string>{
                        "> 37",
                        "< 6C 7B 8B 00 15 00 00 00 00 00 00 00 00 00 00 00 01 05 31 7B 32 7B",
                        "< frame 0x8B 读取应答, 21 bytes, 1 items",
                        "<                 0x01 DTU编号 (3): 31 7B 32",
                        "# port lost",
                    }));
}

}  // namespace
}  // namespace quill::cli
