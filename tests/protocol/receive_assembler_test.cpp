#include "protocol/receive_assembler.h"

#include <gtest/gtest.h>

#include <vector>

namespace quill {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = AssemblerEvent::Kind;

struct Seen {
    std::size_t at;  // index of the byte that produced the event
    Kind kind;
    Bytes frame;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> Feed(ReceiveAssembler& a, const Bytes& bytes) {
    std::vector<Seen> seen;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const AssemblerEvent e = a.AcceptByte(bytes[i]);
        if (e.kind != Kind::None) seen.push_back({i, e.kind, Bytes(e.frame.begin(), e.frame.end())});
    }
    return seen;
}

template <class T>
std::vector<T> Cat(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A read answer holding 0x7B inside its data: station name item 92 04 00 7B 00 31
// and device address C6 04 7B 00; length 29.
const Bytes kReadAnswer{0x7B, 0x8B, 0x00, 0x1D, 0,    0,    0,    0,    0,    0,    0,    0,    0,    0,   0,
                        0x92, 0x06, 0x00, 0x7B, 0x00, 0x31, 0xC6, 0x04, 0x7B, 0x00, 0x01, 0x02, 0x00, 0x7B};
const Bytes kConfigureAnswer{0x7B, 0x8C, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};

TEST(ReceiveAssembler, DropsEverythingWhileNoAnswerIsExpected) {
    ReceiveAssembler a;
    EXPECT_TRUE(Feed(a, Cat(kReadAnswer, kConfigureAnswer)).empty());
    EXPECT_EQ(a.receiveCount(), 0);
}

TEST(ReceiveAssembler, ReadAnswerCompletesAtItsLastByteAfterEveryPrefix) {
    ASSERT_EQ(kReadAnswer.size(), 29u);
    for (std::size_t cut = 0; cut <= kReadAnswer.size(); ++cut) {
        ReceiveAssembler a;
        a.Expect(AnswerKind::Read);
        const Bytes head(kReadAnswer.begin(), kReadAnswer.begin() + static_cast<std::ptrdiff_t>(cut));
        const Bytes tail(kReadAnswer.begin() + static_cast<std::ptrdiff_t>(cut), kReadAnswer.end());
        const auto first = Feed(a, head);
        if (cut < kReadAnswer.size()) {
            EXPECT_TRUE(first.empty()) << cut;
            EXPECT_TRUE(a.readPending()) << cut;
            EXPECT_EQ(a.receiveCount(), static_cast<std::int32_t>(cut)) << cut;
        }
        const auto all = Cat(first, Feed(a, tail));
        ASSERT_EQ(all.size(), 1u) << cut;
        EXPECT_EQ(all[0].kind, Kind::ReadSucceeded) << cut;
        EXPECT_EQ(all[0].frame, kReadAnswer) << cut;
        EXPECT_FALSE(a.readPending());
        EXPECT_EQ(a.receiveCount(), 0);
        EXPECT_EQ(a.frameLength(), 29);
    }
    EXPECT_EQ(EventText(Kind::ReadSucceeded), "<-读取参数成功！\n\r\n\r");
}

TEST(ReceiveAssembler, ReadPathOutcomes) {
    struct Case {
        const char* what;
        Bytes bytes;
        std::vector<std::pair<std::size_t, Kind>> events;
    };
    const Bytes empty16{0x7B, 0x8B, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};
    const Case cases[] = {
        {"garbage before the start byte",
         Cat(Bytes{0x00, 0x8B, 0x11, 0xFF}, kReadAnswer),
         {{32, Kind::ReadSucceeded}}},
        {"16-byte answer", empty16, {{15, Kind::ReadSucceeded}}},
        {"five-byte answer", {0x7B, 0x8B, 0x00, 0x05, 0x7B}, {{4, Kind::ReadSucceeded}}},
        {"other command", {0x7B, 0x0B, 0x00, 0x05, 0x7B}, {{4, Kind::ReadFailed}}},
        {"configure answer on the read path", kConfigureAnswer, {{15, Kind::ReadFailed}}},
        {"length field says less: completes at the next 0x7B",
         {0x7B, 0x8B, 0x00, 0x04, 0x01, 0x02, 0x7B},
         {{6, Kind::ReadSucceeded}}},
        {"length field says more: a 0x7B short of it is data",
         {0x7B, 0x8B, 0x00, 0x08, 0x7B, 0x01, 0x7B, 0x7B, 0x7B},
         {{7, Kind::ReadSucceeded}}},
        {"a second answer after the first is dropped", Cat(empty16, empty16), {{15, Kind::ReadSucceeded}}},
    };
    for (const Case& c : cases) {
        ReceiveAssembler a;
        a.Expect(AnswerKind::Read);
        std::vector<std::pair<std::size_t, Kind>> events;
        for (const Seen& s : Feed(a, c.bytes)) events.emplace_back(s.at, s.kind);
        EXPECT_EQ(events, c.events) << c.what;
    }
}

TEST(ReceiveAssembler, LengthBytesNotYetReceivedCountAsZero) {
    ReceiveAssembler a;
    // Leave 0x01 0x00 (256) at offsets 2-3 of the buffer.
    Bytes long256(256, 0x00);
    long256[0] = 0x7B, long256[1] = 0x8B, long256[2] = 0x01, long256[255] = 0x7B;
    a.Expect(AnswerKind::Read);
    ASSERT_EQ(Feed(a, long256).size(), 1u);
    // A new answer of two start bytes: its length is 0, not the stale 256.
    a.Expect(AnswerKind::Read);
    const auto seen = Feed(a, {0x7B, 0x7B});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], (Seen{1, Kind::ReadFailed, {0x7B, 0x7B}}));
    EXPECT_EQ(a.frameLength(), 0);
}

