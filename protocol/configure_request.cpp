#include "protocol/configure_request.h"

#include <array>
#include <optional>
#include <span>
#include <utility>

#include "protocol/frame.h"
#include "protocol/item_table.h"
#include "protocol/serial_block.h"
#include "protocol/wire.h"
#include "protocol/value_codec.h"

namespace quill {
namespace {

constexpr std::string_view kStationTooLong = "站点最大为8个字节";
constexpr std::string_view kBodyNameTooLong = "消息体名称最长为8个字节";
constexpr std::string_view kBodyStateLength = "消息体状态为1个汉字";
constexpr std::string_view kBaudMissing = "请选择-波特率！";
constexpr std::string_view kDataBitsMissing = "请选择-数据位！";
constexpr std::string_view kStopBitsMissing = "请选择-停止位！";
constexpr std::string_view kParityMissing = "请选择-校验位！";  // also shown for flow control

// A field's value bytes, or the message that refuses it.
struct FieldValue {
    std::vector<std::uint8_t> bytes;
    std::string_view message;
};

FieldValue Refuse(std::string_view message) {
    return {{}, message};
}

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

template <std::size_t N>
std::vector<std::uint8_t> Bytes(const std::array<std::uint8_t, N>& a) {
    return {a.begin(), a.end()};
}

// Dotted IPv4: segments of at most three characters up to the next '.', each
// at most 255; exactly four of them. A trailing '.' is consumed silently.
FieldValue AddressValue(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    std::size_t p = 0;
    int segments = 0;
    while (p < text.size()) {
        std::size_t length = 0;
        while (length < 3 && p + length < text.size() && text[p + length] != '.') ++length;
        const std::int32_t v = DecimalValue(text.substr(p, length));
        if (v > 255) return Refuse(kAddressRangeMessage);
        if (length == 3 && p + 3 < text.size() && text[p + 3] != '.') return Refuse(kAddressFormatMessage);
        bytes.push_back(EncodeByte(v));
        ++segments;
        p += length + 1;
    }
    if (segments != 4) return Refuse(kAddressFormatMessage);
    return {bytes, {}};
}

template <std::size_t N>
std::optional<std::uint8_t> Code(const std::array<std::uint8_t, N>& codes, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= N) return std::nullopt;
    return codes[static_cast<std::size_t>(index)];
}

FieldValue SerialValue(const ItemDef& def, const FormSnapshot& form) {
    const auto list = [&](int i) { return form.listIndex(def.valueIds[static_cast<std::size_t>(i)]); };
    const int rateIndex = list(0);
    if (rateIndex < 0 || static_cast<std::size_t>(rateIndex) >= BaudTable.size()) return Refuse(kBaudMissing);
    const std::uint32_t rate = BaudTable[static_cast<std::size_t>(rateIndex)];
    const auto dataBits = Code(kDataBitsSetting.codes, list(1));
    if (!dataBits) return Refuse(kDataBitsMissing);
    const auto stopBits = Code(kStopBitsSetting.codes, list(2));
    if (!stopBits) return Refuse(kStopBitsMissing);
    const auto parity = Code(kParitySetting.codes, list(3));
    if (!parity) return Refuse(kParityMissing);
    const auto flow = Code(kFlowSetting.codes, list(4));
    if (!flow) return Refuse(kParityMissing);
    return {{static_cast<std::uint8_t>(rate >> 16), static_cast<std::uint8_t>(rate >> 8),
             static_cast<std::uint8_t>(rate), *dataBits, *stopBits, *parity, *flow},
            {}};
}

std::vector<std::uint8_t> NumberBytes(ValueFormat format, std::int32_t v) {
    switch (format) {
        case ValueFormat::WordBE:
            return Bytes(EncodeWordBE(v));
        case ValueFormat::WordLE:
            return Bytes(EncodeWordLE(v));
        default:
            return {EncodeByte(v)};
    }
}

FieldValue FieldBytes(const ItemDef& def, const FormSnapshot& form) {
    if (def.writeRule == WriteRule::SerialLists) return SerialValue(def, form);
    if (def.writeRule == WriteRule::ListChoice) {
        const int index = form.listIndex(def.valueIds[0]);
        if (index != 0 && index != 1) return Refuse(def.emptyMessage);
        return {{static_cast<std::uint8_t>(index)}, {}};
    }
    const std::string text = form.text(def.valueIds[0]);
    switch (def.writeRule) {
        case WriteRule::OptionalText:
            return {Bytes(text), {}};
        case WriteRule::TextEmptyAsZero:
            return text.empty() ? FieldValue{{0x00}, {}} : FieldValue{Bytes(text), {}};
        case WriteRule::Password:
            if (text.size() != 6) return Refuse(def.emptyMessage);
            return {Bytes(text), {}};
        default:
            break;
    }
    // Every other rule refuses an empty text with the row's first message.
    if (text.empty()) return Refuse(def.emptyMessage);
    switch (def.writeRule) {
        case WriteRule::RequiredText:
            return {Bytes(text), {}};
        case WriteRule::Number:
            return {NumberBytes(def.format, DecimalValue(text)), {}};
        case WriteRule::DebugState:
            return {{EncodeByte(DecimalValue(text) % 16)}, {}};
        case WriteRule::Address:
            return AddressValue(text);
        case WriteRule::DataChannel:
        case WriteRule::FilterMode: {
            const std::int32_t r = DecimalValue(text) % 256;
            const std::int32_t highest = def.writeRule == WriteRule::DataChannel ? 1 : 3;
            if (r < 0 || r > highest) return Refuse(def.emptyMessage);
            return {{static_cast<std::uint8_t>(r)}, {}};
        }
        case WriteRule::StationName:
        case WriteRule::BodyName:
        case WriteRule::BodyState: {
            const std::size_t n = DeviceTextLength(text);
            if (def.writeRule == WriteRule::StationName && n > 16) return Refuse(kStationTooLong);
            if (def.writeRule == WriteRule::BodyName && n > 16) return Refuse(kBodyNameTooLong);
            if (def.writeRule == WriteRule::BodyState && n != 2) return Refuse(kBodyStateLength);
            return {EncodeDeviceText(text), {}};
        }
        case WriteRule::HexText: {
            // Half the text's length bounds the bytes; the length check below
            // refuses more than an item holds.
            std::vector<std::uint8_t> bytes(text.size() / 2);
            bytes.resize(ParseHexText(text, bytes));
            return {bytes, {}};
        }
        default:
            return {};
    }
}

}  // namespace

