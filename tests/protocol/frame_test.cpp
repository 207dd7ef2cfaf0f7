#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "protocol/wire.h"

namespace quill {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(std::span<const std::uint8_t> s) {
    return Bytes(s.begin(), s.end());
}

TEST(RequestFrame, FixedFramesAreSixteenBytes) {
    const Bytes read{0x7B, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};
    EXPECT_EQ(Frame(BuildRequestFrame(Command::ReadRequest)), read);
    const Bytes reset{0x7B, 0x0F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};
    EXPECT_EQ(Frame(BuildRequestFrame(Command::ResetRequest)), reset);
    EXPECT_EQ(BaudTable[5], 9600u);
    EXPECT_EQ(BaudTable[10], 115200u);
}

TEST(FrameWriter, EmptyConfigureRequest) {
    std::array<std::uint8_t, 64> buffer;
    FrameWriter writer(buffer);
    ASSERT_TRUE(writer.BeginFrame(Command::ConfigureRequest));
    const auto frame = writer.FinishFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(Frame(*frame), (Bytes{0x7B, 0x0C, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B}));
}

TEST(FrameWriter, ConfigureRequestWithDtuIdA1) {
    std::array<std::uint8_t, 64> buffer;
    buffer.fill(0xEE);  // the header must be written, not inherited
    FrameWriter writer(buffer);
    ASSERT_TRUE(writer.BeginFrame(Command::ConfigureRequest));
    const Bytes a1{0x41, 0x31};
    ASSERT_TRUE(writer.AppendItem(0x01, a1));
    const auto frame = writer.FinishFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(Frame(*frame),
              (Bytes{0x7B, 0x0C, 0x00, 0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x04, 0x41, 0x31, 0x7B}));
}

TEST(FrameWriter, EmptyValueIsTypeAndLengthTwo) {
    std::array<std::uint8_t, 32> buffer;
    FrameWriter writer(buffer);
    writer.BeginFrame(Command::ConfigureRequest);
    ASSERT_TRUE(writer.AppendItem(0x0E, {}));
    const auto frame = writer.FinishFrame();
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->size(), 18u);
    EXPECT_EQ((*frame)[15], 0x0E);
    EXPECT_EQ((*frame)[16], 0x02);
    EXPECT_EQ((*frame)[3], 18);
}

TEST(FrameWriter, ValueOfAtMost253Bytes) {
    std::array<std::uint8_t, 600> buffer;
    FrameWriter writer(buffer);
    writer.BeginFrame(Command::ConfigureRequest);
    const Bytes big(254, 0x55);
    EXPECT_FALSE(writer.AppendItem(0x01, big));
    EXPECT_EQ(writer.size(), 15u);
    EXPECT_TRUE(writer.AppendItem(0x01, std::span(big).first(253)));
    EXPECT_EQ(buffer[16], 255);
    const auto frame = writer.FinishFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->size(), 16u + 255u);
    EXPECT_EQ((*frame)[2], 0x01);
    EXPECT_EQ((*frame)[3], 0x0F);
}

// Buffer sizes around the exact fit of a frame with one 4-byte value (22 bytes).
TEST(FrameWriter, RefusesWhatTheBufferCannotHold) {
    const Bytes value{1, 2, 3, 4};
    for (std::size_t size = 0; size <= 24; ++size) {
        std::vector<std::uint8_t> storage(size + 8, 0xCC);
        FrameWriter writer{std::span<std::uint8_t>(storage).first(size)};
        const bool begun = writer.BeginFrame(Command::ConfigureRequest);
        EXPECT_EQ(begun, size >= 16) << size;
        const bool appended = writer.AppendItem(0x0D, value);
        EXPECT_EQ(appended, size >= 22) << size;
        const auto frame = writer.FinishFrame();
        EXPECT_EQ(frame.has_value(), size >= 16) << size;
        if (frame) {
            EXPECT_EQ(frame->size(), appended ? 22u : 16u) << size;
        }
        for (std::size_t i = size; i < storage.size(); ++i) ASSERT_EQ(storage[i], 0xCC) << size;
    }
}

TEST(FrameWriter, NothingBeforeBeginFrame) {
    std::array<std::uint8_t, 32> buffer;
    FrameWriter writer(buffer);
    EXPECT_FALSE(writer.AppendItem(1, {}));
    EXPECT_FALSE(writer.FinishFrame());
}

