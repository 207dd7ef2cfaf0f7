// The text and hex conversions under arbitrary bytes: hex text to bytes and
// back, device text, GBK <-> UTF-16/UTF-8, and decimal texts.
//
// Input: byte 0 sizes the output areas (and is itself run through the hex
// digit test), the rest is the text. The same bytes are also read as UTF-8,
// as UTF-16 code units, as device-text value bytes, and folded into a valid
// GB2312 text whose conversions must round-trip exactly.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_reference.h"
#include "protocol/text_codec.h"
#include "protocol/value_codec.h"

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr char16_t kReplacement = u'\uFFFD';

int ReferenceHexDigit(unsigned char c) {
    if (!std::isxdigit(c)) return 16;
    const char s[2] = {static_cast<char>(c), '\0'};
    return static_cast<int>(std::strtol(s, nullptr, 16));
}

// Hex pairs as the protocol defines them: only a blank is skipped, a pair
// needs two adjacent digits, a lone last digit is dropped.
std::vector<std::uint8_t> ReferenceHexParse(std::string_view t) {
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    while (i < t.size()) {
        const unsigned char first = static_cast<unsigned char>(t[i++]);
        if (first == ' ') continue;
        if (i == t.size()) break;
        const int hi = ReferenceHexDigit(first), lo = ReferenceHexDigit(static_cast<unsigned char>(t[i]));
        if (hi == 16 || lo == 16) break;
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        ++i;
    }
    return out;
}

void CheckParseHex(std::string_view text, std::size_t outSize) {
    const std::vector<std::uint8_t> want = ReferenceHexParse(text);
    FUZZ_CHECK(want.size() <= text.size() / 2);
    // An exactly sized heap area, so a write past it is caught.
    std::vector<std::uint8_t> out(outSize);
    const std::size_t n = quill::ParseHexText(text, out);
    FUZZ_CHECK(n <= out.size() && n == std::min(want.size(), out.size()));
    FUZZ_CHECK(std::equal(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n), want.begin()));
}

void CheckFormatHex(Bytes bytes, std::size_t outSize) {
    std::vector<char> out(outSize, '\x55');
    FUZZ_CHECK(quill::FormatHexBytes(bytes, out) == 0);
    if (out.empty()) return;
    const std::size_t shown = std::min<std::size_t>(
        static_cast<std::size_t>(std::find(bytes.begin(), bytes.end(), 0) - bytes.begin()),
        (outSize - 1) / 3);
    std::string want;
    for (std::size_t i = 0; i < shown; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X ", bytes[i]);
        want += pair;
    }
    FUZZ_CHECK(std::string_view(out.data(), want.size()) == want);
    FUZZ_CHECK(out[want.size()] == '\0');
    FUZZ_CHECK(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(want.size()) + 1, out.end(),
                           [](char c) { return c == '\x55'; }));  // nothing past the terminator
}

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t need = 0;
        char32_t c = 0, min = 0;
        if (b < 0x80) {
            ++i;
            continue;
        }
        if (b >= 0xC2 && b <= 0xDF)
            need = 1, c = b & 0x1F, min = 0x80;
        else if ((b & 0xF0) == 0xE0)
            need = 2, c = b & 0x0F, min = 0x800;
        else if (b >= 0xF0 && b <= 0xF4)
            need = 3, c = b & 0x07, min = 0x10000;
        else
            return false;
        if (s.size() - i <= need) return false;
        for (std::size_t k = 1; k <= need; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            c = c << 6 | (t & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += need + 1;
    }
    return true;
}

bool HasReplacement(std::u16string_view u) {
    return u.find(kReplacement) != std::u16string_view::npos;
}

