// The session core alone, against a recording host: every row of the
// transition table, the enabled controls of each state, and the faults that
// only a sequence of events shows. No window, no port, no waiting.
#include "session/session_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "form/parameter_fields.h"
#include "protocol/frame.h"
#include "protocol/wire.h"
#include "sim/simulated_dtu.h"
#include "tests/session/recording_host.h"

namespace quill::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using S = SessionState;

Bytes Request(std::uint8_t command) {
    const auto frame = BuildRequestFrame(command);
    return Bytes(frame.begin(), frame.end());
}

// The simulated DTU's answer to a request, as it would arrive on the line.
Bytes AnswerTo(SimulatedDtu& dtu, std::uint8_t command) {
    const Bytes request = Request(command);
    return dtu.feed(request);
}

class Session : public ::testing::Test {
  public:
    void feed(const Bytes& bytes) {
        for (const std::uint8_t b : bytes) session.OnPortByte(b);
    }
    void open() { session.OnOpenPort(); }
    void connect() {
        open();
        session.OnPortByte(kAnnounceByte);
        ASSERT_EQ(session.state(), S::Connected);
    }
    void configDone(bool ticked) {
        host.ticks[kConfigDoneBoxId] = ticked;
        session.OnConfigDone();
    }
    void demo() {
        connect();
        configDone(true);
        ASSERT_EQ(session.state(), S::Demo);
    }
    void autoSend() {
        host.ticks[kAutoSendBoxId] = true;
        session.OnAutoSend();
        ASSERT_TRUE(host.running(TIMER_AUTO_SEND));
    }

    RecordingHost host;
    SessionController session{host, host};
};

// ---- The transition table ------------------------------------------------------------

struct Row {
    const char* name;
    std::function<void(Session&)> from;
    std::function<void(Session&)> event;
    S to;
    std::vector<std::string_view> reports;  // appended by the event, in order
};

