#include "session/write_record.h"

#include "form/item_text.h"
#include "form/parameter_fields.h"
#include "protocol/item_table.h"

namespace quill {
namespace {

std::string_view VerdictWord(WriteVerdict verdict) {
    switch (verdict) {
        case WriteVerdict::Written:
            return "written";
        case WriteVerdict::Refused:
            return "refused";
        case WriteVerdict::NoAnswer:
            return "no-answer";
        case WriteVerdict::CutOff:
            return "cut-off";
    }
    return "?";
}

std::string_view ReadBackWord(ReadBack readBack) {
    switch (readBack) {
        case ReadBack::None:
            return "none";
        case ReadBack::Passed:
            return "passed";
        case ReadBack::Differs:
            return "differs";
        case ReadBack::NotRead:
            return "read-back failed";
        case ReadBack::NoAnswer:
            return "no-answer";
    }
    return "?";
}

std::vector<std::string> Labels(std::span<const std::uint8_t> types) {
    std::vector<std::string> labels;
    for (const std::uint8_t type : types) labels.push_back(FieldLabel(type));
    return labels;
}

}  // namespace

HistoryRecord WriteRecordOf(const WriteReport& report, std::string_view frontEnd, std::string_view port,
                            bool showSecrets) {
    HistoryRecord record;
    record.time = LocalTimeWithZone();
    record.frontEnd = frontEnd;
    record.port = port;
    record.dtuId = report.dtuId;
    for (const ConfigureFrame& frame : report.frames)
        ForEachItem(std::span<const std::uint8_t>(frame.bytes), [&](const ItemView& item) {
            const bool hidden = !showSecrets && IsSecret(item.type);
            record.fields.push_back({FieldLabel(item.type), hidden ? "******" : ItemValueText(item, false)});
        });
    record.verdict = VerdictWord(report.verdict);
    record.verification = ReadBackWord(report.readBack);
    record.differing = Labels(report.differing);
    record.unwritten = Labels(report.unwritten);
    return record;
}

std::optional<std::string> WriteHistory::append(const HistoryRecord& record) {
    if (path_.empty()) return std::nullopt;  // no data folder: no history, nothing to say
    const std::string reason = AppendHistoryLine(path_, HistoryLine(record));
    if (reason.empty() || told_) return std::nullopt;
    told_ = true;
    return "无法写入历史记录文件 " + path_ + "：" + reason;
}

std::optional<std::string> WriteHistory::record(const WriteReport& report, std::string_view frontEnd,
                                                std::string_view port, bool showSecrets) {
    std::optional<std::string> failed = append(WriteRecordOf(report, frontEnd, port, showSecrets));
    if (failed) *failed = "<-" + *failed + "\n\r\n\r";
    return failed;
}

}  // namespace quill
