// GBK through the system's code page 936 (Windows). The whole text goes
// through one call when it is valid; only text with faults is converted a
// character at a time, so that each fault gets its own stand-in exactly as
// iconv's side gives it (see text_codec.h).
//
// Code page 936 maps GBK's user-defined areas (and a few unassigned codes)
// to the Private Use Area, where iconv's GBK has no characters. Those codes
// count as invalid here in both directions, so a byte string means the same
// text on either platform.
#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "protocol/text_codec.h"
#include "protocol/text_codec_platform.h"

namespace quill {
namespace {

using codec::IsHighSurrogate;
using codec::IsLowSurrogate;
using codec::kReplacement;

constexpr UINT kGbk = 936;

bool IsLeadByte(std::uint8_t b) {
    return b >= 0x81 && b <= 0xFE;
}
bool IsTrailByte(std::uint8_t b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

bool IsPrivateUse(char16_t u) {
    return u >= 0xE000 && u <= 0xF8FF;
}

// Strict conversion of bytes that must form whole characters; false on any fault.
bool DecodeStrict(std::string_view gbk, std::u16string& out) {
    if (gbk.empty()) return true;
    const int length = static_cast<int>(gbk.size());
    const int units = ::MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, gbk.data(), length, nullptr, 0);
    if (units <= 0) return false;
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(units));
    const int written = ::MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, gbk.data(), length,
                                              reinterpret_cast<wchar_t*>(out.data() + at), units);
    out.resize(at + static_cast<std::size_t>(written > 0 ? written : 0));
    return written == units &&
           std::none_of(out.begin() + static_cast<std::ptrdiff_t>(at), out.end(), IsPrivateUse);
}

// One character at the front of gbk: how many bytes it took (0: none valid).
std::size_t DecodeOne(std::string_view gbk, std::u16string& out) {
    const auto b0 = static_cast<std::uint8_t>(gbk[0]);
    if (b0 <= 0x80) return DecodeStrict(gbk.substr(0, 1), out) ? 1 : 0;
    if (!IsLeadByte(b0) || gbk.size() < 2 || !IsTrailByte(static_cast<std::uint8_t>(gbk[1]))) return 0;
    const std::size_t before = out.size();
    if (DecodeStrict(gbk.substr(0, 2), out) && out.size() == before + 1) return 2;
    out.resize(before);
    return 0;
}

// Encodes one character (one unit, or a surrogate pair); false when GBK cannot hold it.
bool EncodeOne(std::u16string_view character, std::string& out) {
    if (character.size() == 1 && IsPrivateUse(character[0])) return false;
    char bytes[8];
    BOOL usedDefault = FALSE;
    const int n =
        ::WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(character.data()),
                              static_cast<int>(character.size()), bytes, sizeof bytes, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out.append(bytes, static_cast<std::size_t>(n));
    return true;
}

}  // namespace

std::u16string GbkToUtf16(std::string_view gbk) {
    std::u16string out;
    out.reserve(gbk.size());
    if (DecodeStrict(gbk, out)) return out;
    out.clear();
    std::size_t i = 0;
    while (i < gbk.size()) {
        const std::size_t used = DecodeOne(gbk.substr(i), out);
        if (used == 0) {
            out += kReplacement;  // the next byte is decoded afresh
            ++i;
        } else {
            i += used;
        }
    }
    return out;
}

namespace codec {

void EncodeNonAsciiRun(std::u16string_view text, std::string& out) {
    const std::size_t at = out.size();
    if (!text.empty() && std::none_of(text.begin(), text.end(), IsPrivateUse)) {
        const int length = static_cast<int>(text.size());
        const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
        BOOL usedDefault = FALSE;
        const int need = ::WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0, nullptr,
                                               &usedDefault);
        if (need > 0 && !usedDefault) {
            out.resize(at + static_cast<std::size_t>(need));
            const int written = ::WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide, length,
                                                      out.data() + at, need, nullptr, &usedDefault);
            if (written == need && !usedDefault) return;
            out.resize(at);
        }
    }
    // Something in the run has no GBK form: one '?' for each such character
    // (a surrogate pair is one character, an unpaired surrogate is one too).
    std::size_t i = 0;
    while (i < text.size()) {
        const bool pair = IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
        const std::size_t units = pair ? 2 : 1;
        const bool lone = !pair && (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i]));
        if (lone || !EncodeOne(text.substr(i, units), out)) out += '?';
        i += units;
    }
}

}  // namespace codec
}  // namespace quill
