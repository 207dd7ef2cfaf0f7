#include "protocol/text_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

namespace quill {
namespace {

TEST(TextCodec, ValidTextBothWays) {
    struct Case {
        std::string gbk;
        std::u16string utf16;
        std::string utf8;
    };
    const Case cases[] = {
        {"", u"", ""},
        {"A1", u"A1", "A1"},
        {"\xD5\xBE", u"\u7AD9", "站"},
        {"\xD6\xF7\xD5\xBE"
         "1",
         u"\u4E3B\u7AD9"
         "1",
         "主站1"},
        {"\xB4\xED\xCE\xF3\xCC\xE1\xCA\xBE", u"\u9519\u8BEF\u63D0\u793A", "错误提示"},
        {"\x80", u"\u20AC", "€"},  // code page 936 puts the euro sign at 0x80
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GbkToUtf16(c.gbk), c.utf16) << c.utf8;
        EXPECT_EQ(Utf16ToGbk(c.utf16), c.gbk) << c.utf8;
        EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8) << c.utf8;
        EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk) << c.utf8;
    }
}

TEST(TextCodec, InvalidGbkBytesBecomeReplacementCharacters) {
    struct Case {
        const char* what;
        std::string gbk;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"0xFF",
         "A\xFF"
         "B",
         u"A\uFFFDB"},
        {"lone lead byte at the end", "A\xD5", u"A\uFFFD"},
        {"lead byte before a blank", "\xD5 B", u"\uFFFD B"},
        {"lead byte before 0x7F", "\xD5\x7F", u"\uFFFD\x7F"},
        {"unassigned pair", "\xA2\xA0", u"\uFFFD\uFFFD"},
        {"valid after invalid", "\xFF\xD5\xBE", u"\uFFFD\u7AD9"},
        // Code page 936 maps these to the Private Use Area; GBK proper has no
        // character there.
        {"user-defined area before ASCII", "\xA1\x40", u"\uFFFD@"},
        {"user-defined area AAA1", "\xAA\xA1", u"\uFFFD\uFFFD"},
        {"user-defined area F8A1", "\xF8\xA1", u"\uFFFD\uFFFD"},
        {"private code FE51", "\xFE\x51", u"\uFFFDQ"},
        {"user-defined code amid valid text", "\xD5\xBE\xA1\x40\xD5\xBE", u"\u7AD9\uFFFD@\u7AD9"},
    };
    for (const Case& c : cases) EXPECT_EQ(GbkToUtf16(c.gbk), c.utf16) << c.what;
}

TEST(TextCodec, CharactersGbkCannotHoldBecomeQuestionMarks) {
    EXPECT_EQ(Utf16ToGbk(u"x\u0E01y"), "x?y");                          // Thai
    EXPECT_EQ(Utf16ToGbk(u"x\U0001F600y"), "x?y");                      // a surrogate pair is one character
    EXPECT_EQ(Utf16ToGbk(u"\u7AD9\uE000\u7AD9"), "\xD5\xBE?\xD5\xBE");  // Private Use
    EXPECT_EQ(Utf16ToGbk(u"\uE4C6\uF8F5"), "??");
    EXPECT_EQ(Utf16ToGbk(std::u16string(u"x") + char16_t(0xD800) + u"y"), "x?y");
    EXPECT_EQ(Utf16ToGbk(std::u16string(u"x") + char16_t(0xDC00)), "x?");
    EXPECT_EQ(Utf16ToGbk(std::u16string(u"x") + char16_t(0xD800)), "x?");
    EXPECT_EQ(Utf8ToGbk("x\xF0\x9F\x98\x80y"), "x?y");
    EXPECT_EQ(Utf8ToGbk("x\xC3"), "x?");              // truncated sequence
    EXPECT_EQ(Utf8ToGbk("x\xC0\xAFy"), "x??y");       // overlong form, one '?' per byte
    EXPECT_EQ(Utf8ToGbk("x\xED\xA0\x80y"), "x???y");  // encoded surrogate
}

TEST(TextCodec, LongTextCrossesConversionChunks) {
    std::string gbk;
    std::u16string utf16;
    for (int i = 0; i < 700; ++i) {
        gbk +=
            "\xD5\xBE"
            "a";
        utf16 += u"\u7AD9a";
    }
    gbk += "\xFF";
    utf16 += u'\uFFFD';
    EXPECT_EQ(GbkToUtf16(gbk), utf16);
    EXPECT_EQ(Utf16ToGbk(utf16), gbk.substr(0, gbk.size() - 1) + "?");
}

// Every single byte, every pair after a lead byte, and every character of the
// Basic Multilingual Plane, folded into one FNV-1a digest. The expected value
// is iconv's GBK (the Linux build); the Windows build must give the same
// digest, or the two platforms read and write the DTU's bytes differently.
TEST(TextCodec, WholeCodeSpaceConvertsAsOnEveryPlatform) {
    std::uint64_t digest = 0xCBF29CE484222325ULL;
    const auto fold = [&digest](std::uint32_t value) {
        for (int k = 0; k < 4; ++k) {
            digest ^= (value >> (8 * k)) & 0xFF;
            digest *= 0x100000001B3ULL;
        }
    };
    for (int b = 0; b < 256; ++b) {
        for (const char16_t u : GbkToUtf16(std::string(1, static_cast<char>(b)))) fold(u);
        fold(0x10000);
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0; trail < 256; ++trail) {
            const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            for (const char16_t u : GbkToUtf16(pair)) fold(u);
            fold(0x10000);
        }
    }
    for (std::uint32_t c = 0x80; c < 0x10000; ++c) {
        for (const char b : Utf16ToGbk(std::u16string(1, static_cast<char16_t>(c)))) {
            fold(static_cast<std::uint8_t>(b));
        }
        fold(0x10000);
    }
    EXPECT_EQ(digest, 0x1468A559DD8C5F5CULL);
}

TEST(TextCodec, ThreadsConvertIndependently) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 300; ++i) {
                if (GbkToUtf8("\xD6\xF7\xD5\xBE\xFF") != "主站\xEF\xBF\xBD")
                    ++failures[static_cast<std::size_t>(t)];
                if (Utf8ToGbk("主站€") != "\xD6\xF7\xD5\xBE\x80") ++failures[static_cast<std::size_t>(t)];
            }
        });
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace quill
