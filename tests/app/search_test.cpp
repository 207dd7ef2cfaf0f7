// The window's "自动查找DTU" entry with real engines: sixteen pseudo-terminals
// offered as adapters, one with the simulated DTU at line speed, one held by
// another program. What the search decides is the core's (tested there); this
// checks what the window does with it: 1027 starts it, the found port becomes
// the window's port still open, 1028 ends it, and no box is shown.
#include <QComboBox>

#include "session_fixture.h"
#include "tests/serial/idle_owner.h"

namespace quill::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class SearchTest : public SessionTest {
  protected:
    // count terminals offered as adapters; the one at `answering` announces itself.
    void offer(std::size_t count, std::optional<std::size_t> answering) {
        std::vector<FoundPort> found;
        for (std::size_t i = 0; i < count; ++i) {
            dtus.push_back(std::make_unique<DtuServer>());
            DtuFaults faults;
            faults.noAnnouncement = answering != i;
            dtus.back()->setFaults(faults);
            ASSERT_TRUE(dtus.back()->start());
            found.push_back({dtus.back()->devicePath(), "pty"});
        }
        window->findPorts = [found] { return found; };
        window->FillPortList(found);
    }
    void chooseSearch() {
        auto* list = qobject_cast<QComboBox*>(window->control(1026));
        const int entry = list->findText(FromUtf8("自动查找DTU"));
        ASSERT_EQ(entry, window->simulatorEntry() - 1);
        window->selectIndex(1026, entry);
    }
    void TearDown() override {
        SessionTest::TearDown();
        dtus.clear();
    }
    std::vector<std::unique_ptr<DtuServer>> dtus;
};

TEST_F(SearchTest, FindsTheDtuAmongSixteenAndKeepsItsPortOpen) {
    constexpr std::size_t kDtu = 9, kBusy = 2;
    offer(16, kDtu);
    IdleOwner otherProgram;
    CSerialPort holder;
    ASSERT_TRUE(holder.OpenPort(&otherProgram, 1, 57600, 'N', 8, 1, 0x0003, 512, dtus[kBusy]->devicePath()));
    chooseSearch();
    click(1027);
    EXPECT_EQ(window->session.state(), SessionState::Searching);
    EXPECT_EQ(status(), FromUtf8("当前状态：正在查找DTU"));
    EXPECT_FALSE(enabled(1027));
    EXPECT_TRUE(enabled(1028));
    EXPECT_EQ(window->session.line().candidatesHeld(), 15u);
    EXPECT_EQ(count("<-串口" + dtus[kBusy]->devicePath() + "被占用，已跳过\n\r\n\r"), 1);

    const Clock::time_point polled = Clock::now();
    window->OnTimerTick(kPoll);
    ASSERT_TRUE(WaitFor([&] { return window->session.dtuConnected(); }, kWaitMs));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - polled);
    RecordProperty("found_ms", static_cast<int>(took.count()));
    EXPECT_LT(took, 400ms) << took.count() << " ms";

    // The window's own port now, as if chosen: named, shown in the list, read from.
    const std::string path = dtus[kDtu]->devicePath();
    EXPECT_EQ(status(),
              FromUtf8("当前状态：串口") + QString::fromStdString(path) + FromUtf8("已打开,波特率57600"));
    EXPECT_EQ(window->controlText(1026), QString::fromStdString(path + " pty"));
    EXPECT_EQ(window->session.line().candidatesHeld(), 0u);
    EXPECT_EQ(count("<-在串口" + path + "上找到DTU\n\r\n\r"), 1);
    EXPECT_EQ(count(kConnected), 1);
    click(1029);
    ASSERT_TRUE(waitCount(kReadOk));
    // One poll, then the read: the port was not closed and polled again.
    std::vector<std::uint8_t> expected{0x37};
    const auto read = RequestFrame(0x0B);
    expected.insert(expected.end(), read.begin(), read.end());
    EXPECT_EQ(dtus[kDtu]->received(), expected);
    for (std::size_t i = 0; i < dtus.size(); ++i) {
        if (i == kDtu || i == kBusy) continue;
        SCOPED_TRACE(dtus[i]->devicePath());
        EXPECT_LE(dtus[i]->receivedTotal(), 1u);
        EXPECT_TRUE(DeviceFree(dtus[i]->devicePath()));
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SearchTest, ClosingEndsTheSearchAndFreesEveryPort) {
    offer(4, std::nullopt);
    chooseSearch();
    click(1027);
    ASSERT_EQ(window->session.line().candidatesHeld(), 4u);
    click(1028);
    EXPECT_EQ(window->session.state(), SessionState::Closed);
    EXPECT_EQ(window->session.line().candidatesHeld(), 0u);
    EXPECT_TRUE(enabled(1027));
    EXPECT_EQ(count(kClosed), 1);
    for (const auto& dtu : dtus) EXPECT_TRUE(DeviceFree(dtu->devicePath())) << dtu->devicePath();
    // The search's timers are gone with it.
    EXPECT_EQ(window->timerPeriod(kPoll), 0);
    EXPECT_EQ(window->timerPeriod(kTimeout), 0);
}

// In the demo state the DTU does not answer polls: the entry opens nothing
// (not the port that number 0 would name) and says so.
TEST_F(SearchTest, InTheDemoStateTheSearchEntryOpensNothing) {
    offer(2, 0);
    chooseSearch();
    click(1031);
    click(1027);
    EXPECT_EQ(window->session.state(), SessionState::DemoPortClosed);
    EXPECT_FALSE(window->session.line().engine().IsOpen());
    EXPECT_EQ(window->session.line().candidatesHeld(), 0u);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, FromUtf8("没有发现此串口或被占用"));
}

}  // namespace
}  // namespace quill::test
