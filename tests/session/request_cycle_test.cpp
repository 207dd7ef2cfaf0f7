// The request cycle alone, against a recording host and the simulated DTU:
// what is held and in which order it goes out, the answer deadline, and what
// each command reports.
#include "session/request_cycle.h"

#include <gtest/gtest.h>

#include <vector>

#include "protocol/frame.h"
#include "protocol/session.h"
#include "session/session_texts.h"
#include "sim/simulated_dtu.h"
#include "tests/session/recording_host.h"

namespace quill::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Request(std::uint8_t command) {
    const auto frame = BuildRequestFrame(command);
    return Bytes(frame.begin(), frame.end());
}

class Cycle : public ::testing::Test {
  public:
    Cycle() { host.held = true; }
    void feed(const Bytes& bytes) {
        for (const std::uint8_t b : bytes) cycle.onByte(b);
    }
    // The DTU answers what was sent last.
    void answerLast() { feed(dtu.feed(host.sent.back())); }
    // A write in `count` frames of one field each.
    std::vector<ConfigureFrame> frames(std::size_t count) {
        std::vector<ConfigureFrame> result;
        for (std::size_t i = 0; i < count; ++i) {
            const auto type = static_cast<std::uint8_t>(0xC7 + i);
            result.push_back({{0x7B, 0x0C, 0x00, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, type, 0x03, '1', 0x7B},
                              {type}});
        }
        return result;
    }

    RecordingHost host;
    RequestCycle cycle{host};
    SimulatedDtu dtu;
};

// Reads and resets asked for during a write wait for its verdict, then go
// out one after the other, each after the answer to the one before.
TEST_F(Cycle, HeldRequestsGoOutInOrderAfterTheWritesVerdict) {
    using C = CommandStatus;
    EXPECT_EQ(cycle.beginWrite(frames(2)).status, C::Sent);
    EXPECT_EQ(cycle.askRead(Command::ReadRequest).status, C::Held);
    EXPECT_EQ(cycle.askRead(Command::ResetRequest).status, C::Held);
    EXPECT_EQ(cycle.askRead(Command::ReadRequest).status, C::Held);
    EXPECT_EQ(host.sent.size(), 1u);
    answerLast();  // frame 1 taken: frame 2 goes
    ASSERT_EQ(host.sent.size(), 2u);
    EXPECT_EQ(host.sent[1][1], 0x0C);
    answerLast();  // the verdict: the first held request goes
    ASSERT_EQ(host.sent.size(), 3u);
    EXPECT_EQ(host.sent[2], Request(0x0B));
    EXPECT_EQ(cycle.held().size(), 2u);
    answerLast();
    ASSERT_EQ(host.sent.size(), 4u);
    EXPECT_EQ(host.sent[3], Request(0x0F));
    answerLast();
    ASSERT_EQ(host.sent.size(), 5u);
    EXPECT_EQ(host.sent[4], Request(0x0B));
    answerLast();
    EXPECT_TRUE(cycle.held().empty());
    EXPECT_EQ(host.count(kConfigureSucceededText), 1);
    EXPECT_EQ(host.count(kReadSucceededText), 3);  // one verdict for each
}

// The port closes: the write ends with what it did not write, held requests go.
TEST_F(Cycle, APortClosedEndsTheWriteAndDropsWhatWasHeld) {
    cycle.beginWrite(frames(3));
    cycle.askRead(Command::ReadRequest);
    answerLast();
    cycle.endAll(RequestEnd::PortClosed);
    EXPECT_EQ(cycle.awaited(), Awaited::Nothing);
    EXPECT_EQ(cycle.unwrittenTypes(), (std::vector<std::uint8_t>{0xC8, 0xC9}));
    EXPECT_TRUE(cycle.held().empty());
    answerLast();  // a late answer is no verdict
    EXPECT_EQ(host.sent.size(), 2u);
    EXPECT_TRUE(host.info.empty());
}

