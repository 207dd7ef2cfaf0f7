// What the command line keeps and shows of a unit: check against a file, the
// history of writes, and the unit's passwords kept out of traces, logs and
// records, each against the simulated DTU on a pseudo-terminal at line speed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/run_cli.h"
#include "sim/dtu_server.h"

namespace quill::cli {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

CliRun Cli(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    CliRun run;
    run.code = RunCli(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

std::string Content(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int Count(const std::string& text, std::string_view what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

constexpr fs::perms kOwnerOnly = fs::perms::owner_read | fs::perms::owner_write;

// The unit's own set saved as a file, a folder and a history of the test's own.
class Records : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        folder = fs::temp_directory_path() /
                 ("quillmere-records-" +
                  std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        ::setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
        unitFile = (folder / "unit.json").string();
        ASSERT_EQ(Cli({"read", "--port", server.devicePath(), "--save", unitFile}).code, kExitDone);
    }
    void TearDown() override {
        server.stop();
        fs::remove_all(folder);
    }
    // The unit's file with some fields changed.
    std::string changed(const std::string& name, const std::map<std::string, std::string>& fields) {
        nlohmann::json file = nlohmann::json::parse(Content(unitFile));
        file["fields"].erase("dtuId");  // each unit keeps its own
        for (const auto& [key, value] : fields) file["fields"][key] = value;
        const fs::path path = folder / name;
        std::ofstream(path) << file.dump(2);
        return path.string();
    }
    std::vector<nlohmann::json> history(std::vector<std::string> filter = {}) {
        filter.insert(filter.begin(), {"history", "--json"});
        const CliRun run = Cli(filter);
        EXPECT_EQ(run.code, kExitDone) << run.err;
        std::vector<nlohmann::json> records;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) records.push_back(nlohmann::json::parse(line));
        return records;
    }

    DtuServer server;
    fs::path folder;
    std::string unitFile;
};

TEST_F(Records, CheckTellsWhetherTheUnitHoldsTheFile) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> changes;
        bool silent;  // the DTU does not announce itself
        int code;
        std::vector<std::string> differing;  // lines, in field order
    };
    const Case cases[] = {
        {"holds", {}, false, kExitDone, {}},
        {"two differ",
         {{"apn", "OTHERAPN"}, {"superUserPassword", "999999"}},
         false,
         kExitFailed,
         {"不一致\t接入点名称\tDTU：CMNET\t文件：OTHERAPN",
          "不一致\t超级用户密码\tDTU：******\t文件：******"}},
        {"refuses to answer", {}, true, kExitNoDtu, {}},
    };
    for (const Case& c : cases) {
        DtuFaults faults;
        faults.noAnnouncement = c.silent;
        server.setFaults(faults);
        const std::string file = changed(std::string(c.name) + ".json", c.changes);
        const CliRun run = Cli({"check", "--port", server.devicePath(), file, "--timeout", "1"});
        EXPECT_EQ(run.code, c.code) << c.name << "\n" << run.err;
        std::vector<std::string> lines;
        std::istringstream out(run.out);
        for (std::string line; std::getline(out, line);)
            if (line.rfind("不一致\t", 0) == 0) lines.push_back(line);
        EXPECT_EQ(lines, c.differing) << c.name;
        if (c.code == kExitDone) {
            EXPECT_NE(run.out.find("核对一致：112 个参数与文件相同"), std::string::npos) << run.out;
        }
        if (c.code == kExitFailed) {
            const CliRun json =
                Cli({"check", "--port", server.devicePath(), file, "--json", "--show-secrets"});
            const nlohmann::json result = nlohmann::json::parse(json.out);
            EXPECT_FALSE(result["matches"].get<bool>());
            EXPECT_EQ(result["differing"][1],
                      (nlohmann::json{{"field", "超级用户密码"}, {"unit", "123456"}, {"file", "999999"}}));
        }
    }
    EXPECT_TRUE(history().empty());  // a check writes nothing
}

TEST_F(Records, EveryWriteIsInTheHistoryWithItsUnitAndVerdict) {
    DtuServer second;
    ASSERT_TRUE(second.start());
    second.nextUnit();
    const std::string file = changed("fleet.json", {{"apn", "CMIOT"}});
    ASSERT_EQ(Cli({"write", "--port", server.devicePath(), file}).code, kExitDone);
    const CliRun provision = Cli(
        {"provision", "--port", server.devicePath(), "--port", second.devicePath(), file, "--count", "1"});
    ASSERT_EQ(provision.code, kExitDone) << provision.err;
    second.stop();

    const std::vector<nlohmann::json> all = history();
    ASSERT_EQ(all.size(), 3u);
    std::multiset<std::string> seen;
    for (const nlohmann::json& record : all) {
        seen.insert(record["frontEnd"].get<std::string>() + " " + record["dtuId"].get<std::string>());
        EXPECT_EQ(record["verdict"], "written");
        EXPECT_EQ(record["verification"], "passed");
        EXPECT_EQ(record["fields"].size(), 112u);
    }
    EXPECT_EQ(seen, (std::multiset<std::string>{"write 20240517001", "provision 20240517001",
                                                "provision 20240517002"}));
    EXPECT_EQ(history({"--dtu", "20240517002"}).size(), 1u);
    EXPECT_EQ(history({"--since", "2000-01-01"}).size(), 3u);
    EXPECT_TRUE(history({"--since", "2999-01-01"}).empty());
    const CliRun csv = Cli({"history", "--csv"});
    EXPECT_EQ(Count(csv.out, "\n"), 4) << csv.out;  // the header and three records
    EXPECT_EQ(Cli({"history", "--since", "yesterday"}).code, kExitUsage);
    EXPECT_EQ(fs::status(folder / "data" / "quillmere" / "history.jsonl").permissions(), kOwnerOnly);
}

// A trace and a provision log of a read and a write hold none of the
// passwords; with --show-secrets the trace does. Every file is its owner's only.
TEST_F(Records, PasswordsStayOutOfTracesLogsAndTheHistoryUnlessAsked) {
    for (const bool show : {false, true}) {
        // Written by the first round, read by the second.
        const std::string password = show ? "246802" : "135790";
        const std::string file =
            changed(show ? "shown.json" : "hidden.json", {{"superUserPassword", password}});
        const fs::path readTrace = folder / (show ? "r1.trace" : "r0.trace");
        const fs::path trace = folder / (show ? "p1.trace" : "p0.trace");
        const fs::path log = folder / (show ? "p1.log" : "p0.log");
        std::vector<std::string> read{"read", "--port", server.devicePath(), "--trace", readTrace.string()};
        std::vector<std::string> provision{"provision", "--port",    server.devicePath(), file,
                                           "--count",   "1",         "--trace",           trace.string(),
                                           "--log",     log.string()};
        if (show) {
            read.push_back("--show-secrets");
            provision.push_back("--show-secrets");
        }
        ASSERT_EQ(Cli(read).code, kExitDone);
        const CliRun run = Cli(provision);
        ASSERT_EQ(run.code, kExitDone) << run.err;
        const std::string readText = Content(readTrace);
        const std::string writeText = Content(trace);
        for (const std::string* text : {&readText, &writeText}) {
            // The host user's password, as every read shows it; the five masked otherwise.
            EXPECT_EQ(text->find("= \"654321\"") != std::string::npos, show);
            EXPECT_EQ(Count(*text, "= \"******\"") >= 5, !show);
        }
        EXPECT_EQ(writeText.find("= \"" + password + "\"") != std::string::npos, show);
        EXPECT_EQ(readText.find("= \"135790\"") != std::string::npos, show) << "written by the round before";
        if (!show) {
            for (const std::string bytes : {"31 33 35 37 39 30", "36 35 34 33 32 31"}) {
                EXPECT_EQ(readText.find(bytes), std::string::npos) << bytes;
                EXPECT_EQ(writeText.find(bytes), std::string::npos) << bytes;
            }
        }
        for (const fs::path& path : {readTrace, trace, log})
            EXPECT_EQ(fs::status(path).permissions(), kOwnerOnly) << path;
        EXPECT_EQ(Content(log).find(password), std::string::npos);
    }
    const std::string kept = Content(folder / "data" / "quillmere" / "history.jsonl");
    EXPECT_EQ(kept.find("135790"), std::string::npos);
    EXPECT_NE(kept.find("246802"), std::string::npos) << "kept for the write made with --show-secrets";
}

}  // namespace
}  // namespace quill::cli