// Folds the input into ASCII (0x01-0x7F) and GB2312 hanzi (rows 0xB0-0xF7,
// cells 0xA1-0xFE, without the unassigned 0xD7FA-0xD7FE). Counts characters.
std::string Gb2312From(Bytes in, std::size_t& characters) {
    std::string g;
    characters = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const std::uint8_t b = in[i];
        if (b == 0) continue;
        if (b < 0x80) {
            g += static_cast<char>(b);
        } else {
            if (i + 1 == in.size()) break;
            const auto row = static_cast<std::uint8_t>(0xB0 + (b - 0x80) % 0x48);
            auto cell = static_cast<std::uint8_t>(0xA1 + in[++i] % 94);
            if (row == 0xD7 && cell > 0xF9) cell = 0xF9;
            g += static_cast<char>(row);
            g += static_cast<char>(cell);
        }
        ++characters;
    }
    return g;
}

void CheckGb2312RoundTrips(Bytes in) {
    std::size_t characters = 0;
    const std::string g = Gb2312From(in, characters);
    const std::u16string u = quill::GbkToUtf16(g);
    FUZZ_CHECK(u.size() == characters && !HasReplacement(u));
    FUZZ_CHECK(quill::Utf16ToGbk(u) == g);
    FUZZ_CHECK(quill::Utf8ToGbk(quill::GbkToUtf8(g)) == g);

    // Device text: exactly two bytes per character, nothing cut or padded.
    FUZZ_CHECK(quill::DeviceTextLength(g) == 2 * characters);
    const std::vector<std::uint8_t> value = quill::EncodeDeviceText(g);
    FUZZ_CHECK(value.size() == 2 * characters);
    for (std::size_t k = 0; k < u.size(); ++k)
        FUZZ_CHECK(value[2 * k] == (u[k] >> 8) && value[2 * k + 1] == (u[k] & 0xFF));
    FUZZ_CHECK(quill::DecodeDeviceText(value) == g);
}

void CheckArbitraryText(std::string_view text) {
    std::size_t n = 0;
    for (const unsigned char c : text) n += c >= 0x80 ? 1 : 2;
    FUZZ_CHECK(quill::DeviceTextLength(text) == n);
    FUZZ_CHECK(quill::EncodeDeviceText(text).size() == n);

    // Whatever comes in, what goes out is well formed in its own encoding.
    FUZZ_CHECK(IsValidUtf8(quill::GbkToUtf8(text)));
    const std::string fromUtf8 = quill::Utf8ToGbk(text);
    FUZZ_CHECK(!HasReplacement(quill::GbkToUtf16(fromUtf8)));
    // Once through Unicode, a text keeps only what GBK holds: a second pass changes nothing.
    const std::string once = quill::Utf16ToGbk(quill::GbkToUtf16(text));
    FUZZ_CHECK(quill::Utf16ToGbk(quill::GbkToUtf16(once)) == once);

    std::u16string units;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(text[i]) << 8 |
                                       static_cast<unsigned char>(text[i + 1]));
    const std::string gbk = quill::Utf16ToGbk(units);
    FUZZ_CHECK(gbk.size() <= 2 * units.size() && !HasReplacement(quill::GbkToUtf16(gbk)));

    const Bytes raw(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    const std::string decoded = quill::DecodeDeviceText(raw);
    FUZZ_CHECK(decoded.size() <= 2 * (raw.size() / 2));
    FUZZ_CHECK(decoded.find('\0') == std::string::npos);  // the text ends at its first zero code unit
    FUZZ_CHECK(!HasReplacement(quill::GbkToUtf16(decoded)));

    FUZZ_CHECK(quill::DecimalValue(text) == ReferenceDecimal(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t sizer = data[0];
    FUZZ_CHECK(quill::HexDigitValue(static_cast<char>(sizer)) == ReferenceHexDigit(sizer));
    const Bytes rest(data + 1, size - 1);
    const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());

    CheckParseHex(text, text.size() / 2);                // the documented area
    CheckParseHex(text, sizer % (text.size() / 2 + 1));  // a smaller one: cut, never overrun
    CheckFormatHex(rest, 3 * rest.size() + 1);           // the documented area
    CheckFormatHex(rest, sizer);                         // any other size
    CheckArbitraryText(text);
    CheckGb2312RoundTrips(rest);
    return 0;
}
