// The history dialog's rows: each record's cells in the operator's words,
// newest first, and the note below the table.
#include "form/history_table.h"

#include <gtest/gtest.h>

namespace quill {
namespace {

HistoryRecord Record(std::string time, std::string frontEnd, std::string verdict, std::string verification,
                     std::vector<std::string> labels) {
    HistoryRecord record{std::move(time),
                         std::move(frontEnd),
                         "COM3",
                         "13912345678",
                         {},
                         std::move(verdict),
                         std::move(verification),
                         {},
                         {}};
    for (std::string& label : labels) record.fields.push_back({std::move(label), "x"});
    return record;
}

struct RowCase {
    const char* name;
    HistoryRecord record;
    HistoryRow row;
};

class HistoryRowTest : public ::testing::TestWithParam<RowCase> {};

TEST_P(HistoryRowTest, CellsSayWhatTheRecordHolds) {
    EXPECT_EQ(HistoryRowOf(GetParam().record), GetParam().row);
}

HistoryRecord Differing() {
    HistoryRecord record = Record("2026-12-10T09:30:00+08:00", "write", "written", "differs",
                                  {"DTU编号", "站名", "短信中心号码", "主机用户号码", "数据通道"});
    record.differing = {"站名", "数据通道"};
    record.unwritten = {"主机用户号码"};
    record.dtuId.clear();
    return record;
}

INSTANTIATE_TEST_SUITE_P(
    Records, HistoryRowTest,
    ::testing::Values(RowCase{"WrittenFromTheWindow",
                              Record("2026-12-09T08:00:00+08:00", "window", "written", "passed", {"站名"}),
                              {"2026-12-09 08:00:00+08:00", "窗口", "COM3", "13912345678", "写入成功", "一致",
                               "1项：站名"}},
                      // Five fields: their count and the first three; two differ, one was not taken.
                      RowCase{"DiffersWithFieldsNotTaken",
                              Differing(),
                              {"2026-12-10 09:30:00+08:00", "命令行", "COM3", "", "写入成功（1项未写入）",
                               "2项不一致", "5项：DTU编号、站名、短信中心号码等"}},
                      RowCase{"RefusedWithoutReadBack",
                              Record("2026-12-11T10:00:00Z", "provision", "refused", "none",
                                     {"站名", "数据通道", "DTU编号"}),
                              {"2026-12-11 10:00:00Z", "批量配置", "COM3", "13912345678", "被拒绝", "未回读",
                               "3项：站名、数据通道、DTU编号"}},
                      RowCase{"NoAnswerToTheReadBack",
                              Record("t", "window", "no-answer", "no-answer", {}),
                              {"t", "窗口", "COM3", "13912345678", "无应答", "回读无应答", "0项"}},
                      RowCase{"CutOffAndTheReadBackFailed",
                              Record("t", "window", "cut-off", "read-back failed", {}),
                              {"t", "窗口", "COM3", "13912345678", "中断", "回读失败", "0项"}},
                      // Words a newer tool may write stand as recorded.
                      RowCase{"UnknownWordsAsRecorded",
                              Record("t", "batch", "queued", "later", {}),
                              {"t", "batch", "COM3", "13912345678", "queued", "later", "0项"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct TableCase {
    const char* name;
    HistoryRead read;
    std::vector<std::string> times;  // of the rows, in order
    std::string note;
};

class HistoryTableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(HistoryTableTest, RowsNewestFirstAndTheNote) {
    const HistoryTable table = HistoryTableOf(GetParam().read);
    std::vector<std::string> times;
    for (const HistoryRow& row : table.rows) times.push_back(row[0]);
    EXPECT_EQ(times, GetParam().times);
    EXPECT_EQ(table.note, GetParam().note);
}

HistoryRead Three(std::size_t skipped) {
    return {{Record("2026-01-01T08:00:00Z", "window", "written", "none", {}),
             Record("2026-01-02T08:00:00Z", "window", "written", "none", {}),
             Record("2026-01-03T08:00:00Z", "window", "written", "none", {})},
            skipped,
            ""};
}

INSTANTIATE_TEST_SUITE_P(
    Files, HistoryTableTest,
    ::testing::Values(TableCase{"NewestFirst",
                                Three(0),
                                {"2026-01-03 08:00:00Z", "2026-01-02 08:00:00Z", "2026-01-01 08:00:00Z"},
                                ""},
                      TableCase{"LinesThatAreNoRecordAreCounted",
                                Three(2),
                                {"2026-01-03 08:00:00Z", "2026-01-02 08:00:00Z", "2026-01-01 08:00:00Z"},
                                "2行不是完整的记录，未列出"},
                      TableCase{"NothingWritten", HistoryRead{}, {}, "没有写入记录"},
                      TableCase{"OnlyBrokenLines", HistoryRead{{}, 1, ""}, {}, "没有写入记录"},
                      TableCase{"UnreadableFile",
                                HistoryRead{{}, 0, "无法读取 history.jsonl"},
                                {},
                                "无法读取 history.jsonl"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quill
