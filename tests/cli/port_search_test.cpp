// The search for the DTU (--port auto) with real engines, through the command
// line's host of the session: sixteen pseudo-terminals, one with the simulated
// DTU at line speed, one held by another program, one that vanishes
// mid-search, one that floods the line with every byte value (0x6C among
// them), the rest silent. The test runs the loop on its own thread and ticks
// the poll and time-out timers by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <sstream>

#include "cli/console_host.h"
#include "sim/dtu_server.h"
#include "tests/serial/idle_owner.h"

namespace quill::cli {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool OnlyPolls(const std::vector<std::uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0x37; });
}

class PortSearchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetSearchCandidateSource([this] { return paths; });
    }
    void TearDown() override { SetSearchCandidateSource({}); }
    void startServers(std::size_t count, std::optional<std::size_t> answering) {
        for (std::size_t i = 0; i < count; ++i) {
            servers.push_back(std::make_unique<DtuServer>());
            DtuFaults faults;
            faults.noAnnouncement = answering != i;
            servers.back()->setFaults(faults);
            ASSERT_TRUE(servers.back()->start());
            paths.push_back(servers.back()->devicePath());
        }
    }
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds within = 5s) {
        return loop.runUntil(done, Clock::now() + within);
    }
    SessionController& session() { return host.session(); }

    std::ostringstream err;
    Console console{err, false};
    std::vector<std::unique_ptr<DtuServer>> servers;
    std::vector<std::string> paths;
    EventLoop loop;
    ConsoleHost host{loop, std::string(kAutoPort), console, nullptr};
};

TEST_F(PortSearchTest, FindsTheOneDtuAmongSixteenWithinOnePollPeriodAndKeepsItsPortOpen) {
    constexpr std::size_t kDtu = 11, kBusy = 3, kVanishing = 5, kNoisy = 7;
    startServers(16, kDtu);
    test::IdleOwner otherProgram;
    CSerialPort holder;
    ASSERT_TRUE(holder.OpenPort(&otherProgram, 1, 57600, 'N', 8, 1, 0x0003, 512, paths[kBusy]));
    servers[kNoisy]->setFlood(true);

    session().OnOpenPort();
    EXPECT_EQ(session().state(), SessionState::Searching);
    EXPECT_EQ(session().search().openCount(), 15u);
    servers[kVanishing]->vanish();
    const std::string noise = "串口" + paths[kNoisy] + "收到的不是DTU的应答，继续查找";
    ASSERT_TRUE(runUntil([&] {
        return session().search().openCount() == 14 && err.str().find(noise) != std::string::npos &&
               servers[kNoisy]->floodBytesSent() > 2 * 256;  // 0x6C has gone out at least twice
    })) << err.str();

    const Clock::time_point polled = Clock::now();
    ASSERT_TRUE(loop.fire(TIMER_DTU_POLL));
    ASSERT_TRUE(runUntil([&] { return session().dtuConnected(); }, 2s)) << err.str();
    const auto took = Clock::now() - polled;
    RecordProperty("found_ms",
                   static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    // The announcement answers that poll, so it came after it.
    EXPECT_LT(took, 400ms) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";

    EXPECT_EQ(host.portPath(), paths[kDtu]);
    EXPECT_EQ(host.candidatesHeld(), 0u);
    EXPECT_EQ(host.takeOutcome(), SessionOutcome::Connected);
    EXPECT_EQ(servers[kDtu]->counters().announcements, 1u);
    servers[kNoisy]->setFlood(false);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        EXPECT_TRUE(OnlyPolls(servers[i]->received()));
        const bool polledAtAll = i != kBusy && i != kVanishing;
        // The poll that the DTU answered; on the others it may still have
        // been in the engine's hands when the search closed them, and dropped.
        if (i == kDtu)
            EXPECT_EQ(servers[i]->receivedTotal(), 1u);
        else
            EXPECT_LE(servers[i]->receivedTotal(), polledAtAll ? 1u : 0u);
        if (polledAtAll && i != kDtu) {
            EXPECT_TRUE(test::DeviceFree(paths[i]));
        }
    }
    EXPECT_NE(err.str().find("串口" + paths[kBusy] + "被占用，已跳过"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("在串口" + paths[kDtu] + "上找到DTU"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find(paths[kVanishing]), std::string::npos) << err.str();

    // The found port is the session's, open: the DTU is read on it, with no poll between.
    EXPECT_EQ(session().OnReadParameters().status, CommandStatus::Sent);
    ASSERT_TRUE(runUntil([&] { return host.hasOutcome(); })) << err.str();
    EXPECT_EQ(host.takeOutcome(), SessionOutcome::ReadSucceeded);
    EXPECT_EQ(servers[kDtu]->counters().readRequests, 1u);
    EXPECT_EQ(servers[kDtu]->receivedTotal(), 17u);  // the poll and the 16-byte request
}

TEST_F(PortSearchTest, NoAnnouncementEndsAtTheTimeOutWithEveryPortClosed) {
    startServers(4, std::nullopt);
    session().OnOpenPort();
    EXPECT_EQ(session().search().openCount(), 4u);
    ASSERT_TRUE(loop.fire(TIMER_DTU_POLL));
    ASSERT_TRUE(runUntil([&] {
        return std::all_of(servers.begin(), servers.end(),
                           [](const auto& s) { return s->receivedTotal() == 1; });
    }));
    ASSERT_TRUE(loop.fire(TIMER_CONNECT_TIMEOUT));
    EXPECT_EQ(host.takeOutcome(), SessionOutcome::TimedOut);
    EXPECT_EQ(session().state(), SessionState::Closed);
    EXPECT_EQ(host.candidatesHeld(), 0u);
    EXPECT_FALSE(loop.timerRunning(TIMER_DTU_POLL));
    for (const std::string& path : paths) EXPECT_TRUE(test::DeviceFree(path)) << path;
    EXPECT_NE(err.str().find("连接DTU超时\n关闭串口成功\n"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace quill::cli
