// The session's line on its own: which device an open reaches, what its
// notifications become for the session, what a failed open says, and which
// port counts as lost. An in-process device stands in for a port; the
// engine is only asked to open paths that do not exist.
#include "session/session_line.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace quill::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

class FakeDevice : public LineDevice {
  public:
    PortOwner* owner = nullptr;
    std::uint32_t portNumber = 0;
    int opens = 0;
    int closes = 0;
    std::vector<Bytes> written;
    bool acceptWrites = true;

    void open(PortOwner& o, std::uint32_t number, std::uint32_t) override {
        owner = &o;
        portNumber = number;
        ++opens;
    }
    void close() override {
        owner = nullptr;
        ++closes;
    }
    bool isOpen() const override { return owner != nullptr; }
    bool sendBytes(std::span<const std::uint8_t> bytes) override {
        if (!acceptWrites) return false;
        written.emplace_back(bytes.begin(), bytes.end());
        return true;
    }
    bool sendText(const std::string& text) override {
        return sendBytes(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
};

class Events : public LineEvents {
  public:
    std::vector<std::string> seen;
    void onLineByte(std::uint8_t byte) override { seen.push_back("byte " + std::to_string(byte)); }
    void onLineLost() override { seen.emplace_back("lost"); }
    void onLineError(const std::string& text) override { seen.push_back("error " + text); }
    void onCandidateByte(std::size_t, std::uint8_t) override {}
    void onCandidateLost(std::size_t) override {}
};

class Tap : public LineTap {
  public:
    std::vector<std::string> seen;
    void note(std::string_view text) override { seen.emplace_back(text); }
    void sent(std::span<const std::uint8_t> bytes) override {
        seen.push_back("sent " + std::to_string(bytes.size()));
    }
    void received(std::uint8_t byte) override { seen.push_back("received " + std::to_string(byte)); }
};

const LinePort kSimulated{{}, 12, "模拟DTU", true};
const LinePort kMissing{"/nonexistent/quillmere-tty", 3, "/nonexistent/quillmere-tty", false};

class SessionLineTest : public ::testing::Test {
  protected:
    SessionLineTest() {
        line.listen(events);
        line.setTap(&tap);
    }
    std::vector<std::function<void()>> posted;
    FakeDevice device;
    Events events;
    Tap tap;
    SessionLine line{LineSetup{.post = [this](std::function<void()> task) { posted.push_back(std::move(task)); },
                               .device = &device}};
};

TEST_F(SessionLineTest, ThePortMarkedSimulatedIsTheDeviceAndCarriesTheSessionsBytes) {
    ASSERT_TRUE(line.open(kSimulated, 9600));
    EXPECT_EQ(device.opens, 1);
    EXPECT_EQ(device.portNumber, 12u);
    EXPECT_TRUE(line.held());
    EXPECT_EQ(line.port(), kSimulated);

    const Bytes poll{0x37};
    EXPECT_TRUE(line.send(poll));
    EXPECT_TRUE(line.sendText("AT"));
    EXPECT_EQ(device.written, (std::vector<Bytes>{poll, {'A', 'T'}}));
    EXPECT_EQ(line.bytesSent(), 3u);

    // What the device says comes to the session, counted and tapped; other
    // notifications are no bytes.
    device.owner->onPortMessage(WM_PORT_RX_BYTE, 0x6C, 12);
    device.owner->onPortMessage(WM_PORT_LINE_ERROR, 0x6C, 12);
    device.owner->onPortError("WARNING:  ReadFile() Failed");
    EXPECT_EQ(events.seen, (std::vector<std::string>{"byte 108", "error WARNING:  ReadFile() Failed"}));
    EXPECT_EQ(line.bytesReceived(), 1u);
    EXPECT_EQ(tap.seen, (std::vector<std::string>{"opened 模拟DTU at 9600 8N1", "sent 1", "sent 2", "received 108"}));

    // A refused write is not counted as sent.
    device.acceptWrites = false;
    EXPECT_FALSE(line.send(poll));
    EXPECT_EQ(line.bytesSent(), 3u);
}

TEST_F(SessionLineTest, AnOpenLetsGoOfTheDeviceFirstAndAStoppedLineSendsNothing) {
    ASSERT_TRUE(line.open(kSimulated, 57600));
    // The next choice opens nothing: the device is let go all the same.
    EXPECT_FALSE(line.open(kMissing, 57600));
    EXPECT_EQ(device.closes, 1);
    EXPECT_FALSE(line.held());
    EXPECT_FALSE(line.send(Bytes{0x37}));

    ASSERT_TRUE(line.open(kSimulated, 57600));
    line.stop();
    EXPECT_EQ(device.closes, 2);
    EXPECT_FALSE(line.sendText("x"));
    EXPECT_TRUE(device.written.empty());
}

TEST_F(SessionLineTest, ALostPortIsRememberedUntilTheNextOpenOrStop) {
    ASSERT_TRUE(line.open(kSimulated, 57600));
    EXPECT_FALSE(line.lostPort().has_value());
    device.close();  // the device went away, as an adapter pulled out
    line.onPortLost(12);
    EXPECT_EQ(events.seen, (std::vector<std::string>{"lost"}));
    EXPECT_FALSE(line.held());
    ASSERT_TRUE(line.lostPort().has_value());
    EXPECT_EQ(*line.lostPort(), kSimulated);

    line.stop();
    EXPECT_FALSE(line.lostPort().has_value());
    line.onPortLost(12);
    ASSERT_TRUE(line.open(kSimulated, 57600));
    EXPECT_FALSE(line.lostPort().has_value());
}

// The windows' box keeps its one sentence; the command line names the port.
TEST(SessionLineFailure, TheFailedOpenSaysWhatTheFrontEndsTextSays) {
    struct Case {
        bool namesPort;
        LinePort port;
        std::string start;
    };
    const Case cases[] = {
        {false, kMissing, "没有发现此串口或被占用"},
        {true, kMissing, "无法打开串口 /nonexistent/quillmere-tty："},
        {false, kSimulated, "没有发现此串口或被占用"},  // no device to open
    };
    for (const Case& c : cases) {
        SessionLine line{LineSetup{.post = [](std::function<void()>) {}, .failureNamesPort = c.namesPort}};
        EXPECT_FALSE(line.open(c.port, 57600));
        EXPECT_FALSE(line.held());
        EXPECT_EQ(line.openFailureText().rfind(c.start, 0), 0u) << line.openFailureText();
    }
}

}  // namespace
}  // namespace quill::test