// The search for the DTU over three candidates, the second of which is busy.
void Search(Session& t) {
    t.host.candidates = {{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2"}};
    t.host.candidateOpens[1] = CandidateOpen::Busy;
    t.open();
}

class Transitions : public Session, public ::testing::WithParamInterface<Row> {
  public:
    void run() {
        const Row& row = GetParam();
        row.from(*this);
        const std::size_t before = host.info.size();
        row.event(*this);
        EXPECT_EQ(StateName(session.state()), StateName(row.to));
        EXPECT_EQ(std::vector<std::string>(host.info.begin() + static_cast<std::ptrdiff_t>(before),
                                           host.info.end()),
                  std::vector<std::string>(row.reports.begin(), row.reports.end()));
        EXPECT_EQ(host.enables, TypedEnables(row.to));
        EXPECT_EQ(session.portOpen(),
                  row.to == S::WaitingForDtu || row.to == S::Connected || row.to == S::Demo);
        // Polling and the connect time-out run exactly while waiting or searching.
        const bool waits = row.to == S::WaitingForDtu || row.to == S::Searching;
        EXPECT_EQ(host.running(TIMER_DTU_POLL), waits);
        EXPECT_EQ(host.running(TIMER_CONNECT_TIMEOUT), waits);
        // The search holds its candidates exactly while it runs.
        EXPECT_EQ(host.candidatesOpen.empty(), row.to != S::Searching);
        if (!session.portOpen() && row.to != S::Searching) {
            EXPECT_TRUE(host.timers.empty());
        }
    }
};

TEST_P(Transitions, LeadToTheStateWithItsReportsTimersAndControls) {
    run();
}

const auto kNothing = [](Session&) {};

INSTANTIATE_TEST_SUITE_P(
    EveryRow, Transitions,
    ::testing::Values(Row{"ClosedOpenSucceeds",
                          kNothing,
                          [](Session& t) { t.open(); },
                          S::WaitingForDtu,
                          {kOpenedWaitText}},
                      Row{"ClosedOpenFails",
                          [](Session& t) { t.host.opensSucceed = false; },
                          [](Session& t) { t.open(); },
                          S::Closed,
                          {}},
                      Row{"WaitingPollTick",
                          [](Session& t) { t.open(); },
                          [](Session& t) { t.session.OnTimerTick(TIMER_DTU_POLL); },
                          S::WaitingForDtu,
                          {}},
                      Row{"WaitingAnnounced",
                          [](Session& t) { t.open(); },
                          [](Session& t) { t.session.OnPortByte(kAnnounceByte); },
                          S::Connected,
                          {kConnectedText}},
                      Row{"WaitingTimedOut",
                          [](Session& t) { t.open(); },
                          [](Session& t) { t.session.OnTimerTick(TIMER_CONNECT_TIMEOUT); },
                          S::Closed,
                          {kTimedOutText, kClosedText}},
                      Row{"WaitingClosed",
                          [](Session& t) { t.open(); },
                          [](Session& t) { t.session.OnClosePort(); },
                          S::Closed,
                          {kClosedText}},
                      Row{"ConnectedClosed",
                          [](Session& t) { t.connect(); },
                          [](Session& t) { t.session.OnClosePort(); },
                          S::Closed,
                          {kClosedText}},
                      Row{"DemoClosed",
                          [](Session& t) { t.demo(); },
                          [](Session& t) { t.session.OnClosePort(); },
                          S::DemoPortClosed,
                          {kClosedText}},
                      Row{"ConnectedRead",
                          [](Session& t) { t.connect(); },
                          [](Session& t) { t.session.OnReadParameters(); },
                          S::Connected,
                          {}},
                      Row{"ConnectedConfigure",
                          [](Session& t) {
                              t.connect();
                              t.host.form.Field(0x01, "1234");
                          },
                          [](Session& t) { t.session.OnConfigure(); },
                          S::Connected,
                          {}},
                      Row{"WaitingConfigDone",
                          [](Session& t) { t.open(); },
                          [](Session& t) { t.configDone(true); },
                          S::Demo,
                          {kDemoEnteredText}},
                      Row{"ConnectedConfigDone",
                          [](Session& t) { t.connect(); },
                          [](Session& t) { t.configDone(true); },
                          S::Demo,
                          {kDemoEnteredText}},
                      Row{"ClosedConfigDone",
                          kNothing,
                          [](Session& t) { t.configDone(true); },
                          S::DemoPortClosed,
                          {kDemoPortClosedText}},
                      Row{"DemoLeft",
                          [](Session& t) { t.demo(); },
                          [](Session& t) { t.configDone(false); },
                          S::WaitingForDtu,
                          {kReconnectText}},
                      Row{"DemoLeftReopenFails",
                          [](Session& t) {
                              t.demo();
                              t.host.opensSucceed = false;
                          },
                          [](Session& t) { t.configDone(false); },
                          S::WaitingForDtu,
                          {}},
                      Row{"DemoPortClosedLeft",
                          [](Session& t) { t.configDone(true); },
                          [](Session& t) { t.configDone(false); },
                          S::Closed,
                          {}},
                      Row{"DemoPortClosedOpens",
                          [](Session& t) { t.configDone(true); },
                          [](Session& t) { t.open(); },
                          S::Demo,
                          {kOpenedDemoText}},
                      Row{"ConnectedLost",
                          [](Session& t) { t.connect(); },
                          [](Session& t) { t.session.OnPortLost(); },
                          S::Closed,
                          {kPortLostText}},
                      Row{"DemoLost",
                          [](Session& t) { t.demo(); },
                          [](Session& t) { t.session.OnPortLost(); },
                          S::DemoPortClosed,
                          {kPortLostText}},
                      Row{"ClosedSearchStarts",
                          kNothing,
                          Search,
                          S::Searching,
                          {"<-串口/dev/ttyUSB1被占用，已跳过\n\r\n\r", "<-正在查找DTU，共2个串口...\n\r\n\r"}},
                      Row{"SearchNothingToOpen",
                          [](Session& t) { t.host.candidates = std::vector<std::string>{}; },
                          [](Session& t) { t.open(); },
                          S::Closed,
                          {"<-没有可以打开的串口，无法查找DTU\n\r\n\r"}},
                      Row{"SearchFound",
                          Search,
                          [](Session& t) {
                              t.session.OnTimerTick(TIMER_DTU_POLL);
                              t.session.OnCandidateByte(2, kAnnounceByte);
                          },
                          S::Connected,
                          {"<-在串口/dev/ttyUSB2上找到DTU\n\r\n\r", kConnectedText}},
                      Row{"SearchFoundPortGoneMeanwhile",
                          [](Session& t) {
                              Search(t);
                              t.host.adoptSucceeds = false;
                          },
                          [](Session& t) {
                              t.session.OnTimerTick(TIMER_DTU_POLL);
                              t.session.OnCandidateByte(0, kAnnounceByte);
                          },
                          S::Searching,
                          {}},
                      Row{"SearchEveryCandidateGone",
                          Search,
                          [](Session& t) {
                              t.session.OnCandidateLost(0);
                              t.session.OnCandidateLost(2);
                          },
                          S::Closed,
                          {kClosedText}},
                      Row{"SearchTimedOut",
                          Search,
                          [](Session& t) { t.session.OnTimerTick(TIMER_CONNECT_TIMEOUT); },
                          S::Closed,
                          {kTimedOutText, kClosedText}},
                      Row{"SearchClosed",
                          Search,
                          [](Session& t) { t.session.OnClosePort(); },
                          S::Closed,
                          {kClosedText}},
                      Row{"SearchConfigDone",
                          Search,
                          [](Session& t) { t.configDone(true); },
                          S::DemoPortClosed,
                          {kClosedText, kDemoPortClosedText}},
                      Row{"ClosedLostReportsNothing",
                          [](Session& t) {
                              t.connect();
                              t.session.OnClosePort();
                          },
                          [](Session& t) { t.session.OnPortLost(); },
                          S::Closed,
                          {}}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// ---- What the rows leave out ------------------------------------------------------------

TEST_F(Session, OpensAtTheSessionRateOutsideTheDemoStateAndAtTheListsRateInIt) {
    host.rateIndex = 3;
    open();
    EXPECT_EQ(host.openRates, (std::vector<std::uint32_t>{57600}));
    EXPECT_EQ(host.rateIndex, 9);
    EXPECT_EQ(host.status, "当前状态：串口com1已打开,波特率57600");

    session.OnClosePort();
    configDone(true);
    host.rateIndex = 5;
    open();
    EXPECT_EQ(host.openRates.back(), 9600u);
    EXPECT_EQ(host.status, "当前状态：串口com1已打开,波特率9600");
    host.rateIndex = -1;  // no selection: the session's own rate stands in
    session.OnDemoBaudChanged();
    EXPECT_EQ(host.openRates.back(), 57600u);
}

TEST_F(Session, AFoundPortBecomesTheSessionsPortAtTheSessionRate) {
    host.rateIndex = 3;
    Search(*this);
    EXPECT_EQ(host.rateIndex, 9);
    EXPECT_EQ(host.status, "当前状态：正在查找DTU");
    session.OnTimerTick(TIMER_DTU_POLL);
    EXPECT_EQ(host.candidateSent, (std::vector<std::pair<std::size_t, std::uint8_t>>{{0, 0x37}, {2, 0x37}}));
    session.OnCandidateByte(0, kAnnounceByte);
    EXPECT_EQ(host.adopted, 0u);
    EXPECT_TRUE(host.openRates.empty());  // handed over open, not opened again
    EXPECT_EQ(host.status, "当前状态：串口/dev/ttyUSB0已打开,波特率57600");
    EXPECT_EQ(host.outcomes, std::vector<SessionOutcome>{SessionOutcome::Connected});
    EXPECT_TRUE(host.boxes.empty());
    // From here it is the session's port: the DTU is read as after a chosen port.
    session.OnReadParameters();
    EXPECT_EQ(host.sent, (std::vector<Bytes>{Request(0x0B)}));
}

TEST_F(Session, AFailedOpenShowsOneBoxAndLeavesTheSessionClosed) {
    host.opensSucceed = false;
    open();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "没有发现此串口或被占用");
    EXPECT_EQ(host.boxes[0].caption, "错误提示");
    EXPECT_TRUE(host.info.empty());
}

TEST_F(Session, PollsOnlyWhileWaitingAndLeftoverTicksStopTheirTimer) {
    open();
    session.OnTimerTick(TIMER_DTU_POLL);
    session.OnTimerTick(TIMER_DTU_POLL);
    EXPECT_EQ(host.sent, (std::vector<Bytes>{{0x37}, {0x37}}));
    session.OnPortByte(kAnnounceByte);
    host.timers[TIMER_DTU_POLL] = 400;  // a tick already queued when the timer was killed
    session.OnTimerTick(TIMER_DTU_POLL);
    session.OnTimerTick(TIMER_CONNECT_TIMEOUT);
    EXPECT_EQ(host.sent.size(), 2u);
    EXPECT_FALSE(host.running(TIMER_DTU_POLL));
    EXPECT_EQ(host.count(kTimedOutText), 0);
    EXPECT_EQ(session.state(), S::Connected);
}

TEST_F(Session, TheAnnouncementCountsOnlyWhileWaiting) {
    demo();
    session.OnPortByte(kAnnounceByte);  // in the demo state: shown, and handed on
    EXPECT_EQ(host.displayed, Bytes{kAnnounceByte});
    EXPECT_EQ(host.count(kConnectedText), 1);
    EXPECT_EQ(session.state(), S::Demo);

    session.OnClosePort();
    configDone(false);
    session.OnPortByte(kAnnounceByte);  // a late byte after the close
    EXPECT_EQ(host.count(kConnectedText), 1);
    EXPECT_EQ(session.state(), S::Closed);
}

TEST_F(Session, ClosingKeepsTheFlagsAndTheNextOpenClearsTheConnection) {
    EXPECT_EQ(session.waitingForDtu(), 0);  // no wait has begun
    configDone(true);
    open();  // in the demo state: no wait either
    EXPECT_EQ(session.waitingForDtu(), 0);
    session.OnClosePort();
    configDone(false);
    connect();
    session.OnClosePort();
    EXPECT_TRUE(session.dtuConnected());
    EXPECT_EQ(session.waitingForDtu(), 1);
    EXPECT_EQ(host.stops, 2);
    EXPECT_EQ(host.status, "当前状态：串口已关闭");
    open();
    EXPECT_FALSE(session.dtuConnected());
}

TEST_F(Session, ReadAndResetSendTheirFixedRequestsAndExpectAReadAnswer) {
    connect();
    session.OnReset();  // its button is the demo state's
    session.OnReadParameters();
    configDone(true);
    session.OnReadParameters();  // and this one is not
    session.OnReset();
    EXPECT_EQ(host.sent, (std::vector<Bytes>{Request(0x0B), Request(0x0F)}));
    EXPECT_TRUE(session.assembler().readPending());

    SimulatedDtu dtu;
    feed(AnswerTo(dtu, 0x0F));
    EXPECT_EQ(host.count(kReadSucceededText), 1);
    EXPECT_EQ(host.filledTypes.size(), ApplyReadAnswer(AnswerTo(dtu, 0x0F)).size());
    EXPECT_GT(host.filledTypes.size(), 100u);
    EXPECT_EQ(host.outcomes.back(), SessionOutcome::ReadSucceeded);
}

TEST_F(Session, ARequestThatIsNotHandedOverExpectsNoAnswer) {
    connect();
    host.holding = false;  // the engine let go of the device
    session.OnReadParameters();
    EXPECT_FALSE(session.assembler().readPending());
}

TEST_F(Session, ARefusedConfigureShowsItsMessageAndSendsNothing) {
    connect();
    host.form.Field(0x01, "");  // a required text left empty
    session.OnConfigure();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].caption, "错误提示");
    EXPECT_FALSE(host.boxes[0].text.empty());
    EXPECT_TRUE(host.sent.empty());
    EXPECT_FALSE(session.assembler().configurePending());
}

// ---- Faults that a sequence of events shows --------------------------------------------

// Asked twice, the first time unanswered: the answer that comes gets the
// verdict the read rules give it, whatever it holds.
struct TwiceCase {
    const char* name;
    bool reset;  // in the demo state; else a read while connected
    Bytes answer;
    std::string_view verdict;
};

class AskedTwice : public Session, public ::testing::WithParamInterface<TwiceCase> {};

TEST_P(AskedTwice, TheAnswerGetsItsVerdict) {
    const TwiceCase& c = GetParam();
    c.reset ? demo() : connect();
    for (int i = 0; i < 2; ++i) c.reset ? session.OnReset() : session.OnReadParameters();
    feed(c.answer);
    EXPECT_EQ(host.count(kReadSucceededText) + host.count(kReadFailedText), 1);
    EXPECT_EQ(host.count(c.verdict), 1);
}

INSTANTIATE_TEST_SUITE_P(
    FirstUnanswered, AskedTwice,
    ::testing::Values(TwiceCase{"ResetAnsweredWithAnotherCommand", true,
                                {0x7B, 0x8F, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B},
                                kReadFailedText},
                      TwiceCase{"ReadAnsweredWithAShortAnswer", false, {0x7B, 0x8B, 0x00, 0x05, 0x7B},
                                kReadSucceededText}),
    [](const ::testing::TestParamInfo<TwiceCase>& info) { return std::string(info.param.name); });

// The engine did not take the first frame of a write (it has let go of a
// vanished device, whose loss is still on its way): the write has not begun.
TEST_F(Session, AWriteWhoseFirstFrameWasNotTakenLeavesReadingFree) {
    connect();
    host.holding = false;
    host.form.Field(0x01, "1234");
    EXPECT_EQ(session.OnConfigure().refusal, CommandRefusal::NotHandedOver);
    EXPECT_TRUE(host.sent.empty());
    host.holding = true;
    session.OnReadParameters();
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.sent.back(), Request(0x0B));
    EXPECT_EQ(session.unwrittenTypes(), std::vector<std::uint8_t>{0x01});
}

