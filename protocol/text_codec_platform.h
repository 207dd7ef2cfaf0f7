// The platform's half of the GBK conversion: text_codec_iconv.cpp (iconv) or
// text_codec_win32.cpp (the system's code page 936), chosen by the build.
// Each defines GbkToUtf16 and EncodeNonAsciiRun and keeps the rules of
// text_codec.h exactly, so both platforms give the same bytes; the UTF-8
// forms and the ASCII fast path live in text_codec.cpp.
#pragma once

#include <string>
#include <string_view>

namespace quill::codec {

inline constexpr char16_t kReplacement = u'\uFFFD';

inline bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
inline bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Appends the GBK form of a run of text that holds no ASCII character.
void EncodeNonAsciiRun(std::u16string_view text, std::string& out);

}  // namespace quill::codec
