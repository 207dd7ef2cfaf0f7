// Validation and encoding of a configure request from a snapshot of the form.
// Fields are visited in ascending item type order (the item table's order);
// each ticked field is checked by its write rule and appended as one item;
// the first failing field ends the build with its message. Pure; no Qt. The
// window shows errorMessage in its "错误提示" box, or sends the frame and sets
// configurePending.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quill {

// The largest configure frame: what the serial engine's write slot carries.
inline constexpr std::size_t transmitBufferSize = 512;

// The example address of the address format message.
inline constexpr std::string_view kAddressFormatMessage = "请填写正确的数据中心IP地址,如：192.168.1.100";
inline constexpr std::string_view kAddressRangeMessage = "IP地址大于0，小于255！";
inline constexpr std::string_view kFrameTooLongMessage = "所选参数过多，配置帧超过512字节，请分几次配置";

// What the configure request reads from the form after its save exchange.
class FormSnapshot {
  public:
    virtual ~FormSnapshot() = default;
    virtual bool ticked(int checkBoxId) const = 0;
    virtual std::string text(int editId) const = 0;  // GBK bytes
    virtual int listIndex(int listId) const = 0;     // -1: nothing selected
};

struct ConfigureResult {
    std::vector<std::uint8_t> frame;  // empty on failure
    std::string errorMessage;         // UTF-8; empty on success
};

ConfigureResult BuildConfigureRequest(const FormSnapshot& form);

// "<label>太长，最多253个字节，请缩短后再配置", the label trimmed of blanks.
std::string ValueTooLongMessage(std::string_view label);

}  // namespace quill
