// The request cycle alone, against a recording host and the simulated DTU:
// one request on the wire at a time, what waits and in which order it goes
// out, the answer deadline and the quiet line after it, and the one verdict
// each request ends in.
#include "session/request_cycle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "form/parameter_fields.h"
#include "protocol/frame.h"
#include "protocol/wire.h"
#include "session/session_texts.h"
#include "sim/simulated_dtu.h"
#include "tests/session/recording_host.h"

namespace quill::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Types = std::vector<std::uint8_t>;

// A configure answer frame: accepted (byte 2 = 0) or refused.
Bytes ConfigureAnswer(bool accepted) {
    return {0x7B, 0x8C, static_cast<std::uint8_t>(accepted ? 0x00 : 0x01), 0x00, 0x10, 0, 0, 0,
            0,    0,    0,    0,    0,    0,    0,    0x7B};
}

class Cycle : public ::testing::Test {
  public:
    Cycle() { host.holding = true; }
    void feed(const Bytes& bytes) {
        for (const std::uint8_t b : bytes) cycle.onByte(b);
    }
    // The DTU answers every request on the wire, oldest first, until none is left.
    void answerAll() {
        while (answered < host.sent.size()) feed(dtu.feed(host.sent[answered++]));
    }
    // The command byte of everything sent, in order.
    Types wire() const {
        Types commands;
        for (const Bytes& frame : host.sent) commands.push_back(frame.at(1));
        return commands;
    }
    // A write in `count` frames of one field each, the first of type `first`.
    static std::vector<ConfigureFrame> frames(std::size_t count, std::uint8_t first = 0xC7) {
        std::vector<ConfigureFrame> result;
        for (std::size_t i = 0; i < count; ++i) {
            const auto type = static_cast<std::uint8_t>(first + i);
            result.push_back({{0x7B, 0x0C, 0x00, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, type, 0x03, '1', 0x7B},
                              {type}});
        }
        return result;
    }
    void deadline() { cycle.onTimerTick(TIMER_ANSWER_DEADLINE); }
    void quiet() { cycle.onTimerTick(TIMER_LINE_QUIET); }

    RecordingHost host;
    RequestCycle cycle{host, host};
    SimulatedDtu dtu;
    std::size_t answered = 0;
};

// ---- A command that arrives while an answer is awaited ----------------------------------

enum class Ask { Read, Reset, Configure };
enum class While { Read, FirstFrame, LastFrame, Verification };

struct ArrivalCase {
    const char* name;
    While awaited;
    Ask ask;
    CommandStatus status;
    Types wire;  // every request sent, in order, once all are answered
    int readsTaken;
    int writesTaken;
};

class Arrival : public Cycle, public ::testing::WithParamInterface<ArrivalCase> {};

TEST_P(Arrival, WaitsForTheAwaitedVerdictAndGetsItsOwn) {
    const ArrivalCase& c = GetParam();
    cycle.setVerifyAfterWrite(c.awaited == While::Verification);
    if (c.awaited == While::Read) {
        cycle.askRead(Command::ReadRequest);
    } else {
        cycle.beginWrite(frames(2));
        // The first answer in: the last frame is on the wire; the second: the verification read.
        for (int i = c.awaited == While::FirstFrame ? 0 : c.awaited == While::LastFrame ? 1 : 2; i > 0; --i)
            feed(dtu.feed(host.sent[answered++]));
    }
    const std::size_t onTheWire = host.sent.size();
    const CommandResult result = c.ask == Ask::Configure ? cycle.beginWrite(frames(2, 0xD0))
                                                         : cycle.askRead(c.ask == Ask::Read ? Command::ReadRequest
                                                                                            : Command::ResetRequest);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(host.sent.size(), onTheWire);  // nothing more on the wire until the verdict
    answerAll();
    EXPECT_EQ(wire(), c.wire);
    EXPECT_EQ(host.count(kReadSucceededText), c.readsTaken);
    EXPECT_EQ(host.count(kConfigureSucceededText), c.writesTaken);
    EXPECT_EQ(host.count(kReadFailedText) + host.count(kConfigureFailedText), 0);
    EXPECT_EQ(cycle.awaited(), Awaited::Nothing);
    EXPECT_EQ(cycle.queued(), 0u);
}

