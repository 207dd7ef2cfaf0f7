// The search for the DTU alone, against a recording host: which ports are
// opened, polled and closed, what the information area says, how it ends.
// No port, no waiting: the test ticks the timers by hand.
#include "session/port_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "session/session_controller.h"
#include "tests/session/recording_host.h"

namespace quill::test {
namespace {

// The search's line and owner; timers and reports land in the recording host.
class SearchHost : public RecordingHost, public SearchOwner {
  public:
    std::vector<CandidateOpen> opens;  // what opening candidate i gives
    std::vector<std::size_t> gone;     // candidates that vanish as they are taken

    std::vector<std::pair<std::size_t, std::uint8_t>> polls;
    std::vector<std::size_t> closed;
    std::vector<SearchEnd> ends;

    CandidateOpen openCandidate(std::size_t index) override { return opens.at(index); }
    void sendToCandidate(std::size_t index, std::uint8_t byte) override { polls.emplace_back(index, byte); }
    void closeCandidate(std::size_t index) override { closed.push_back(index); }
    bool takeCandidate(std::size_t index) override {
        return std::find(gone.begin(), gone.end(), index) == gone.end();
    }
    void searchEnded(SearchEnd end) override { ends.push_back(end); }
};

enum class Do { Poll, TimeOut, Byte, Lost, Cancel };
struct Step {
    Do what;
    std::size_t index = 0;
    std::uint8_t byte = 0;
};
constexpr Step kPoll{Do::Poll};
Step Rx(std::size_t index, std::uint8_t byte) { return {Do::Byte, index, byte}; }
Step Lost(std::size_t index) { return {Do::Lost, index}; }

using Sent = std::vector<std::pair<std::size_t, std::uint8_t>>;
using Indexes = std::vector<std::size_t>;
using Texts = std::vector<std::string>;
using Ends = std::vector<SearchEnd>;

struct SearchCase {
    const char* name;
    std::vector<CandidateOpen> opens;
    std::vector<Step> steps;
    Sent sent;
    Indexes closed;
    Texts info;
    Ends ends;                          // empty: still running
    std::optional<std::size_t> found;
    Indexes gone = {};                  // vanish as they are taken
};

constexpr auto O = CandidateOpen::Opened;
const std::vector<std::string> kNames{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB3"};

class PortSearchTest : public ::testing::TestWithParam<SearchCase> {};

TEST_P(PortSearchTest, OpensPollsAndClosesAsTheEventsSay) {
    const SearchCase& c = GetParam();
    SearchHost host;
    host.opens = c.opens;
    host.gone = c.gone;
    PortSearch search(host, host, host);
    search.start(std::vector<std::string>(kNames.begin(), kNames.begin() + static_cast<long>(c.opens.size())));
    for (const Step& step : c.steps) {
        switch (step.what) {
            case Do::Poll:
                search.OnTimerTick(TIMER_DTU_POLL);
                break;
            case Do::TimeOut:
                search.OnTimerTick(TIMER_CONNECT_TIMEOUT);
                break;
            case Do::Byte:
                search.OnPortByte(step.index, step.byte);
                break;
            case Do::Lost:
                search.OnPortLost(step.index);
                break;
            case Do::Cancel:
                search.cancel();
                break;
        }
    }
    EXPECT_EQ(host.polls, c.sent);
    EXPECT_EQ(host.closed, c.closed);
    EXPECT_EQ(host.info, c.info);
    EXPECT_EQ(host.ends, c.ends);
    EXPECT_EQ(search.foundIndex(), c.found);
    EXPECT_EQ(search.running(), c.ends.empty());
    if (c.ends.empty())
        EXPECT_EQ(host.timers, (std::map<int, int>{{TIMER_CONNECT_TIMEOUT, 40000}, {TIMER_DTU_POLL, 400}}));
    else
        EXPECT_TRUE(host.timers.empty());
    // Every port opened is closed by the search exactly once, unless it won
    // or went as it was taken.
    if (!c.ends.empty()) {
        Indexes expectClosed;
        for (std::size_t i = 0; i < c.opens.size(); ++i)
            if (c.opens[i] == O && c.found != i && std::count(c.gone.begin(), c.gone.end(), i) == 0)
                expectClosed.push_back(i);
        Indexes closed = host.closed;
        std::sort(closed.begin(), closed.end());
        EXPECT_EQ(closed, expectClosed);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Events, PortSearchTest,
    ::testing::Values(
        SearchCase{"FirstAnnouncementWinsAndTheOthersCloseAtOnce",
                   {O, O, O},
                   {kPoll, Rx(1, 0x6C), Rx(2, 0x6C), kPoll},
                   {{0, 0x37}, {1, 0x37}, {2, 0x37}},
                   {0, 2},
                   {"<-正在查找DTU，共3个串口...\n\r\n\r", "<-在串口/dev/ttyUSB1上找到DTU\n\r\n\r"},
                   {SearchEnd::Found},
                   1},
        SearchCase{"AnAnnouncementThatAnswersNoPollIsNoise",
                   {O, O},
                   {Rx(0, 0x6C), kPoll, Rx(1, 0x6C)},
                   {{0, 0x37}, {1, 0x37}},
                   {0},
                   {"<-正在查找DTU，共2个串口...\n\r\n\r", "<-串口/dev/ttyUSB0收到的不是DTU的应答，继续查找\n\r\n\r",
                    "<-在串口/dev/ttyUSB1上找到DTU\n\r\n\r"},
                   {SearchEnd::Found},
                   1},
        SearchCase{"AWinnerGoneAsItIsTakenDropsOutAndTheSearchGoesOn",
                   {O, O, O},
                   {kPoll, Rx(0, 0x6C), kPoll, Rx(2, 0x6C)},
                   {{0, 0x37}, {1, 0x37}, {2, 0x37}, {1, 0x37}, {2, 0x37}},
                   {1},
                   {"<-正在查找DTU，共3个串口...\n\r\n\r", "<-在串口/dev/ttyUSB2上找到DTU\n\r\n\r"},
                   {SearchEnd::Found},
                   2,
                   {0}},
        SearchCase{"TheLastCandidateGoneAsItIsTakenEndsTheSearchAtOnce",
                   {O},
                   {kPoll, Rx(0, 0x6C), kPoll},
                   {{0, 0x37}},
                   {},
                   {"<-正在查找DTU，共1个串口...\n\r\n\r", "<-关闭串口成功\n\r\n\r"},
                   {SearchEnd::NoneLeft},
                   std::nullopt,
                   {0}},
        SearchCase{"EveryCandidateVanishedEndsTheSearchAtOnce",
                   {O, CandidateOpen::Busy, O},
                   {kPoll, Lost(0), Lost(2), kPoll},
                   {{0, 0x37}, {2, 0x37}},
                   {0, 2},
                   {"<-串口/dev/ttyUSB1被占用，已跳过\n\r\n\r", "<-正在查找DTU，共2个串口...\n\r\n\r",
                    "<-关闭串口成功\n\r\n\r"},
                   {SearchEnd::NoneLeft},
                   std::nullopt},
        SearchCase{"BusyAndRefusingPortsAreNamedOnceAndSkipped",
                   {CandidateOpen::Busy, O, CandidateOpen::NoPermission, CandidateOpen::Missing},
                   {kPoll, kPoll},
                   {{1, 0x37}, {1, 0x37}},
                   {},
                   {"<-串口/dev/ttyUSB0被占用，已跳过\n\r\n\r", "<-串口/dev/ttyUSB2没有访问权限，已跳过\n\r\n\r",
                    "<-串口/dev/ttyUSB3不存在，已跳过\n\r\n\r", "<-正在查找DTU，共1个串口...\n\r\n\r"},
                   {},
                   std::nullopt},
        SearchCase{"NoPortOpensEndsAtOnce",
                   {CandidateOpen::Busy, CandidateOpen::Other},
                   {kPoll},
                   {},
                   {},
                   {"<-串口/dev/ttyUSB0被占用，已跳过\n\r\n\r", "<-串口/dev/ttyUSB1无法打开，已跳过\n\r\n\r",
                    "<-没有可以打开的串口，无法查找DTU\n\r\n\r"},
                   {SearchEnd::NoneOpened},
                   std::nullopt},
        SearchCase{"NoCandidatesEndsAtOnce",
                   {},
                   {},
                   {},
                   {},
                   {"<-没有可以打开的串口，无法查找DTU\n\r\n\r"},
                   {SearchEnd::NoneOpened},
                   std::nullopt},
        SearchCase{"TimeOutReportsAndClosesEveryPort",
                   {O, O},
                   {kPoll, {Do::TimeOut}, kPoll, Rx(0, 0x6C)},
                   {{0, 0x37}, {1, 0x37}},
                   {0, 1},
                   {"<-正在查找DTU，共2个串口...\n\r\n\r", "<-连接DTU超时\n\r\n\r", "<-关闭串口成功\n\r\n\r"},
                   {SearchEnd::TimedOut},
                   std::nullopt},
        SearchCase{"NoiseIsNotTakenAndNamedOnce",
                   {O, O},
                   {kPoll, Rx(0, 'h'), Rx(0, 'l'), kPoll, Rx(0, 'l')},
                   {{0, 0x37}, {1, 0x37}, {0, 0x37}, {1, 0x37}},
                   {},
                   {"<-正在查找DTU，共2个串口...\n\r\n\r", "<-串口/dev/ttyUSB0收到的不是DTU的应答，继续查找\n\r\n\r"},
                   {},
                   std::nullopt},
        SearchCase{"ANoisyPortQuietForAWholePeriodMayAnswer",
                   {O},
                   {Rx(0, 0x00), kPoll, kPoll, Rx(0, 0x6C)},
                   {{0, 0x37}, {0, 0x37}},
                   {},
                   {"<-正在查找DTU，共1个串口...\n\r\n\r", "<-串口/dev/ttyUSB0收到的不是DTU的应答，继续查找\n\r\n\r",
                    "<-在串口/dev/ttyUSB0上找到DTU\n\r\n\r"},
                   {SearchEnd::Found},
                   0},
        SearchCase{"AVanishedPortIsDroppedSilently",
                   {O, O, O},
                   {kPoll, Lost(1), Rx(1, 0x6C), kPoll, Lost(1)},
                   {{0, 0x37}, {1, 0x37}, {2, 0x37}, {0, 0x37}, {2, 0x37}},
                   {1},
                   {"<-正在查找DTU，共3个串口...\n\r\n\r"},
                   {},
                   std::nullopt},
        SearchCase{"CancelClosesEveryPortAndLaterEventsDoNothing",
                   {O, CandidateOpen::Busy, O},
                   {kPoll, {Do::Cancel}, kPoll, Rx(0, 0x6C), {Do::Cancel}, {Do::TimeOut}},
                   {{0, 0x37}, {2, 0x37}},
                   {0, 2},
                   {"<-串口/dev/ttyUSB1被占用，已跳过\n\r\n\r", "<-正在查找DTU，共2个串口...\n\r\n\r",
                    "<-关闭串口成功\n\r\n\r"},
                   {SearchEnd::Cancelled},
                   std::nullopt},
        SearchCase{"AByteFromNoCandidateIsIgnored",
                   {O},
                   {{Do::Byte, 7, 0x6C}},  // no such candidate
                   {},
                   {},
                   {"<-正在查找DTU，共1个串口...\n\r\n\r"},
                   {},
                   std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PortSearchStatusTest, TheStatusLineSaysSearchingThenClosed) {
    SearchHost host;
    host.opens = {O};
    PortSearch search(host, host, host);
    search.start({"COM3"});
    EXPECT_EQ(host.status, "当前状态：正在查找DTU");
    search.OnTimerTick(TIMER_AUTO_SEND);  // not the search's timer
    EXPECT_TRUE(host.polls.empty());
    search.OnTimerTick(TIMER_CONNECT_TIMEOUT);
    EXPECT_EQ(host.status, "当前状态：串口已关闭");
}

}  // namespace
}  // namespace quill::test
