#include "protocol/value_codec.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace quill {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(DeviceText, WorkedExamples) {
    struct Case {
        std::string gbk;
        std::size_t n;
        Bytes value;
    };
    const Case cases[] = {
        {"A1", 4, {0x00, 0x41, 0x00, 0x31}},
        {"\xD5\xBE", 2, {0x7A, 0xD9}},
        {"\xD6\xF7\xD5\xBE"
         "1",
         6,
         {0x4E, 0x3B, 0x7A, 0xD9, 0x00, 0x31}},
        {"", 0, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DeviceTextLength(c.gbk), c.n) << c.gbk;
        EXPECT_EQ(EncodeDeviceText(c.gbk), c.value) << c.gbk;
        EXPECT_EQ(DecodeDeviceText(c.value), c.gbk) << c.gbk;
    }
}

TEST(DeviceText, CutOrPaddedToN) {
    // 0x81 0x40 is one character (U+4E02) whose trail byte is below 0x80, so
    // n = 3 exceeds its two code-unit bytes: padded with 0x00.
    EXPECT_EQ(DeviceTextLength("\x81\x40"), 3u);
    EXPECT_EQ(EncodeDeviceText("\x81\x40"), (Bytes{0x4E, 0x02, 0x00}));
    // 0xFF alone is not GBK: n = 1, the replacement character cut to its high byte.
    EXPECT_EQ(EncodeDeviceText("\xFF"), (Bytes{0xFF}));
}

TEST(DeviceText, DecodeEndsAtZeroUnitAndIgnoresAnOddLastByte) {
    EXPECT_EQ(DecodeDeviceText(Bytes{0x00, 0x41, 0x00, 0x00, 0x00, 0x42}), "A");
    EXPECT_EQ(DecodeDeviceText(Bytes{0x00, 0x41, 0x00}), "A");
    EXPECT_EQ(DecodeDeviceText(Bytes{0x7A}), "");
    EXPECT_EQ(DecodeDeviceText(Bytes{0xD8, 0x3D}), "?");  // unpaired surrogate
}

TEST(HexDigitValue, EveryByteValue) {
    for (int c = 0; c < 256; ++c) {
        int expected = 16;
        if (c >= '0' && c <= '9') expected = c - '0';
        if (c >= 'A' && c <= 'F') expected = c - 'A' + 10;
        if (c >= 'a' && c <= 'f') expected = c - 'a' + 10;
        EXPECT_EQ(HexDigitValue(static_cast<char>(c)), expected) << c;
    }
}

TEST(ParseHexText, WorkedExamples) {
    struct Case {
        std::string text;
        Bytes bytes;
    };
    const Case cases[] = {
        {"7B 8B 00 0F", {0x7B, 0x8B, 0x00, 0x0F}},
        {"7b8b", {0x7B, 0x8B}},
        {"7B 8", {0x7B}},
        {"ZZ", {}},
        {"", {}},
        {"1 2", {}},
        {"12 3", {0x12}},
        {"G1", {}},
        {"  AA  BB  ", {0xAA, 0xBB}},
        {"AA\tBB", {0xAA}},  // only the blank is skipped
        {"AAB", {0xAA}},
        {"A", {}},
        {"fF0", {0xFF}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> out(c.text.size() / 2 + 1, 0xEE);
        const std::size_t n = ParseHexText(c.text, out);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n)), c.bytes) << c.text;
    }
}

TEST(ParseHexText, StopsWhenOutputIsFull) {
    std::array<std::uint8_t, 4> storage{0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(ParseHexText("01 02 03 04", std::span(storage).first(2)), 2u);
    EXPECT_EQ(storage, (std::array<std::uint8_t, 4>{0x01, 0x02, 0xEE, 0xEE}));
    EXPECT_EQ(ParseHexText("01", std::span(storage).first(0)), 0u);
    EXPECT_EQ(storage[0], 0x01);
}

std::string Formatted(const Bytes& bytes, std::size_t outSize) {
    std::vector<char> out(outSize + 4, '#');
    EXPECT_EQ(FormatHexBytes(bytes, std::span(out).first(outSize)), 0);
    for (std::size_t i = outSize; i < out.size(); ++i) EXPECT_EQ(out[i], '#') << "wrote past the output";
    if (outSize == 0) return "<none>";
    return std::string(out.data());
}

TEST(FormatHexBytes, WorkedExamples) {
    EXPECT_EQ(Formatted({0x01, 0xAB}, 7), "01 AB ");
    EXPECT_EQ(Formatted({0x00, 0x01}, 7), "");
    EXPECT_EQ(Formatted({}, 1), "");
    EXPECT_EQ(Formatted({0x7B, 0x01, 0x00, 0x02}, 13), "7B 01 ");
    EXPECT_EQ(Formatted({0xFF, 0x0A, 0x5c}, 10), "FF 0A 5C ");
}

TEST(FormatHexBytes, StopsWhereTheOutputEnds) {
    const Bytes bytes{0x11, 0x22, 0x33};
    EXPECT_EQ(Formatted(bytes, 0), "<none>");
    EXPECT_EQ(Formatted(bytes, 3), "");
    EXPECT_EQ(Formatted(bytes, 4), "11 ");
    EXPECT_EQ(Formatted(bytes, 9), "11 22 ");
    EXPECT_EQ(Formatted(bytes, 10), "11 22 33 ");
}

TEST(DecimalValue, LikeStrtolWithClamping) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    const Case cases[] = {
        {"", 0},
        {"x", 0},
        {"-", 0},
        {"+", 0},
        {"  42", 42},
        {"\t\n 7", 7},
        {"01", 1},
        {"257", 257},
        {"+12ab", 12},
        {"-12", -12},
        {"- 12", 0},
        {"1 2", 1},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"99999999999999999999999", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"-99999999999999999999999", INT32_MIN},
        {"00000000000000000000000000012", 12},
    };
    for (const Case& c : cases) EXPECT_EQ(DecimalValue(c.text), c.value) << c.text;
}

TEST(NumberToBytes, WorkedExamples) {
    struct Case {
        std::int32_t v;
        std::array<std::uint8_t, 2> be;
        std::array<std::uint8_t, 2> le;
        std::uint8_t byte;
    };
    const Case cases[] = {
        {9600, {0x25, 0x80}, {0x80, 0x25}, 0x80},      {258, {0x01, 0x02}, {0x02, 0x01}, 0x02},
        {65536, {0x00, 0x00}, {0x00, 0x00}, 0x00},     {65535, {0xFF, 0xFF}, {0xFF, 0xFF}, 0xFF},
        {1000, {0x03, 0xE8}, {0xE8, 0x03}, 0xE8},      {300, {0x01, 0x2C}, {0x2C, 0x01}, 0x2C},
        {-1, {0x00, 0xFF}, {0xFF, 0x00}, 0xFF},        {-255, {0x00, 0x01}, {0x01, 0x00}, 0x01},
        {-256, {0xFF, 0x00}, {0x00, 0xFF}, 0x00},      {-257, {0xFF, 0xFF}, {0xFF, 0xFF}, 0xFF},
        {INT32_MIN, {0x00, 0x00}, {0x00, 0x00}, 0x00},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EncodeWordBE(c.v), c.be) << c.v;
        EXPECT_EQ(EncodeWordLE(c.v), c.le) << c.v;
        EXPECT_EQ(EncodeByte(c.v), c.byte) << c.v;
    }
}

}  // namespace
}  // namespace quill
