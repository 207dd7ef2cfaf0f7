#include "sim/simulated_dtu.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "protocol/frame.h"
#include "protocol/item_table.h"
#include "protocol/text_codec.h"
#include "protocol/value_codec.h"

namespace quill {
namespace {

// Factory values as the operator would type them (UTF-8), by field name.
struct FactoryValue {
    std::string_view name;
    std::string_view text;
};

// The DTU id is not here: each unit has its own (FactoryDtuId).
constexpr std::array<FactoryValue, 33> kFactoryValues{{
    {"apn", "CMNET"},
    {"heartbeatInterval", "60"},
    {"maxPacketLength", "1024"},
    {"reconnectInterval", "30"},
    {"debugState", "0"},
    {"lastPacketIdleInterval", "200"},
    {"mainCentreIp", "203.0.113.10"},
    {"mainCentreDomain", "scada.example.cn"},
    {"mainCentrePort", "5001"},
    {"serialSettings", "00 25 80 03 00 00 03"},  // 9600, 8, 1, none, no flow control
    {"transferMode", "0"},
    {"connectionMode", "1"},
    {"backupCentreIp", "198.51.100.20"},
    {"backupCentrePort", "5002"},
    {"customHeartbeatLength", "4"},
    {"customHeartbeat", "AA 55 01 02"},
    {"dataChannel", "1"},
    {"messageFilterMode", "2"},
    {"stationName", "城东变电站"},
    {"smsCentreNumber", "+8613800100500"},
    {"superUserNumber", "13912345678"},
    {"superUserPassword", "123456"},
    {"hostUserNumber", "13812345678"},
    {"hostUserPassword", "654321"},
    {"extensionUser1Number", "13700000001"},
    {"extensionUser1Password", "111111"},
    {"extensionUser2Number", "13700000002"},
    {"extensionUser2Password", "222222"},
    {"extensionUser3Number", "13700000003"},
    {"extensionUser3Password", "333333"},
    {"deviceAddress", "1"},
    {"numberedField2", "0"},
    {"numberedField3", "1"},
}};

struct BodyDefault {
    std::string_view name;
    std::string_view state1;
    std::string_view state0;
};

constexpr std::array<BodyDefault, 10> kBodies{{
    {"1号主变", "投", "退"},
    {"进线开关", "合", "分"},
    {"母联开关", "合", "分"},
    {"出线一", "合", "分"},
    {"出线二", "合", "分"},
    {"电容器", "投", "切"},
    {"接地刀闸", "合", "分"},
    {"门禁", "开", "关"},
    {"烟感", "警", "常"},
    {"水浸", "有", "无"},
}};

std::string FactoryText(std::string_view name) {
    for (const FactoryValue& v : kFactoryValues) {
        if (v.name == name) return std::string(v.text);
    }
    constexpr std::string_view kBody = "messageBody";
    if (name.substr(0, kBody.size()) == kBody) {
        const std::string_view rest = name.substr(kBody.size());
        const int k = DecimalValue(rest);
        if (k < 1 || k > static_cast<int>(kBodies.size())) return {};
        const BodyDefault& body = kBodies[static_cast<std::size_t>(k - 1)];
        if (rest.ends_with("Name")) return std::string(body.name);
        if (rest.ends_with("Address")) return std::to_string(1000 + k);
        if (rest.ends_with("State1")) return std::string(body.state1);
        if (rest.ends_with("State0")) return std::string(body.state0);
    }
    return {};
}

std::vector<std::uint8_t> DottedAddress(std::string_view text) {
    std::vector<std::uint8_t> value;
    while (!text.empty() && value.size() < 4) {
        const std::size_t dot = text.find('.');
        value.push_back(EncodeByte(DecimalValue(text.substr(0, dot))));
        text = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
    }
    value.resize(4, 0);
    return value;
}

std::vector<std::uint8_t> EncodeValue(ValueFormat format, const std::string& utf8) {
    switch (format) {
        case ValueFormat::PlainText: {
            const std::string gbk = Utf8ToGbk(utf8);
            if (gbk.empty()) return {0x00};  // how the tool writes an empty number field
            return std::vector<std::uint8_t>(gbk.begin(), gbk.end());
        }
        case ValueFormat::DeviceText:
            return EncodeDeviceText(Utf8ToGbk(utf8));
        case ValueFormat::Byte:
            return {EncodeByte(DecimalValue(utf8))};
        case ValueFormat::WordBE: {
            const auto w = EncodeWordBE(DecimalValue(utf8));
            return {w.begin(), w.end()};
        }
        case ValueFormat::WordLE: {
            const auto w = EncodeWordLE(DecimalValue(utf8));
            return {w.begin(), w.end()};
        }
        case ValueFormat::IPv4:
            return DottedAddress(utf8);
        case ValueFormat::SerialBlock:
        case ValueFormat::HexBytes: {
            std::vector<std::uint8_t> bytes(utf8.size() / 2 + 1);
            bytes.resize(ParseHexText(utf8, bytes));
            return bytes;
        }
        case ValueFormat::Skipped:
            break;
    }
    return {};
}

constexpr std::uint8_t kGarbage[] = {0x00, 0xFF, 0x55, 0xAA, 0x37, 0x0D, 0x0A, 0x7A};
constexpr std::uint8_t kSkippedType = 0x06;
constexpr std::string_view kDtuIdField = "dtuId";
constexpr std::uint64_t kFirstDtuId = 20240517000;  // plus the unit number

}  // namespace

SimulatedDtu::SimulatedDtu() : items_(FactoryItems()) {}

SimulatedDtu::SimulatedDtu(DtuItems items) : items_(std::move(items)) {}

DtuItems SimulatedDtu::FactoryItems(std::uint32_t unit) {
    DtuItems items;
    for (const ItemDef& def : ItemTable()) {
        if (def.format == ValueFormat::Skipped) continue;
        const std::string text = def.name == kDtuIdField ? FactoryDtuId(unit) : FactoryText(def.name);
        items[def.type] = EncodeValue(def.format, text);
    }
    return items;
}

std::string SimulatedDtu::FactoryDtuId(std::uint32_t unit) {
    return std::to_string(kFirstDtuId + unit);
}

void SimulatedDtu::setQuiet(bool quiet) {
    quiet_ = quiet;
    frame_.clear();
}

void SimulatedDtu::nextUnit() {
    ++unit_;
    items_ = FactoryItems(unit_);
    frame_.clear();
}

std::vector<std::uint8_t> SimulatedDtu::feed(std::span<const std::uint8_t> received) {
    std::vector<std::uint8_t> out;
    if (quiet_) {
        counters_.ignoredBytes += received.size();
        return out;
    }
    for (const std::uint8_t b : received) {
        ++counters_.receivedBytes;
        if (frame_.empty()) {
            if (b == kPollByte) {
                ++counters_.pollBytes;
                if (!faults_.noAnnouncement) {
                    out.push_back(kAnnounceByte);
                    ++counters_.announcements;
                }
            } else if (b == kFrameDelimiter) {
                frame_.push_back(b);
            }
            continue;
        }
        frame_.push_back(b);
        if (frame_.size() == 2 && b != Command::ReadRequest && b != Command::ConfigureRequest &&
            b != Command::ResetRequest) {
            // Unknown command: resynchronise; a 0x7B here may start the next frame.
            frame_.clear();
            if (b == kFrameDelimiter) frame_.push_back(b);
            continue;
        }
        if (frame_.size() < 4) continue;
        const bool fixed = frame_[1] != Command::ConfigureRequest;
        const std::size_t expected = fixed ? kMinFrameLength : FrameLengthField(frame_);
        if (expected < kMinFrameLength || expected > kDtuReceiveLimit) {
            ++counters_.malformedFrames;
            ++counters_.configureRequests;
            answerConfigure(false, out);
            frame_.clear();
            continue;
        }
        if (frame_.size() == expected) handleFrame(out);
    }
    return out;
}

void SimulatedDtu::handleFrame(std::vector<std::uint8_t>& out) {
    const std::uint8_t command = frame_[1];
    const bool closed = frame_.back() == kFrameDelimiter;
    if (!closed) ++counters_.malformedFrames;
    if (command == Command::ReadRequest) {
        ++counters_.readRequests;
        if (closed) answerRead(out);
    } else if (command == Command::ResetRequest) {
        ++counters_.resetRequests;
        if (closed) {
            items_ = FactoryItems(unit_);
            answerRead(out);
        }
    } else {
        ++counters_.configureRequests;
        const bool accepted = closed && storeConfiguration();
        if (closed && !accepted) ++counters_.malformedFrames;
        answerConfigure(accepted, out);
    }
    frame_.clear();
}

bool SimulatedDtu::storeConfiguration() {
    DtuItems incoming;
    bool valid = true;
    const bool wellFormed = ForEachItem(frame_, [&](const ItemView& item) {
        const ItemDef* def = FindItem(item.type);
        if (def == nullptr || def->format == ValueFormat::Skipped) {
            valid = false;
            return;
        }
        const std::size_t width = FixedWidth(def->format);
        if ((width != 0 && item.value.size() != width) ||
            (def->format == ValueFormat::DeviceText && item.value.size() % 2 != 0)) {
            valid = false;
            return;
        }
        incoming[item.type].assign(item.value.begin(), item.value.end());
    });
    if (!wellFormed || !valid) return false;
    if (faults_.storeNothing) return true;
    for (auto& [type, value] : incoming) items_[type] = std::move(value);
    return true;
}

void SimulatedDtu::answerRead(std::vector<std::uint8_t>& out) {
    std::size_t size = kMinFrameLength;
    for (const auto& [type, value] : items_) size += value.size() + 2;
    size = std::max(size, faults_.oversizeTo) + kMaxValueLength + 2;
    std::vector<std::uint8_t> buffer(std::min(size, kMaxFrameLength));
    FrameWriter writer(buffer);
    writer.BeginFrame(Command::ReadAnswer);
    for (const auto& [type, value] : items_) {
        if (!writer.AppendItem(type, value)) break;
    }
    const std::vector<std::uint8_t> padding(kMaxValueLength, 0x5A);
    while (writer.size() + 1 < faults_.oversizeTo) {
        const std::size_t missing = faults_.oversizeTo - writer.size() - 1;
        const std::size_t width = std::clamp<std::size_t>(missing, 2, kMaxValueLength + 2) - 2;
        if (!writer.AppendItem(kSkippedType, std::span(padding).first(width))) break;
    }
    const auto frame = writer.FinishFrame();
    if (!frame) return;
    emitFrame(std::vector<std::uint8_t>(frame->begin(), frame->end()), out);
}

void SimulatedDtu::answerConfigure(bool accepted, std::vector<std::uint8_t>& out) {
    std::vector<std::uint8_t> frame(kMinFrameLength, 0x00);
    frame.front() = kFrameDelimiter;
    frame[1] = Command::ConfigureAnswer;
    frame[2] = accepted ? 0x00 : 0x01;
    if (accepted) ++counters_.configuresAccepted;
    frame[3] = static_cast<std::uint8_t>(kMinFrameLength);
    frame.back() = kFrameDelimiter;
    emitFrame(std::move(frame), out);
}

void SimulatedDtu::emitFrame(std::vector<std::uint8_t> frame, std::vector<std::uint8_t>& out) const {
    for (std::size_t i = 0; i < faults_.garbageBeforeFrame; ++i)
        out.push_back(kGarbage[i % std::size(kGarbage)]);
    if (faults_.wrongCommand) frame[1] = *faults_.wrongCommand;
    if (faults_.lyingLength) {
        frame[2] = static_cast<std::uint8_t>(*faults_.lyingLength >> 8);
        frame[3] = static_cast<std::uint8_t>(*faults_.lyingLength & 0xFF);
    }
    out.insert(out.end(), frame.begin(), frame.end());
}

}  // namespace quill
