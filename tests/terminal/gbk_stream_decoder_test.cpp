#include "terminal/gbk_stream_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quill {
namespace {

std::u16string Text(const DecodedPiece& piece) {
    return std::u16string(piece.units.data(), piece.count);
}

// What the area shows after each byte, one string per byte fed.
std::vector<std::u16string> FeedEach(const std::string& bytes) {
    GbkStreamDecoder decoder;
    std::vector<std::u16string> shown;
    for (const char c : bytes) shown.push_back(Text(decoder.feed(static_cast<std::uint8_t>(c))));
    return shown;
}

TEST(GbkStreamDecoder, EachByteShowsWhatItCompletes) {
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::u16string> shown;
    };
    const Case cases[] = {
        {"ASCII shows at once", "ab", {u"a", u"b"}},
        {"a lead byte waits for its trail", "\xD6\xD0", {u"", u"\u4E2D"}},                  // 中
        {"two characters in a row", "\xD6\xD0\xCE\xC4", {u"", u"\u4E2D", u"", u"\u6587"}},  // 中文
        {"the first GBK code", "\x81\x40", {u"", u"\u4E02"}},                               // 丂
        {"the first GB2312 hanzi", "\xB0\xA1", {u"", u"\u554A"}},                           // 啊
        {"a zero byte shows nothing", std::string("a\0b", 3), {u"a", u"", u"b"}},
        {"CR and LF are passed on", "\r\n", {u"\r", u"\n"}},
        {"a lead before a blank", "\xD6 ", {u"", u"\uFFFD "}},
        {"a lead before a digit",
         "\xD6"
         "0",
         {u"", u"\uFFFD0"}},
        {"a lead before 0x7F", "\xD6\x7F", {u"", u"\uFFFD\x7F"}},
        {"a lead before a zero byte", std::string("\xD6\0", 2), {u"", u"\uFFFD"}},
        {"a lead before 0xFF", "\xD6\xFF", {u"", u"\uFFFD\uFFFD"}},
        {"0xFF alone", "\xFF", {u"\uFFFD"}},
        {"0x80 alone is the euro sign of code page 936", "\x80", {u"\u20AC"}},
        // A2 A0 is no character; A0 is a lead byte in its own right and waits.
        // (0x40 to 0x7E are trail bytes too: a lead before "A" makes a character.)
        {"an unassigned pair", "\xA2\xA0 ", {u"", u"\uFFFD", u"\uFFFD "}},
    };
    for (const Case& c : cases) EXPECT_EQ(FeedEach(c.bytes), c.shown) << c.what;
}

TEST(GbkStreamDecoder, AbandonShowsAHeldLeadOnce) {
    GbkStreamDecoder decoder;
    EXPECT_TRUE(Text(decoder.abandon()).empty());
    EXPECT_TRUE(Text(decoder.feed(0xD6)).empty());
    EXPECT_TRUE(decoder.holdingLead());
    EXPECT_EQ(Text(decoder.abandon()), u"\uFFFD");
    EXPECT_FALSE(decoder.holdingLead());
    EXPECT_TRUE(Text(decoder.abandon()).empty());
    // The trail byte that follows is decoded on its own (0xD0 is a lead byte).
    EXPECT_TRUE(Text(decoder.feed(0xD0)).empty());
    EXPECT_EQ(Text(decoder.feed(' ')), u"\uFFFD ");
}

// What the area shows and its member keeps, byte by byte, switching modes.
TEST(ShowReceivedByte, HexModeGivesDigitsAndCharacterModeTheBytesThemselves) {
    GbkStreamDecoder decoder;
    std::u16string shown;
    std::string kept;
    auto show = [&](std::uint8_t byte, bool hex) {
        const ReceivedPiece piece = ShowReceivedByte(decoder, byte, hex);
        shown.append(piece.shown.data(), piece.shownCount);
        kept.append(piece.kept.data(), piece.keptCount);
    };
    for (const std::uint8_t byte : {0x7B, 0x8B, 0x00}) show(byte, true);
    EXPECT_EQ(shown, u"7B8B00");
    EXPECT_EQ(kept, "7B8B00");

    shown.clear();
    kept.clear();
    show(0xB3, false);  // a lead byte: nothing shown yet, the byte kept
    EXPECT_EQ(shown, u"");
    show(0xC7, false);
    show(0x00, false);  // shows and keeps nothing
    show(0xD6, false);
    show(0x41, true);  // the held lead is given up before the digits
    EXPECT_EQ(shown, u"\u57CE\uFFFD41");
    EXPECT_EQ(kept,
              "\xB3\xC7\xD6"
              "41");
}

}  // namespace
}  // namespace quill
