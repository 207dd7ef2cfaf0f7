// quillmere-cli against the simulated DTU on a pseudo-terminal, answering at
// line speed: the commands run in-process through RunCli; the server's own
// record of what it received and stored is what the tests judge.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <thread>

#include "cli/console_host.h"
#include "cli/port_provisioner.h"
#include "cli/run_cli.h"
#include "form/parameter_fields.h"
#include "form/parameter_file.h"
#include "sim/dtu_server.h"
#include "sim/unit_series.h"

namespace quill::cli {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr auto kWait = 60s;  // generous: sanitized builds on a shared machine

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

Outcome RunCommand(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    Outcome run;
    run.code = RunCli(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

// A command on a thread of its own. One still running at the test's deadline
// is interrupted and its test fails, rather than waiting for ever.
class CommandThread {
  public:
    explicit CommandThread(std::vector<std::string> args)
        : thread_([this, args = std::move(args)] { ran_.set_value(RunCommand(args)); }) {}
    ~CommandThread() { finish(); }
    CommandThread(const CommandThread&) = delete;
    CommandThread& operator=(const CommandThread&) = delete;

    // The command's outcome; nullopt when it had to be interrupted.
    std::optional<Outcome> finish() {
        if (!thread_.joinable()) return std::nullopt;
        const bool ended = outcome_.wait_for(kWait) == std::future_status::ready;
        if (!ended) RequestInterrupt();
        thread_.join();
        if (!ended) return std::nullopt;
        return outcome_.get();
    }

  private:
    std::promise<Outcome> ran_;
    std::future<Outcome> outcome_ = ran_.get_future();
    std::thread thread_;  // last: it runs once the promise is there
};

std::string ParameterFile(const std::string& fields) {
    return R"({"format": "quillmere-parameters", "version": 1, "fields": {)" + fields + "}}";
}

// 城西开闭所 in UCS-2, high byte first.
const Bytes kStationBytes{0x57, 0xCE, 0x89, 0x7F, 0x5F, 0x00, 0x95, 0xED, 0x62, 0x40};
const std::string kThreeFields = R"("apn": "CMIOT", "heartbeatInterval": "90", "stationName": "城西开闭所")";

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        port = server.devicePath();
        folder = fs::temp_directory_path() /
                 ("quillmere-cli-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override {
        server.stop();
        fs::remove_all(folder);
    }

    std::string writeFile(const std::string& name, const std::string& content) {
        const fs::path path = folder / name;
        std::ofstream(path) << content;
        return path.string();
    }
    static std::string readFile(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    DtuServer server;
    std::string port;
    fs::path folder;
};

// ---- read ------------------------------------------------------------------------

TEST_F(CliTest, ReadPrintsTheSimulatorsSetAsLabelAndValueLines) {
    const Outcome run = RunCommand({"read", "--port", port});
    ASSERT_EQ(run.code, kExitDone) << run.err;
    std::map<std::string, std::string> shown;
    std::istringstream lines(run.out);
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        const std::size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        shown[line.substr(0, tab)] = line.substr(tab + 1);
    }
    // One line per field the DTU holds; message bodies are told apart by their body.
    EXPECT_EQ(count, 113u);
    EXPECT_EQ(shown.size(), count);
    EXPECT_EQ(shown["DTU编号"], "20240517001");
    EXPECT_EQ(shown["站名"], "城东变电站");
    EXPECT_EQ(shown["主数据中心IP地址"], "203.0.113.10");
    EXPECT_EQ(shown["心跳时间间隔"], "60");
    EXPECT_EQ(shown["选择"], "9600, 8, 1, 无, 无");
    EXPECT_EQ(shown["消息体1 名称"], "1号主变");
    EXPECT_EQ(shown["消息体10 名称"], "水浸");
    EXPECT_EQ(server.counters().readRequests, 1u);
    EXPECT_EQ(server.counters().configureRequests, 0u);
}

TEST_F(CliTest, ReadJsonIsTheSavedFileAndWritingItBackRestoresTheSet) {
    const DtuItems original = server.items();
    const std::string saved = (folder / "unit.json").string();
    const Outcome read = RunCommand({"read", "--port", port, "--json", "--save", saved});
    ASSERT_EQ(read.code, kExitDone) << read.err;
    EXPECT_EQ(read.out, readFile(saved));
    const nlohmann::json file = nlohmann::json::parse(read.out, nullptr, false);
    ASSERT_FALSE(file.is_discarded());
    EXPECT_EQ(file["fields"]["stationName"], "城东变电站");
    EXPECT_EQ(file["fields"]["dtuId"], "20240517001");

    // A unit that differs in every value the file carries; the file makes it
    // the first one again, so a field lost on the way leaves a difference.
    std::size_t filled = 0;
    DtuItems changed = original;
    for (auto& [type, value] : changed) {
        if (value.empty()) continue;  // nothing to save, so nothing to copy
        value.back() ^= 0x01;
        ++filled;
    }
    EXPECT_EQ(filled, 113u);
    EXPECT_EQ(file["fields"].size(), 113u);
    server.setItems(changed);
    const Outcome write = RunCommand({"write", "--port", port, saved});
    ASSERT_EQ(write.code, kExitDone) << write.err;
    EXPECT_EQ(server.items(), original);
}

TEST_F(CliTest, ASaveThatFailsAfterTheReadStillPrintsWhatWasRead) {
    // A folder in the file's place: the folder exists, so the save is tried, and fails.
    const fs::path taken = folder / "taken.json";
    fs::create_directories(taken / "inside");
    const Outcome run = RunCommand({"read", "--port", port, "--save", taken.string()});
    EXPECT_EQ(run.code, kExitUsage) << run.err;
    EXPECT_NE(run.out.find("站名\t城东变电站\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("错误："), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_directory(taken / "inside"));
}

TEST_F(CliTest, TheTraceShowsBothDirectionsAndTheDecodedAnswer) {
    const std::string trace = (folder / "trace.log").string();
    ASSERT_EQ(RunCommand({"read", "--port", port, "--trace", trace}).code, kExitDone);
    const std::string text = readFile(trace);
    EXPECT_NE(text.find(" > 37\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" < 6C"), std::string::npos);
    EXPECT_NE(text.find(" > frame 0x0B 读取请求, 16 bytes"), std::string::npos);
    EXPECT_NE(text.find(" < frame 0x8B 读取应答"), std::string::npos);
    EXPECT_NE(text.find("0x92 站名 (10): 57 CE 4E 1C 53 D8 75 35 7A D9"), std::string::npos);
}

// ---- write ------------------------------------------------------------------------

TEST_F(CliTest, WriteStoresExactlyTheFilesFields) {
    DtuItems expected = server.items();
    expected[0x04] = Bytes{'C', 'M', 'I', 'O', 'T'};
    expected[0x08] = Bytes{0x00, 0x5A};
    expected[0x92] = kStationBytes;
    const Outcome run =
        RunCommand({"write", "--port", port, writeFile("three.json", ParameterFile(kThreeFields))});
    ASSERT_EQ(run.code, kExitDone) << run.err;
    EXPECT_NE(run.out.find("写入成功：3 个参数，回读校验一致"), std::string::npos) << run.out;
    EXPECT_EQ(server.items(), expected);
    // The only read is the one that verifies.
    EXPECT_EQ(server.counters().readRequests, 1u);
    EXPECT_EQ(server.counters().configuresAccepted, 1u);
}

TEST_F(CliTest, WriteWithoutVerifyReadsNothingBack) {
    const Outcome run = RunCommand(
        {"write", "--port", port, "--no-verify", writeFile("three.json", ParameterFile(kThreeFields))});
    ASSERT_EQ(run.code, kExitDone) << run.err;
    EXPECT_EQ(server.counters().readRequests, 0u);
    EXPECT_EQ(server.items().at(0x92), kStationBytes);
}

TEST_F(CliTest, VerificationNamesEveryFieldTheDtuDidNotStore) {
    DtuFaults faults;
    faults.storeNothing = true;
    server.setFaults(faults);
    const DtuItems before = server.items();
    // The interval is the DTU's own already: it cannot differ.
    const Outcome run =
        RunCommand({"write", "--port", port,
                    writeFile("f.json", ParameterFile(kThreeFields + R"(, "reconnectInterval": "30")"))});
    EXPECT_EQ(run.code, kExitFailed) << run.err;
    EXPECT_EQ(run.out,
              "不一致\t接入点名称\t文件：CMIOT\tDTU：CMNET\n"
              "不一致\t心跳时间间隔\t文件：90\tDTU：60\n"
              "不一致\t站名\t文件：城西开闭所\tDTU：城东变电站\n"
              "回读校验失败：3 个参数与文件不一致\n");
    EXPECT_EQ(server.items(), before);
}

TEST_F(CliTest, ARefusedWriteIsExitOneAndNamesWhatWasNotWritten) {
    DtuFaults faults;
    faults.wrongCommand = 0x8D;  // no answer is taken for a success
    server.setFaults(faults);
    const Outcome run =
        RunCommand({"write", "--port", port, writeFile("three.json", ParameterFile(kThreeFields))});
    EXPECT_EQ(run.code, kExitFailed) << run.err;
    EXPECT_EQ(run.out, "DTU拒绝配置\n未写入\t接入点名称\n未写入\t心跳时间间隔\n未写入\t站名\n");
    EXPECT_EQ(server.counters().readRequests, 0u);  // nothing to verify
}

TEST_F(CliTest, AReadBackThatIsNoReadAnswerIsExitOneAndComparesNothing) {
    server.setAnswerDelay(300ms);
    CommandThread command({"write", "--port", port, writeFile("three.json", ParameterFile(kThreeFields))});
    // The write's answer is made as it comes in; only the read-back's answer
    // carries the wrong command.
    const bool writing = server.waitFor([&] { return server.counters().configureRequests >= 1; }, kWait);
    DtuFaults faults;
    faults.wrongCommand = 0x8D;
    server.setFaults(faults);
    const std::optional<Outcome> run = command.finish();
    ASSERT_TRUE(writing);
    ASSERT_TRUE(run) << "the write still waits for its verdict";
    EXPECT_EQ(run->code, kExitFailed) << run->err;
    EXPECT_EQ(run->out, "回读失败：无法核对写入的参数\n");
    EXPECT_EQ(server.counters().readRequests, 1u);
    EXPECT_EQ(server.items().at(0x92), kStationBytes);
}

TEST_F(CliTest, ABadFileSendsNothingAndNamesEveryProblem) {
    const std::string file = writeFile(
        "bad.json", ParameterFile(R"("apn": "CMIOT", "dataChannel": "2", "stationname": "x", "dtuId": "")"));
    const Outcome run = RunCommand({"write", "--port", port, file});
    EXPECT_EQ(run.code, kExitUsage);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("DTU编号: DTU编号不能为空！"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("数据传输通道: 请输入数据传输通道0或者1！"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("stationname: 没有这个参数"), std::string::npos) << run.err;
    // Not even a poll went out.
    EXPECT_EQ(server.receivedTotal(), 0u);
    EXPECT_EQ(RunCommand({"provision", "--port", port, file, "--count", "1"}).code, kExitUsage);
    // A file without fields would be an empty write.
    const Outcome empty = RunCommand({"write", "--port", port, writeFile("empty.json", ParameterFile(""))});
    EXPECT_EQ(empty.code, kExitUsage);
    EXPECT_NE(empty.err.find("fields为空"), std::string::npos) << empty.err;
    EXPECT_EQ(server.receivedTotal(), 0u);
}

TEST_F(CliTest, BadArgumentsAreExitTwoAndHelpShowsAnExample) {
    EXPECT_EQ(RunCommand({"read"}).code, kExitUsage);  // no --port
    EXPECT_EQ(RunCommand({"read", "--port", port, "--timeout", "-1"}).code, kExitUsage);
    EXPECT_EQ(RunCommand({"write", "--port", port}).code, kExitUsage);  // no file
    EXPECT_EQ(RunCommand({"frobnicate"}).code, kExitUsage);
    EXPECT_EQ(RunCommand({"read", "--port", port, "--save", (folder / "none" / "a.json").string()}).code,
              kExitUsage);
    EXPECT_EQ(RunCommand({}).code, kExitUsage);
    for (const char* command : {"read", "write", "provision", "ports"}) {
        const Outcome help = RunCommand({command, "--help"});
        EXPECT_EQ(help.code, kExitDone);
        EXPECT_NE(help.out.find("Example:\n  quillmere-cli " + std::string(command)), std::string::npos)
            << help.out;
    }
    EXPECT_EQ(server.receivedTotal(), 0u);
}

// ---- No DTU, a port that goes away ------------------------------------------------

TEST_F(CliTest, NoDtuWithinTheCommandsOwnTimeoutIsExitThree) {
    DtuFaults faults;
    faults.noAnnouncement = true;
    server.setFaults(faults);
    const Outcome run = RunCommand({"read", "--port", port, "--timeout", "0.5"});
    EXPECT_EQ(run.code, kExitNoDtu);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("0.5 秒内没有DTU应答"), std::string::npos) << run.err;
}

// Bytes that never make an answer do not hold a request open: the session's
// answer deadline, counted from the request, ends it.
TEST_F(CliTest, ReadOnALineThatTalksWithoutEndEndsAtTheAnswerDeadline) {
    server.setTalkAfterRead(true);
    const std::optional<Outcome> run = CommandThread({"read", "--port", port}).finish();
    ASSERT_TRUE(run) << "the read still waits on a line that never goes quiet";
    EXPECT_EQ(run->code, kExitNoDtu) << run->err;
    EXPECT_EQ(run->out, "");
    EXPECT_NE(run->err.find("DTU没有应答读取请求"), std::string::npos) << run->err;
    EXPECT_EQ(server.counters().readRequests, 1u);
    EXPECT_GT(server.floodBytesSent(), 0u);
}

TEST_F(CliTest, AMissingPortIsExitFour) {
    const Outcome run = RunCommand({"read", "--port", (folder / "ttyNONE").string()});
    EXPECT_EQ(run.code, kExitPortLost);
    EXPECT_NE(run.err.find("无法打开串口"), std::string::npos) << run.err;
}

TEST_F(CliTest, APortThatVanishesMidWriteIsExitFourWithNoSuccessShown) {
    // Every answer waits, so the line goes while the write's answer is due.
    server.setAnswerDelay(300ms);
    const std::string file = writeFile("three.json", ParameterFile(kThreeFields));
    Outcome run;
    std::thread command([&] { run = RunCommand({"write", "--port", port, file}); });
    const bool requested = server.waitFor([&] { return server.counters().configureRequests >= 1; }, kWait);
    server.vanish();
    command.join();
    ASSERT_TRUE(requested);
    EXPECT_EQ(run.code, kExitPortLost) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.find("配置参数成功"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("串口已断开"), std::string::npos) << run.err;
}

// The unit's port goes away mid-write: the unit is on record as lost, the
// series waits for the port, and goes on when it is back (here under its
// name, a link that points at the new device).
TEST_F(CliTest, AProvisionedUnitWhosePortVanishesIsLoggedAsLostAndTheSeriesGoesOnWhenItReturns) {
    server.setAnswerDelay(300ms);
    const fs::path link = folder / "ttyDTU";
    fs::create_symlink(port, link);
    const std::string file = writeFile("three.json", ParameterFile(kThreeFields));
    const std::string log = (folder / "fleet.log").string();
    CommandThread command({"provision", "--port", link.string(), file, "--count", "2", "--log", log});
    const bool requested = server.waitFor([&] { return server.counters().configureRequests >= 1; }, kWait);
    server.vanish();
    fs::remove(link);

    DtuServer back;
    ASSERT_TRUE(back.start());
    back.nextUnit();
    fs::create_symlink(back.devicePath(), link);
    const std::optional<Outcome> run = command.finish();
    ASSERT_TRUE(requested);
    ASSERT_TRUE(run.has_value()) << "the series did not go on on the returned port";
    EXPECT_EQ(run->code, kExitFailed) << run->err;  // one unit lost
    EXPECT_NE(run->err.find("串口已断开，等待串口重新接入"), std::string::npos) << run->err;
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(run->out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> columns;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) columns.push_back(cell);
        rows.push_back(columns);
    }
    ASSERT_EQ(rows.size(), 2u) << run->out;
    EXPECT_EQ(std::vector(rows[0].begin(), rows[0].begin() + 3),
              (std::vector<std::string>{"1", "20240517001", "串口已断开"}));
    EXPECT_EQ(std::vector(rows[1].begin(), rows[1].begin() + 3),
              (std::vector<std::string>{"2", "20240517002", "通过"}));
    std::ifstream logFile(log);
    std::vector<std::string> results;
    for (std::string line; std::getline(logFile, line);)
        results.push_back(nlohmann::json::parse(line, nullptr, false).value("result", ""));
    EXPECT_EQ(results, (std::vector<std::string>{"lost", "passed"}));
    EXPECT_EQ(back.counters().configuresAccepted, 1u);
}

// The session's own connect timer, driven by calling its handler, on one
// command's unit that is only waited for.
class DtuLinkTest : public CliTest {
  protected:
    // The unit's steps: none after the wait.
    static ProvisionSettings WaitOnly(std::optional<PortProvisioner::Clock::time_point> deadline) {
        ProvisionSettings settings = SingleUnit(deadline, "40");
        settings.read = false;
        settings.write = false;
        return settings;
    }
    StepResult connect(PortProvisioner& link) {
        PortProvisioner* const ports[] = {&link};
        RunProvisioners(loop, ports);
        return link.result();
    }
    std::ostringstream err;
    Console console{err, false};
    EventLoop loop;
};

TEST_F(DtuLinkTest, TheSessionsConnectTimeoutEndsTheWaitWithNoDtu) {
    DtuFaults faults;
    faults.noAnnouncement = true;
    server.setFaults(faults);
    PortProvisioner link(loop, port, WaitOnly(std::nullopt), console, nullptr, {});
    loop.post([&] { EXPECT_TRUE(loop.fire(link.host().timerOwner(), TIMER_CONNECT_TIMEOUT)); });
    EXPECT_EQ(connect(link), StepResult::NoDtu);
    EXPECT_FALSE(link.host().session().portOpen());
    EXPECT_NE(err.str().find("连接DTU超时"), std::string::npos) << err.str();
}

TEST_F(DtuLinkTest, ALongerLimitOfItsOwnOpensAgainAfterTheSessionGivesUp) {
    DtuFaults faults;
    faults.noAnnouncement = true;
    server.setFaults(faults);
    PortProvisioner link(loop, port, WaitOnly(PortProvisioner::Clock::now() + kWait), console, nullptr, {});
    loop.post([&] {
        EXPECT_TRUE(loop.fire(link.host().timerOwner(), TIMER_CONNECT_TIMEOUT));
        server.setFaults(DtuFaults{});  // the DTU comes up after the session gave up
    });
    EXPECT_EQ(connect(link), StepResult::Done);
    EXPECT_EQ(link.host().session().state(), SessionState::Connected);
}

// A request the session refuses itself (its box says why) ends the unit as the
// table's NotSent row says, in a series as in one command: nothing is written.
TEST_F(DtuLinkTest, ARequestTheSessionRefusesEndsAsTheTableSays) {
    const ParameterField& idField = *FindFieldByType(0x01);
    FormValues emptyId;
    emptyId[idField].ticked = true;  // and empty: the configure rules refuse it
    ProvisionSettings series;
    series.count = 1;
    ProvisionSettings write = SingleUnit(std::nullopt, "40");
    write.read = false;
    for (ProvisionSettings settings : {series, write}) {
        SCOPED_TRACE(settings.single ? "write" : "provision");
        settings.values = emptyId;
        std::vector<UnitRecord> records;
        PortProvisioner unit(loop, port, settings, console, nullptr,
                             [&](const UnitRecord& record) { records.push_back(record); });
        EXPECT_EQ(connect(unit), StepResult::NotSent);
        EXPECT_EQ(unit.code(), kExitUsage);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].result, "not-sent");
        EXPECT_EQ(records[0].shown, "没有发送");
        EXPECT_EQ(server.counters().configureRequests, 0u);
    }
    EXPECT_NE(err.str().find("DTU编号不能为空"), std::string::npos) << err.str();
}

// ---- provision --------------------------------------------------------------------

TEST_F(CliTest, ProvisionHandlesThreeUnitsInARow) {
    const std::string file = writeFile("fleet.json", ParameterFile(kThreeFields));
    const std::string log = (folder / "fleet.log").string();
    Outcome run;
    std::thread command([&] {
        run = RunCommand({"provision", "--port", port, file, "--count", "3", "--log", log});
    });

    // Each unit is read, written and read back; then it goes quiet long
    // enough for the command to see it gone (polls the DTU ignores), and the
    // next one comes on the line. The second stores nothing.
    bool inTime = true;
    for (std::uint64_t unit = 1; unit <= 3 && inTime; ++unit) {
        inTime = server.waitFor(
            [&] {
                const DtuCounters counters = server.counters();
                return counters.configuresAccepted >= unit && counters.readRequests >= 2 * unit &&
                       server.unsentBytes() == 0;
            },
            kWait);
        if (unit == 3 || !inTime) break;
        server.setQuiet(true);
        const std::uint64_t ignored = server.counters().ignoredBytes;
        inTime = server.waitFor([&] { return server.counters().ignoredBytes >= ignored + 8; }, kWait);
        server.nextUnit();
        DtuFaults faults;
        faults.storeNothing = unit + 1 == 2;
        server.setFaults(faults);
        server.setQuiet(false);
    }
    command.join();
    ASSERT_TRUE(inTime);
    EXPECT_EQ(run.code, kExitFailed) << run.err;  // the second unit differs

    std::istringstream lines(run.out);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> columns;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) columns.push_back(cell);
        rows.push_back(columns);
    }
    ASSERT_EQ(rows.size(), 3u) << run.out;
    EXPECT_EQ(rows[0][0], "1");
    EXPECT_EQ(rows[0][1], "20240517001");
    EXPECT_EQ(rows[0][2], "通过");
    EXPECT_EQ(rows[1][1], "20240517002");
    EXPECT_EQ(rows[1][2], "不一致：接入点名称、心跳时间间隔、站名");
    EXPECT_EQ(rows[2][1], "20240517003");
    EXPECT_EQ(rows[2][2], "通过");
    EXPECT_EQ(server.items().at(0x92), kStationBytes);

    std::ifstream logFile(log);
    std::vector<nlohmann::json> entries;
    for (std::string line; std::getline(logFile, line);)
        entries.push_back(nlohmann::json::parse(line, nullptr, false));
    ASSERT_EQ(entries.size(), 3u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i]["unit"], i + 1);
        EXPECT_EQ(entries[i]["dtuId"], "2024051700" + std::to_string(i + 1));
        EXPECT_TRUE(entries[i]["time"].is_string());
    }
    EXPECT_EQ(entries[0]["result"], "passed");
    EXPECT_EQ(entries[1]["result"], "differs");
    EXPECT_EQ(entries[1]["differing"], (nlohmann::json{"接入点名称", "心跳时间间隔", "站名"}));
    EXPECT_EQ(entries[2]["differing"], nlohmann::json::array());
}