// The DTU's line runs at the session rate: a rate picked outside the demo
// state is kept for the next demo-state open and changes nothing now.
TEST_F(Session, ARatePickedOutsideTheDemoStateWaitsForTheNextDemoOpen) {
    connect();
    host.rateIndex = 5;  // 9600
    session.OnDemoBaudChanged();
    EXPECT_EQ(host.openRates, std::vector<std::uint32_t>{57600});
    EXPECT_EQ(host.stops, 0);
    EXPECT_EQ(session.state(), S::Connected);
    session.OnClosePort();
    open();  // outside the demo state: the session rate, and 1068 shows it
    EXPECT_EQ(host.rateIndex, 9);
    session.OnClosePort();
    configDone(true);
    open();
    EXPECT_EQ(host.openRates, (std::vector<std::uint32_t>{57600, 57600, 9600}));
    EXPECT_EQ(host.rateIndex, 5);
    EXPECT_EQ(session.requests().answerDeadline(), AnswerDeadlineMs(9600));
}

// A reopen from 1068 lets go of the line first: a choice that opens nothing
// leaves no device held behind the window.
TEST_F(Session, AFailedDemoReopenLeavesNothingHeld) {
    demo();
    host.opensSucceed = false;
    host.rateIndex = 5;
    session.OnDemoBaudChanged();
    EXPECT_EQ(host.stops, 1);
    EXPECT_FALSE(host.holding);
}

