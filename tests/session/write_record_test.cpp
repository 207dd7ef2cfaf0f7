// What the record of writes holds for a session's report of a write, and how
// a history that cannot be written is said once.
#include "session/write_record.h"

#include <gtest/gtest.h>

namespace quill::test {
namespace {

// One frame: the DTU id "139", the super user password "123456" and the connection mode 1 (a list).
const ConfigureFrame kFrame{{0x7B, 0x0C, 0x00, 0x20, 0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0x01,
                             0x05, '1',  '3',  '9',  0x95, 0x08, '1', '2', '3', '4', '5', '6', 0x19, 0x03, 0x01, 0x7B},
                            {0x01, 0x95, 0x19}};

TEST(WriteRecord, HoldsEveryFieldWrittenWithItsValueAndThePasswordMaskedUnlessAsked) {
    const std::vector<ConfigureFrame> frames{kFrame};
    const std::vector<std::uint8_t> unwritten{0x96};
    const std::vector<std::uint8_t> differing{0x19};
    WriteReport report;
    report.frames = frames;
    report.verdict = WriteVerdict::Written;
    report.readBack = ReadBack::Differs;
    report.unwritten = unwritten;
    report.differing = differing;
    report.dtuId = "139";

    const HistoryRecord hidden = WriteRecordOf(report, "write", "/dev/ttyUSB0");
    EXPECT_EQ(hidden.frontEnd, "write");
    EXPECT_EQ(hidden.port, "/dev/ttyUSB0");
    EXPECT_EQ(hidden.dtuId, "139");
    EXPECT_EQ(hidden.fields,
              (std::vector<HistoryField>{{"DTU编号", "139"}, {"超级用户密码", "******"}, {"连接方式", "TCP方式"}}));
    EXPECT_EQ(hidden.verdict, "written");
    EXPECT_EQ(hidden.verification, "differs");
    EXPECT_EQ(hidden.differing, std::vector<std::string>{"连接方式"});
    EXPECT_EQ(hidden.unwritten, std::vector<std::string>{"主机用户号码"});
    EXPECT_EQ(HistoryLine(hidden).find("123456"), std::string::npos);

    EXPECT_EQ(WriteRecordOf(report, "write", "/dev/ttyUSB0", true).fields[1].value, "123456");
}

TEST(WriteRecord, EachVerdictAndReadBackHasItsWord) {
    struct Case {
        WriteVerdict verdict;
        ReadBack readBack;
        const char* word;
        const char* verification;
    };
    for (const Case& c : {Case{WriteVerdict::Refused, ReadBack::None, "refused", "none"},
                          Case{WriteVerdict::NoAnswer, ReadBack::None, "no-answer", "none"},
                          Case{WriteVerdict::CutOff, ReadBack::None, "cut-off", "none"},
                          Case{WriteVerdict::Written, ReadBack::Passed, "written", "passed"},
                          Case{WriteVerdict::Written, ReadBack::NotRead, "written", "read-back failed"},
                          Case{WriteVerdict::Written, ReadBack::NoAnswer, "written", "no-answer"}}) {
        WriteReport report;
        report.verdict = c.verdict;
        report.readBack = c.readBack;
        const HistoryRecord record = WriteRecordOf(report, "window", "com1");
        EXPECT_EQ(record.verdict, c.word);
        EXPECT_EQ(record.verification, c.verification);
    }
}

TEST(WriteRecord, AHistoryThatCannotBeWrittenIsSaidOnceAndTheToolGoesOn) {
    WriteHistory history("/dev/null/quillmere/history.jsonl");  // a file where a folder must be
    const HistoryRecord record = WriteRecordOf(WriteReport{}, "window", "com1");
    const std::optional<std::string> first = history.append(record);
    ASSERT_TRUE(first.has_value());
    EXPECT_NE(first->find("/dev/null/quillmere/history.jsonl"), std::string::npos);
    EXPECT_FALSE(history.append(record).has_value());
    EXPECT_FALSE(WriteHistory("").append(record).has_value());  // no data folder: no history
}

}  // namespace
}  // namespace quill::test