TEST_F(CliTest, ProvisionWithoutACountStopsAtAnInterruptBetweenUnits) {
    const std::string file = writeFile("fleet.json", ParameterFile(kThreeFields));
    Outcome run;
    std::thread command([&] { run = RunCommand({"provision", "--port", port, file}); });
    const bool done = server.waitFor(
        [&] { return server.counters().readRequests >= 2 && server.unsentBytes() == 0; }, kWait);
    // The unit stays on the line: the command keeps polling it until told to stop.
    server.waitFor([&] { return server.counters().pollBytes >= 4; }, kWait);
    RequestInterrupt();
    command.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(run.code, kExitDone) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find('\t', 2)), "1\t20240517001");
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    EXPECT_NE(run.err.find("已中断"), std::string::npos) << run.err;
}

// A unit that stops answering mid-write is recorded as such; the port is
// fine, so the series goes on with the next unit.
TEST_F(CliTest, AUnitThatStopsAnsweringIsRecordedAndTheNextUnitFollows) {
    server.setAnswerDelay(300ms);
    const std::string file = writeFile("three.json", ParameterFile(kThreeFields));
    Outcome run;
    std::thread command([&] { run = RunCommand({"provision", "--port", port, file, "--count", "2"}); });
    // The write's answer is dropped and nothing more is answered: the
    // session's answer deadline ends the unit, then its polls go unanswered.
    bool inTime = server.waitFor([&] { return server.counters().configureRequests >= 1; }, kWait);
    server.setQuiet(true);
    inTime = inTime && server.waitFor([&] { return server.counters().ignoredBytes >= 8; }, kWait);
    server.nextUnit();
    server.setAnswerDelay(0ms);
    server.setQuiet(false);
    command.join();
    ASSERT_TRUE(inTime);
    EXPECT_EQ(run.code, kExitFailed) << run.err;
    std::istringstream lines(run.out);
    std::vector<std::string> shown;
    for (std::string line; std::getline(lines, line);) shown.push_back(line.substr(0, line.rfind('\t')));
    EXPECT_EQ(shown, (std::vector<std::string>{"1\t20240517001\tDTU没有应答", "2\t20240517002\t通过"}))
        << run.out << run.err;
    EXPECT_EQ(server.items().at(0x92), kStationBytes);
}