TEST_F(Session, AnAutoSendTickAfterAFailedReopenIsNoLoss) {
    demo();
    autoSend();
    host.opensSucceed = false;
    session.OnDemoBaudChanged();  // the engine lets go of the device, then cannot open it
    EXPECT_TRUE(host.info.back() != kPortLostText);
    session.OnTimerTick(TIMER_AUTO_SEND);
    EXPECT_EQ(host.count(kPortLostText), 0);
    EXPECT_EQ(session.state(), S::Demo);
    ASSERT_EQ(host.boxes.size(), 1u);  // the port is not open: said once, and auto-send stops
    EXPECT_EQ(host.boxes[0].text, kPortNotOpenText);
    EXPECT_FALSE(host.running(TIMER_AUTO_SEND));
    EXPECT_FALSE(host.isTicked(kAutoSendBoxId));
}

TEST_F(Session, AnAutoSendTickAfterTheDeviceVanishedClosesWithOneLossReport) {
    demo();
    autoSend();
    host.holding = false;  // gone; the engine's own report is on its way
    session.OnTimerTick(TIMER_AUTO_SEND);
    session.OnPortLost();
    EXPECT_EQ(host.count(kPortLostText), 1);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(session.state(), S::DemoPortClosed);
    EXPECT_TRUE(host.timers.empty());
}