constexpr std::uint8_t R = Command::ReadRequest;
constexpr std::uint8_t Z = Command::ResetRequest;
constexpr std::uint8_t W = 0x0C;  // a configure frame
using St = CommandStatus;

INSTANTIATE_TEST_SUITE_P(
    EachAwaitedAnswer, Arrival,
    ::testing::Values(ArrivalCase{"ReadDuringRead", While::Read, Ask::Read, St::Joined, {R}, 1, 0},
                      ArrivalCase{"ResetDuringRead", While::Read, Ask::Reset, St::Held, {R, Z}, 2, 0},
                      ArrivalCase{"ConfigureDuringRead", While::Read, Ask::Configure, St::Held, {R, W, W}, 1, 1},
                      ArrivalCase{"ReadDuringFirstFrame", While::FirstFrame, Ask::Read, St::Held, {W, W, R}, 1, 1},
                      ArrivalCase{"ConfigureDuringFirstFrame", While::FirstFrame, Ask::Configure, St::Held,
                                  {W, W, W, W}, 0, 2},
                      ArrivalCase{"ReadDuringLastFrame", While::LastFrame, Ask::Read, St::Held, {W, W, R}, 1, 1},
                      ArrivalCase{"ConfigureDuringLastFrame", While::LastFrame, Ask::Configure, St::Held,
                                  {W, W, W, W}, 0, 2},
                      ArrivalCase{"ReadDuringVerification", While::Verification, Ask::Read, St::Joined,
                                  {W, W, R}, 1, 1},
                      ArrivalCase{"ResetDuringVerification", While::Verification, Ask::Reset, St::Held,
                                  {W, W, R, Z}, 2, 1},
                      ArrivalCase{"ConfigureDuringVerification", While::Verification, Ask::Configure, St::Held,
                                  {W, W, R, W, W, R}, 2, 2}),
    [](const ::testing::TestParamInfo<ArrivalCase>& info) { return std::string(info.param.name); });

// Read again while the answer is arriving, and the rest of it holds the
// bytes of a frame start with a plausible length: the form gets the DTU's set.
TEST_F(Cycle, AReadAgainMidAnswerIsServedByThatAnswerWhateverItHolds) {
    DtuItems items = SimulatedDtu::FactoryItems();
    items[0x01] = {'1', '3', 0x7B, 0x8B, 0x00, 0x10, '9'};  // a value that reads like a frame head
    dtu.setItems(items);
    cycle.askRead(Command::ReadRequest);
    const Bytes answer = dtu.feed(host.sent[answered++]);
    const auto head = std::search(answer.begin() + 1, answer.end(), items[0x01].begin() + 2, items[0x01].end());
    ASSERT_NE(head, answer.end());
    feed(Bytes(answer.begin(), head));
    cycle.askRead(Command::ReadRequest);
    feed(Bytes(head, answer.end()));
    answerAll();
    EXPECT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.count(kReadSucceededText), 1);
    EXPECT_GT(ApplyReadAnswer(answer).size(), 10u);
    EXPECT_EQ(host.filledTypes.size(), ApplyReadAnswer(answer).size());
}

// A second write asked for while the first awaits its first answer, and the
// DTU refuses the second write's last frame: that write is reported failed.
TEST_F(Cycle, ASecondWriteIsWrittenAfterTheFirstAndGetsItsOwnVerdict) {
    cycle.beginWrite(frames(2));
    cycle.beginWrite(frames(2, 0xD0));
    while (answered < host.sent.size()) {
        const Bytes& frame = host.sent[answered++];
        const bool refused = frame[15] == 0xD1;
        feed(refused ? ConfigureAnswer(false) : dtu.feed(frame));
    }
    EXPECT_EQ(wire(), (Types{W, W, W, W}));
    EXPECT_EQ(host.outcomes, (std::vector{SessionOutcome::ConfigureSucceeded, SessionOutcome::ConfigureFailed}));
    EXPECT_EQ(cycle.unwrittenTypes(), Types{0xD1});
}