TEST_F(CliTest, AUnitThatTalksWithoutEndIsNoAnswerAndTheNextUnitFollows) {
    server.setTalkAfterRead(true);
    const std::string file = writeFile("three.json", ParameterFile(kThreeFields));
    const std::string log = (folder / "fleet.log").string();
    CommandThread command({"provision", "--port", port, file, "--count", "2", "--log", log});
    // The unit talks from the read of its id on. Once the deadline has ended
    // that read, the wait for the unit to leave polls it; then it is taken
    // off the line and the next one comes.
    bool inTime = server.waitFor([&] { return server.counters().readRequests >= 1; }, kWait);
    const std::uint64_t polls = server.counters().pollBytes;
    inTime = inTime && server.waitFor([&] { return server.counters().pollBytes > polls; }, kWait);
    server.setTalkAfterRead(false);
    server.setQuiet(true);
    const std::uint64_t ignored = server.counters().ignoredBytes;
    inTime = inTime && server.waitFor([&] { return server.counters().ignoredBytes >= ignored + 8; }, kWait);
    server.nextUnit();
    server.setQuiet(false);
    if (!inTime) RequestInterrupt();
    const std::optional<Outcome> run = command.finish();
    ASSERT_TRUE(inTime && run) << "the read of the talking unit never ended";
    EXPECT_EQ(run->code, kExitFailed) << run->err;
    std::istringstream lines(run->out);
    std::vector<std::string> shown;
    for (std::string line; std::getline(lines, line);) shown.push_back(line.substr(0, line.rfind('\t')));
    EXPECT_EQ(shown, (std::vector<std::string>{"1\t-\tDTU没有应答", "2\t20240517002\t通过"})) << run->out;
    std::ifstream logFile(log);
    std::string first;
    ASSERT_TRUE(std::getline(logFile, first));
    EXPECT_EQ(nlohmann::json::parse(first, nullptr, false)["result"], "no-answer");
}