TEST_F(Session, AnEmptiedIntervalStopsAutoSendUntilItIsValidAgain) {
    demo();
    host.sendMember = "AT";
    autoSend();
    session.OnTimerTick(TIMER_AUTO_SEND);
    EXPECT_EQ(host.sent.back(), (Bytes{'A', 'T'}));

    host.formValid = false;  // the operator empties 1035; the front end says so once
    session.OnIntervalChanged();
    const int badSaves = host.saves;
    EXPECT_FALSE(host.running(TIMER_AUTO_SEND));
    for (int i = 0; i < 5; ++i) session.OnTimerTick(TIMER_AUTO_SEND);  // ticks already queued
    EXPECT_EQ(host.saves, badSaves);                                   // no exchange, so no further box
    EXPECT_TRUE(host.isTicked(kAutoSendBoxId));

    // Retyped as "500": the first keystroke is a valid "5", which must not
    // set the pace. Auto-send resumes at the period it was started with.
    for (const std::uint32_t typed : {5u, 50u, 500u}) {
        host.formValid = true;
        host.interval = typed;
        session.OnIntervalChanged();
        EXPECT_EQ(host.timers[TIMER_AUTO_SEND], 1000) << typed;
    }
}

TEST_F(Session, ARefusedSendStopsAutoSendBeforeItsBox) {
    demo();
    host.ticks[kHexModeBoxId] = true;
    host.sendMember = std::string(1100, 'A');  // 550 bytes: over the 512-byte buffer
    autoSend();
    session.OnTimerTick(TIMER_AUTO_SEND);
    session.OnTimerTick(TIMER_AUTO_SEND);
    EXPECT_EQ(host.boxes.size(), 1u);
    EXPECT_FALSE(host.running(TIMER_AUTO_SEND));
    EXPECT_TRUE(host.sent.empty());
}

