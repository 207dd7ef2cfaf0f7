#include "cli/trace.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "form/item_text.h"
#include "form/parameter_fields.h"
#include "protocol/frame.h"
#include "protocol/item_table.h"
#include "protocol/read_answer.h"

namespace quill::cli {
namespace {

// Received bytes further apart than this start a new line with their own time
// (a paced answer arrives in small pieces a few milliseconds apart).
constexpr auto kReceiveLineGap = std::chrono::milliseconds(20);
constexpr std::size_t kBytesPerLine = 32;
constexpr std::string_view kItemIndent = "                ";

std::string_view CommandName(std::uint8_t command) {
    switch (command) {
        case Command::ReadRequest:
            return "读取请求";
        case Command::ReadAnswer:
            return "读取应答";
        case Command::ConfigureRequest:
            return "配置请求";
        case Command::ConfigureAnswer:
            return "配置应答";
        case Command::ResetRequest:
            return "复位请求";
        default:
            return "未知命令";
    }
}

std::string TypeText(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// " = " and the item's value as the form shows it (texts quoted, so that an
// empty or blank-ended one stays visible), then what does not fit the item's
// format; empty for an item the form does not show.
std::string ShownValue(const ItemView& item, bool showSecrets) {
    const ItemDef* def = FindItem(item.type);
    if (def == nullptr || !ReadItem(item)) return {};
    if (!showSecrets && IsSecret(item.type)) return " = \"" + std::string(kSecretValue) + '"';
    std::string shown = ItemValueText(item, true);
    const std::size_t width = FixedWidth(def->format);
    if (width != 0 && item.value.size() != width)
        shown += " (" + std::to_string(width) + (width == 1 ? " byte" : " bytes") + " expected)";
    else if (def->format == ValueFormat::DeviceText && item.value.size() % 2 != 0)
        shown += " (odd length: the last byte is not shown)";
    return " = " + shown;
}

// The item's value bytes, masked for a secret.
std::string ValueBytes(const ItemView& item, bool showSecrets) {
    if (showSecrets || !IsSecret(item.type)) return HexBytes(item.value);
    std::string text;
    for (std::size_t i = 0; i < item.value.size(); ++i) text += i ? " **" : "**";
    return text;
}

}  // namespace

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const std::uint8_t b : bytes) {
        if (!text.empty()) text += ' ';
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

std::span<const std::uint8_t> FrameCollector::accept(std::uint8_t byte) {
    if (frame_.empty()) {
        if (byte == kFrameDelimiter) frame_.push_back(byte);
        return {};
    }
    frame_.push_back(byte);
    bool complete = frame_.size() >= kLimit;
    if (byte == kFrameDelimiter) {
        if (frame_[1] == Command::ConfigureAnswer)
            complete = true;  // its byte 2 is a status, not a length
        else if (frame_.size() >= 4 && frame_.size() >= FrameLengthField(frame_))
            complete = true;
    }
    if (!complete) return {};
    done_.swap(frame_);
    frame_.clear();
    return done_;
}

std::vector<std::string> DescribeFrame(std::span<const std::uint8_t> frame, bool showSecrets) {
    std::vector<std::string> lines;
    if (frame.size() < 2) return lines;
    const std::uint8_t command = frame[1];
    std::string head = "frame " + TypeText(command) + " " + std::string(CommandName(command)) + ", " +
                       std::to_string(frame.size()) + " bytes";
    if (command == Command::ConfigureAnswer) {
        const std::uint8_t status = frame.size() > 2 ? frame[2] : 0xFF;
        head += status == 0x00 ? ", 成功" : ", 失败 (" + TypeText(status) + ")";
        lines.push_back(std::move(head));
        return lines;
    }
    if (command != Command::ReadAnswer && command != Command::ConfigureRequest) {
        lines.push_back(std::move(head));
        return lines;
    }
    std::vector<std::string> items;
    const bool wellFormed = ForEachItem(frame, [&](const ItemView& item) {
        items.push_back(std::string(kItemIndent) + TypeText(item.type) + " " + FieldLabel(item.type) + " (" +
                        std::to_string(item.value.size()) + "): " + ValueBytes(item, showSecrets) +
                        ShownValue(item, showSecrets));
    });
    head += ", " + std::to_string(items.size()) + " items";
    lines.push_back(std::move(head));
    lines.insert(lines.end(), items.begin(), items.end());
    if (!wellFormed) lines.push_back(std::string(kItemIndent) + "(the items end at a malformed one)");
    return lines;
}

Trace::Trace(std::ostream& out, Clock::time_point start, bool showSecrets)
    : out_(out), start_(start), showSecrets_(showSecrets) {}

Trace::~Trace() {
    flush();
}

std::string Trace::stamp(Clock::time_point at) const {
    const double ms = std::chrono::duration<double, std::milli>(at - start_).count();
    char text[32];
    std::snprintf(text, sizeof text, "%12.3f", ms);
    return text;
}

Trace::HeldByte Trace::classify(Direction& direction, std::uint8_t byte,
                                std::vector<std::uint8_t>& completed) {
    HeldByte held{byte, false, 0, 0};
    const bool inFrame = direction.frames.collecting();
    const std::span<const std::uint8_t> frame = direction.frames.accept(byte);
    if (inFrame) {
        held.frame = direction.serial;
        held.offset = direction.offset++;
    } else if (direction.frames.collecting()) {  // this byte began one
        held.frame = ++direction.serial;
        held.offset = 0;
        direction.offset = 1;
    }
    completed.assign(frame.begin(), frame.end());
    return held;
}

// The frame's secret bytes are masked in every line still held, then its items follow.
void Trace::frameDone(const Direction& direction, std::uint32_t serial, Clock::time_point at,
                      std::span<const std::uint8_t> frame) {
    if (!showSecrets_) {
        std::vector<std::uint32_t> secret;
        ForEachItem(frame, [&](const ItemView& item) {
            if (!IsSecret(item.type)) return;
            const auto first = static_cast<std::uint32_t>(item.value.data() - frame.data());
            for (std::uint32_t i = 0; i < item.value.size(); ++i) secret.push_back(first + i);
        });
        for (Line& line : held_) {
            if (line.direction != direction.sign) continue;
            for (HeldByte& b : line.bytes)
                if (b.frame == serial && std::find(secret.begin(), secret.end(), b.offset) != secret.end())
                    b.masked = true;
        }
    }
    for (std::string& text : DescribeFrame(frame, showSecrets_))
        held_.push_back({at, direction.sign, {}, std::move(text)});
}

void Trace::writeLine(const Line& line) {
    out_ << stamp(line.at) << ' ' << line.direction << ' ';
    if (line.bytes.empty()) {
        out_ << line.text << '\n';
        return;
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < line.bytes.size(); ++i) {
        if (i) out_ << ' ';
        const HeldByte& b = line.bytes[i];
        if (b.masked) {
            out_ << "**";
        } else {
            out_ << kDigits[b.value >> 4] << kDigits[b.value & 0x0F];
        }
    }
    out_ << '\n';
}

// Lines go out once no frame is being collected (all: whatever is held, the
// bytes of an unfinished frame masked past its head).
void Trace::release(bool all) {
    if (!all && (sent_.frames.collecting() || received_.frames.collecting())) return;
    for (Line& line : held_) {
        if (all && !showSecrets_) {
            for (const Direction* direction : {&sent_, &received_})
                if (line.direction == direction->sign && direction->frames.collecting())
                    for (HeldByte& b : line.bytes)
                        if (b.frame == direction->serial && b.offset >= kFrameHeaderSize) b.masked = true;
        }
        writeLine(line);
    }
    held_.clear();
}

void Trace::flushReceived() {
    if (pendingReceived_.empty()) return;
    held_.push_back({pendingSince_, '<', std::move(pendingReceived_), {}});
    pendingReceived_.clear();
}

void Trace::sent(std::span<const std::uint8_t> bytes) {
    flushReceived();
    const Clock::time_point now = Clock::now();
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> frames;
    std::vector<std::uint8_t> completed;
    for (std::size_t i = 0; i < bytes.size(); i += kBytesPerLine) {
        Line line{now, '>', {}, {}};
        for (const std::uint8_t b : bytes.subspan(i, std::min(kBytesPerLine, bytes.size() - i))) {
            line.bytes.push_back(classify(sent_, b, completed));
            if (!completed.empty()) frames.emplace_back(sent_.serial, completed);
        }
        held_.push_back(std::move(line));
    }
    // Masked once every line of the send is held: a frame may span several.
    for (const auto& [serial, frame] : frames) frameDone(sent_, serial, now, frame);
    release(false);
}

void Trace::received(std::uint8_t byte) {
    const Clock::time_point now = Clock::now();
    if (!pendingReceived_.empty() &&
        (now - pendingSince_ > kReceiveLineGap || pendingReceived_.size() >= kBytesPerLine))
        flushReceived();
    if (pendingReceived_.empty()) pendingSince_ = now;
    std::vector<std::uint8_t> completed;
    pendingReceived_.push_back(classify(received_, byte, completed));
    if (!completed.empty()) {
        flushReceived();
        frameDone(received_, received_.serial, now, completed);
        release(false);
    }
}

void Trace::note(std::string_view text) {
    flushReceived();
    held_.push_back({Clock::now(), '#', {}, std::string(text)});
    release(false);
}

void Trace::flush() {
    flushReceived();
    release(true);
    out_.flush();
}

}  // namespace quill::cli