// Reads and resets asked for during a write wait for its verdict, then go
// out one after the other, each after the answer to the one before.
TEST_F(Cycle, HeldRequestsGoOutInOrderAfterTheWritesVerdict) {
    EXPECT_EQ(cycle.beginWrite(frames(2)).status, St::Sent);
    EXPECT_EQ(cycle.askRead(R).status, St::Held);
    EXPECT_EQ(cycle.askRead(R).status, St::Joined);  // the same read, already last in the queue
    EXPECT_EQ(cycle.askRead(Z).status, St::Held);
    EXPECT_EQ(cycle.askRead(R).status, St::Held);
    EXPECT_EQ(cycle.queued(), 3u);
    answerAll();
    EXPECT_EQ(wire(), (Types{W, W, R, Z, R}));
    EXPECT_EQ(host.count(kConfigureSucceededText), 1);
    EXPECT_EQ(host.count(kReadSucceededText), 3);  // one verdict for each
}

// ---- How a request ends without its answer -----------------------------------------------

// The port closes or the state changes mid-write: the write says it failed
// and names what it did not write; a queued write says so too.
struct CutCase {
    const char* name;
    RequestEnd why;
    std::vector<SessionOutcome> outcomes;
};

class Cut : public Cycle, public ::testing::WithParamInterface<CutCase> {};

