#pragma once
// UTF-8 and the system's wide text (UTF-16), for the Windows code: names of
// devices, registry values, system messages and every caption of the window.
// Windows only. Invalid input becomes U+FFFD, as the system converts it.
#include <windows.h>

#include <string>
#include <string_view>

namespace quill {

inline std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int length = static_cast<int>(utf8.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), units);
    return wide;
}

inline std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int length = static_cast<int>(wide.size());
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

}  // namespace quill