TEST_F(Session, ClosingStopsAutoSendAndNoSendFollows) {
    demo();
    host.sendMember = "x";
    autoSend();
    session.OnClosePort();
    EXPECT_FALSE(host.isTicked(kAutoSendBoxId));
    session.OnTimerTick(TIMER_AUTO_SEND);
    EXPECT_TRUE(host.sent.empty());
    EXPECT_TRUE(host.timers.empty());
}

// ---- Writes in several frames, and verification --------------------------------------

class Writing : public Session {
  public:
    // Every numbered field with an 11-digit value: more than one frame.
    void tickEveryNumberedField() {
        for (int type = 0xC7; type <= 0xF1; ++type)
            if (type != 0xCD && type != 0xEE)
                host.form.Field(static_cast<std::uint8_t>(type), std::string(11, '9'));
    }
    // The DTU answers what was sent last; returns whether something new went out after it.
    bool answerLast() {
        const std::size_t sent = host.sent.size();
        feed(dtu.feed(host.sent.back()));
        return host.sent.size() > sent;
    }
    std::vector<std::uint8_t> typesOf(const Bytes& frame) {
        std::vector<std::uint8_t> types;
        ForEachItem(std::span<const std::uint8_t>(frame),
                    [&](const ItemView& item) { types.push_back(item.type); });
        return types;
    }
    SimulatedDtu dtu;
};

TEST_F(Writing, EachFrameGoesAfterTheOneBeforeItSucceededWithOneVerdict) {
    connect();
    tickEveryNumberedField();
    session.OnConfigure();
    ASSERT_EQ(host.sent.size(), 1u);  // one frame at a time
    ASSERT_GT(session.framesLeft(), 0u);
    while (answerLast()) {
        EXPECT_EQ(host.count(kConfigureSucceededText), 0);  // no verdict before the last frame
    }
    EXPECT_GE(host.sent.size(), 2u);
    EXPECT_EQ(host.count(kConfigureSucceededText), 1);
    EXPECT_EQ(session.framesLeft(), 0u);
    for (const Bytes& frame : host.sent) EXPECT_LE(frame.size(), kMaxConfigureFrame);
    // The DTU holds what the form held: every numbered field, eleven nines.
    int stored = 0;
    for (int type = 0xC7; type <= 0xF1; ++type) {
        if (type == 0xCD || type == 0xEE) continue;
        ASSERT_EQ(dtu.items().count(static_cast<std::uint8_t>(type)), 1u) << type;
        EXPECT_EQ(dtu.items().at(static_cast<std::uint8_t>(type)), Bytes(11, '9')) << type;
        ++stored;
    }
    EXPECT_EQ(stored, 41);
    EXPECT_TRUE(session.unwrittenTypes().empty());
    EXPECT_EQ(host.outcomes.back(), SessionOutcome::ConfigureSucceeded);
}