TEST_P(Cut, EndsTheWriteWithItsFailureAndWhatItDidNotWrite) {
    cycle.beginWrite(frames(3));
    cycle.beginWrite(frames(2, 0xD0));
    cycle.askRead(R);
    feed(dtu.feed(host.sent[answered++]));
    cycle.endAll(GetParam().why);
    EXPECT_EQ(cycle.awaited(), Awaited::Nothing);
    EXPECT_EQ(cycle.queued(), 0u);
    EXPECT_EQ(host.info, (std::vector<std::string>{std::string(kConfigureFailedText),
                                                   std::string(kNotWrittenPrefix) + FieldLabel(0xC8) + "、" +
                                                       FieldLabel(0xC9) + "\n\r\n\r",
                                                   std::string(kConfigureFailedText),
                                                   std::string(kNotWrittenPrefix) + FieldLabel(0xD0) + "、" +
                                                       FieldLabel(0xD1) + "\n\r\n\r"}));
    EXPECT_EQ(host.outcomes, GetParam().outcomes);
    answerAll();  // a late answer is no verdict, and nothing follows it
    EXPECT_EQ(host.sent.size(), 2u);
    EXPECT_EQ(host.info.size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(
    ClosedOrChanged, Cut,
    ::testing::Values(CutCase{"PortClosed", RequestEnd::PortClosed, {}},  // the session reports the loss
                      CutCase{"StateChanged",
                              RequestEnd::StateChanged,
                              {SessionOutcome::ConfigureFailed, SessionOutcome::ConfigureFailed}}),
    [](const ::testing::TestParamInfo<CutCase>& info) { return std::string(info.param.name); });

struct DeadlineCase {
    const char* name;
    bool write;
    bool verify;
    std::size_t answered;  // answers given before the silence
    Awaited silentOn;
    Types unwritten;
};

class Deadline : public Cycle, public ::testing::WithParamInterface<DeadlineCase> {};

// Counted from the request: a line that talks without end does not hold it off.
TEST_P(Deadline, EndsTheAwaitedRequestHoweverMuchArrives) {
    const DeadlineCase& c = GetParam();
    cycle.setVerifyAfterWrite(c.verify);
    c.write ? cycle.beginWrite(frames(2)) : cycle.askRead(R);
    for (std::size_t i = 0; i < c.answered; ++i) feed(dtu.feed(host.sent[answered++]));
    ASSERT_EQ(cycle.awaited(), c.silentOn);
    EXPECT_EQ(host.timers[TIMER_ANSWER_DEADLINE], AnswerDeadlineMs(57600));

    host.timers.erase(TIMER_ANSWER_DEADLINE);
    feed({0x7B, 0x8B, 0x00});
    feed(Bytes(1000, 0x55));
    EXPECT_FALSE(host.running(TIMER_ANSWER_DEADLINE));  // not restarted by what arrived

    deadline();
    EXPECT_EQ(cycle.awaited(), Awaited::Nothing);
    EXPECT_EQ(host.outcomes.back(), SessionOutcome::NoAnswer);
    EXPECT_EQ(host.count(kNoAnswerText), 1);
    EXPECT_EQ(cycle.unwrittenTypes(), c.unwritten);
    EXPECT_FALSE(cycle.writeInProgress());
    deadline();  // a tick left over
    EXPECT_EQ(host.count(kNoAnswerText), 1);
}

INSTANTIATE_TEST_SUITE_P(
    EachAwaitedAnswer, Deadline,
    ::testing::Values(DeadlineCase{"Read", false, false, 0, Awaited::ReadAnswer, {}},
                      DeadlineCase{"FirstFrame", true, false, 0, Awaited::ConfigureAnswer, {0xC7, 0xC8}},
                      DeadlineCase{"LastFrame", true, false, 1, Awaited::ConfigureAnswer, {0xC8}},
                      DeadlineCase{"Verification", true, true, 2, Awaited::VerifyRead, {}}),
    [](const ::testing::TestParamInfo<DeadlineCase>& info) { return std::string(info.param.name); });

// The DTU answers after the deadline: its answer is dropped, and the next
// request goes out only once the line is quiet, and takes its own answer.
TEST_F(Cycle, ALateAnswerIsNotTakenForTheNextRequest) {
    DtuItems late = SimulatedDtu::FactoryItems(1);
    DtuItems own = SimulatedDtu::FactoryItems(2);
    own.erase(own.begin());  // told apart by how many fields it fills
    dtu.setItems(late);
    cycle.askRead(R);
    const Bytes lateAnswer = dtu.feed(host.sent[answered++]);
    deadline();
    EXPECT_FALSE(cycle.lineQuiet());
    EXPECT_EQ(cycle.askRead(R).status, St::Held);
    feed(Bytes(lateAnswer.begin(), lateAnswer.begin() + 100));
    EXPECT_EQ(host.timers[TIMER_LINE_QUIET], kLineQuietMs);
    host.timers.erase(TIMER_LINE_QUIET);
    feed(Bytes(lateAnswer.begin() + 100, lateAnswer.end()));
    EXPECT_TRUE(host.running(TIMER_LINE_QUIET));  // each byte makes the line wait longer
    EXPECT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.count(kReadSucceededText), 0);

    quiet();
    ASSERT_EQ(host.sent.size(), 2u);
    dtu.setItems(own);
    answerAll();
    EXPECT_EQ(host.count(kReadSucceededText), 1);
    EXPECT_EQ(host.filledTypes.size(), own.size());
    EXPECT_EQ(host.outcomes, (std::vector{SessionOutcome::NoAnswer, SessionOutcome::ReadSucceeded}));
}

// A line that never goes quiet: what waits for it ends at its own deadline, one after the other.
TEST_F(Cycle, RequestsWaitingForAQuietLineEndAtTheirDeadline) {
    cycle.askRead(R);
    deadline();
    cycle.beginWrite(frames(2));
    cycle.askRead(Z);
    EXPECT_TRUE(host.running(TIMER_ANSWER_DEADLINE));
    feed(Bytes(50, 0x55));
    deadline();  // the write
    EXPECT_EQ(cycle.queued(), 1u);
    EXPECT_TRUE(host.running(TIMER_ANSWER_DEADLINE));  // the reset's wait
    feed(Bytes(50, 0x55));
    deadline();
    EXPECT_EQ(cycle.queued(), 0u);
    EXPECT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.count(kNoAnswerText), 3);
    EXPECT_EQ(host.count(kConfigureFailedText), 1);
    EXPECT_EQ(cycle.unwrittenTypes(), (Types{0xC7, 0xC8}));
    EXPECT_EQ(host.outcomes, std::vector<SessionOutcome>(3, SessionOutcome::NoAnswer));
}