// The simulator's units one after another (quillmere-sim --units): provision
// takes each in turn, as it takes units swapped on one cable.
TEST_F(CliTest, TheSimulatorsUnitsOneAfterAnotherAreEachProvisioned) {
    const std::string file = writeFile("three.json", ParameterFile(kThreeFields));
    std::atomic<bool> ended{false};
    // A rest longer than the poll period: the polls that look for the unit to go do not count.
    std::thread series([&] { ServeUnits(server, 3, {.rest = 1s}, [&] { return ended.load(); }, {}); });
    CommandThread command({"provision", "--port", port, file, "--count", "3"});
    const std::optional<Outcome> run = command.finish();
    ended = true;
    series.join();
    ASSERT_TRUE(run) << "provision waited for a unit that never came";
    EXPECT_EQ(run->code, kExitDone) << run->err;
    std::istringstream lines(run->out);
    std::vector<std::string> shown;
    for (std::string line; std::getline(lines, line);) shown.push_back(line.substr(0, line.rfind('\t')));
    EXPECT_EQ(shown, (std::vector<std::string>{"1\t20240517001\t通过", "2\t20240517002\t通过",
                                               "3\t20240517003\t通过"}));
}

// A unit that did not pass: its line and its record say why, and a unit left
// half-written names in its record the fields it may lack.
TEST_F(CliTest, AUnitThatDidNotPassIsLoggedWithTheFieldsItMayLack) {
    // The domain fills the first frame nearly to its limit: the number goes in a second one.
    const std::string twoFrames = kThreeFields + R"(, "mainCentreDomain": "scada.)" + std::string(230, 'a') +
                                  R"(.example.cn", "smsCentreNumber": "+8613800100500")";
    const auto wrongCommand = [](DtuServer& unit) {
        DtuFaults faults;
        faults.wrongCommand = 0x8D;
        unit.setFaults(faults);
    };
    const struct {
        const char* what;
        std::string fields;
        std::uint64_t configureRequests;  // seen before the fault
        std::function<void(DtuServer&)> fault;
        int code;
        std::string shown;
        std::string result;
        std::vector<std::string> unwritten;
    } cases[] = {
        {"the write refused",
         kThreeFields,
         0,
         wrongCommand,
         kExitFailed,
         "DTU拒绝配置",
         "refused",
         {"接入点名称", "心跳时间间隔", "站名"}},
        {"the port gone during the write",
         kThreeFields,
         1,
         [](DtuServer& unit) { unit.vanish(); },
         kExitPortLost,
         "串口已断开",
         "lost",
         {"接入点名称", "心跳时间间隔", "站名"}},
        {"no answer to the second frame",
         twoFrames,
         2,
         [](DtuServer& unit) { unit.setQuiet(true); },
         kExitFailed,
         "DTU没有应答",
         "no-answer",
         {"短信中心号码"}},
        {"the read-back not a read answer",
         kThreeFields,
         1,
         wrongCommand,
         kExitFailed,
         "回读失败",
         "read-back-failed",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DtuServer unit;
        ASSERT_TRUE(unit.start());
        // Every answer waits, so the fault comes before the answer it is for.
        unit.setAnswerDelay(300ms);
        const std::string file = writeFile("unit.json", ParameterFile(c.fields));
        const std::string log = (folder / (std::string(c.what) + ".log")).string();
        CommandThread command({"provision", "--port", unit.devicePath(), file, "--count", "1", "--log", log});
        const bool reached = unit.waitFor(
            [&] {
                const DtuCounters counters = unit.counters();
                return counters.readRequests >= 1 && counters.configureRequests >= c.configureRequests;
            },
            kWait);
        c.fault(unit);
        const std::optional<Outcome> run = command.finish();
        ASSERT_TRUE(reached);
        ASSERT_TRUE(run) << "the unit never ended";
        EXPECT_EQ(run->code, c.code) << run->err;
        const std::size_t idEnd = run->out.find('\t', run->out.find('\t') + 1);
        EXPECT_EQ(run->out.substr(0, run->out.find('\t', idEnd + 1)), "1\t20240517001\t" + c.shown)
            << run->out;
        std::ifstream logFile(log);
        std::string line;
        ASSERT_TRUE(std::getline(logFile, line));
        const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
        EXPECT_EQ(entry["result"], c.result);
        EXPECT_EQ(entry["unwritten"], nlohmann::json(c.unwritten));
    }
}