TEST_F(Writing, ARefusedFrameStopsTheRestAndNamesWhatWasNotWritten) {
    connect();
    tickEveryNumberedField();
    session.OnConfigure();
    ASSERT_TRUE(answerLast());  // the first frame is taken, the second goes out
    const std::size_t frames = host.sent.size();
    feed({0x7B, 0x8C, 0x01, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B});  // and is refused
    EXPECT_EQ(host.sent.size(), frames);                                       // nothing after it
    EXPECT_EQ(host.count(kConfigureFailedText), 1);
    EXPECT_EQ(host.count(kConfigureSucceededText), 0);

    // Not written: the refused frame's fields and every later one's.
    std::vector<std::uint8_t> firstFrame = typesOf(host.sent[0]);
    std::vector<std::uint8_t> expected;
    for (int type = 0xC7; type <= 0xF1; ++type)
        if (type != 0xCD && type != 0xEE &&
            std::find(firstFrame.begin(), firstFrame.end(), type) == firstFrame.end())
            expected.push_back(static_cast<std::uint8_t>(type));
    EXPECT_EQ(session.unwrittenTypes(), expected);
    ASSERT_FALSE(host.info.empty());
    const std::string& report = host.info.back();
    EXPECT_EQ(report.rfind(kNotWrittenPrefix, 0), 0u);
    EXPECT_NE(report.find(FieldLabel(expected.front())), std::string::npos);
    EXPECT_NE(report.find(FieldLabel(expected.back())), std::string::npos);
    EXPECT_EQ(host.outcomes.back(), SessionOutcome::ConfigureFailed);
}

// A read sent between two frames would cross the next frame's answer.
TEST_F(Writing, AReadAskedForMidWriteGoesOutAfterTheVerdict) {
    connect();
    tickEveryNumberedField();
    session.OnConfigure();
    ASSERT_GT(session.framesLeft(), 0u);
    session.OnReadParameters();
    EXPECT_EQ(host.sent.size(), 1u);  // nothing but the first frame yet
    while (answerLast()) {
    }
    const Bytes read = Request(0x0B);
    ASSERT_GE(host.sent.size(), 3u);
    EXPECT_EQ(host.sent.back(), read);
    EXPECT_EQ(std::count(host.sent.begin(), host.sent.end(), read), 1);
    for (std::size_t i = 0; i + 1 < host.sent.size(); ++i) EXPECT_EQ(host.sent[i][1], 0x0C) << i;
    EXPECT_EQ(host.count(kConfigureSucceededText), 1);
    EXPECT_EQ(host.count(kReadSucceededText), 1);
    session.OnClosePort();

    // A close before the verdict drops what was held: the next write ends without it.
    connect();
    tickEveryNumberedField();
    session.OnConfigure();
    session.OnReadParameters();
    session.OnClosePort();
    connect();
    host.sent.clear();
    session.OnConfigure();
    while (answerLast()) {
    }
    EXPECT_EQ(host.count(kConfigureSucceededText), 2);
    EXPECT_EQ(std::count(host.sent.begin(), host.sent.end(), read), 0);
}

// The demo state begins in the middle of a write: the write ends there with
// what it did not write, and neither its next frame nor a held read goes out.
class WriteMeetsDemo : public Writing, public ::testing::WithParamInterface<bool> {};

TEST_P(WriteMeetsDemo, EndsTheWriteAndDropsWhatWasHeld) {
    const bool withHandler = GetParam();
    connect();
    tickEveryNumberedField();
    session.OnConfigure();
    ASSERT_GT(session.framesLeft(), 0u);
    EXPECT_EQ(session.OnReadParameters().status, CommandStatus::Held);
    host.ticks[kConfigDoneBoxId] = true;
    withHandler ? session.OnConfigDone() : session.SyncConfigDone();
    ASSERT_EQ(session.state(), S::Demo);
    EXPECT_EQ(host.count(kConfigureFailedText), 1);
    std::vector<std::uint8_t> everyNumbered;
    for (int type = 0xC7; type <= 0xF1; ++type)
        if (type != 0xCD && type != 0xEE) everyNumbered.push_back(static_cast<std::uint8_t>(type));
    EXPECT_EQ(session.unwrittenTypes(), everyNumbered);
    ASSERT_EQ(host.sent.size(), 1u);
    feed(dtu.feed(host.sent.back()));  // the answer to the frame already sent
    EXPECT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.count(kConfigureSucceededText), 0);
    EXPECT_EQ(host.count(kReadSucceededText), 0);
}