std::string ValueTooLongMessage(std::string_view label) {
    const auto first = label.find_first_not_of(' ');
    const auto last = label.find_last_not_of(' ');
    const std::string_view trimmed =
        first == std::string_view::npos ? std::string_view{} : label.substr(first, last - first + 1);
    return std::string(trimmed) + "太长，最多253个字节，请缩短后再配置";
}

ConfigureResult BuildConfigureRequest(const FormSnapshot& form) {
    static_assert(kMaxConfigureFrame <= transmitBufferSize, "a frame must fit the write slot");
    static_assert(kMaxConfigureFrame >= kMinFrameLength + kMaxValueLength + 2,
                  "the longest item must fit a frame of its own");
    // Every ticked field is checked before anything is encoded: a failure
    // anywhere sends nothing at all.
    std::vector<std::pair<std::uint8_t, std::vector<std::uint8_t>>> items;
    for (const ItemDef& def : ItemTable()) {
        if (def.writeRule == WriteRule::None || def.checkBoxId == 0 || !form.ticked(def.checkBoxId)) continue;
        FieldValue value = FieldBytes(def, form);
        if (!value.message.empty()) return {{}, std::string(value.message)};
        if (value.bytes.size() > kMaxValueLength) return {{}, ValueTooLongMessage(def.label)};
        items.emplace_back(def.type, std::move(value.bytes));
    }

    ConfigureResult result;
    std::array<std::uint8_t, kMaxConfigureFrame> buffer;
    FrameWriter writer(buffer);
    ConfigureFrame frame;
    const auto finish = [&] {
        const auto bytes = writer.FinishFrame();
        frame.bytes.assign(bytes->begin(), bytes->end());  // the end byte always has room
        result.frames.push_back(std::move(frame));
        frame = {};
    };
    writer.BeginFrame(Command::ConfigureRequest);
    for (const auto& [type, value] : items) {
        if (!writer.AppendItem(type, value)) {
            finish();
            writer = FrameWriter(buffer);
            writer.BeginFrame(Command::ConfigureRequest);
            writer.AppendItem(type, value);  // any single item fits an empty frame
        }
        frame.types.push_back(type);
    }
    finish();
    return result;
}

}  // namespace quill