struct DeadlineCase {
    const char* name;
    bool write;
    bool verify;
    std::size_t answered;  // answers given before the silence
    Awaited silentOn;
    std::vector<std::uint8_t> unwritten;
};

class Deadline : public Cycle, public ::testing::WithParamInterface<DeadlineCase> {};

TEST_P(Deadline, EndsTheAwaitedRequestAfterSilence) {
    const DeadlineCase& c = GetParam();
    cycle.setAnswerDeadline(5000);
    cycle.setVerifyAfterWrite(c.verify);
    c.write ? cycle.beginWrite(frames(2)) : cycle.askRead(Command::ReadRequest);
    for (std::size_t i = 0; i < c.answered; ++i) answerLast();
    ASSERT_EQ(cycle.awaited(), c.silentOn);
    EXPECT_EQ(host.timers[TIMER_ANSWER_DEADLINE], 5000);

    // A part of an answer restarts it; only silence ends the request.
    host.timers.erase(TIMER_ANSWER_DEADLINE);
    feed({0x7B, 0x8B});
    EXPECT_TRUE(host.running(TIMER_ANSWER_DEADLINE));

    cycle.onDeadlineTick();
    EXPECT_EQ(cycle.awaited(), Awaited::Nothing);
    EXPECT_FALSE(host.running(TIMER_ANSWER_DEADLINE));
    EXPECT_EQ(host.outcomes.back(), SessionOutcome::NoAnswer);
    EXPECT_EQ(host.count(kNoAnswerText), 1);
    EXPECT_EQ(cycle.unwrittenTypes(), c.unwritten);
    EXPECT_FALSE(cycle.writeInProgress());
    cycle.onDeadlineTick();  // a tick left over
    EXPECT_EQ(host.count(kNoAnswerText), 1);
    // The next request starts clean: the bytes held before are gone.
    cycle.askRead(Command::ReadRequest);
    answerLast();
    EXPECT_EQ(host.outcomes.back(), SessionOutcome::ReadSucceeded);
}

INSTANTIATE_TEST_SUITE_P(
    EachAwaitedAnswer, Deadline,
    ::testing::Values(DeadlineCase{"Read", false, false, 0, Awaited::ReadAnswer, {}},
                      DeadlineCase{"FirstFrame", true, false, 0, Awaited::ConfigureAnswer, {0xC7, 0xC8}},
                      DeadlineCase{"LastFrame", true, false, 1, Awaited::ConfigureAnswer, {0xC8}},
                      DeadlineCase{"Verification", true, true, 2, Awaited::VerifyRead, {}}),
    [](const ::testing::TestParamInfo<DeadlineCase>& info) { return std::string(info.param.name); });

TEST_F(Cycle, WithoutADeadlineAnAnswerIsAwaitedAsLongAsItTakes) {
    cycle.askRead(Command::ReadRequest);
    feed({0x7B, 0x8B});
    EXPECT_FALSE(host.running(TIMER_ANSWER_DEADLINE));
    EXPECT_EQ(cycle.awaited(), Awaited::ReadAnswer);
}

// What a command reports when it does not go out.
TEST_F(Cycle, ACommandTheEngineDoesNotTakeIsRefusedAndAwaitsNothing) {
    host.held = false;
    const CommandResult notTaken{CommandStatus::Refused, CommandRefusal::NotHandedOver};
    EXPECT_EQ(cycle.askRead(Command::ReadRequest), notTaken);
    EXPECT_EQ(cycle.beginWrite(frames(2)), notTaken);
    EXPECT_EQ(cycle.awaited(), Awaited::Nothing);
    EXPECT_FALSE(cycle.writeInProgress());
    EXPECT_EQ(cycle.unwrittenTypes(), (std::vector<std::uint8_t>{0xC7, 0xC8}));
    EXPECT_TRUE(host.info.empty());
}

}  // namespace
}  // namespace quill::test
