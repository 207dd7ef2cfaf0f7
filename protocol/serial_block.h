// The serial settings block (item 0x12) and the rate lists, written once: the
// entries of each list as the form shows them and the code each entry puts
// into the block. The configure encoder, the read-back mapping and the window
// layout all take them from here. The line rates themselves are BaudTable.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "protocol/wire.h"

namespace quill {

// BaudTable as the rate lists (1016 and 1068) read.
inline constexpr std::array<std::string_view, BaudTable.size()> kRateCaptions{
    "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600", "115200"};

namespace detail {
constexpr bool CaptionIsRate(std::string_view caption, std::uint32_t rate) {
    std::uint32_t value = 0;
    for (const char c : caption) value = value * 10 + static_cast<std::uint32_t>(c - '0');
    return !caption.empty() && value == rate;
}
constexpr bool CaptionsAreRates() {
    for (std::size_t i = 0; i < BaudTable.size(); ++i)
        if (!CaptionIsRate(kRateCaptions[i], BaudTable[i])) return false;
    return true;
}
}  // namespace detail
static_assert(detail::CaptionsAreRates(), "each rate caption names its BaudTable rate");

// One list of the block after the rate: entries in list order and their codes.
template <std::size_t N>
struct SerialSetting {
    std::string_view label;  // the hidden label that names the list
    std::array<std::string_view, N> captions;
    std::array<std::uint8_t, N> codes;
};

inline constexpr SerialSetting<4> kDataBitsSetting{"数据位", {"8", "7", "6", "5"}, {0x03, 0x02, 0x01, 0x00}};
inline constexpr SerialSetting<2> kStopBitsSetting{"停止位", {"1", "2"}, {0x00, 0x04}};
inline constexpr SerialSetting<3> kParitySetting{"校验位", {"无", "奇校验", "偶校验"}, {0x00, 0x08, 0x18}};
inline constexpr SerialSetting<5> kFlowSetting{
    "流控制", {"Xon/Xoff", "硬件", "无", "半双工(RS485)", "全双工(RS422)"}, {0x01, 0x02, 0x03, 0x04, 0x05}};

}  // namespace quill
