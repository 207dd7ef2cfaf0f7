// CSerialPort::TakeOver on a pseudo-terminal with the simulated DTU, as a
// search hands the port where a DTU answered to the session: the candidate's
// engine gives the open device to the session's engine, which then starts
// its own worker.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>

#include "serial/serial_port.h"
#include "sim/dtu_server.h"
#include "tests/serial/idle_owner.h"
#include "tests/serial/test_owner.h"

namespace quill {
namespace {

using namespace std::chrono_literals;
using test::DeviceFree;
using test::TestOwner;

constexpr std::uint32_t kCandidatePort = 3;
constexpr std::uint32_t kSessionPort = 7;
constexpr std::uint8_t kPoll = 0x37;
constexpr std::uint8_t kAnnouncement = 0x6C;
constexpr auto kWait = 10s;

class TakeOverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim.start());
        path = sim.devicePath();
    }

    // The candidate as a search holds it: open, its worker running, the
    // DTU's announcement handed to its owner.
    bool openCandidate(std::uint32_t rate = 57600, std::uint32_t writeBufferSize = 512) {
        if (!candidate->OpenPort(&candidateOwner, kCandidatePort, rate, 'N', 8, 1, EV_RXCHAR | EV_RXFLAG,
                                 writeBufferSize, path) ||
            !candidate->StartWorker())
            return false;
        if (!candidate->SendBytes(&kPoll, 1)) return false;
        if (!candidateOwner.waitFor([](TestOwner& o) { return !o.bytesUnlocked().empty(); })) return false;
        candidateOwner.runOnLoop([] {});  // the announcement's batch is over
        const bool announced = candidateOwner.bytes() == std::vector<std::uint8_t>{kAnnouncement};
        candidateOwner.clear();
        return announced;
    }

    bool sessionGot(const std::vector<std::uint8_t>& bytes) {
        return sessionOwner.waitFor([&](TestOwner& o) { return o.bytesUnlocked() == bytes; }, kWait);
    }

    // Destroyed in reverse: the engines first, then their owners, then the line.
    DtuServer sim;
    std::string path;
    TestOwner candidateOwner;
    TestOwner sessionOwner;
    std::unique_ptr<CSerialPort> candidate = std::make_unique<CSerialPort>();
    std::unique_ptr<CSerialPort> session = std::make_unique<CSerialPort>();
};

// Another program that opens the port at any moment between the search's
// answer and the session's first request must find it busy.
TEST_F(TakeOverTest, TheDeviceIsNeverFreeWhileItIsHandedOver) {
    ASSERT_TRUE(openCandidate());
    std::atomic<std::uint64_t> probes{0};
    std::atomic<std::uint64_t> foundFree{0};
    // Stopped and joined however the test ends.
    std::jthread prober([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            if (DeviceFree(path)) ++foundFree;
            ++probes;
        }
    });
    // Back and forth, each step as the search takes it: take over, the other
    // engine left closed, start the worker; probed all along. An odd number
    // of rounds leaves the device with the session's engine.
    CSerialPort* from = candidate.get();
    CSerialPort* to = session.get();
    for (int round = 0; round < 101; ++round) {
        SCOPED_TRACE(round);
        // The prober runs alongside every round, not only in some.
        const std::uint64_t probed = probes;
        while (probes == probed) std::this_thread::yield();
        ASSERT_TRUE(to->TakeOver(*from, &sessionOwner, kSessionPort));
        EXPECT_FALSE(from->IsOpen());
        EXPECT_FALSE(DeviceFree(path));
        ASSERT_TRUE(to->StartWorker());
        EXPECT_FALSE(DeviceFree(path));
        std::swap(from, to);
    }
    candidate.reset();  // the last engine left closed
    EXPECT_FALSE(DeviceFree(path));
    const std::uint64_t probed = probes;
    while (probes < probed + 2) std::this_thread::yield();  // a whole probe after the last step too
    prober.request_stop();
    prober.join();
    EXPECT_EQ(foundFree, 0u) << "of " << probes << " probes";
    EXPECT_TRUE(session->IsOpen());
    // The probe does see a free device: once the session lets it go.
    session.reset();
    EXPECT_TRUE(DeviceFree(path));
}

