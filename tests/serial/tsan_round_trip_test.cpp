// A full poll -> announce -> read -> configure -> read with the tool's two
// threads and nothing else: the engine's worker on the line, and an owner
// thread (TestOwner's task queue) standing in for the window. The owner
// thread runs the session core (SessionController) with every byte, tick and
// command, as the window's thread does; the form and the session are touched
// by the owner thread only and carry no lock, as in the window; the test
// thread looks at them only through tasks run on the owner thread.
//
// Written for ThreadSanitizer (the serial configuration of CI builds it with
// -fsanitize=thread); without it, it is a round trip through the real
// engine. There is no Qt here: Qt's own locks are not instrumented, so a
// sanitized run through the window reports races TSan cannot rule out.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "protocol/item_table.h"
#include "serial/serial_port.h"
#include "session/session_controller.h"
#include "sim/dtu_server.h"
#include "tests/protocol/form_snapshot_fake.h"
#include "tests/serial/test_owner.h"

namespace quill {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using test::TestOwner;

constexpr auto kWait = 10s;
constexpr std::uint32_t kPort = 1;

// GBK and UCS-2 (high byte first) texts, typed.
const std::string kFactoryStationGbk = "\xB3\xC7\xB6\xAB\xB1\xE4\xB5\xE7\xD5\xBE";  // 城东变电站
const std::string kNewStationGbk = "\xD0\xC2\xD5\xBE";                              // 新站
const Bytes kNewStationUcs2{0x65, 0xB0, 0x7A, 0xD9};

int ValueControl(std::uint8_t type) {
    return FindItem(type)->valueIds[0];
}

// The session's line over the engine, whose owner is the test's owner thread.
class EngineLine : public Line {
  public:
    EngineLine(CSerialPort& port, TestOwner& owner) : port_(port), owner_(owner) {}

    void listen(LineEvents&) override {}  // the owner hands bytes to the session itself
    bool open(const LinePort& port, std::uint32_t rate) override {
        return port_.OpenPort(&owner_, kPort, rate, kLineParity, kLineDataBits, kLineStopBits,
                              EV_RXCHAR | EV_RXFLAG, transmitBufferSize, port.devicePath) &&
               port_.StartWorker();
    }
    std::string openFailureText() const override { return "open failed"; }
    void stop() override { port_.RequestStop(); }
    bool held() const override { return port_.IsOpen(); }
    bool send(std::span<const std::uint8_t> bytes) override { return port_.SendBytes(bytes); }
    bool sendText(const std::string&) override { return false; }
    void beginSearch(std::vector<std::string>) override {}
    CandidateOpen openCandidate(std::size_t) override { return CandidateOpen::Other; }
    void sendToCandidate(std::size_t, std::uint8_t) override {}
    void closeCandidate(std::size_t) override {}
    bool adoptCandidate(std::size_t, const LinePort&) override { return false; }

  private:
    CSerialPort& port_;
    TestOwner& owner_;
};

// The window as the session sees it, on the owner thread: the form the
// session writes from (`form`) and the one a read answer fills (`shown`).
// Timers are ticked by the test.
class OwnerHost : public SessionHost {
  public:
    explicit OwnerHost(std::string path) : path_(std::move(path)) {}

    ChosenPort chosenPort() override { return {ChosenPort::Kind::Port, {path_, kPort, "com1"}, {}}; }
    void portFound(const LinePort&) override {}
    void startTimerById(int, int) override {}
    void stopTimerById(int) override {}
    void appendInfo(std::string_view) override {}
    void showBox(std::string_view text, std::string_view, BoxIcon) override { boxes.emplace_back(text); }
    void setStatusText(std::string_view) override {}
    void applyEnables(const ControlEnables&) override {}
    void displayReceivedByte(std::uint8_t) override {}
    void applyItemUpdate(const ItemUpdate& item) override {
        for (const ControlUpdate& update : item.updates)
            if (!update.selectIndex) shown[update.controlId] = update.text;
    }
    bool isTicked(int) const override { return false; }
    void setTicked(int, bool) override {}
    int demoRateIndex() const override { return static_cast<int>(kSessionRateIndex); }
    void selectDemoRate(int) override {}
    bool saveForm() override { return true; }
    FormMembersView formMembers() override { return {form, noText_, 0}; }
    void sessionOutcome(SessionOutcome outcome) override { outcomes.push_back(outcome); }

    MapFormSnapshot form;
    std::map<int, std::string> shown;
    std::vector<SessionOutcome> outcomes;
    std::vector<std::string> boxes;

  private:
    std::string path_;
    std::string noText_;
};

struct RoundTripCase {
    const char* name;
    std::size_t piece;  // answers cut every `piece` bytes; 0: whole
};
void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.name;
}