TEST(ReceiveAssembler, ConfigurePathOutcomes) {
    struct Case {
        const char* what;
        Bytes bytes;
        std::vector<std::pair<std::size_t, Kind>> events;
        FrameRefusal refusal;
    };
    using R = FrameRefusal;
    const Case cases[] = {
        {"16-byte acknowledgement", kConfigureAnswer, {{15, Kind::ConfigureSucceeded}}, R::None},
        {"four bytes, whatever the length says", {0x7B, 0x8C, 0x00, 0x7B}, {{3, Kind::ConfigureSucceeded}}, R::None},
        {"refusal", {0x7B, 0x8C, 0x01, 0x7B}, {{3, Kind::ConfigureFailed}}, R::Rejected},
        {"read answer instead", {0x7B, 0x8B, 0x00, 0x7B}, {{3, Kind::ConfigureFailed}}, R::WrongCommand},
        {"0x7B as byte 2", {0x7B, 0x8C, 0x7B}, {{2, Kind::ConfigureFailed}}, R::Rejected},
        {"0x7B as byte 1", {0x7B, 0x7B, 0x00}, {{1, Kind::ConfigureFailed}}, R::WrongCommand},
        {"garbage first", {0x55, 0x8C, 0x00, 0x7B, 0x8C, 0x00, 0x01, 0x7B}, {{7, Kind::ConfigureSucceeded}}, R::None},
    };
    for (const Case& c : cases) {
        ReceiveAssembler a;
        a.Expect(AnswerKind::Configure);
        std::vector<std::pair<std::size_t, Kind>> events;
        for (const Seen& s : Feed(a, c.bytes)) events.emplace_back(s.at, s.kind);
        EXPECT_EQ(events, c.events) << c.what;
        EXPECT_EQ(a.lastRefusal(), c.refusal) << c.what;
        EXPECT_FALSE(a.configurePending()) << c.what;
        EXPECT_EQ(a.receiveCount(), 0) << c.what;
    }
}

TEST(ReceiveAssembler, ConfigureAnswerAfterEveryPrefix) {
    for (std::size_t cut = 0; cut < kConfigureAnswer.size(); ++cut) {
        ReceiveAssembler a;
        a.Expect(AnswerKind::Configure);
        const Bytes head(kConfigureAnswer.begin(),
                         kConfigureAnswer.begin() + static_cast<std::ptrdiff_t>(cut));
        const Bytes tail(kConfigureAnswer.begin() + static_cast<std::ptrdiff_t>(cut), kConfigureAnswer.end());
        EXPECT_TRUE(Feed(a, head).empty()) << cut;
        EXPECT_TRUE(a.configurePending()) << cut;
        const auto seen = Feed(a, tail);
        ASSERT_EQ(seen.size(), 1u) << cut;
        EXPECT_EQ(seen[0].kind, Kind::ConfigureSucceeded) << cut;
        EXPECT_EQ(seen[0].frame, kConfigureAnswer) << cut;
    }
}

// A read answer of `length` bytes with that length in its field; the data
// holds 0x7B bytes, the only 0x7B at or past `length` is its end byte.
Bytes LongReadAnswer(std::size_t length) {
    Bytes frame(length, 0x7B);
    frame[1] = 0x8B;
    frame[2] = static_cast<std::uint8_t>(length >> 8);
    frame[3] = static_cast<std::uint8_t>(length & 0xFF);
    return frame;
}

TEST(ReceiveAssembler, ReadAnswersUpToTheBufferSize) {
    for (const std::size_t length : {4999u, 5000u}) {
        ReceiveAssembler a;
        a.Expect(AnswerKind::Read);
        const auto seen = Feed(a, LongReadAnswer(length));
        ASSERT_EQ(seen.size(), 1u) << length;
        EXPECT_EQ(seen[0].kind, Kind::ReadSucceeded) << length;
        EXPECT_EQ(seen[0].frame.size(), length);
    }
}