TEST_F(TakeOverTest, NotificationsGoToTheNewOwnerUnderTheNewPortNumberOnly) {
    // The candidate's owner is busy with a byte while the hand-over comes:
    // its worker waits for it, and what follows on the line is not read yet.
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    candidateOwner.onMessage = [&](std::uint32_t message, std::uint32_t wParam) {
        if (message != WM_PORT_RX_BYTE || wParam != 0x01) return;
        entered.set_value();
        released.wait_for(kWait);
    };
    ASSERT_TRUE(openCandidate());
    sim.send({0x01});
    ASSERT_EQ(entered.get_future().wait_for(kWait), std::future_status::ready);
    sim.send({0x02});
    ASSERT_TRUE(sim.waitForToolInput(1, kWait));

    ASSERT_TRUE(session->TakeOver(*candidate, &sessionOwner, kSessionPort));
    release.set_value();
    // Unread when the device changed hands: dropped as an open drops it. The
    // new worker purges when it starts and before each write, so what comes
    // next is asked for by a write of its own.
    ASSERT_TRUE(session->StartWorker());
    ASSERT_TRUE(session->SendBytes(&kPoll, 1));
    ASSERT_TRUE(sessionGot({kAnnouncement})) << sessionOwner.bytes().size();
    sessionOwner.runOnLoop([] {});
    candidateOwner.runOnLoop([] {});  // anything still queued for the old owner has run
    for (const std::uint32_t port : sessionOwner.ports()) EXPECT_EQ(port, kSessionPort);
    EXPECT_EQ(candidateOwner.bytes(), std::vector<std::uint8_t>{0x01});
    EXPECT_EQ(candidateOwner.messages().size(), 1u);
    EXPECT_TRUE(candidateOwner.lost().empty());
    EXPECT_TRUE(candidateOwner.errors().empty());
}

TEST_F(TakeOverTest, TheLineKeepsItsSettingsAndCarriesTheSessionsBytes) {
    // Not the server's own rate, so that settings made afresh would show.
    ASSERT_TRUE(openCandidate(9600, 16));
    ASSERT_EQ(sim.lineRate(), 9600u);
    ASSERT_TRUE(session->TakeOver(*candidate, &sessionOwner, kSessionPort));
    candidate.reset();
    ASSERT_TRUE(session->StartWorker());
    EXPECT_EQ(sim.lineRate(), 9600u);
    // The write slot is the candidate's size.
    EXPECT_FALSE(session->SendBytes(std::vector<std::uint8_t>(17, 'a')));
    ASSERT_TRUE(session->SendBytes(&kPoll, 1));
    ASSERT_TRUE(sim.waitFor([&] { return sim.counters().pollBytes == 2; }, kWait));
    EXPECT_TRUE(sessionGot({kAnnouncement}));
    for (const std::uint32_t port : sessionOwner.ports()) EXPECT_EQ(port, kSessionPort);
}

TEST_F(TakeOverTest, ADeviceGoneBeforeTheHandOverLeavesNothingHeld) {
    // The session's engine holds another line: taking over fails, and that one is closed too.
    DtuServer other;
    ASSERT_TRUE(other.start());
    ASSERT_TRUE(
        session->OpenPort(&sessionOwner, kSessionPort, 57600, 'N', 8, 1, EV_RXCHAR, 512, other.devicePath()));
    ASSERT_TRUE(openCandidate());
    sim.vanish();
    ASSERT_TRUE(candidateOwner.waitFor([](TestOwner& o) { return o.lostCountUnlocked() == 1; }));
    EXPECT_FALSE(session->TakeOver(*candidate, &sessionOwner, kSessionPort));
    EXPECT_FALSE(session->IsOpen());
    EXPECT_FALSE(candidate->IsOpen());
    EXPECT_FALSE(session->StartWorker());
    EXPECT_TRUE(DeviceFree(other.devicePath()));
    EXPECT_EQ(candidateOwner.lost(), std::vector<std::uint32_t>{kCandidatePort});
    sessionOwner.runOnLoop([] {});
    EXPECT_TRUE(sessionOwner.lost().empty());
}

}  // namespace
}  // namespace quill
