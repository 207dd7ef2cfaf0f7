#include "protocol/text_codec.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

namespace quill {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

// One conversion descriptor per direction and thread: iconv_t is not safe to
// share, and opening one per call costs more than the conversion itself.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }
    void reset() const { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

  private:
    iconv_t cd_;
};

const Converter& GbkDecoder() {
    thread_local const Converter converter("UTF-16BE", "GBK");
    return converter;
}

const Converter& GbkEncoder() {
    thread_local const Converter converter("GBK", "UTF-16BE");
    return converter;
}

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

// Strict UTF-8: overlong forms, surrogates and values past U+10FFFF are
// invalid; each byte that does not start a valid sequence gives U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto b0 = static_cast<std::uint8_t>(utf8[i]);
        std::size_t need = 0;
        char32_t c = 0, min = 0;
        if (b0 < 0x80) {
            out += static_cast<char16_t>(b0);
            ++i;
            continue;
        } else if ((b0 & 0xE0) == 0xC0) {
            need = 1, c = b0 & 0x1F, min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            need = 2, c = b0 & 0x0F, min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            need = 3, c = b0 & 0x07, min = 0x10000;
        }
        bool valid = need > 0 && utf8.size() - i > need;
        for (std::size_t k = 1; valid && k <= need; ++k) {
            const auto b = static_cast<std::uint8_t>(utf8[i + k]);
            if ((b & 0xC0) != 0x80) valid = false;
            c = c << 6 | (b & 0x3F);
        }
        if (valid && (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) valid = false;
        if (!valid) {
            out += kReplacement;
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += need + 1;
    }
    return out;
}

// Runs iconv over the whole input and hands each piece of output to emit.
// Where the input holds something the target cannot take, skipInvalid gets
// the rest of the input, emits its stand-in and returns how many bytes it
// stands for; conversion starts afresh after them.
template <class Emit, class SkipInvalid>
void Convert(const Converter& conv, std::string_view input, Emit&& emit, SkipInvalid&& skipInvalid) {
    conv.reset();
    char* in = const_cast<char*>(input.data());  // iconv's signature; it does not write the input
    std::size_t inLeft = input.size();
    std::array<char, 512> chunk;
    while (inLeft > 0) {
        char* outPtr = chunk.data();
        std::size_t outLeft = chunk.size();
        const std::size_t rc = iconv(conv.get(), &in, &inLeft, &outPtr, &outLeft);
        const int err = errno;
        emit(std::string_view(chunk.data(), chunk.size() - outLeft));
        if (rc != static_cast<std::size_t>(-1)) break;
        if (err == E2BIG) continue;
        const std::size_t skip = std::min(skipInvalid(std::string_view(in, inLeft)), inLeft);
        in += skip;
        inLeft -= skip;
        conv.reset();
    }
}

char16_t BigEndianUnit(std::string_view bytes, std::size_t at) {
    return static_cast<char16_t>(static_cast<std::uint8_t>(bytes[at]) << 8 |
                                 static_cast<std::uint8_t>(bytes[at + 1]));
}

}  // namespace

std::u16string GbkToUtf16(std::string_view gbk) {
    std::u16string out;
    const Converter& conv = GbkDecoder();
    if (!conv.ok()) {
        // Without a GBK converter only ASCII can be trusted.
        for (const char c : gbk) out += static_cast<std::uint8_t>(c) < 0x80 ? char16_t(c) : kReplacement;
        return out;
    }
    out.reserve(gbk.size());
    Convert(
        conv, gbk,
        [&](std::string_view utf16be) {
            for (std::size_t k = 0; k + 1 < utf16be.size(); k += 2) out += BigEndianUnit(utf16be, k);
        },
        [&](std::string_view) -> std::size_t {
            // EILSEQ (no valid character here) or EINVAL (a lead byte at the
            // end): one replacement for the byte, then the next byte afresh.
            out += kReplacement;
            return 1;
        });
    return out;
}

namespace {

// Converts a run of text that holds no ASCII character, appending to out.
void EncodeNonAsciiRun(std::u16string_view text, std::string& out) {
    const Converter& conv = GbkEncoder();
    if (!conv.ok()) {
        out.append(text.size(), '?');
        return;
    }
    std::string be;
    be.reserve(text.size() * 2);
    for (const char16_t u : text) {
        be += static_cast<char>(u >> 8);
        be += static_cast<char>(u & 0xFF);
    }
    Convert(
        conv, be, [&](std::string_view gbk) { out += gbk; },
        [&](std::string_view rest) -> std::size_t {
            // A character GBK cannot hold, or an unpaired surrogate: one '?'
            // for the whole character (a surrogate pair is one character).
            out += '?';
            const bool pair = rest.size() >= 4 && IsHighSurrogate(BigEndianUnit(rest, 0)) &&
                              IsLowSurrogate(BigEndianUnit(rest, 2));
            return pair ? 4 : 2;
        });
}

}  // namespace

std::string Utf16ToGbk(std::u16string_view text) {
    // ASCII is the same in GBK; only the runs between it go through iconv.
    // A terminal session can leave megabytes of hex text in the information
    // area, which every save exchange converts.
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = i;
        if (text[i] < 0x80) {
            while (end < text.size() && text[end] < 0x80) out += static_cast<char>(text[end++]);
        } else {
            while (end < text.size() && text[end] >= 0x80) ++end;
            EncodeNonAsciiRun(text.substr(i, end - i), out);
        }
        i = end;
    }
    return out;
}

std::string GbkToUtf8(std::string_view gbk) {
    return Utf16ToUtf8(GbkToUtf16(gbk));
}

std::string Utf8ToGbk(std::string_view utf8) {
    return Utf16ToGbk(Utf8ToUtf16(utf8));
}

}  // namespace quill
