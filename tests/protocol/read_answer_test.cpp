#include "protocol/read_answer.h"

#include <gtest/gtest.h>

#include <vector>

namespace quill {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A read answer around the given item bytes, with the right length field.
Bytes Answer(const Bytes& items) {
    Bytes frame{0x7B, 0x8B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    frame.insert(frame.end(), items.begin(), items.end());
    frame.push_back(0x7B);
    frame[2] = static_cast<std::uint8_t>(frame.size() >> 8);
    frame[3] = static_cast<std::uint8_t>(frame.size() & 0xFF);
    return frame;
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// `count` code units of 'A', high byte first.
Bytes Ucs2A(std::size_t count) {
    Bytes value;
    for (std::size_t i = 0; i < count; ++i) value.insert(value.end(), {0x00, 0x41});
    return value;
}

Bytes Item(std::uint8_t type, const Bytes& value) {
    Bytes item{type, static_cast<std::uint8_t>(value.size() + 2)};
    item.insert(item.end(), value.begin(), value.end());
    return item;
}

TEST(ApplyReadAnswer, EachReadKindFillsItsControl) {
    struct Case {
        const char* what;
        Bytes item;
        int control;
        std::string text;
    };
    const Case cases[] = {
        {"text", {0x01, 0x04, 0x41, 0x31}, 1002, "A1"},
        {"text ends at a zero byte", {0x04, 0x05, 0x41, 0x00, 0x42}, 1025, "A"},
        {"empty numbered field as written", {0xC7, 0x03, 0x00}, 1321, ""},
        {"GBK text passes as bytes", {0x93, 0x04, 0xD5, 0xBE}, 1050, "\xD5\xBE"},
        {"word high first", {0x10, 0x04, 0x01, 0x2C}, 1008, "300"},
        {"word high first, max", {0x08, 0x04, 0xFF, 0xFF}, 1042, "65535"},
        {"word low first, device address", {0xC6, 0x04, 0x2C, 0x01}, 1319, "300"},
        {"word low first, body 1 address", {0x9F, 0x04, 0xE8, 0x03}, 1097, "1000"},
        {"decimal byte", {0x0B, 0x03, 0xFF}, 1070, "255"},
        {"decimal byte, heartbeat length", {0x25, 0x03, 0x00}, 1076, "0"},
        {"dotted address", {0x0D, 0x06, 0x0A, 0x00, 0x00, 0x01}, 1006, "10.0.0.1"},
        {"dotted address, backup", {0x20, 0x06, 0xFF, 0xFF, 0xFF, 0xFF}, 1046, "255.255.255.255"},
        {"digit", {0x90, 0x03, 0x01}, 1004, "1"},
        {"digit 10 is the colon", {0x91, 0x03, 0x0A}, 1022, ":"},
        {"digit that wraps to code 0 shows nothing", {0x90, 0x03, 0xD0}, 1004, ""},
        {"UCS-2 text",
         {0x92, 0x08, 0x4E, 0x3B, 0x7A, 0xD9, 0x00, 0x31},
         1044,
         "\xD6\xF7\xD5\xBE"
         "1"},
        {"UCS-2 odd last byte lost", {0x9E, 0x05, 0x7A, 0xD9, 0x00}, 1095, "\xD5\xBE"},
        {"UCS-2 ends at zero unit", {0xC5, 0x06, 0x00, 0x41, 0x00, 0x00}, 1317, "A"},
        {"hex ends at zero byte", {0x26, 0x06, 0x7B, 0x01, 0x00, 0x02}, 1078, "7B 01 "},
        {"numbered field 8", {0xCE, 0x03, 0x38}, 1333, "8"},
        {"numbered field 42", {0xED, 0x03, 0x39}, 1395, "9"},
        {"numbered field 37", {0xEF, 0x03, 0x37}, 1397, "7"},
        {"numbered field 39", {0xF1, 0x03, 0x33}, 1401, "3"},
        {"missing value bytes read as 0", {0x09, 0x03, 0x01}, 1040, "256"},
        {"missing address bytes read as 0", {0x0D, 0x03, 0x07}, 1006, "7.0.0.0"},
    };
    for (const Case& c : cases) {
        const auto updates = ApplyReadAnswer(Answer(c.item));
        ASSERT_EQ(updates.size(), 1u) << c.what;
        EXPECT_EQ(updates[0].type, c.item[0]) << c.what;
        ASSERT_EQ(updates[0].updates.size(), 1u) << c.what;
        const ControlUpdate& u = updates[0].updates[0];
        EXPECT_EQ(u.controlId, c.control) << c.what;
        EXPECT_FALSE(u.selectIndex) << c.what;
        EXPECT_EQ(u.text, c.text) << c.what;
    }
}

TEST(ApplyReadAnswer, ListIndexSelectsTheEntry) {
    const auto updates = ApplyReadAnswer(Answer(Cat({0x18, 0x03, 0x01}, {0x19, 0x03, 0x07})));
    ASSERT_EQ(updates.size(), 2u);
    EXPECT_EQ(updates[0].updates[0].controlId, 1012);
    EXPECT_TRUE(updates[0].updates[0].selectIndex);
    EXPECT_EQ(updates[0].updates[0].index, 1);
    EXPECT_EQ(updates[1].updates[0].controlId, 1014);
    EXPECT_EQ(updates[1].updates[0].index, 7);  // beyond the list: selects nothing
}

TEST(ApplyReadAnswer, SerialBlockSetsFiveListsInOrder) {
    struct Case {
        Bytes value;
        std::array<int, 5> indices;
    };
    const Case cases[] = {
        {{0x00, 0x25, 0x80, 0x03, 0x00, 0x00, 0x03}, {5, 0, 0, 0, 2}},
        {{0x01, 0xC2, 0x00, 0x00, 0x04, 0x18, 0x05}, {10, 3, 1, 2, 4}},
        {{0x00, 0x01, 0x2C, 0x02, 0x00, 0x08, 0x01}, {0, 1, 0, 1, 0}},
        // Codes the lists do not know are used as indices themselves.
        {{0x00, 0x00, 0x07, 0x09, 0x01, 0x10, 0x00}, {7, 9, 1, 16, 0}},
        {{0x01, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03}, {65536, 0, 0, 0, 2}},
    };
    for (const Case& c : cases) {
        const auto updates = ApplyReadAnswer(Answer(Item(0x12, c.value)));
        ASSERT_EQ(updates.size(), 1u);
        ASSERT_EQ(updates[0].updates.size(), 5u);
        for (std::size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(updates[0].updates[i].controlId, 1016 + static_cast<int>(i));
            EXPECT_TRUE(updates[0].updates[i].selectIndex);
            EXPECT_EQ(updates[0].updates[i].index, c.indices[i]) << i;
        }
    }
}

TEST(ApplyReadAnswer, SkipsUnknownTypesAndKeepsFrameOrder) {
    Bytes items;
    for (const Bytes& item :
         {Bytes{0x06, 0x04, 0x01, 0x02}, Bytes{0x10, 0x04, 0x00, 0x50}, Bytes{0xCD, 0x03, 0x31},
          Bytes{0x02, 0x02}, Bytes{0xEE, 0x05, 0x7B, 0x7B, 0x7B}, Bytes{0xFF, 0x03, 0x00},
          Bytes{0x10, 0x04, 0x00, 0x51}, Bytes{0x01, 0x03, 0x41}})
        items.insert(items.end(), item.begin(), item.end());
    const auto updates = ApplyReadAnswer(Answer(items));
    ASSERT_EQ(updates.size(), 3u);
    EXPECT_EQ(updates[0].updates[0].text, "80");
    EXPECT_EQ(updates[1].updates[0].text, "81");  // the later value of a repeated type comes last
    EXPECT_EQ(updates[2].updates[0].controlId, 1002);
}

TEST(ApplyReadAnswer, EmptyAndShortAnswersFillNothing) {
    EXPECT_TRUE(ApplyReadAnswer(Answer({})).empty());
    EXPECT_TRUE(ApplyReadAnswer(Bytes{0x7B, 0x8B, 0x00, 0x05, 0x7B}).empty());
    EXPECT_TRUE(ApplyReadAnswer({}).empty());
}

TEST(ApplyReadAnswer, BadLengthEndsTheWalkKeepingWhatCameBefore) {
    const auto zero = ApplyReadAnswer(Answer({0x01, 0x03, 0x41, 0x04, 0x00, 0x04, 0x03, 0x42}));
    ASSERT_EQ(zero.size(), 1u);
    EXPECT_EQ(zero[0].type, 0x01);
    const auto past = ApplyReadAnswer(Answer({0x01, 0x03, 0x41, 0x04, 0xF0, 0x42}));
    ASSERT_EQ(past.size(), 1u);
}

TEST(ApplyReadAnswer, ValuesAreCutToTheirWorkAreas) {
    struct Case {
        const char* what;
        std::uint8_t type;
        Bytes value;
        std::size_t textLength;
    };
    const Case cases[] = {
        {"plain text keeps 49 bytes", 0x01, Bytes(49, 'a'), 49},
        {"plain text cut at 49", 0x01, Bytes(60, 'a'), 49},
        {"domain keeps 149 bytes", 0x0E, Bytes(149, 'b'), 149},
        {"domain cut at 149", 0x0E, Bytes(200, 'b'), 149},
        {"UCS-2 keeps 74 code units", 0x92, Ucs2A(74), 74},
        {"UCS-2 cut at 74 code units", 0x92, Ucs2A(100), 74},
        {"hex keeps 133 bytes", 0x26, Bytes(133, 0xAB), 399},
        {"hex cut at 133 bytes", 0x26, Bytes(140, 0xAB), 399},
    };
    for (const Case& c : cases) {
        const auto updates = ApplyReadAnswer(Answer(Item(c.type, c.value)));
        ASSERT_EQ(updates.size(), 1u) << c.what;
        EXPECT_EQ(updates[0].updates[0].text.size(), c.textLength) << c.what;
    }
}

}  // namespace
}  // namespace quill