TEST(ReceiveAssembler, LengthFieldPastTheBufferFailsAndTheNextAnswerIsTaken) {
    ReceiveAssembler a;
    a.Expect(AnswerKind::Read);
    const auto seen = Feed(a, LongReadAnswer(5001));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].at, 3u);  // known once the length field is in
    EXPECT_EQ(seen[0].kind, Kind::ReadFailed);
    EXPECT_TRUE(seen[0].frame.empty());
    EXPECT_FALSE(a.readPending());
    EXPECT_EQ(a.receiveCount(), 0);
    a.Expect(AnswerKind::Read);
    const auto next = Feed(a, kReadAnswer);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].kind, Kind::ReadSucceeded);
    EXPECT_EQ(next[0].frame, kReadAnswer);
}

TEST(ReceiveAssembler, FrameThatNeverEndsIsDiscardedAtTheBufferSize) {
    // A lying length (16) and no 0x7B after the start: 5000 bytes are held,
    // the 5001st cannot be.
    Bytes bytes(5001, 0x00);
    bytes[0] = 0x7B, bytes[1] = 0x8B, bytes[3] = 0x10;
    ReceiveAssembler a;
    a.Expect(AnswerKind::Read);
    auto seen = Feed(a, Bytes(bytes.begin(), bytes.end() - 1));
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(a.receiveCount(), 5000);
    seen = Feed(a, {0x7B});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, Kind::ReadFailed);
    EXPECT_EQ(a.receiveCount(), 0);
    EXPECT_FALSE(a.readPending());
}

TEST(ReceiveAssembler, ConfigureAnswersAroundTheBufferSize) {
    for (const std::size_t length : {4999u, 5000u, 5001u}) {
        Bytes bytes(length, 0x00);
        bytes[0] = 0x7B, bytes[1] = 0x8C, bytes.back() = 0x7B;
        ReceiveAssembler a;
        a.Expect(AnswerKind::Configure);
        const auto seen = Feed(a, bytes);
        ASSERT_EQ(seen.size(), 1u) << length;
        EXPECT_EQ(seen[0].at, length - 1) << length;
        EXPECT_EQ(seen[0].kind, length <= 5000 ? Kind::ConfigureSucceeded : Kind::ConfigureFailed) << length;
        EXPECT_EQ(seen[0].frame.size(), length <= 5000 ? length : 0u) << length;
        EXPECT_EQ(a.receiveCount(), 0);
        a.Expect(AnswerKind::Configure);
        EXPECT_EQ(Feed(a, kConfigureAnswer).size(), 1u) << length;
    }
}

// A new expectation starts from an empty buffer, whatever was held: the
// frame that follows is judged by itself, in every stage it could cut.
TEST(ReceiveAssembler, ExpectStartsAfreshAfterEveryCut) {
    for (const AnswerKind next : {AnswerKind::Read, AnswerKind::Configure}) {
        const Bytes& answer = next == AnswerKind::Read ? kReadAnswer : kConfigureAnswer;
        for (std::size_t cut = 1; cut < kReadAnswer.size(); ++cut) {
            ReceiveAssembler a;
            a.Expect(AnswerKind::Read);
            ASSERT_TRUE(Feed(a, Bytes(kReadAnswer.begin(), kReadAnswer.begin() + static_cast<std::ptrdiff_t>(cut)))
                            .empty());
            a.Expect(next);
            EXPECT_EQ(a.stage(), AssemblerStage::AwaitStart) << cut;
            const auto seen = Feed(a, answer);
            ASSERT_EQ(seen.size(), 1u) << cut;
            EXPECT_EQ(seen[0].kind, next == AnswerKind::Read ? Kind::ReadSucceeded : Kind::ConfigureSucceeded);
            EXPECT_EQ(seen[0].frame, answer) << cut;
        }
    }
}

// Nothing expected: the held bytes go, and nothing is taken until the next request.
TEST(ReceiveAssembler, ExpectingNothingDropsWhatIsHeld) {
    ReceiveAssembler a;
    a.Expect(AnswerKind::Read);
    Feed(a, {0x7B, 0x8B, 0x00, 0x1D, 0x01});
    a.Expect(AnswerKind::Nothing);
    EXPECT_EQ(a.receiveCount(), 0);
    EXPECT_TRUE(Feed(a, kReadAnswer).empty());
    a.Expect(AnswerKind::Read);
    const auto seen = Feed(a, kConfigureAnswer);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, Kind::ReadFailed);
    EXPECT_EQ(a.lastRefusal(), FrameRefusal::WrongCommand);
}

}  // namespace
}  // namespace quill
