// GBK through iconv (Linux). One conversion descriptor per direction and
// thread; see text_codec_platform.h for what this half provides.
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

#include "protocol/text_codec.h"
#include "protocol/text_codec_platform.h"

namespace quill {
namespace {

using codec::IsHighSurrogate;
using codec::IsLowSurrogate;
using codec::kReplacement;

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

namespace codec {

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

}  // namespace codec

}  // namespace quill
