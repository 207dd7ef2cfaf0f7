#include "cli/trace.h"

#include <cstdio>

#include "form/parameter_fields.h"
#include "form/window_layout.h"
#include "protocol/frame.h"
#include "protocol/item_table.h"
#include "protocol/read_answer.h"
#include "protocol/text_codec.h"

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

// The entry a list shows for an index; an index beyond the list selects none.
std::string ListEntry(int listId, int index) {
    const ControlDef* list = FindControl(listId);
    if (list == nullptr || index < 0 || static_cast<std::size_t>(index) >= list->items.size())
        return "(no entry " + std::to_string(index) + ")";
    return std::string(list->items[static_cast<std::size_t>(index)]);
}

// " = " and the item's value as the form shows it (texts quoted, so that an
// empty or blank-ended one stays visible), then what does not fit the item's
// format; empty for an item the form does not show.
std::string ShownValue(const ItemView& item) {
    const std::optional<ItemUpdate> read = ReadItem(item);
    const ItemDef* def = FindItem(item.type);
    if (!read || def == nullptr) return {};
    const bool quoted = def->readKind == ReadKind::Text || def->readKind == ReadKind::LongText ||
                        def->readKind == ReadKind::Ucs2Text;
    std::string shown;
    for (const ControlUpdate& update : read->updates) {
        if (!shown.empty()) shown += ", ";
        if (update.selectIndex)
            shown += ListEntry(update.controlId, update.index);
        else if (quoted)
            shown += '"' + GbkToUtf8(update.text) + '"';
        else
            shown += GbkToUtf8(update.text);
    }
    // The heartbeat's hex text ends with a blank after its last pair.
    while (def->readKind == ReadKind::Hex && !shown.empty() && shown.back() == ' ') shown.pop_back();
    const std::size_t width = FixedWidth(def->format);
    if (width != 0 && item.value.size() != width)
        shown += " (" + std::to_string(width) + (width == 1 ? " byte" : " bytes") + " expected)";
    else if (def->format == ValueFormat::DeviceText && item.value.size() % 2 != 0)
        shown += " (odd length: the last byte is not shown)";
    return " = " + shown;
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

std::vector<std::string> DescribeFrame(std::span<const std::uint8_t> frame) {
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
                        std::to_string(item.value.size()) + "): " + HexBytes(item.value) + ShownValue(item));
    });
    head += ", " + std::to_string(items.size()) + " items";
    lines.push_back(std::move(head));
    lines.insert(lines.end(), items.begin(), items.end());
    if (!wellFormed) lines.push_back(std::string(kItemIndent) + "(the items end at a malformed one)");
    return lines;
}

Trace::Trace(std::ostream& out, Clock::time_point start) : out_(out), start_(start) {}

Trace::~Trace() {
    flush();
}

std::string Trace::stamp(Clock::time_point at) const {
    const double ms = std::chrono::duration<double, std::milli>(at - start_).count();
    char text[32];
    std::snprintf(text, sizeof text, "%12.3f", ms);
    return text;
}

void Trace::writeFrame(char direction, Clock::time_point at, std::span<const std::uint8_t> frame) {
    const std::string time = stamp(at);
    for (const std::string& line : DescribeFrame(frame))
        out_ << time << ' ' << direction << ' ' << line << '\n';
}

void Trace::flushReceived() {
    if (pendingReceived_.empty()) return;
    out_ << stamp(pendingSince_) << " < " << HexBytes(pendingReceived_) << '\n';
    pendingReceived_.clear();
}

void Trace::sent(std::span<const std::uint8_t> bytes) {
    flushReceived();
    const Clock::time_point now = Clock::now();
    for (std::size_t i = 0; i < bytes.size(); i += kBytesPerLine)
        out_ << stamp(now) << " > " << HexBytes(bytes.subspan(i, std::min(kBytesPerLine, bytes.size() - i)))
             << '\n';
    for (const std::uint8_t b : bytes)
        if (const auto frame = sentFrames_.accept(b); !frame.empty()) writeFrame('>', now, frame);
}

void Trace::received(std::uint8_t byte) {
    const Clock::time_point now = Clock::now();
    if (!pendingReceived_.empty() &&
        (now - pendingSince_ > kReceiveLineGap || pendingReceived_.size() >= kBytesPerLine))
        flushReceived();
    if (pendingReceived_.empty()) pendingSince_ = now;
    pendingReceived_.push_back(byte);
    if (const auto frame = receivedFrames_.accept(byte); !frame.empty()) {
        flushReceived();
        writeFrame('<', now, frame);
    }
}

void Trace::note(std::string_view text) {
    flushReceived();
    out_ << stamp(Clock::now()) << " # " << text << '\n';
}

void Trace::flush() {
    flushReceived();
    out_.flush();
}

}  // namespace quill::cli
