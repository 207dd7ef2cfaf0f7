// The simulated DTU's server on a pseudo-terminal: the protocol over a real
// line, the pace of the wire, the order of answers and what it keeps.
#include "sim/dtu_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "protocol/frame.h"

namespace quill {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes kReadRequest{0x7B, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};
// The DTU identifier A1 (41 31) alone: length 20.
const Bytes kConfigureA1{0x7B, 0x0C, 0x00, 0x14, 0, 0,    0,    0,    0,    0,
                         0,    0,    0,    0,    0, 0x01, 0x04, 0x41, 0x31, 0x7B};
// The DTU identifier B2 (42 32) alone.
const Bytes kConfigureB2{0x7B, 0x0C, 0x00, 0x14, 0, 0,    0,    0,    0,    0,
                         0,    0,    0,    0,    0, 0x01, 0x04, 0x42, 0x32, 0x7B};
const Bytes kAccepted{0x7B, 0x8C, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A plain client on the tool's side of the server's pseudo-terminal.
class Line {
  public:
    explicit Line(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
        termios t{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Line() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    bool write(const Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    // Bytes that wait unread on the tool's side.
    std::size_t queued() const {
        int n = 0;
        return ::ioctl(fd_, FIONREAD, &n) == 0 && n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    // Reads until `count` bytes came, or the line stays quiet past the deadline.
    Bytes read(std::size_t count, std::chrono::milliseconds timeout = 10s) {
        Bytes got;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (got.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            if ((p.revents & POLLIN) == 0) break;
            std::uint8_t buffer[4096];
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }
    short waitEvents(std::chrono::milliseconds timeout) {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0 ? p.revents : 0;
    }

  private:
    int fd_;
};

TEST(DtuServerTest, ServesTheProtocolOverAPseudoTerminal) {
    DtuServer server;
    ASSERT_TRUE(server.start());
    Line line(server.devicePath());
    ASSERT_TRUE(line.ok());
    ASSERT_TRUE(line.write({0x37}));
    EXPECT_EQ(line.read(1), Bytes{0x6C});
    ASSERT_TRUE(line.write(kConfigureA1));
    EXPECT_EQ(line.read(16), kAccepted);
    EXPECT_EQ(server.items().at(0x01), (Bytes{0x41, 0x31}));
    EXPECT_EQ(server.counters().configureRequests, 1u);
}

TEST(DtuServerTest, DelayedAnswerInPiecesArrivesWhole) {
    DtuServer server;
    ASSERT_TRUE(server.start());
    server.setItems(DtuItems{{0x01, {0x41, 0x31}}});
    server.setAnswerDelay(20ms);
    server.setAnswerPieces({1, 4, 19}, 5ms);
    Line line(server.devicePath());
    ASSERT_TRUE(line.ok());
    ASSERT_TRUE(line.write(kReadRequest));
    EXPECT_EQ(line.read(20),
              (Bytes{0x7B, 0x8B, 0x00, 0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x04, 0x41, 0x31, 0x7B}));
    EXPECT_TRUE(server.waitFor([&] { return server.counters().readRequests == 1; }, 10s));
}

TEST(DtuServerTest, FloodsAndVanishes) {
    DtuServer server;
    ASSERT_TRUE(server.start());
    Line line(server.devicePath());
    ASSERT_TRUE(line.ok());
    server.setFlood(true);
    const Bytes flood = line.read(1000);
    ASSERT_EQ(flood.size(), 1000u);
    for (std::size_t i = 1; i < flood.size(); ++i) {
        ASSERT_EQ(static_cast<std::uint8_t>(flood[i - 1] + 1), flood[i]) << "at " << i;  // a counting stream
    }
    server.vanish();
    ASSERT_TRUE(server.waitFor([&] { return server.vanished(); }, 10s));
    // What was already in flight may still be read; then the line hangs up.
    for (int i = 0; i < 100 && (line.waitEvents(10s) & POLLHUP) == 0; ++i) line.read(4096, 1s);
    EXPECT_NE(line.waitEvents(10s) & POLLHUP, 0);
}

// A read answer of `size` bytes or a little more, and the DTU set that gives it.
const DtuItems kSmallSet{{0x01, {0x41, 0x31}}};

DtuFaults PaddedTo(std::size_t size) {
    DtuFaults faults;
    faults.oversizeTo = size;
    return faults;
}

Bytes ReadAnswer(const DtuItems& items, const DtuFaults& faults) {
    SimulatedDtu dtu(items);
    dtu.faults() = faults;
    return dtu.feed(kReadRequest);
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct PaceCase {
    const char* name;
    std::optional<std::uint32_t> rate;  // none: the server's default
    double minSeconds;                  // the whole answer takes at least this
    double maxSeconds;                  // and less than this
};

class WirePaceTest : public ::testing::TestWithParam<PaceCase> {};

TEST_P(WirePaceTest, AnAnswerOf2000BytesTakesTheTimeOfTheWire) {
    const PaceCase& c = GetParam();
    DtuServer server;
    ASSERT_TRUE(server.start());
    if (c.rate) server.setWireRate(*c.rate);
    server.setItems(kSmallSet);
    server.setFaults(PaddedTo(2000));
    const Bytes expected = ReadAnswer(kSmallSet, PaddedTo(2000));
    ASSERT_EQ(expected.size(), 2000u);
    Line line(server.devicePath());
    ASSERT_TRUE(line.ok());

    const auto start = Clock::now();
    ASSERT_TRUE(line.write(kReadRequest));
    Bytes got = line.read(expected.size() / 2);
    const double half = SecondsSince(start);
    got = Cat(got, line.read(expected.size() - got.size()));
    const double whole = SecondsSince(start);
    std::printf("%s: half %.4f s, whole %.4f s\n", c.name, half, whole);
    EXPECT_EQ(got, expected);
    EXPECT_GE(whole, c.minSeconds);
    EXPECT_LT(whole, c.maxSeconds);
    // Spread over the time, not sent at once and then waited for.
    EXPECT_GE(half, 0.45 * c.minSeconds);
}

// 2000 bytes of 10 bits: byte 1999 is due 19990 bit times after byte 0.
INSTANTIATE_TEST_SUITE_P(Rates, WirePaceTest,
                         ::testing::Values(PaceCase{"Default57600", std::nullopt, 0.33, 0.5},
                                           PaceCase{"Rate115200", 115200, 0.165, 0.3},
                                           PaceCase{"AsFastAsTheLineTakes", 0, 0.0, 0.1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DtuServerTest, ARequestWhileAnAnswerGoesOutIsAnsweredAfterIt) {
    DtuServer server;
    ASSERT_TRUE(server.start());
    server.setItems(kSmallSet);
    server.setFaults(PaddedTo(2000));  // 0.35 s on the wire
    const Bytes first = ReadAnswer(kSmallSet, PaddedTo(2000));
    Line line(server.devicePath());
    ASSERT_TRUE(line.ok());

    ASSERT_TRUE(line.write(kReadRequest));
    Bytes got = line.read(16);
    ASSERT_EQ(got.size(), 16u);
    ASSERT_TRUE(line.write(kConfigureB2));
    ASSERT_TRUE(server.waitFor([&] { return server.counters().configureRequests == 1; }, 10s));
    // The configure request was taken in while the read answer still had
    // bytes to send: its answer waits behind them.
    EXPECT_GT(server.unsentBytes(), kAccepted.size());
    EXPECT_EQ(server.items().at(0x01), (Bytes{0x42, 0x32}));

    got = Cat(got, line.read(first.size() + kAccepted.size() - got.size()));
    EXPECT_EQ(got, Cat(first, kAccepted));  // the set as it was when read, whole, then the success
    EXPECT_TRUE(server.waitFor([&] { return server.unsentBytes() == 0; }, 10s));
}

TEST(DtuServerTest, KeepsAWindowOfWhatItReceivedAndCountsAll) {
    DtuServer server;
    ASSERT_TRUE(server.start());
    Line line(server.devicePath());
    ASSERT_TRUE(line.ok());
    // Neither poll bytes nor frame delimiters: nothing to answer.
    Bytes sent(DtuServer::kReceivedWindow * 2 + 1000);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i % 0x37);

    ASSERT_TRUE(line.write(Bytes(sent.begin(), sent.begin() + 100)));
    ASSERT_TRUE(server.waitFor([&] { return server.receivedTotal() == 100; }, 10s));
    EXPECT_EQ(server.received(), Bytes(sent.begin(), sent.begin() + 100));

    ASSERT_TRUE(line.write(Bytes(sent.begin() + 100, sent.end())));
    ASSERT_TRUE(server.waitFor([&] { return server.receivedTotal() == sent.size(); }, 10s));
    EXPECT_EQ(server.received(),
              Bytes(sent.end() - static_cast<std::ptrdiff_t>(DtuServer::kReceivedWindow), sent.end()));
    EXPECT_EQ(server.counters().receivedBytes, sent.size());
}

TEST(DtuServerTest, AQuietUnitDropsItsAnswerAndTheNextUnitAnswersWithItsOwnId) {
    DtuServer server;
    ASSERT_TRUE(server.start());
    server.setItems(kSmallSet);
    server.setFaults(PaddedTo(2000));
    const Bytes answer = ReadAnswer(kSmallSet, PaddedTo(2000));
    Line line(server.devicePath());
    ASSERT_TRUE(line.ok());

    // Taken off the line while it answers: the rest of the answer never comes.
    ASSERT_TRUE(line.write(kReadRequest));
    ASSERT_EQ(line.read(16).size(), 16u);
    server.setQuiet(true);
    EXPECT_EQ(server.unsentBytes(), 0u);
    const std::uint64_t cut = server.sentTotal();
    EXPECT_LT(cut, answer.size());

    // Quiet: polls and requests go unanswered.
    ASSERT_TRUE(line.write(Cat(Bytes{0x37}, kReadRequest)));
    ASSERT_TRUE(server.waitFor([&] { return server.receivedTotal() == 33; }, 10s));
    EXPECT_EQ(server.counters().ignoredBytes, 17u);
    EXPECT_EQ(server.counters().announcements, 0u);
    EXPECT_EQ(server.sentTotal(), cut);

    // The next unit comes on the line.
    server.nextUnit();
    server.setQuiet(false);
    EXPECT_EQ(server.unit(), 2u);
    ASSERT_TRUE(line.write({0x37}));
    const Bytes rest = line.read(static_cast<std::size_t>(cut) - 16 + 1);
    ASSERT_EQ(rest.size(), cut - 16 + 1);
    EXPECT_TRUE(std::equal(rest.begin(), rest.end() - 1, answer.begin() + 16));
    EXPECT_EQ(rest.back(), 0x6C);

    server.setFaults(DtuFaults{});
    ASSERT_TRUE(line.write(kReadRequest));
    const Bytes head = line.read(4);
    ASSERT_EQ(head.size(), 4u);
    const Bytes unit2 = Cat(head, line.read(FrameLengthField(head) - 4));
    DtuItems shown;
    ForEachItem(unit2,
                [&](const ItemView& item) { shown[item.type].assign(item.value.begin(), item.value.end()); });
    EXPECT_EQ(shown, SimulatedDtu::FactoryItems(2));
}

}  // namespace
}  // namespace quill
