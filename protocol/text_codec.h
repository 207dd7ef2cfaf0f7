// Text conversion between the DTU's code page (GBK, code page 936) and the
// Unicode forms the rest of the tool uses. The one place that talks to iconv;
// the frame code, the read-back mapping and the window all convert through it.
// Pure functions, safe to call from any thread (each thread keeps its own
// conversion descriptors).
//
// Rules for text that cannot be converted:
// - GBK -> Unicode: every byte that does not start a valid GBK character
//   (a lone lead byte, a lead byte followed by an invalid trail byte, 0x80,
//   0xFF) becomes one U+FFFD; the byte after it is decoded afresh.
// - Unicode -> GBK: every character GBK cannot hold, and every unpaired
//   surrogate, becomes one '?'. Invalid UTF-8 bytes count as characters GBK
//   cannot hold, one '?' per byte.
#pragma once

#include <string>
#include <string_view>

namespace quill {

std::u16string GbkToUtf16(std::string_view gbk);
std::string Utf16ToGbk(std::u16string_view text);

std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace quill
