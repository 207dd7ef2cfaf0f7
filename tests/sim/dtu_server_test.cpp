// The simulated DTU's server on a pseudo-terminal (POSIX only).
#include "sim/dtu_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace quill {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

const Bytes kReadRequest{0x7B, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};
// The DTU identifier A1 (41 31) alone: length 20.
const Bytes kConfigureA1{0x7B, 0x0C, 0x00, 0x14, 0, 0,    0,    0,    0,    0,
                         0,    0,    0,    0,    0, 0x01, 0x04, 0x41, 0x31, 0x7B};
const Bytes kAccepted{0x7B, 0x8C, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};

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
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
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

}  // namespace
}  // namespace quill
