// Validation and encoding of a configure request from a snapshot of the form.
// Fields are visited in ascending item type order (the item table's order);
// each ticked field is checked by its write rule and becomes one item; the
// first failing field ends the build with its message. The items go out in
// frames of at most kMaxConfigureFrame bytes, whole items only, type order
// kept; a selection that fits one frame gives exactly one. Pure; no Qt. The
// front end shows errorMessage in its "错误提示" box, or sends the frames and
// awaits an answer to each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quill {

// The serial engine's write slot: the most one SendBytes hands over.
inline constexpr std::size_t transmitBufferSize = 512;

// The largest configure frame the DTU takes; longer selections are split.
inline constexpr std::size_t kMaxConfigureFrame = 300;

// The example address of the address format message.
inline constexpr std::string_view kAddressFormatMessage = "请填写正确的数据中心IP地址,如：192.168.1.100";
inline constexpr std::string_view kAddressRangeMessage = "IP地址大于0，小于255！";

// What the configure request reads from the form after its save exchange.
class FormSnapshot {
  public:
    virtual ~FormSnapshot() = default;
    virtual bool ticked(int checkBoxId) const = 0;
    virtual std::string text(int editId) const = 0;  // GBK bytes
    virtual int listIndex(int listId) const = 0;     // -1: nothing selected
};

struct ConfigureFrame {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> types;  // the item types it carries, in order
};

struct ConfigureResult {
    std::vector<ConfigureFrame> frames;  // empty on failure; nothing ticked gives one empty frame
    std::string errorMessage;            // UTF-8; empty on success
};

ConfigureResult BuildConfigureRequest(const FormSnapshot& form);

// "<label>太长，最多253个字节，请缩短后再配置", the label trimmed of blanks.
std::string ValueTooLongMessage(std::string_view label);

}  // namespace quill