INSTANTIATE_TEST_SUITE_P(TickedWithAndWithoutItsHandler, WriteMeetsDemo, ::testing::Bool());

TEST_F(Writing, ALossMidWriteReportsNoSuccessAndKeepsWhatWasNotWritten) {
    connect();
    tickEveryNumberedField();
    session.OnConfigure();
    ASSERT_TRUE(answerLast());
    host.holding = false;
    session.OnPortLost();
    feed(dtu.feed(host.sent.back()));  // a late answer after the close is not taken
    EXPECT_EQ(host.count(kConfigureSucceededText), 0);
    EXPECT_FALSE(session.unwrittenTypes().empty());
    EXPECT_EQ(host.outcomes.back(), SessionOutcome::Lost);
}

TEST_F(Writing, VerificationCatchesADtuThatStoresNothing) {
    connect();
    session.setVerifyAfterWrite(true);
    dtu.faults().storeNothing = true;
    host.form.Field(0x01, "8888");
    host.form.Field(0xC7, "123");
    session.OnConfigure();
    ASSERT_TRUE(answerLast());  // success, then the read that checks it
    EXPECT_EQ(host.sent.back(), Request(0x0B));
    answerLast();
    EXPECT_EQ(session.mismatchedTypes(), (std::vector<std::uint8_t>{0x01, 0xC7}));
    EXPECT_EQ(
        host.count(std::string(kVerifyMismatchPrefix) + "DTU编号\n\r\n\r"), 1);
    EXPECT_EQ(
        host.count(std::string(kVerifyMismatchPrefix) + "2\n\r\n\r"), 1);
    EXPECT_EQ(host.info.back(), std::string(kVerifyFailedPrefix) + "2" + std::string(kVerifyFailedSuffix));
    EXPECT_EQ(host.outcomes.back(), SessionOutcome::VerifyFailed);
}

TEST_F(Writing, VerificationPassesWhenTheDtuStoredEveryField) {
    connect();
    session.setVerifyAfterWrite(true);
    tickEveryNumberedField();
    host.form.Field(0x92, "\xD0\xC2\xD5\xBE");  // a GBK station name
    session.OnConfigure();
    while (answerLast()) {
    }
    EXPECT_TRUE(session.mismatchedTypes().empty());
    EXPECT_EQ(host.info.back(), kVerifyPassedText);
    EXPECT_EQ(host.outcomes.back(), SessionOutcome::VerifyPassed);
    EXPECT_EQ(host.count(kReadSucceededText), 1);
}

// ---- A lost port that comes back ----------------------------------------------------

// The port awaited back opens once, chosen as the list shows it; an
// operator's own choice in between, or a port that is not the one, opens nothing.
TEST_F(Session, ALostPortThatComesBackIsOpenedOnceUnlessTheOperatorChoseMeanwhile) {
    const std::vector<PortListEntry> entries = PortListEntries({});
    const FoundPort adapter{"/dev/ttyUSB3", "usb-A-if00-port0"};
    const FoundPort other{"/dev/ttyUSB4", "usb-B-if00-port0"};
    struct Case {
        const char* name;
        bool forget;
        std::vector<FoundPort> found;
        int opens;
    };
    const Case cases[] = {
        {"back under another path", false, {other, {"/dev/ttyUSB9", "usb-A-if00-port0"}}, 1},
        {"not among the ports", false, {other}, 0},
        {"the operator chose meanwhile", true, {adapter}, 0},
    };
    for (const Case& c : cases) {
        RecordingHost h;
        SessionController s{h, h};
        s.AwaitReturnOf("usb-A-if00-port0");
        if (c.forget) s.ForgetReturn();
        s.OnPortsFound(entries, c.found);
        s.OnPortsFound(entries, c.found);  // once only
        EXPECT_EQ(static_cast<int>(h.openRates.size()), c.opens) << c.name;
        EXPECT_EQ(static_cast<int>(h.found.size()), c.opens) << c.name;
        EXPECT_EQ(h.count("<-串口/dev/ttyUSB9已重新接入，重新打开\n\r\n\r"), c.opens) << c.name;
        if (c.opens == 1) {
            EXPECT_EQ(s.state(), S::WaitingForDtu) << c.name;
        }
    }
}

}  // namespace
}  // namespace quill::test