// An answer too large to hold fails at once, and the rest of it is no answer to the next request.
TEST_F(Cycle, AnAnswerTooLargeToHoldFailsAndTheLineMustGoQuiet) {
    cycle.askRead(R);
    feed({0x7B, 0x8B, 0x20, 0x00});  // 8192 bytes announced
    EXPECT_EQ(host.count(kReadFailedText), 1);
    EXPECT_EQ(cycle.askRead(R).status, St::Held);
    feed(Bytes(200, 0x7B));
    quiet();
    EXPECT_EQ(host.sent.size(), 2u);
}

// The read-back after a write fails: one verdict that says nothing was compared.
TEST_F(Cycle, AFailedReadBackIsNoVerdictOnTheWrite) {
    cycle.setVerifyAfterWrite(true);
    cycle.beginWrite(frames(1));
    feed(dtu.feed(host.sent[answered++]));
    ASSERT_EQ(cycle.awaited(), Awaited::VerifyRead);
    feed({0x7B, 0x8F, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B});  // not a read answer
    EXPECT_EQ(host.outcomes, (std::vector{SessionOutcome::ConfigureSucceeded, SessionOutcome::VerifyNotRead}));
    EXPECT_EQ(host.count(kVerifyNotReadText), 1);
    EXPECT_TRUE(cycle.mismatchedTypes().empty());
}

// What a command reports when it does not go out.
TEST_F(Cycle, ACommandTheEngineDoesNotTakeIsRefusedAndAwaitsNothing) {
    host.holding = false;
    const CommandResult notTaken{CommandStatus::Refused, CommandRefusal::NotHandedOver};
    EXPECT_EQ(cycle.askRead(R), notTaken);
    EXPECT_EQ(cycle.beginWrite(frames(2)), notTaken);
    EXPECT_EQ(cycle.awaited(), Awaited::Nothing);
    EXPECT_FALSE(cycle.writeInProgress());
    EXPECT_EQ(cycle.unwrittenTypes(), (Types{0xC7, 0xC8}));
    EXPECT_TRUE(host.info.empty());
}

// Each write that went out is reported once, when it ends, with its verdict
// and its read-back; a write that never went out is not.
struct ReportCase {
    const char* name;
    bool verify;
    std::function<void(Cycle&)> end;  // after the write of two frames was asked for
    WriteVerdict verdict;
    ReadBack readBack;
    Types unwritten;
    std::size_t reports;  // with the queued write, which goes out once the line allows it
};

class Report : public Cycle, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(Report, OneReportPerWriteThatWentOut) {
    const ReportCase& c = GetParam();
    cycle.setVerifyAfterWrite(c.verify);
    cycle.askRead(R);  // the unit's id comes first
    feed(dtu.feed(host.sent[answered++]));
    cycle.beginWrite(frames(2));
    cycle.beginWrite(frames(1, 0xD0));  // queued behind it
    c.end(*this);
    ASSERT_GE(host.writes.size(), 1u);
    const RecordingHost::Written& w = host.writes.front();
    EXPECT_EQ(w.verdict, c.verdict);
    EXPECT_EQ(w.readBack, c.readBack);
    EXPECT_EQ(w.unwritten, c.unwritten);
    EXPECT_EQ(w.frames, 2u);
    EXPECT_EQ(w.dtuId, "20240517001");  // the simulated unit's id, as read before the write
    cycle.endAll(RequestEnd::PortClosed);  // the queued write, if it went out, is cut off; if not, unreported
    EXPECT_EQ(host.writes.size(), c.reports);
}

const auto kAnswerAll = [](Cycle& t) { t.answerAll(); };
const auto kAnswerFirstOnly = [](Cycle& t) { t.feed(t.dtu.feed(t.host.sent[t.answered++])); };

