#include "terminal/send_request.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace quill {
namespace {

// n pairs "00 01 02 ..." separated by blanks.
std::string HexPairs(std::size_t n) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) text += ' ';
        text += kDigits[(i >> 4) & 0x0F];
        text += kDigits[i & 0x0F];
    }
    return text;
}

TEST(BuildHexSend, FillsTheBufferExactlyAndRefusesOneByteMore) {
    struct Case {
        const char* what;
        std::string text;
        std::size_t length;
        SendRefusal refusal;
    };
    const Case cases[] = {
        {"511 bytes", HexPairs(511), 511, SendRefusal::None},
        {"512 bytes", HexPairs(512), 512, SendRefusal::None},
        {"512 bytes, no blanks", std::string(1024, 'A'), 512, SendRefusal::None},
        {"512 bytes and a lone digit", HexPairs(512) + " 7", 512, SendRefusal::None},
        {"512 bytes and an invalid pair", HexPairs(512) + " ZZ 01", 512, SendRefusal::None},
        {"513 bytes", HexPairs(513), 0, SendRefusal::HexTooLong},
        {"4000 bytes", HexPairs(4000), 0, SendRefusal::HexTooLong},
    };
    for (const Case& c : cases) {
        const HexSend send = BuildHexSend(c.text);
        EXPECT_EQ(send.length, c.length) << c.what;
        EXPECT_EQ(send.refusal, c.refusal) << c.what;
    }
    // The last byte of a full buffer is the 512th pair's.
    EXPECT_EQ(BuildHexSend(HexPairs(512)).buffer.back(), 0xFF);
}

TEST(CheckTextSend, TheWriteSlotHoldsTheTextAndItsTerminator) {
    struct Case {
        const char* what;
        std::string text;
        SendRefusal refusal;
    };
    const Case cases[] = {
        {"empty", "", SendRefusal::None},
        {"abc", "abc", SendRefusal::None},
        {"511 bytes", std::string(511, 'a'), SendRefusal::None},
        {"512 bytes", std::string(512, 'a'), SendRefusal::TextTooLong},
        {"255 hanzi and one byte (511 bytes)", std::string(255 * 2, '\xB0') + "a", SendRefusal::None},
        {"256 hanzi (512 bytes)", std::string(256 * 2, '\xB0'), SendRefusal::TextTooLong},
        {"a zero byte ends what the engine takes", std::string(10, 'a') + '\0' + std::string(600, 'b'),
         SendRefusal::None},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckTextSend(c.text), c.refusal) << c.what;
}

TEST(AutoSendPeriod, BoundedAsTheWindowTimersAre) {
    struct Case {
        std::uint32_t interval;
        int period;
    };
    const Case cases[] = {
        {0, 10},
        {1, 10},
        {9, 10},
        {10, 10},
        {11, 11},
        {1000, 1000},
        {INT_MAX, INT_MAX},
        {std::uint32_t{INT_MAX} + 1, INT_MAX},
        {UINT32_MAX, INT_MAX},
    };
    for (const Case& c : cases) EXPECT_EQ(AutoSendPeriod(c.interval), c.period) << c.interval;
}

}  // namespace
}  // namespace quill
