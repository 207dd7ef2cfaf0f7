// The history of writes on disk: records that read back as written, a file
// cut off mid-record, filters, and a file that is its owner's alone.
#include "form/write_history.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>

namespace quill {
namespace {

namespace fs = std::filesystem;

HistoryRecord Record(std::string time, std::string dtuId, std::string verdict) {
    return {std::move(time), "write", "/dev/ttyUSB0", std::move(dtuId),
            {{"DTU编号", "13912345678"}, {"站名", "城东变电站"}, {"超级用户密码", "******"}},
            std::move(verdict), "passed", {}, {"主机用户号码"}};
}

class History : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "quillmere-history-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        path = (folder / "a" / "b" / "history.jsonl").string();
    }
    void TearDown() override { fs::remove_all(folder); }
    fs::path folder;
    std::string path;
};

TEST_F(History, RecordsReadBackAsWrittenInFileOrderAndTheFileIsTheOwnersOnly) {
    const std::vector<HistoryRecord> written{Record("2026-12-09T08:00:00+08:00", "13912345678", "written"),
                                             Record("2026-12-10T09:30:00+08:00", "", "refused")};
    for (const HistoryRecord& record : written) ASSERT_EQ(AppendHistoryLine(path, HistoryLine(record)), "");
    const HistoryRead read = ReadHistory(path);
    EXPECT_EQ(read.error, "");
    EXPECT_EQ(read.skipped, 0u);
    EXPECT_EQ(read.records, written);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(fs::path(path).parent_path()).permissions(), fs::perms::owner_all);
}

// A process killed mid-record leaves a line without its end; a foreign line
// is no record. Every whole record before and after them still reads.
TEST_F(History, ALineCutOffOrForeignIsSkippedAndTheRestReads) {
    const HistoryRecord first = Record("2026-12-09T08:00:00+08:00", "1", "written");
    const HistoryRecord second = Record("2026-12-09T08:01:00+08:00", "2", "written");
    const std::string whole = HistoryLine(second);
    fs::create_directories(fs::path(path).parent_path());
    {
        std::ofstream out(path, std::ios::binary);
        out << HistoryLine(first) << "\n"
            << "{\"time\": 3}\n"
            << "not json\n"
            << "\n"
            << whole << "\n"
            << whole.substr(0, whole.size() / 2);
    }
    const HistoryRead read = ReadHistory(path);
    EXPECT_EQ(read.records, (std::vector{first, second}));
    EXPECT_EQ(read.skipped, 3u);
    // Appending after a cut line starts a whole one of its own.
    ASSERT_EQ(AppendHistoryLine(path, "\n" + HistoryLine(first)), "");
    EXPECT_EQ(ReadHistory(path).records.size(), 3u);
}

TEST_F(History, NoFileYetIsAnEmptyHistory) {
    const HistoryRead read = ReadHistory(path);
    EXPECT_TRUE(read.records.empty());
    EXPECT_EQ(read.error, "");
}

TEST(HistoryFilter, ByUnitAndByDateOrTime) {
    const std::vector<HistoryRecord> records{Record("2026-12-08T23:59:59+08:00", "A", "written"),
                                             Record("2026-12-09T00:00:00+08:00", "B", "written"),
                                             Record("2026-12-10T12:00:00+08:00", "A", "refused")};
    struct Case {
        std::string_view dtu, since;
        std::vector<std::string> times;
    };
    const Case cases[] = {
        {"", "", {"2026-12-08T23:59:59+08:00", "2026-12-09T00:00:00+08:00", "2026-12-10T12:00:00+08:00"}},
        {"A", "", {"2026-12-08T23:59:59+08:00", "2026-12-10T12:00:00+08:00"}},
        {"", "2026-12-09", {"2026-12-09T00:00:00+08:00", "2026-12-10T12:00:00+08:00"}},
        {"A", "2026-12-09", {"2026-12-10T12:00:00+08:00"}},
        {"", "2026-12-10T12:00:01", {}},
        {"C", "", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> times;
        for (const HistoryRecord& r : FilterHistory(records, c.dtu, c.since)) times.push_back(r.time);
        EXPECT_EQ(times, c.times) << c.dtu << " " << c.since;
    }
}

TEST(HistoryTime, IsLocalTimeWithItsZone) {
    EXPECT_TRUE(std::regex_match(LocalTimeWithZone(),
                                 std::regex(R"([0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2})")))
        << LocalTimeWithZone();
}

TEST(HistoryPath, FollowsTheDataFolderOfTheUser) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string keep = saved ? saved : "";
    ::setenv("XDG_DATA_HOME", "/data/x", 1);
    EXPECT_EQ(DefaultHistoryPath(), "/data/x/quillmere/history.jsonl");
    ::unsetenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        EXPECT_EQ(DefaultHistoryPath(), std::string(home) + "/.local/share/quillmere/history.jsonl");
    }
    if (saved) ::setenv("XDG_DATA_HOME", keep.c_str(), 1);
}

}  // namespace
}  // namespace quill