struct Item {
    std::uint8_t type;
    Bytes value;
    bool operator==(const Item&) const = default;
};

std::vector<Item> Walk(std::span<const std::uint8_t> frame, bool* clean = nullptr) {
    std::vector<Item> items;
    const bool ok = ForEachItem(frame, [&](const ItemView& v) { items.push_back({v.type, Frame(v.value)}); });
    if (clean) *clean = ok;
    return items;
}

TEST(ItemWalk, GetsBackEveryItemTheWriterWrote) {
    const std::vector<Item> items{
        {0x01, {0x41, 0x31}},    {0x0E, {}},  {0x12, {0x00, 0x25, 0x80, 3, 0, 0, 3}},
        {0x92, Bytes(16, 0x7B)}, {0xCD, {9}}, {0xF1, Bytes(253, 0xA5)}};
    std::array<std::uint8_t, 512> buffer;
    FrameWriter writer(buffer);
    writer.BeginFrame(Command::ReadAnswer);
    for (const Item& item : items) ASSERT_TRUE(writer.AppendItem(item.type, item.value));
    const auto frame = writer.FinishFrame();
    ASSERT_TRUE(frame);
    bool clean = false;
    EXPECT_EQ(Walk(*frame, &clean), items);
    EXPECT_TRUE(clean);
}

TEST(ItemWalk, FramesOfSixteenBytesOrLessHaveNoItems) {
    const Bytes empty{0x7B, 0x8B, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};
    EXPECT_TRUE(Walk(empty).empty());
    const Bytes shortAnswer{0x7B, 0x8B, 0x00, 0x05, 0x7B};
    EXPECT_TRUE(Walk(shortAnswer).empty());
    EXPECT_TRUE(Walk({}).empty());
}

Bytes Header(std::size_t length) {
    Bytes f(15, 0);
    f[0] = 0x7B;
    f[1] = 0x8B;
    f[2] = static_cast<std::uint8_t>(length >> 8);
    f[3] = static_cast<std::uint8_t>(length);
    return f;
}

TEST(ItemWalk, EndsAtAMalformedItem) {
    struct Case {
        const char* what;
        Bytes items;  // after the header, before the end byte
        std::size_t expected;
    };
    const Case cases[] = {
        {"length byte 0", {0x01, 0x03, 0x41, 0x04, 0x00, 0x04, 0x02}, 1},
        {"length byte 1", {0x01, 0x03, 0x41, 0x04, 0x01}, 1},
        {"value runs into the end byte", {0x01, 0x03, 0x41, 0x04, 0x04, 0x42}, 1},
        {"value runs far past the frame", {0x01, 0xFF, 0x41}, 0},
        {"length byte is the end byte", {0x01, 0x03, 0x41, 0x04}, 1},
    };
    for (const Case& c : cases) {
        Bytes frame = Header(15 + c.items.size() + 1);
        frame.insert(frame.end(), c.items.begin(), c.items.end());
        frame.push_back(0x7B);
        bool clean = true;
        EXPECT_EQ(Walk(frame, &clean).size(), c.expected) << c.what;
        EXPECT_FALSE(clean) << c.what;
    }
}

TEST(ItemWalk, LengthFieldBeyondTheSpanIsCappedAtTheSpan) {
    // Claims 300 bytes; holds one item and then stops.
    Bytes frame = Header(300);
    frame.insert(frame.end(), {0x01, 0x03, 0x41, 0x04, 0x09, 0x42});
    bool clean = true;
    EXPECT_EQ(Walk(frame, &clean), (std::vector<Item>{{0x01, {0x41}}}));
    EXPECT_FALSE(clean);
}

TEST(ItemWalk, LengthFieldShorterThanTheSpanEndsTheWalkThere) {
    // Length 19: one 3-byte item, then the end byte; what follows is not walked.
    Bytes frame = Header(19);
    frame.insert(frame.end(), {0x01, 0x03, 0x41, 0x7B, 0x04, 0x03, 0x42, 0x7B});
    EXPECT_EQ(Walk(frame), (std::vector<Item>{{0x01, {0x41}}}));
}

}  // namespace
}  // namespace quill
