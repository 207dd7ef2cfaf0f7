// Faults on the line, through the real window (offscreen), the real serial
// engine and a simulated DTU on a pseudo-terminal: the device vanishing in
// each state, garbage and floods of 0x7B, a length field of 0xFFFF, answers
// that never end, and open/close cycles while the DTU floods the line.
// Every case ends the same way: the event loop still turns, the fault was
// reported at most once, the port is shown as it is, and the next open and
// read work.
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "protocol/item_table.h"
#include "session_fixture.h"
#include "sim/simulated_dtu.h"

namespace quill::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// A frame: 7B, command, length (high first), eleven 00, the body, 7B.
Bytes Frame(std::uint8_t command, const Bytes& body) {
    const auto total = static_cast<std::uint16_t>(16 + body.size());
    Bytes frame{0x7B, command, static_cast<std::uint8_t>(total >> 8),
                static_cast<std::uint8_t>(total & 0xFF)};
    frame.resize(15, 0x00);
    frame.insert(frame.end(), body.begin(), body.end());
    frame.push_back(0x7B);
    return frame;
}

// A read answer with the DTU number "AB" (item 0x01 of four bytes).
Bytes SmallReadAnswer() {
    return Frame(0x8B, {0x01, 0x04, 0x41, 0x42});
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Every byte value but the excluded ones, `rounds` times over.
Bytes Garbage(std::initializer_list<std::uint8_t> excluded, int rounds) {
    Bytes bytes;
    for (int r = 0; r < rounds; ++r) {
        for (int b = 0; b < 256; ++b) {
            if (std::find(excluded.begin(), excluded.end(), b) == excluded.end())
                bytes.push_back(static_cast<std::uint8_t>(b));
        }
    }
    return bytes;
}

class FaultTest : public SessionTest {
  protected:
    // Every report in the information area, whatever it says.
    int reports() const { return static_cast<int>(window->controlText(1000).count(QStringLiteral("<-"))); }

    // The event loop turns: a zero-timer posted now fires within the deadline.
    bool responsive() {
        auto fired = std::make_shared<bool>(false);
        QTimer::singleShot(0, window.get(), [fired] { *fired = true; });
        return WaitFor([&] { return *fired; }, 1000);
    }

    // The buttons, the status line and the session agree with the engine.
    void expectPortShown(bool open) {
        EXPECT_EQ(window->session.portOpen(), open);
        EXPECT_EQ(window->session.line().engine().IsOpen(), open);
        EXPECT_EQ(enabled(1027), !open);
        EXPECT_EQ(enabled(1028), open);
        if (open) {
            EXPECT_TRUE(status().startsWith(FromUtf8("当前状态：串口"))) << status().toStdString();
            EXPECT_TRUE(status().contains(FromUtf8("已打开"))) << status().toStdString();
            return;
        }
        EXPECT_EQ(status(), FromUtf8("当前状态：串口已关闭"));
        EXPECT_FALSE(enabled(1029));
        EXPECT_FALSE(enabled(1030));
        for (const int id : {kPoll, kTimeout, kAutoSend}) EXPECT_EQ(window->timerPeriod(id), 0) << id;
    }

    // Waits until `bytes` more bytes have reached OnPortByte since `from`.
    bool waitHandled(std::uint64_t from, std::size_t bytes) {
        return WaitFor([&] { return window->session.line().bytesReceived() >= from + bytes; }, kWaitMs);
    }

    std::uint64_t writes() const { return window->session.line().engine().completedWrites(); }

    // Sends `bytes` from the quiet DTU once the engine has carried out
    // `afterWrites` writes (each write discards unread input first), and waits
    // until the window has handled all of them.
    void injectFromQuiet(const Bytes& bytes, std::uint64_t afterWrites) {
        const std::uint64_t from = window->session.line().bytesReceived();
        sendAfterWrites(afterWrites, bytes, &quiet);
        ASSERT_TRUE(waitHandled(from, bytes.size()));
    }
    // Presses `button` (a request) and answers it from the quiet DTU.
    void answerFromQuiet(int button, const Bytes& answer) {
        const std::uint64_t before = writes();
        click(button);
        injectFromQuiet(answer, before + 1);
    }

    // An answer that never completes ends at its deadline; the line is quiet then.
    void endAtDeadline() {
        window->OnTimerTick(quill::TIMER_ANSWER_DEADLINE);
        window->OnTimerTick(quill::TIMER_LINE_QUIET);
    }

    // The next read on the quiet line: the request, then a typed answer.
    void expectQuietReadWorks() {
        const int ok = count(kReadOk);
        const int failed = count(kReadFailed);
        window->setControlText(1002, {});
        answerFromQuiet(1029, SmallReadAnswer());
        ASSERT_EQ(count(kReadOk), ok + 1);
        EXPECT_EQ(count(kReadFailed), failed);
        EXPECT_EQ(window->controlText(1002), QStringLiteral("AB"));
    }

    // What a read of the factory set shows, first and last items of the answer.
    struct Shows {
        QString apn;      // 1025, item 0x04
        QString station;  // 1044, item 0x92
        QString last;     // the last item of the answer, 0xF1
    };
    static Shows Factory() { return {QStringLiteral("CMNET"), FromUtf8("城东变电站"), QString()}; }

    // Closes the port if need be, opens `dtu`, waits for its announcement and
    // reads its whole set into the form.
    void expectOpenAndRead(DtuServer& dtu, const Shows& shows = Factory()) {
        if (window->session.portOpen()) click(1028);
        pointAt(dtu);
        click(1027);
        ASSERT_TRUE(window->session.portOpen());
        expectPortShown(true);
        window->OnTimerTick(kPoll);
        ASSERT_TRUE(WaitFor([&] { return window->session.dtuConnected(); }, kWaitMs));
        const int ok = count(kReadOk);
        const int failed = count(kReadFailed);
        const int last = FindItem(0xF1)->valueIds[0];
        for (const int id : {1025, 1044, last}) window->setControlText(id, QStringLiteral("?"));
        click(1029);
        ASSERT_TRUE(waitCount(kReadOk, ok + 1));
        EXPECT_EQ(count(kReadFailed), failed);
        EXPECT_EQ(window->controlText(1025), shows.apn);
        EXPECT_EQ(window->controlText(1044), shows.station);
        EXPECT_EQ(window->controlText(last), shows.last);
        EXPECT_FALSE(window->session.assembler().readPending());
        EXPECT_EQ(window->session.assembler().receiveCount(), 0);
    }

    // The device the operator plugs in after a fault; its set differs from
    // the factory set at both ends of the answer.
    void startSpare() {
        DtuItems items = SimulatedDtu::FactoryItems();
        items[0x04] = {'S', 'P', 'A', 'R', 'E'};
        items[0x92] = {0x59, 0x07, 0x75, 0x28, 0x7A, 0xD9};  // "备用站", UCS-2 high byte first
        items[0xF1] = {'4', '2'};
        spare.setItems(items);
        ASSERT_TRUE(spare.start());
    }
    static Shows Spare() { return {QStringLiteral("SPARE"), FromUtf8("备用站"), QStringLiteral("42")}; }

    DtuServer spare;
};

// ---- The device vanishes ------------------------------------------------------

enum class Phase { Waiting, Connected, MidReadAnswer, AutoSend };

struct VanishCase {
    const char* name;
    Phase phase;
};
void PrintTo(const VanishCase& c, std::ostream* os) {
    *os << c.name;
}

class DeviceVanishing : public FaultTest, public ::testing::WithParamInterface<VanishCase> {
  protected:
    void reachPhase(Phase phase) {
        switch (phase) {
            case Phase::Waiting:
                server.setFaults(Silent());
                pointAt(server);
                click(1027);
                window->OnTimerTick(kPoll);
                ASSERT_TRUE(waitReceived(1));
                return;
            case Phase::Connected:
                connectDtu();
                return;
            case Phase::MidReadAnswer:
                connectDtu();
                // The first 300 bytes of the answer go out; the rest would follow a minute later.
                server.setAnswerPieces({300}, std::chrono::minutes(1));
                click(1029);
                ASSERT_TRUE(WaitFor([&] { return window->session.assembler().receiveCount() >= 300; }, kWaitMs));
                ASSERT_TRUE(window->session.assembler().readPending());
                return;
            case Phase::AutoSend: {
                connectDtu();
                click(1031);
                window->setControlText(1036, QStringLiteral("AB"));
                click(1034);
                ASSERT_GT(window->timerPeriod(kAutoSend), 0);
                const std::size_t before = received().size();
                window->OnTimerTick(kAutoSend);
                ASSERT_TRUE(waitReceived(before + 2));
                return;
            }
        }
    }
};

TEST_P(DeviceVanishing, ClosesTheSessionWithOneReportAndTheNextOpenReads) {
    const VanishCase& c = GetParam();
    reachPhase(c.phase);
    ASSERT_FALSE(HasFatalFailure());
    const int before = reports();
    ASSERT_TRUE(boxes.empty());

    server.vanish();
    if (c.phase == Phase::AutoSend) {
        // An auto-send tick that comes after the engine has dropped the
        // device but before the window has heard of it. The window's events
        // do not run while this waits.
        const auto deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
        while (window->session.line().engine().IsOpen() && Clock::now() < deadline) std::this_thread::yield();
        ASSERT_FALSE(window->session.line().engine().IsOpen());
        window->OnTimerTick(kAutoSend);
    }
    ASSERT_TRUE(waitCount(kLost));
    EXPECT_TRUE(responsive());
    for (const int id : {kAutoSend, kTimeout, kPoll}) window->OnTimerTick(id);  // ticks already on their way
    EXPECT_TRUE(responsive());

    EXPECT_EQ(reports(), before + 1);
    EXPECT_EQ(count(kLost), 1);
    EXPECT_EQ(count(kTimedOut), 0);
    EXPECT_TRUE(boxes.empty());
    expectPortShown(false);
    EXPECT_FALSE(window->isTicked(1034));

    if (c.phase == Phase::AutoSend) click(1031);  // out of the demo state, so the read button comes back
    startSpare();
    expectOpenAndRead(spare, Spare());
    EXPECT_EQ(count(kLost), 1);
    EXPECT_TRUE(boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(States, DeviceVanishing,
                         ::testing::Values(VanishCase{"WhileWaiting", Phase::Waiting},
                                           VanishCase{"WhileConnected", Phase::Connected},
                                           VanishCase{"MidReadAnswer", Phase::MidReadAnswer},
                                           VanishCase{"DuringAutoSend", Phase::AutoSend}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Noise on the line --------------------------------------------------------

enum class Expecting { Announcement, Nothing, ReadAnswer, ConfigureAnswer };

struct NoiseCase {
    const char* name;
    Expecting expecting;
    Bytes noise;
    std::string_view verdict;  // the one report the noise may give; empty: none
};
void PrintTo(const NoiseCase& c, std::ostream* os) {
    *os << c.name;
}

class LineNoise : public FaultTest, public ::testing::WithParamInterface<NoiseCase> {};

TEST_P(LineNoise, GivesAtMostOneVerdictAndTheNextReadWorks) {
    const NoiseCase& c = GetParam();
    quiet.setWireRate(0);  // 20000 bytes of noise need not take 3.5 s of wire time
    if (c.expecting == Expecting::Announcement) {
        openQuiet();
    } else {
        connectQuiet();
    }
    ASSERT_FALSE(HasFatalFailure());
    const std::uint64_t before = writes();
    switch (c.expecting) {
        case Expecting::Announcement:
            window->OnTimerTick(kPoll);
            break;
        case Expecting::ReadAnswer:
            click(1029);
            break;
        case Expecting::ConfigureAnswer:
            click(1030);
            break;
        case Expecting::Nothing:
            break;
    }
    const std::uint64_t requested = c.expecting == Expecting::Nothing ? before : before + 1;
    const int reportsBefore = reports();

    injectFromQuiet(c.noise, requested);
    EXPECT_TRUE(responsive());
    EXPECT_EQ(reports(), reportsBefore + (c.verdict.empty() ? 0 : 1));
    if (!c.verdict.empty()) {
        EXPECT_EQ(count(c.verdict), 1);
    }
    EXPECT_TRUE(boxes.empty());
    expectPortShown(true);
    if (c.verdict.empty() && requested != before) endAtDeadline();
    // Noise never announces the DTU, and never hides it.
    EXPECT_EQ(window->session.dtuConnected(), c.expecting != Expecting::Announcement);
    if (c.expecting == Expecting::Announcement) {
        injectFromQuiet({0x6C}, writes());
        EXPECT_TRUE(window->session.dtuConnected());
        EXPECT_EQ(count(kConnected), 1);
    }

    expectQuietReadWorks();
    expectOpenAndRead(server);
    EXPECT_TRUE(boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Floods, LineNoise,
    ::testing::Values(
        NoiseCase{"GarbageWhileWaiting", Expecting::Announcement, Garbage({0x6C}, 8), {}},
        NoiseCase{"BracesWhileWaiting", Expecting::Announcement, Bytes(20000, 0x7B), {}},
        NoiseCase{"GarbageWhileIdle", Expecting::Nothing, Garbage({}, 8), {}},
        NoiseCase{"BracesWhileIdle", Expecting::Nothing, Bytes(20000, 0x7B), {}},
        NoiseCase{"GarbageAwaitingRead", Expecting::ReadAnswer, Garbage({0x7B}, 8), {}},
        // 7B 7B: a frame whose length bytes have not come counts 0, so it is complete and no read answer.
        NoiseCase{"BracesAwaitingRead", Expecting::ReadAnswer, Bytes(20000, 0x7B), kReadFailed},
        NoiseCase{"GarbageAwaitingConfigure", Expecting::ConfigureAnswer, Garbage({0x7B}, 8), {}},
        NoiseCase{"BracesAwaitingConfigure", Expecting::ConfigureAnswer, Bytes(20000, 0x7B),
                  kConfigureFailed}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- A length field of 0xFFFF ---------------------------------------------------

TEST_F(FaultTest, ALengthOfFFFFFailsTheReadOnceAndTheNextReadWorks) {
    DtuFaults lying;
    lying.lyingLength = 0xFFFF;
    SimulatedDtu twin;
    twin.faults() = lying;
    const Bytes answer = twin.feed(RequestFrame(0x0B));
    ASSERT_EQ(answer.at(2), 0xFF);
    ASSERT_EQ(answer.at(3), 0xFF);
    connectDtu();
    server.setFaults(lying);
    const int before = reports();

    const std::uint64_t from = window->session.line().bytesReceived();
    click(1029);
    ASSERT_TRUE(waitHandled(from, answer.size()));
    EXPECT_TRUE(responsive());
    EXPECT_EQ(reports(), before + 1);
    EXPECT_EQ(count(kReadFailed), 1);
    EXPECT_FALSE(window->session.assembler().readPending());
    EXPECT_EQ(window->session.assembler().receiveCount(), 0);
    EXPECT_EQ(window->controlText(1044), QString());  // nothing of the refused answer is shown
    EXPECT_TRUE(boxes.empty());
    expectPortShown(true);

    server.setFaults({});
    expectOpenAndRead(server);
}

// ---- Answers that never end -------------------------------------------------------

struct EndlessCase {
    const char* name;
    bool configure;
    Bytes answer;
    std::string_view verdict;  // empty: none, the request still waits
};
void PrintTo(const EndlessCase& c, std::ostream* os) {
    *os << c.name;
}

class EndlessAnswer : public FaultTest, public ::testing::WithParamInterface<EndlessCase> {};

TEST_P(EndlessAnswer, GivesAtMostOneVerdictAndTheNextRequestIsJudgedAlone) {
    const EndlessCase& c = GetParam();
    connectQuiet();
    ASSERT_FALSE(HasFatalFailure());
    const int before = reports();
    answerFromQuiet(c.configure ? 1030 : 1029, c.answer);
    EXPECT_TRUE(responsive());
    EXPECT_EQ(reports(), before + (c.verdict.empty() ? 0 : 1));
    if (!c.verdict.empty()) {
        EXPECT_EQ(count(c.verdict), 1);
    }
    const bool stillWaiting =
        c.configure ? window->session.assembler().configurePending() : window->session.assembler().readPending();
    EXPECT_EQ(stillWaiting, c.verdict.empty());
    EXPECT_TRUE(boxes.empty());
    expectPortShown(true);
    if (c.verdict.empty()) endAtDeadline();

    // The operator asks again. A refused configure must read as refused, and
    // a read must show the new answer, whatever the unfinished one held.
    if (c.configure) {
        const int ok = count(kConfigureOk);
        const int failed = count(kConfigureFailed);
        Bytes refused = Frame(0x8C, {});
        refused[2] = 0x01;
        answerFromQuiet(1030, refused);
        EXPECT_EQ(count(kConfigureOk), ok);
        EXPECT_EQ(count(kConfigureFailed), failed + 1);
        answerFromQuiet(1030, Frame(0x8C, {}));
        EXPECT_EQ(count(kConfigureOk), ok + 1);
        EXPECT_EQ(count(kConfigureFailed), failed + 1);
        EXPECT_FALSE(window->session.assembler().configurePending());
    }
    expectQuietReadWorks();
    expectOpenAndRead(server);
    EXPECT_TRUE(boxes.empty());
}

Bytes Filler(std::size_t n) {
    return Bytes(n, 0x41);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, EndlessAnswer,
    ::testing::Values(
        // Length 1024, then silence after 200 bytes.
        EndlessCase{"ReadStopsHalfWay", false, Join({{0x7B, 0x8B, 0x04, 0x00}, Filler(196)}), {}},
        // Length 4096 and no end byte ever: dropped once the buffer is full.
        EndlessCase{"ReadNeverEnds", false, Join({{0x7B, 0x8B, 0x10, 0x00}, Filler(8000)}), kReadFailed},
        EndlessCase{"ConfigureStopsHalfWay", true, Join({{0x7B, 0x8C, 0x00}, Filler(13)}), {}},
        EndlessCase{"ConfigureNeverEnds", true, Join({{0x7B, 0x8C, 0x00}, Filler(8000)}), kConfigureFailed}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Open and close while the DTU floods the line ------------------------------

TEST_F(FaultTest, OpenCloseCyclesWhileFloodingEndClosedWithoutABox) {
    // 1000 cycles take 0.3 to 7 s on a busy two-core machine. Each cycle
    // waits until the window has handled flood bytes, so every close stops a
    // worker that is busy handing bytes over.
    constexpr int kCycles = 1000;
    server.setWireRate(0);
    server.setFlood(true);
    pointAt(server);
    const auto start = Clock::now();
    for (int i = 0; i < kCycles; ++i) {
        click(1027);
        ASSERT_TRUE(window->session.portOpen()) << "cycle " << i;
        const std::uint64_t handled = window->session.line().bytesReceived();
        ASSERT_TRUE(WaitFor([&] { return window->session.line().bytesReceived() > handled; }, kWaitMs)) << "cycle " << i;
        click(1028);
        ASSERT_FALSE(window->session.portOpen()) << "cycle " << i;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    RecordProperty("cycles_ms", static_cast<int>(elapsed.count()));
    std::printf("%d open/close cycles under flood: %lld ms\n", kCycles,
                static_cast<long long>(elapsed.count()));
    server.setFlood(false);

    EXPECT_TRUE(responsive());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(count(kOpenedWait), kCycles);
    EXPECT_EQ(count(kClosed), kCycles);
    EXPECT_EQ(count(kLost), 0);
    EXPECT_EQ(count(kTimedOut), 0);
    // A close asks the worker to end; it lets go of the device on its own thread.
    ASSERT_TRUE(WaitFor([&] { return !window->session.line().engine().IsOpen(); }, kWaitMs));
    expectPortShown(false);
    EXPECT_GT(server.floodBytesSent(), 0u);

    expectOpenAndRead(server);
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
}  // namespace quill::test
