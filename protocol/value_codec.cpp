#include "protocol/value_codec.h"

#include <cstdint>
#include <limits>

#include "protocol/text_codec.h"

namespace quill {

std::size_t DeviceTextLength(std::string_view gbk) {
    std::size_t n = 0;
    for (const char c : gbk) n += static_cast<std::uint8_t>(c) >= 0x80 ? 1 : 2;
    return n;
}

std::vector<std::uint8_t> EncodeDeviceText(std::string_view gbk) {
    const std::size_t n = DeviceTextLength(gbk);
    std::vector<std::uint8_t> value;
    value.reserve(n);
    for (const char16_t unit : GbkToUtf16(gbk)) {
        if (value.size() >= n) break;
        value.push_back(static_cast<std::uint8_t>(unit >> 8));
        if (value.size() >= n) break;
        value.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    }
    value.resize(n, 0x00);
    return value;
}

std::string DecodeDeviceText(std::span<const std::uint8_t> value) {
    std::u16string units;
    units.reserve(value.size() / 2);
    for (std::size_t i = 0; i + 1 < value.size(); i += 2) {
        const auto unit = static_cast<char16_t>(value[i] << 8 | value[i + 1]);
        if (unit == 0) break;
        units += unit;
    }
    return Utf16ToGbk(units);
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 16;
}

std::size_t ParseHexText(std::string_view text, std::span<std::uint8_t> out) {
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < text.size() && n < out.size()) {
        const char first = text[i++];
        if (first == ' ') continue;
        if (i == text.size()) break;  // a lone last digit is dropped
        const int hi = HexDigitValue(first);
        const int lo = HexDigitValue(text[i]);
        if (hi == 16 || lo == 16) break;
        out[n++] = static_cast<std::uint8_t>(hi * 16 + lo);
        ++i;
    }
    return n;
}

int FormatHexBytes(std::span<const std::uint8_t> bytes, std::span<char> out) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (out.empty()) return 0;
    std::size_t pos = 0;
    for (const std::uint8_t b : bytes) {
        if (b == 0 || out.size() - pos < 4) break;
        out[pos++] = kDigits[b >> 4];
        out[pos++] = kDigits[b & 0x0F];
        out[pos++] = ' ';
    }
    out[pos] = '\0';
    return 0;
}

std::int32_t DecimalValue(std::string_view text) {
    std::size_t i = 0;
    auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Accumulate the magnitude up to one past the largest, then clamp.
    constexpr std::int64_t kCap = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        magnitude = magnitude * 10 + (text[i++] - '0');
        if (magnitude > kCap) magnitude = kCap;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);  // -kCap is INT32_MIN exactly
}

std::uint8_t EncodeByte(std::int32_t v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

std::array<std::uint8_t, 2> EncodeWordBE(std::int32_t v) {
    return {EncodeByte(v / 256), EncodeByte(v)};
}

std::array<std::uint8_t, 2> EncodeWordLE(std::int32_t v) {
    return {EncodeByte(v), EncodeByte(v / 256)};
}

}  // namespace quill
