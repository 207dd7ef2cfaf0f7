// Value conversions of parameter items: device text (GBK <-> UCS-2 high byte
// first), hexadecimal text <-> bytes, decimal text -> number, number -> bytes.
// Used by the configure request, the read-back mapping, the data terminal and
// the simulated DTU. Pure functions; any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quill {

// n: 1 for each GBK byte 0x80 or above, 2 for each byte below 0x80.
std::size_t DeviceTextLength(std::string_view gbk);

// The first n bytes of the text's UTF-16 code units, high byte first, padded
// with 0x00 when the code units are fewer.
std::vector<std::uint8_t> EncodeDeviceText(std::string_view gbk);

// UCS-2 code units high byte first back to GBK. An odd last byte is ignored;
// the text ends at the first zero code unit.
std::string DecodeDeviceText(std::span<const std::uint8_t> value);

// 0-15 for '0'-'9', 'A'-'F', 'a'-'f'; 16 for every other byte value.
int HexDigitValue(char c);

// Hex pairs to bytes: blanks (0x20 only) skipped between pairs, a lone last
// digit dropped, stop at the first pair that is not two hex digits. Stops too
// when out is full. Returns the number of bytes written.
std::size_t ParseHexText(std::string_view text, std::span<std::uint8_t> out);

// Each byte as "%02X " up to the first zero byte (or the span's end), then a
// terminating zero. Stops before a byte for which out has no room for three
// characters and the terminator; writes nothing when out is empty. Always 0.
int FormatHexBytes(std::span<const std::uint8_t> bytes, std::span<char> out);

// Leading white space, optional '+' or '-', decimal digits up to the first
// other character; 0 when no digit follows. Saturates at INT32_MIN/INT32_MAX.
std::int32_t DecimalValue(std::string_view text);

// Number to bytes: Byte = low 8 bits; WordBE = low 8 bits of v / 256
// (truncated toward zero), then low 8 bits of v; WordLE the other order.
std::uint8_t EncodeByte(std::int32_t v);
std::array<std::uint8_t, 2> EncodeWordBE(std::int32_t v);
std::array<std::uint8_t, 2> EncodeWordLE(std::int32_t v);

}  // namespace quill
