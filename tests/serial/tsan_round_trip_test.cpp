// A full poll -> announce -> read -> configure -> read with the tool's two
// threads and nothing else: the engine's worker on the line, and an owner
// thread (TestOwner's task queue) standing in for the window. The owner
// thread does all the window's protocol work with each byte and each request:
// the presence test, ReceiveAssembler, ApplyReadAnswer into a form, and
// BuildConfigureRequest from it. The form and the session flags are touched
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
#include <set>
#include <string>
#include <vector>

#include "protocol/configure_request.h"
#include "protocol/frame.h"
#include "protocol/item_table.h"
#include "protocol/read_answer.h"
#include "protocol/receive_assembler.h"
#include "protocol/session.h"
#include "serial/serial_port.h"
#include "sim/dtu_server.h"
#include "tests/serial/test_owner.h"

namespace quill {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Kind = AssemblerEvent::Kind;
using test::TestOwner;

constexpr auto kWait = 10s;
constexpr std::uint32_t kPort = 1;

// GBK and UCS-2 (high byte first) texts, typed.
const std::string kFactoryStationGbk = "\xB3\xC7\xB6\xAB\xB1\xE4\xB5\xE7\xD5\xBE";  // 城东变电站
const std::string kNewStationGbk = "\xD0\xC2\xD5\xBE";                              // 新站
const Bytes kNewStationUcs2{0x65, 0xB0, 0x7A, 0xD9};

int CheckBox(std::uint8_t type) {
    return FindItem(type)->checkBoxId;
}
int ValueControl(std::uint8_t type) {
    return FindItem(type)->valueIds[0];
}

// What the window keeps: the session flags, the assembler and the form.
// Owner thread only.
class OwnerSession : public FormSnapshot {
  public:
    void onByte(std::uint8_t byte) {
        if (waitingForDtu && !dtuConnected && byte == 0x6C) {
            dtuConnected = true;
            return;
        }
        const AssemblerEvent event = assembler.AcceptByte(byte);
        if (event.kind == Kind::None) return;
        if (event.kind == Kind::ReadSucceeded) {
            for (const ItemUpdate& item : ApplyReadAnswer(event.frame)) {
                for (const ControlUpdate& update : item.updates) {
                    if (update.selectIndex)
                        lists[update.controlId] = update.index;
                    else
                        texts[update.controlId] = update.text;
                }
            }
        }
        verdicts.push_back(event.kind);
    }

    bool ticked(int checkBoxId) const override { return ticks.count(checkBoxId) != 0; }
    std::string text(int editId) const override {
        const auto it = texts.find(editId);
        return it == texts.end() ? std::string() : it->second;
    }
    int listIndex(int listId) const override {
        const auto it = lists.find(listId);
        return it == lists.end() ? -1 : it->second;
    }

    bool waitingForDtu = false;
    bool dtuConnected = false;
    ReceiveAssembler assembler;
    std::map<int, std::string> texts;
    std::map<int, int> lists;
    std::set<int> ticks;
    std::vector<Kind> verdicts;
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
        owner.onMessage = [this](std::uint32_t message, std::uint32_t wParam) {
            if (message == WM_PORT_RX_BYTE) session.onByte(static_cast<std::uint8_t>(wParam));
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
    // Sends a request from the owner thread, as a button handler does.
    void request(const Bytes& frame, bool configure) {
        owner.runOnLoop([&] {
            ASSERT_TRUE(port.SendBytes(frame));
            session.assembler.Expect(configure ? AnswerKind::Configure : AnswerKind::Read);
        });
    }
    std::size_t verdictCount() {
        std::size_t n = 0;
        owner.runOnLoop([&] { n = session.verdicts.size(); });
        return n;
    }
    Kind lastVerdict() {
        Kind kind = Kind::None;
        owner.runOnLoop([&] { kind = session.verdicts.back(); });
        return kind;
    }
    std::string shown(int id) {
        std::string text;
        owner.runOnLoop([&] { text = session.text(id); });
        return text;
    }
    void read(Kind expected) {
        const auto frame = BuildRequestFrame(Command::ReadRequest);
        const std::size_t before = verdictCount();
        request(Bytes(frame.begin(), frame.end()), false);
        ASSERT_TRUE(waitOnOwner([&] { return session.verdicts.size() > before; }));
        EXPECT_EQ(lastVerdict(), expected);
    }

    // Destroyed in reverse: the engine first, then the owner thread, then the line.
    DtuServer dtu;
    TestOwner owner;
    OwnerSession session;  // owner thread only, once the port is open
    CSerialPort port;
};

TEST_P(ThreadedRoundTrip, PollAnnounceReadConfigureRead) {
    // Open and poll from the owner thread, as the open button and timer 5 do.
    owner.runOnLoop([&] {
        ASSERT_TRUE(
            port.OpenPort(&owner, kPort, 57600, 'N', 8, 1, EV_RXCHAR | EV_RXFLAG, 512, dtu.devicePath()));
        ASSERT_TRUE(port.StartWorker());
        session.waitingForDtu = true;
        session.dtuConnected = false;
    });
    ASSERT_FALSE(HasFatalFailure());
    bool connected = false;
    for (int tick = 0; tick < 25 && !connected; ++tick) {
        const std::uint64_t writes = port.completedWrites();
        owner.runOnLoop([&] { ASSERT_TRUE(port.SendBytes(Bytes{0x37})); });
        ASSERT_TRUE(port.waitForWrites(writes + 1, kWait));
        connected = waitOnOwner([&] { return session.dtuConnected; }, 400ms);
    }
    ASSERT_TRUE(connected);

    read(Kind::ReadSucceeded);
    EXPECT_EQ(shown(ValueControl(0x92)), kFactoryStationGbk);
    EXPECT_EQ(shown(ValueControl(0x04)), "CMNET");

    // Tick two fields, change them, configure: built and sent on the owner thread.
    const std::size_t before = verdictCount();
    owner.runOnLoop([&] {
        session.ticks = {CheckBox(0x92), CheckBox(0x04)};
        session.texts[ValueControl(0x92)] = kNewStationGbk;
        session.texts[ValueControl(0x04)] = "QUILL";
        const ConfigureResult built = BuildConfigureRequest(session);
        ASSERT_TRUE(built.errorMessage.empty()) << built.errorMessage;
        ASSERT_EQ(built.frames.size(), 1u);
        ASSERT_TRUE(port.SendBytes(built.frames[0].bytes));
        session.assembler.Expect(AnswerKind::Configure);
    });
    ASSERT_TRUE(waitOnOwner([&] { return session.verdicts.size() > before; }));
    EXPECT_EQ(lastVerdict(), Kind::ConfigureSucceeded);
    const DtuItems stored = dtu.items();
    EXPECT_EQ(stored.at(0x92), kNewStationUcs2);
    EXPECT_EQ(stored.at(0x04), (Bytes{'Q', 'U', 'I', 'L', 'L'}));

    // Read back into an emptied form.
    owner.runOnLoop([&] {
        session.texts.clear();
        session.lists.clear();
    });
    read(Kind::ReadSucceeded);
    EXPECT_EQ(shown(ValueControl(0x92)), kNewStationGbk);
    EXPECT_EQ(shown(ValueControl(0x04)), "QUILL");

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
