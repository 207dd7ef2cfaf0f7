// Text conversion between the DTU's code page (GBK, code page 936) and the
// Unicode forms the rest of the tool uses. The one place that talks to the
// platform's converter (iconv, or code page 936 on Windows); the frame code,
// the read-back mapping and the window all convert through it. Both platforms
// give the same result for every input. Pure functions, safe to call from any
// thread.
//
// Rules for text that cannot be converted:
// - GBK -> Unicode: every byte that does not start a valid GBK character
//   (a lone lead byte, a lead byte followed by an invalid trail byte, a code
//   in GBK's user-defined areas, 0xFF) becomes one U+FFFD; the byte after it
//   is decoded afresh. 0x80 is the euro sign, as in code page 936.
// - Unicode -> GBK: every character GBK cannot hold (Private Use characters
//   included), and every unpaired surrogate, becomes one '?'. Invalid UTF-8
//   bytes count as characters GBK cannot hold, one '?' per byte.
#pragma once

#include <string>
#include <string_view>

namespace quill {

std::u16string GbkToUtf16(std::string_view gbk);
std::string Utf16ToGbk(std::u16string_view text);

std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace quill