class ThreadedRoundTrip : public ::testing::TestWithParam<RoundTripCase> {
  protected:
    void SetUp() override {
        if (GetParam().piece != 0) {
            std::vector<std::size_t> cuts;
            for (std::size_t at = GetParam().piece; at < 4096; at += GetParam().piece) cuts.push_back(at);
            dtu.setAnswerPieces(cuts, 1ms);
        }
        ASSERT_TRUE(dtu.start());
        host = std::make_unique<OwnerHost>(dtu.devicePath());
        line = std::make_unique<EngineLine>(port, owner);
        session = std::make_unique<SessionController>(*host, *line);
        owner.onMessage = [this](std::uint32_t message, std::uint32_t wParam) {
            if (message == WM_PORT_RX_BYTE) session->OnPortByte(static_cast<std::uint8_t>(wParam));
        };
    }
    void TearDown() override {
        owner.runOnLoop([this] { port.RequestStop(); });
    }

    // Runs `check` on the owner thread until it holds, looking again each
    // time the owner has handled more bytes, until the deadline.
    bool waitOnOwner(const std::function<bool()>& check, std::chrono::milliseconds timeout = kWait) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            bool holds = false;
            std::size_t seen = 0;
            owner.runOnLoop([&] {
                holds = check();
                seen = owner.bytes().size();
            });
            if (holds) return true;
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= 0s) return false;
            owner.waitFor([seen](TestOwner& o) { return o.bytesUnlocked().size() > seen; },
                          std::chrono::duration_cast<std::chrono::milliseconds>(left));
        }
    }
    // Runs a command on the owner thread, as a button handler does, and
    // waits for the session to report `outcome`.
    void command(const std::function<void()>& run, SessionOutcome outcome) {
        std::size_t before = 0;
        owner.runOnLoop([&] {
            before = host->outcomes.size();
            run();
        });
        ASSERT_TRUE(waitOnOwner([&] { return host->outcomes.size() > before; }));
        owner.runOnLoop([&] { EXPECT_EQ(host->outcomes.back(), outcome); });
    }
    std::string shown(int id) {
        std::string text;
        owner.runOnLoop([&] { text = host->shown.count(id) ? host->shown.at(id) : std::string(); });
        return text;
    }

    // Destroyed in reverse: the engine first, then the owner thread, then the line.
    DtuServer dtu;
    TestOwner owner;
    std::unique_ptr<OwnerHost> host;                // owner thread only, once the port is open
    std::unique_ptr<EngineLine> line;
    std::unique_ptr<SessionController> session;     // owner thread only
    CSerialPort port;
};

TEST_P(ThreadedRoundTrip, PollAnnounceReadConfigureRead) {
    // Open and poll from the owner thread, as the open button and timer 5 do.
    owner.runOnLoop([&] { session->OnOpenPort(); });
    bool connected = false;
    for (int tick = 0; tick < 25 && !connected; ++tick) {
        const std::uint64_t writes = port.completedWrites();
        owner.runOnLoop([&] { session->OnTimerTick(TIMER_DTU_POLL); });
        ASSERT_TRUE(port.waitForWrites(writes + 1, kWait));
        connected = waitOnOwner([&] { return session->state() == SessionState::Connected; }, 400ms);
    }
    ASSERT_TRUE(connected);

    command([&] { session->OnReadParameters(); }, SessionOutcome::ReadSucceeded);
    EXPECT_EQ(shown(ValueControl(0x92)), kFactoryStationGbk);
    EXPECT_EQ(shown(ValueControl(0x04)), "CMNET");

    // Tick two fields, change them, configure: built and sent on the owner thread.
    owner.runOnLoop([&] { host->form.Field(0x92, kNewStationGbk).Field(0x04, "QUILL"); });
    command([&] { session->OnConfigure(); }, SessionOutcome::ConfigureSucceeded);
    const DtuItems stored = dtu.items();
    EXPECT_EQ(stored.at(0x92), kNewStationUcs2);
    EXPECT_EQ(stored.at(0x04), (Bytes{'Q', 'U', 'I', 'L', 'L'}));

    // Read back into an emptied form.
    owner.runOnLoop([&] { host->shown.clear(); });
    command([&] { session->OnReadParameters(); }, SessionOutcome::ReadSucceeded);
    EXPECT_EQ(shown(ValueControl(0x92)), kNewStationGbk);
    EXPECT_EQ(shown(ValueControl(0x04)), "QUILL");

    owner.runOnLoop([&] { EXPECT_TRUE(host->boxes.empty()); });
    EXPECT_TRUE(owner.errors().empty());
    EXPECT_TRUE(owner.lost().empty());
    const DtuCounters counters = dtu.counters();
    EXPECT_EQ(counters.readRequests, 2u);
    EXPECT_EQ(counters.configureRequests, 1u);
    EXPECT_EQ(counters.malformedFrames, 0u);
}

INSTANTIATE_TEST_SUITE_P(Answers, ThreadedRoundTrip,
                         ::testing::Values(RoundTripCase{"Whole", 0}, RoundTripCase{"InPiecesOf64", 64},
                                           RoundTripCase{"InPiecesOf7", 7}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quill