// ---- Finding the DTU and several ports at once ---------------------------------

// Lines of out that begin with the port's column, without it.
std::vector<std::string> LinesOf(const std::string& out, const std::string& port) {
    std::vector<std::string> found;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with(port + "\t")) found.push_back(line.substr(port.size() + 1));
    return found;
}

class SeveralPortsTest : public CliTest {
  protected:
    void TearDown() override {
        SetSearchCandidateSource({});
        for (auto& other : others) other->stop();
        CliTest::TearDown();
    }
    std::string addServer(DtuFaults faults = {}) {
        others.push_back(std::make_unique<DtuServer>());
        others.back()->setFaults(faults);
        EXPECT_TRUE(others.back()->start());
        return others.back()->devicePath();
    }
    std::vector<std::unique_ptr<DtuServer>> others;
};

TEST_F(SeveralPortsTest, ReadWithPortAutoReadsTheDtuTheSearchFound) {
    DtuFaults silent;
    silent.noAnnouncement = true;
    const std::vector<std::string> candidates{addServer(silent), port, addServer(silent)};
    SetSearchCandidateSource([&] { return candidates; });
    const Outcome run = RunCommand({"read", "--port", "auto"});
    ASSERT_EQ(run.code, kExitDone) << run.err;
    EXPECT_NE(run.out.find("DTU编号\t20240517001\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("在串口" + port + "上找到DTU"), std::string::npos) << run.err;
    EXPECT_EQ(server.counters().readRequests, 1u);
    for (const auto& other : others) EXPECT_EQ(other->counters().readRequests, 0u);
}

TEST_F(SeveralPortsTest, PortAutoWithNothingToOpenIsExitFour) {
    SetSearchCandidateSource([] { return std::vector<std::string>{"/dev/quillmere-no-such-port"}; });
    const Outcome read = RunCommand({"read", "--port", "auto"});
    EXPECT_EQ(read.code, kExitPortLost) << read.err;
    EXPECT_NE(read.err.find("串口/dev/quillmere-no-such-port不存在，已跳过"), std::string::npos) << read.err;
    SetSearchCandidateSource([] { return std::vector<std::string>{}; });
    const std::string file = writeFile("three.json", ParameterFile(kThreeFields));
    EXPECT_EQ(RunCommand({"provision", "--port", "auto", file}).code, kExitPortLost);
}

// Two units pass, one is refused, one port is pulled out mid-unit: each
// port's line and record say so, and the others are not held up.
TEST_F(SeveralPortsTest, EachPortsUnitIsHandledApartAndNamedByItsPort) {
    const std::string good = addServer();
    const std::string refusing = addServer();
    const std::string pulled = addServer();
    DtuServer& refuser = *others[1];
    DtuServer& puller = *others[2];
    refuser.setAnswerDelay(300ms);
    puller.setAnswerDelay(300ms);
    const std::string file = writeFile("three.json", ParameterFile(kThreeFields));
    const std::string log = (folder / "fleet.log").string();
    Outcome run;
    std::thread command([&] {
        run = RunCommand({"provision", "--port", port, "--port", good, "--port", refusing, "--port", pulled,
                          file, "--count", "1", "--log", log});
    });
    // The id is read as it is; the write that follows is answered with a wrong command.
    const bool read = refuser.waitFor([&] { return refuser.counters().readRequests >= 1; }, kWait);
    DtuFaults refuse;
    refuse.wrongCommand = 0x8D;
    refuser.setFaults(refuse);
    const bool writing = puller.waitFor([&] { return puller.counters().configureRequests >= 1; }, kWait);
    puller.vanish();
    command.join();
    ASSERT_TRUE(read && writing);
    EXPECT_EQ(run.code, kExitFailed) << run.err;

    const struct {
        std::string port;
        std::string result;  // the third column of the unit's line
        std::string logged;
        std::string summary;
    } expected[] = {
        {port, "通过", "passed", port + ": 完成 1 台：通过 1，失败 0\n"},
        {good, "通过", "passed", good + ": 完成 1 台：通过 1，失败 0\n"},
        {refusing, "DTU拒绝配置", "refused", refusing + ": 完成 1 台：通过 0，失败 1\n"},
        {pulled, "串口已断开", "lost", pulled + ": 完成 1 台：通过 0，失败 1；串口已断开\n"},
    };
    std::map<std::string, std::string> logged;
    std::ifstream logFile(log);
    for (std::string line; std::getline(logFile, line);) {
        const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
        logged[entry.value("port", "")] = entry.value("result", "");
    }
    EXPECT_EQ(logged.size(), 4u);
    for (const auto& e : expected) {
        SCOPED_TRACE(e.port);
        const std::vector<std::string> lines = LinesOf(run.out, e.port);
        ASSERT_EQ(lines.size(), 1u) << run.out;
        EXPECT_TRUE(lines[0].starts_with("1\t2024051700")) << lines[0];
        EXPECT_NE(lines[0].find("\t" + e.result + "\t"), std::string::npos) << lines[0];
        EXPECT_EQ(logged[e.port], e.logged);
        EXPECT_NE(run.err.find(e.summary), std::string::npos) << run.err;
    }
    EXPECT_EQ(server.items().at(0x92), kStationBytes);
    EXPECT_EQ(others[0]->items().at(0x92), kStationBytes);
    // Every message line names its port too.
    std::istringstream messages(run.err);
    for (std::string line; std::getline(messages, line);)
        EXPECT_TRUE(line.starts_with("/")) << line;
}

TEST_F(SeveralPortsTest, CtrlCEndsEveryPortAndEachSaysWhatItDid) {
    const std::string second = addServer();
    const std::string file = writeFile("three.json", ParameterFile(kThreeFields));
    Outcome run;
    std::thread command([&] { run = RunCommand({"provision", "--port", port, "--port", second, file}); });
    // Both units done; both ports keep polling until told to stop.
    bool done = true;
    for (DtuServer* unit : {&server, others[0].get()})
        done = done && unit->waitFor(
                           [&] {
                               return unit->counters().readRequests >= 2 && unit->unsentBytes() == 0 &&
                                      unit->counters().pollBytes >= 4;
                           },
                           kWait);
    RequestInterrupt();
    command.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(run.code, kExitDone) << run.err;
    for (const std::string& p : {port, second}) {
        EXPECT_EQ(LinesOf(run.out, p).size(), 1u) << run.out;
        EXPECT_NE(run.err.find(p + ": 完成 1 台：通过 1，失败 0；已中断\n"), std::string::npos) << run.err;
    }
}

TEST_F(SeveralPortsTest, ExitFourOnlyWhenNoPortCouldBeOpened) {
    const std::string file = writeFile("three.json", ParameterFile(kThreeFields));
    const Outcome none =
        RunCommand({"provision", "--port", "/dev/quillmere-none-a", "--port", "/dev/quillmere-none-b", file});
    EXPECT_EQ(none.code, kExitPortLost) << none.err;
    EXPECT_NE(none.err.find("/dev/quillmere-none-b: 无法打开串口\n"), std::string::npos) << none.err;
    // A port named twice is provisioned once.
    const Outcome some = RunCommand(
        {"provision", "--port", "/dev/quillmere-none-a", "--port", port, "--port", port, file, "--count", "1"});
    EXPECT_EQ(some.code, kExitFailed) << some.err;
    EXPECT_EQ(LinesOf(some.out, port).size(), 1u) << some.out;
    EXPECT_EQ(some.err.find(port + ": 无法打开串口"), std::string::npos) << some.err;
}

// The ports of a provisioning share the caller's loop and thread: each
// unit's record is handed on here, and each session keys its timers apart.
TEST_F(SeveralPortsTest, EveryPortIsProvisionedOnTheCallingThread) {
    const std::string second = addServer();
    ParameterFileLoad load = LoadParameterFile(writeFile("three.json", ParameterFile(kThreeFields)));
    ASSERT_TRUE(load.values);
    ProvisionSettings settings;
    settings.values = std::move(*load.values);
    settings.count = 1;
    std::ostringstream err;
    Console console(err, false);
    std::map<std::string, std::string> results;
    std::vector<std::thread::id> threads;
    const auto sink = [&](const UnitRecord& record) {
        results[record.port] = record.result;
        threads.push_back(std::this_thread::get_id());
    };
    EventLoop loop;
    PortProvisioner first(loop, port, settings, console, nullptr, sink);
    PortProvisioner other(loop, second, settings, console, nullptr, sink);
    EXPECT_NE(first.host().timerOwner(), other.host().timerOwner());
    PortProvisioner* const ports[] = {&first, &other};
    RunProvisioners(loop, ports);
    EXPECT_EQ(results, (std::map<std::string, std::string>{{port, "passed"}, {second, "passed"}}))
        << err.str();
    for (const std::thread::id id : threads) EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(first.code(), kExitDone);
    EXPECT_EQ(other.code(), kExitDone);
    EXPECT_EQ(server.items().at(0x92), kStationBytes);
    EXPECT_EQ(others[0]->items().at(0x92), kStationBytes);
}

// ---- The console ---------------------------------------------------------------

TEST(ConsoleTest, AProgressLineIsDrawnOnlyOnATerminalAndAMessageReplacesIt) {
    std::ostringstream terminal;
    Console onTerminal(terminal, true);
    onTerminal.progress("等待DTU应答 3 秒");
    onTerminal.message("连接DTU成功！");
    EXPECT_EQ(terminal.str(), "\r\x1b[K等待DTU应答 3 秒\r\x1b[K连接DTU成功！\n");

    std::ostringstream file;
    Console toFile(file, false);
    toFile.progress("等待DTU应答 3 秒");
    toFile.message("连接DTU成功！");
    toFile.endProgress();
    EXPECT_EQ(file.str(), "连接DTU成功！\n");
}

}  // namespace
}  // namespace quill::cli