INSTANTIATE_TEST_SUITE_P(
    EachEnd, Report,
    ::testing::Values(
        ReportCase{"Written", false, kAnswerAll, WriteVerdict::Written, ReadBack::None, {}, 2},
        ReportCase{"ReadBackPassed", true, kAnswerAll, WriteVerdict::Written, ReadBack::Passed, {}, 2},
        ReportCase{"Refused", false,
                   [](Cycle& t) {
                       kAnswerFirstOnly(t);
                       t.feed(ConfigureAnswer(false));
                   },
                   WriteVerdict::Refused, ReadBack::None, {0xC8}, 2},
        ReportCase{"NoAnswer", false,
                   [](Cycle& t) {
                       kAnswerFirstOnly(t);
                       t.deadline();
                   },
                   WriteVerdict::NoAnswer, ReadBack::None, {0xC8}, 1},
        ReportCase{"CutOff", false,
                   [](Cycle& t) {
                       kAnswerFirstOnly(t);
                       t.cycle.endAll(RequestEnd::PortClosed);
                   },
                   WriteVerdict::CutOff, ReadBack::None, {0xC8}, 1},
        ReportCase{"ReadBackFailed", true,
                   [](Cycle& t) {
                       kAnswerFirstOnly(t);
                       kAnswerFirstOnly(t);
                       t.feed({0x7B, 0x8F, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B});
                   },
                   WriteVerdict::Written, ReadBack::NotRead, {}, 2}),
    [](const ::testing::TestParamInfo<ReportCase>& info) { return std::string(info.param.name); });

// A check compares the unit with a file by the read-back's rule and leaves
// the form alone; a read asked for meanwhile gets an answer of its own.
TEST_F(Cycle, ACheckNamesEachFieldThatDiffersAndLeavesTheFormAlone) {
    // The simulated unit's DTU id is "20240517001"; the file says "1" there and
    // what the unit holds nowhere else.
    const std::vector<ConfigureFrame> differs = frames(1, 0x01);
    EXPECT_EQ(cycle.askCheck(differs).status, St::Sent);
    EXPECT_EQ(cycle.askRead(R).status, St::Held);  // not served by the check's answer
    feed(dtu.feed(host.sent[answered++]));
    EXPECT_EQ(host.info, (std::vector<std::string>{std::string(kCheckDiffersPrefix) + FieldLabel(0x01) + "\n\r\n\r",
                                                   std::string(kCheckFailedPrefix) + "1" +
                                                       std::string(kCheckFailedSuffix)}));
    EXPECT_TRUE(host.filledTypes.empty());
    EXPECT_TRUE(host.writes.empty());
    answerAll();  // the held read fills the form
    EXPECT_FALSE(host.filledTypes.empty());

    // The file holds what the unit holds: "1" written, so that is what it reads.
    cycle.beginWrite(frames(1, 0x01));
    answerAll();
    host.info.clear();
    cycle.askCheck(frames(1, 0x01));
    answerAll();
    EXPECT_EQ(host.info, std::vector<std::string>{std::string(kCheckPassedText)});

    host.info.clear();
    cycle.askCheck(frames(1, 0x01));
    feed({0x7B, 0x8F, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B});  // not a read answer
    EXPECT_EQ(host.info, (std::vector<std::string>{std::string(kReadFailedText), std::string(kCheckNotReadText)}));
    EXPECT_EQ(cycle.taken(), cycle.concluded());
}

TEST(AnswerDeadline, HoldsTheLargestAnswerAtTheLineRatePlusTheDtusDelay) {
    // 5000 bytes of 10 bits: 868.1 ms at 57600 bit/s, 5.21 s at 9600.
    EXPECT_EQ(AnswerDeadlineMs(57600), 869 + 2000);
    EXPECT_EQ(AnswerDeadlineMs(9600), 5209 + 2000);
    EXPECT_EQ(AnswerDeadlineMs(115200), 435 + 2000);
}

}  // namespace
}  // namespace quill::test
