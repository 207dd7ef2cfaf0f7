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
                                            "                0x01 DTU编号 (2): 31 32 = \"12\"",
                                            "                0x92 站名 (4): 57 CE 4E 1C = \"城东\"",
                                        }));
}

struct ValueCase {
    const char* name;
    Bytes item;        // type, length, value
    const char* line;  // the item's line without its indent
};

// Each kind of value as the form shows it, beside the bytes.
const ValueCase kValueCases[] = {
    {"GbkText", {0x01, 0x05, 0x41, 0xD5, 0xBE}, "0x01 DTU编号 (3): 41 D5 BE = \"A站\""},
    {"EmptyText", {0x0E, 0x02}, "0x0E 主数据中心域名 (0):  = \"\""},
    {"Ucs2Text", {0x92, 0x06, 0x57, 0xCE, 0x4E, 0x1C}, "0x92 站名 (4): 57 CE 4E 1C = \"城东\""},
    {"Ucs2OddLength", {0x92, 0x05, 0x7A, 0xD9, 0x41},
     "0x92 站名 (3): 7A D9 41 = \"站\" (odd length: the last byte is not shown)"},
    {"NumberHighFirst", {0x10, 0x04, 0x01, 0x2C}, "0x10 主数据中心端口 (2): 01 2C = 300"},
    {"NumberLowFirst", {0xC6, 0x04, 0x2C, 0x01}, "0xC6 设备地址 (2): 2C 01 = 300"},
    {"Digit", {0x90, 0x03, 0x0A}, "0x90 数据传输通道 (1): 0A = :"},
    {"IpAddress", {0x0D, 0x06, 0xCB, 0x00, 0x71, 0x0A}, "0x0D 主数据中心IP地址 (4): CB 00 71 0A = 203.0.113.10"},
    {"ListCaption", {0x19, 0x03, 0x01}, "0x19 连接方式 (1): 01 = TCP方式"},
    {"ListIndexBeyondTheList", {0x18, 0x03, 0x05}, "0x18 传输方式 (1): 05 = (no entry 5)"},
    {"SerialLists", {0x12, 0x09, 0x01, 0xC2, 0x00, 0x00, 0x04, 0x18, 0x05},
     "0x12 选择 (7): 01 C2 00 00 04 18 05 = 115200, 5, 2, 偶校验, 全双工(RS422)"},
    {"HeartbeatBytesToTheFirstZero", {0x26, 0x06, 0x7B, 0x01, 0x00, 0x02}, "0x26 自定义心跳包 (4): 7B 01 00 02 = 7B 01"},
    {"ShortNumber", {0x10, 0x03, 0x01}, "0x10 主数据中心端口 (1): 01 = 256 (2 bytes expected)"},
    {"LongByte", {0x91, 0x04, 0x02, 0x03}, "0x91 消息过滤模式 (2): 02 03 = 2 (1 byte expected)"},
    {"UnknownType", {0xCD, 0x03, 0x31}, "0xCD 未知参数 (1): 31"},
};

void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.name;
}

class ItemValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ItemValueTest, ShowsTheValueBesideItsBytes) {
    const ValueCase& c = GetParam();
    Bytes answer{0x7B, 0x8B, 0x00, static_cast<std::uint8_t>(16 + c.item.size()), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    answer.insert(answer.end(), c.item.begin(), c.item.end());
    answer.push_back(0x7B);
    const std::vector<std::string> lines = DescribeFrame(answer);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "                " + std::string(c.line));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ItemValueTest, ::testing::ValuesIn(kValueCases),
                         [](const auto& info) { return std::string(info.param.name); });

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
                        "<                 0x01 DTU编号 (3): 31 7B 32 = \"1{2\"",
                        "# port lost",
                    }));
}

// The unit's passwords stay out of the trace, in the bytes and the decoded
// value, whichever way they travel and wherever a line breaks; asked for, they show.
struct SecretCase {
    const char* name;
    bool sent;         // a configure request; else a read answer received
    bool complete;     // else the frame stops after the password
    bool showSecrets;
};

class SecretTest : public ::testing::TestWithParam<SecretCase> {};

TEST_P(SecretTest, PasswordsAreMaskedUnlessAskedFor) {
    const SecretCase& c = GetParam();
    // 40 bytes of station-id filler first, so the password's bytes fall on the second raw line;
    // then the super user password "123456" and the host user password "654321".
    Bytes frame{0x7B, static_cast<std::uint8_t>(c.sent ? 0x0C : 0x8B), 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                0x01, 0x2A};
    frame.insert(frame.end(), 40, 0x30);
    frame.insert(frame.end(), {0x95, 0x08, '1', '2', '3', '4', '5', '6', 0x97, 0x08, '6', '5', '4', '3', '2', '1'});
    if (c.complete) {
        frame.push_back(0x7B);
        frame[3] = static_cast<std::uint8_t>(frame.size());
    } else {
        frame[3] = 0xF0;  // more is announced than ever comes
    }
    std::ostringstream out;
    {
        Trace trace(out, Trace::Clock::now(), c.showSecrets);
        if (c.sent) {
            trace.sent(frame);
        } else {
            for (const std::uint8_t b : frame) trace.received(b);
        }
    }
    const std::string text = out.str();
    for (const char* secret : {"31 32 33 34 35 36", "36 35 34 33 32 31", "123456", "654321"})
        EXPECT_EQ(text.find(secret) != std::string::npos, c.showSecrets) << secret << "\n" << text;
    // The rest is as it was (a frame cut short is masked past its head: its items are unknown).
    EXPECT_EQ(text.find("30 30 30 30") != std::string::npos, c.complete || c.showSecrets) << text;
    if (c.complete) {
        EXPECT_NE(text.find("0x01 DTU编号 (40)"), std::string::npos) << text;
        EXPECT_EQ(text.find("0x95 超级用户密码 (6): ** ** ** ** ** ** = \"******\"") != std::string::npos,
                  !c.showSecrets)
            << text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, SecretTest,
    ::testing::Values(SecretCase{"SentRequest", true, true, false}, SecretCase{"ReceivedAnswer", false, true, false},
                      SecretCase{"ReceivedAnswerCutShort", false, false, false},
                      SecretCase{"SentRequestShown", true, true, true},
                      SecretCase{"ReceivedAnswerShown", false, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quill::cli
