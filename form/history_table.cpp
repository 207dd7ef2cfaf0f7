#include "form/history_table.h"

#include <algorithm>
#include <string_view>

namespace quill {
namespace {

struct Word {
    std::string_view recorded;
    std::string_view shown;
};

// The words the record keeps (form/write_history.h) and what the table says.
constexpr Word kFrontEnds[] = {{"window", "窗口"}, {"write", "命令行"}, {"provision", "批量配置"}};
constexpr Word kVerdicts[] = {
    {"written", "写入成功"}, {"refused", "被拒绝"}, {"no-answer", "无应答"}, {"cut-off", "中断"}};
constexpr Word kVerifications[] = {{"none", "未回读"},
                                   {"passed", "一致"},
                                   {"differs", "不一致"},
                                   {"read-back failed", "回读失败"},
                                   {"no-answer", "回读无应答"}};

// A word this version does not know (a newer tool wrote it) is shown as recorded.
template <std::size_t N>
std::string Shown(const Word (&words)[N], const std::string& recorded) {
    const auto it = std::find_if(std::begin(words), std::end(words),
                                 [&](const Word& word) { return word.recorded == recorded; });
    return std::string(it != std::end(words) ? it->shown : recorded);
}

std::string Count(std::size_t n) {
    return std::to_string(n) + "项";
}

// A cell shows a few labels; the table is for finding a write, not for reading it whole.
constexpr std::size_t kLabelsShown = 3;

std::string Labels(const std::vector<HistoryField>& fields) {
    std::string text = Count(fields.size());
    for (std::size_t i = 0; i < fields.size() && i < kLabelsShown; ++i) {
        text += i == 0 ? "：" : "、";
        text += fields[i].label;
    }
    if (fields.size() > kLabelsShown) text += "等";
    return text;
}

}  // namespace

HistoryRow HistoryRowOf(const HistoryRecord& record) {
    std::string time = record.time;
    std::replace(time.begin(), time.end(), 'T', ' ');
    std::string result = Shown(kVerdicts, record.verdict);
    if (!record.unwritten.empty()) result += "（" + Count(record.unwritten.size()) + "未写入）";
    std::string verification = Shown(kVerifications, record.verification);
    if (record.verification == "differs" && !record.differing.empty())
        verification = Count(record.differing.size()) + verification;
    return {time,
            Shown(kFrontEnds, record.frontEnd),
            record.port,
            record.dtuId,
            result,
            verification,
            Labels(record.fields)};
}

HistoryTable HistoryTableOf(const HistoryRead& read) {
    HistoryTable table;
    table.rows.reserve(read.records.size());
    for (auto it = read.records.rbegin(); it != read.records.rend(); ++it)
        table.rows.push_back(HistoryRowOf(*it));
    if (!read.error.empty())
        table.note = read.error;
    else if (table.rows.empty())
        table.note = std::string(kNoHistoryText);
    else if (read.skipped > 0)
        table.note = std::to_string(read.skipped) + "行不是完整的记录，未列出";
    return table;
}

}  // namespace quill
