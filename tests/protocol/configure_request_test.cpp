#include "protocol/configure_request.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/frame.h"
#include "tests/protocol/form_snapshot_fake.h"

namespace quill {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kHeader{0x7B, 0x0C, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// The items (between header and end byte) of one frame, after checking its
// delimiters, command and length field.
Bytes FrameItems(const Bytes& frame) {
    if (frame.size() < 16) return {0xDE, 0xAD};
    EXPECT_EQ(frame[0], 0x7B);
    EXPECT_EQ(frame[1], 0x0C);
    EXPECT_EQ(frame[2] * 256 + frame[3], static_cast<int>(frame.size()));
    EXPECT_EQ(frame.back(), 0x7B);
    return Bytes(frame.begin() + 15, frame.end() - 1);
}

// The items of a successful request that fits one frame.
Bytes Items(const MapFormSnapshot& form) {
    const ConfigureResult r = BuildConfigureRequest(form);
    EXPECT_EQ(r.errorMessage, "");
    if (r.frames.size() != 1) return {0xDE, 0xAD};
    return FrameItems(r.frames[0].bytes);
}

// The bytes of a request that must give exactly one frame.
Bytes OneFrame(const MapFormSnapshot& form) {
    const ConfigureResult r = BuildConfigureRequest(form);
    EXPECT_EQ(r.errorMessage, "");
    EXPECT_EQ(r.frames.size(), 1u);
    return r.frames.empty() ? Bytes{} : r.frames[0].bytes;
}

std::string Message(const MapFormSnapshot& form) {
    const ConfigureResult r = BuildConfigureRequest(form);
    EXPECT_TRUE(r.frames.empty()) << r.errorMessage;
    return r.errorMessage;
}

std::string Repeat(std::string_view s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

const std::string kZhan = "\xD5\xBE";  // U+7AD9 in GBK

TEST(ConfigureRequest, NothingTickedGivesTheSixteenByteFrame) {
    MapFormSnapshot form;
    form.texts[1002] = "";  // unticked fields are neither checked nor sent
    form.texts[1004] = "9";
    const ConfigureResult r = BuildConfigureRequest(form);
    EXPECT_EQ(r.errorMessage, "");
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0].bytes, (Bytes{0x7B, 0x0C, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B}));
    EXPECT_TRUE(r.frames[0].types.empty());
}

TEST(ConfigureRequest, DtuIdA1) {
    MapFormSnapshot form;
    form.Field(0x01, "A1");
    EXPECT_EQ(OneFrame(form),
              (Bytes{0x7B, 0x0C, 0x00, 0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x04, 0x41, 0x31, 0x7B}));
}

TEST(ConfigureRequest, ItemsOfEachRule) {
    struct Case {
        const char* what;
        std::uint8_t type;
        std::string text;
        Bytes item;
    };
    const Case cases[] = {
        {"apn", 0x04, "CMNET", {0x04, 0x07, 'C', 'M', 'N', 'E', 'T'}},
        {"heartbeat 9600", 0x08, "9600", {0x08, 0x04, 0x25, 0x80}},
        {"packet length 65536", 0x09, "65536", {0x09, 0x04, 0x00, 0x00}},
        {"reconnect -1", 0x0A, "-1", {0x0A, 0x04, 0x00, 0xFF}},
        {"debug state 17", 0x0B, "17", {0x0B, 0x03, 0x01}},
        {"debug state -1", 0x0B, "-1", {0x0B, 0x03, 0xFF}},
        {"idle interval x", 0x0C, "x", {0x0C, 0x04, 0x00, 0x00}},
        {"address 10.0.0.1", 0x0D, "10.0.0.1", {0x0D, 0x06, 0x0A, 0x00, 0x00, 0x01}},
        {"address 0.0.0.0", 0x0D, "0.0.0.0", {0x0D, 0x06, 0x00, 0x00, 0x00, 0x00}},
        {"address 255.255.255.255", 0x20, "255.255.255.255", {0x20, 0x06, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"address with trailing dot", 0x0D, "1.2.3.4.", {0x0D, 0x06, 0x01, 0x02, 0x03, 0x04}},
        {"address with empty segment", 0x0D, "1..3.4", {0x0D, 0x06, 0x01, 0x00, 0x03, 0x04}},
        {"empty domain", 0x0E, "", {0x0E, 0x02}},
        {"port", 0x21, "8080", {0x21, 0x04, 0x1F, 0x90}},
        {"heartbeat length 300", 0x25, "300", {0x25, 0x03, 0x2C}},
        {"heartbeat AA BB", 0x26, "AA BB", {0x26, 0x04, 0xAA, 0xBB}},
        {"heartbeat AAB", 0x26, "AAB", {0x26, 0x03, 0xAA}},
        {"heartbeat ZZ", 0x26, "ZZ", {0x26, 0x02}},
        {"data channel 01", 0x90, "01", {0x90, 0x03, 0x01}},
        {"data channel 257", 0x90, "257", {0x90, 0x03, 0x01}},
        {"data channel x", 0x90, "x", {0x90, 0x03, 0x00}},
        {"filter mode 3", 0x91, "3", {0x91, 0x03, 0x03}},
        {"station A1", 0x92, "A1", {0x92, 0x06, 0x00, 0x41, 0x00, 0x31}},
        {"sms centre empty", 0x93, "", {0x93, 0x03, 0x00}},
        {"super user number",
         0x94,
         "13800138000",
         {0x94, 0x0D, '1', '3', '8', '0', '0', '1', '3', '8', '0', '0', '0'}},
        {"password of six non-digits", 0x95, "abc de", {0x95, 0x08, 'a', 'b', 'c', ' ', 'd', 'e'}},
        {"password of three GBK characters",
         0x9D,
         Repeat(kZhan, 3),
         {0x9D, 0x08, 0xD5, 0xBE, 0xD5, 0xBE, 0xD5, 0xBE}},
        {"body 1 name", 0x9E, kZhan + "A", {0x9E, 0x06, 0x7A, 0xD9, 0x00, 0x41}},
        {"body 1 address 1000", 0x9F, "1000", {0x9F, 0x04, 0xE8, 0x03}},
        {"body 1 state 1, Chinese", 0xA0, kZhan, {0xA0, 0x04, 0x7A, 0xD9}},
        {"body 10 state 0, ASCII", 0xC5, "1", {0xC5, 0x04, 0x00, 0x31}},
        {"device address 300", 0xC6, "300", {0xC6, 0x04, 0x2C, 0x01}},
        {"numbered field empty", 0xC7, "", {0xC7, 0x03, 0x00}},
        {"numbered field 39", 0xF1, "x", {0xF1, 0x03, 'x'}},
    };
    for (const Case& c : cases) {
        MapFormSnapshot form;
        form.Field(c.type, c.text);
        EXPECT_EQ(Items(form), c.item) << c.what;
    }
}

TEST(ConfigureRequest, StationNameOfEightChineseCharacters) {
    MapFormSnapshot form;
    form.Field(0x92, Repeat(kZhan, 8));
    Bytes item{0x92, 0x12};
    for (int i = 0; i < 8; ++i) item.insert(item.end(), {0x7A, 0xD9});
    EXPECT_EQ(Items(form), item);
}

TEST(ConfigureRequest, ListFields) {
    MapFormSnapshot form;
    form.Lists(0x12, {5, 0, 0, 0, 2}).Lists(0x18, {1}).Lists(0x19, {0});
    EXPECT_EQ(Items(form), (Bytes{0x12, 0x09, 0x00, 0x25, 0x80, 0x03, 0x00, 0x00, 0x03, 0x18, 0x03, 0x01,
                                  0x19, 0x03, 0x00}));
    MapFormSnapshot last;
    last.Lists(0x12, {10, 3, 1, 2, 4});
    EXPECT_EQ(Items(last), (Bytes{0x12, 0x09, 0x01, 0xC2, 0x00, 0x00, 0x04, 0x18, 0x05}));
}

TEST(ConfigureRequest, EveryValidationMessage) {
    struct Case {
        const char* message;
        std::uint8_t type;
        std::string text;
    };
    const Case cases[] = {
        {"DTU编号不能为空！", 0x01, ""},
        {"接入点名称不能为空！", 0x04, ""},
        {"在线报告间隔不能为空！", 0x08, ""},
        {"最大包长不能为空！", 0x09, ""},
        {"重连接时间间隔不能为空！", 0x0A, ""},
        {"调试状态不能为空！", 0x0B, ""},
        {"最后包空闲间隔不能为空！", 0x0C, ""},
        {"数据中心IP地址不能为空！", 0x0D, ""},
        {"数据中心IP地址不能为空！", 0x20, ""},
        {"IP地址大于0，小于255！", 0x0D, "256.1.1.1"},
        {"IP地址大于0，小于255！", 0x20, "1.2.3.999"},
        {"请填写正确的数据中心IP地址,如：192.168.1.100", 0x0D, "1234.1.1.1"},
        {"请填写正确的数据中心IP地址,如：192.168.1.100", 0x0D, "1.2.3"},
        {"请填写正确的数据中心IP地址,如：192.168.1.100", 0x0D, "1234.1.1"},  // four segments, but 1234
        {"请填写正确的数据中心IP地址,如：192.168.1.100", 0x20, "1.2.3.4.5"},
        {"请填写正确的数据中心IP地址,如：192.168.1.100", 0x20, "abc"},
        {"数据中心端口不能为空！", 0x10, ""},
        {"数据中心端口不能为空！", 0x21, ""},
        {"自定义心跳包长度不能为空！", 0x25, ""},
        {"自定义心跳包不能为空！", 0x26, ""},
        {"请输入数据传输通道0或者1！", 0x90, ""},
        {"请输入数据传输通道0或者1！", 0x90, "2"},
        {"请输入数据传输通道0或者1！", 0x90, "-255"},
        {"请输入消息过滤模式0-仅发送不带时标的消息；1-仅发送代时标消息；2-两者都发送；3-两者都不发送", 0x91,
         ""},
        {"请输入消息过滤模式0-仅发送不带时标的消息；1-仅发送代时标消息；2-两者都发送；3-两者都不发送", 0x91,
         "4"},
        {"站点不能为空！", 0x92, ""},
        {"站点最大为8个字节", 0x92, Repeat(kZhan, 9)},
        {"站点最大为8个字节", 0x92, "ABCDEFGHI"},
        {"密码长度为6，且不能为空", 0x95, ""},
        {"密码长度为6，且不能为空", 0x97, "12345"},
        {"密码长度为6，且不能为空", 0x9B, "1234567"},
        {"消息体名称不能为空！", 0x9E, ""},
        {"消息体名称最长为8个字节", 0xC2, Repeat(kZhan, 9)},
        {"消息体地址不能为空", 0x9F, ""},
        {"消息体地址不能为空", 0xC6, ""},
        {"消息体名称不能为空！", 0xA0, ""},
        {"消息体名称不能为空！", 0xC5, ""},
        {"消息体状态为1个汉字", 0xA1, Repeat(kZhan, 2)},
        {"消息体状态为1个汉字", 0xA4, "AB"},
    };
    for (const Case& c : cases) {
        MapFormSnapshot form;
        form.Field(c.type, c.text);
        EXPECT_EQ(Message(form), c.message) << static_cast<int>(c.type) << " " << c.text;
    }
}

TEST(ConfigureRequest, ListMessages) {
    struct Case {
        const char* message;
        std::uint8_t type;
        std::vector<int> lists;
    };
    const Case cases[] = {
        {"请选择-波特率！", 0x12, {-1, 0, 0, 0, 0}},
        {"请选择-波特率！", 0x12, {11, 0, 0, 0, 0}},
        {"请选择-数据位！", 0x12, {0, 4, 0, 0, 0}},
        {"请选择-停止位！", 0x12, {0, 0, 2, 0, 0}},
        {"请选择-校验位！", 0x12, {0, 0, 0, -1, 0}},
        {"请选择-校验位！", 0x12, {0, 0, 0, 0, 5}},  // flow control shares the parity message
        {"请选择-校验位！", 0x12, {0, 0, 0, 0, -1}},
        {"请选择-传输方式！", 0x18, {2}},
        {"请选择-传输方式！", 0x18, {-1}},
        {"请选择-连接方式！", 0x19, {-1}},
    };
    for (const Case& c : cases) {
        MapFormSnapshot form;
        const ItemDef* def = FindItem(c.type);
        form.ticks.insert(def->checkBoxId);
        for (std::size_t i = 0; i < c.lists.size(); ++i) form.lists[def->valueIds[i]] = c.lists[i];
        EXPECT_EQ(Message(form), c.message) << c.lists[0];
    }
}

TEST(ConfigureRequest, OnlyTheFirstFailingFieldInTypeOrderIsReported) {
    MapFormSnapshot both;
    both.Field(0x01, "").Field(0x04, "");
    EXPECT_EQ(Message(both), "DTU编号不能为空！");
    // The filter mode's check box (1015) comes before the debug state's
    // (1069), but its type (0x91) comes after.
    MapFormSnapshot order;
    order.Field(0x91, "9").Field(0x0B, "").Field(0x01, "ok");
    EXPECT_EQ(Message(order), "调试状态不能为空！");
    // A failure after good fields still sends nothing.
    MapFormSnapshot late;
    late.Field(0x01, "A1").Field(0x90, "1").Field(0xF1, "x").Field(0xC6, "");
    EXPECT_EQ(Message(late), "消息体地址不能为空");
}

TEST(ConfigureRequest, PlainTextValueOf253BytesAtMost) {
    MapFormSnapshot fits;
    fits.Field(0x01, std::string(253, 'a'));
    const Bytes frame = OneFrame(fits);
    ASSERT_EQ(frame.size(), 16u + 255u);
    EXPECT_EQ(frame[16], 255);

    MapFormSnapshot tooLong;
    tooLong.Field(0x01, std::string(254, 'a'));
    EXPECT_EQ(Message(tooLong), "DTU编号太长，最多253个字节，请缩短后再配置");
    MapFormSnapshot labelWithBlank;
    labelWithBlank.Field(0x94, std::string(300, '1'));
    EXPECT_EQ(Message(labelWithBlank), "超级用户号码太长，最多253个字节，请缩短后再配置");
    MapFormSnapshot hex;
    hex.Field(0x26, Repeat("AB", 254));
    EXPECT_EQ(Message(hex), "自定义心跳包太长，最多253个字节，请缩短后再配置");
}

TEST(ConfigureRequest, SelectionOf300BytesIsOneFrameAndOf301IsTwo) {
    // 16 + (253 + 2) + (n + 2): n = 27 gives 300 bytes, n = 28 gives 301.
    MapFormSnapshot fits;
    fits.Field(0x01, std::string(253, 'a')).Field(0x04, std::string(27, 'b'));
    const ConfigureResult one = BuildConfigureRequest(fits);
    ASSERT_EQ(one.frames.size(), 1u);
    ASSERT_EQ(one.frames[0].bytes.size(), 300u);
    EXPECT_EQ(one.frames[0].bytes[2], 0x01);
    EXPECT_EQ(one.frames[0].bytes[3], 0x2C);
    EXPECT_EQ(one.frames[0].bytes[299], 0x7B);
    EXPECT_EQ(one.frames[0].types, (Bytes{0x01, 0x04}));

    MapFormSnapshot over;
    over.Field(0x01, std::string(253, 'a')).Field(0x04, std::string(28, 'b'));
    const ConfigureResult two = BuildConfigureRequest(over);
    EXPECT_EQ(two.errorMessage, "");
    ASSERT_EQ(two.frames.size(), 2u);
    EXPECT_EQ(two.frames[0].bytes.size(), 16u + 255u);
    EXPECT_EQ(two.frames[0].types, (Bytes{0x01}));
    EXPECT_EQ(FrameItems(two.frames[1].bytes), (Bytes{0x04, 30}) + Bytes(28, 'b'));
    EXPECT_EQ(two.frames[1].types, (Bytes{0x04}));
}

TEST(ConfigureRequest, AnItemThatNearlyFillsAFramePushesTheNextItemOn) {
    // The 255-byte item leaves 29 bytes: the 4-byte item before it shares its
    // frame, the 32-byte item after it does not fit and opens the next one.
    MapFormSnapshot form;
    form.Field(0x01, "A1").Field(0x04, std::string(253, 'b')).Field(0x0E, std::string(30, 'c'));
    const ConfigureResult r = BuildConfigureRequest(form);
    ASSERT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(r.frames[0].bytes.size(), 16u + 4u + 255u);
    EXPECT_EQ(r.frames[0].types, (Bytes{0x01, 0x04}));
    EXPECT_EQ(r.frames[1].types, (Bytes{0x0E}));
    EXPECT_EQ(FrameItems(r.frames[1].bytes), (Bytes{0x0E, 32}) + Bytes(30, 'c'));
}

// A plain text item as the frame format defines it: type, byte count + 2, the bytes.
Bytes TextItem(std::uint8_t type, std::string_view text) {
    Bytes item(text.size() + 2);
    item[0] = type;
    item[1] = static_cast<std::uint8_t>(text.size() + 2);
    std::copy(text.begin(), text.end(), item.begin() + 2);
    return item;
}

// The numbered fields' type codes in the order of their check boxes 1320..1400:
// 0xCD and 0xEE are left out.
const Bytes kNumberedTypes{0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCE, 0xCF, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5,
                           0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xE0, 0xE1, 0xE2, 0xE3,
                           0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEF, 0xF0, 0xF1};

// Each numbered field its own 11-digit number, so that two swapped fields show.
std::string NumberedValue(std::uint8_t type) {
    return "13800138" + std::to_string(type);
}

// Message body k: its first type code and the low byte of its address 1000 + k (high byte 0x03).
struct BodyTypes {
    std::uint8_t name;
    std::uint8_t addressLow;
};
constexpr BodyTypes kBodies[] = {{0x9E, 0xE9}, {0xA2, 0xEA}, {0xA6, 0xEB}, {0xAA, 0xEC}, {0xAE, 0xED},
                                 {0xB2, 0xEE}, {0xB6, 0xEF}, {0xBA, 0xF0}, {0xBE, 0xF1}, {0xC2, 0xF2}};

// A valid value in every field, shown and hidden; the users' numbers and
// passwords differ field by field.
MapFormSnapshot EveryFieldTicked() {
    MapFormSnapshot form;
    form.Field(0x01, "DTU-0001").Field(0x04, "CMNET").Field(0x08, "60").Field(0x09, "1024");
    form.Field(0x0A, "30").Field(0x0B, "1").Field(0x0C, "5").Field(0x0D, "192.168.1.100");
    form.Field(0x0E, "dtu.example.org").Field(0x10, "5000").Lists(0x12, {5, 0, 0, 0, 2});
    form.Lists(0x18, {1}).Lists(0x19, {1}).Field(0x20, "10.0.0.2").Field(0x21, "5001");
    form.Field(0x25, "4").Field(0x26, "AA BB CC DD");
    form.Field(0x90, "1").Field(0x91, "2").Field(0x92, Repeat(kZhan, 8)).Field(0x93, "13800138000");
    form.Field(0x94, "13900000001").Field(0x95, "111111").Field(0x96, "13900000002").Field(0x97, "222222");
    form.Field(0x98, "13900000003").Field(0x99, "333333").Field(0x9A, "13900000004").Field(0x9B, "444444");
    form.Field(0x9C, "13900000005").Field(0x9D, "555555");
    for (int k = 1; k <= 10; ++k) {
        const std::uint8_t type = kBodies[k - 1].name;
        form.Field(type, Repeat(kZhan, 4))
            .Field(static_cast<std::uint8_t>(type + 1), std::to_string(1000 + k))
            .Field(static_cast<std::uint8_t>(type + 2), kZhan)
            .Field(static_cast<std::uint8_t>(type + 3), kZhan);
    }
    form.Field(0xC6, "1");
    for (const std::uint8_t type : kNumberedTypes) form.Field(type, NumberedValue(type));
    return form;
}

// The items EveryFieldTicked must give, typed from the item definitions.
Bytes EveryFieldItems() {
    Bytes items = TextItem(0x01, "DTU-0001") + TextItem(0x04, "CMNET") +
                  Bytes{0x08, 0x04, 0x00, 0x3C, 0x09, 0x04, 0x04, 0x00, 0x0A, 0x04, 0x00, 0x1E,
                        0x0B, 0x03, 0x01, 0x0C, 0x04, 0x00, 0x05, 0x0D, 0x06, 0xC0, 0xA8, 0x01, 0x64} +
                  TextItem(0x0E, "dtu.example.org") +
                  Bytes{0x10, 0x04, 0x13, 0x88, 0x12, 0x09, 0x00, 0x25, 0x80, 0x03, 0x00, 0x00, 0x03,
                        0x18, 0x03, 0x01, 0x19, 0x03, 0x01, 0x20, 0x06, 0x0A, 0x00, 0x00, 0x02,
                        0x21, 0x04, 0x13, 0x89, 0x25, 0x03, 0x04, 0x26, 0x06, 0xAA, 0xBB, 0xCC, 0xDD,
                        0x90, 0x03, 0x01, 0x91, 0x03, 0x02, 0x92, 0x12};
    for (int i = 0; i < 8; ++i) items = items + Bytes{0x7A, 0xD9};
    items = items + TextItem(0x93, "13800138000") + TextItem(0x94, "13900000001") + TextItem(0x95, "111111") +
            TextItem(0x96, "13900000002") + TextItem(0x97, "222222") + TextItem(0x98, "13900000003") +
            TextItem(0x99, "333333") + TextItem(0x9A, "13900000004") + TextItem(0x9B, "444444") +
            TextItem(0x9C, "13900000005") + TextItem(0x9D, "555555");
    for (const BodyTypes& body : kBodies) {
        const auto t = body.name;
        items = items + Bytes{t, 0x0A, 0x7A, 0xD9, 0x7A, 0xD9, 0x7A, 0xD9, 0x7A, 0xD9} +
                Bytes{static_cast<std::uint8_t>(t + 1), 0x04, body.addressLow, 0x03} +
                Bytes{static_cast<std::uint8_t>(t + 2), 0x04, 0x7A, 0xD9} +
                Bytes{static_cast<std::uint8_t>(t + 3), 0x04, 0x7A, 0xD9};
    }
    items = items + Bytes{0xC6, 0x04, 0x01, 0x00};
    for (const std::uint8_t type : kNumberedTypes) items = items + TextItem(type, NumberedValue(type));
    return items;
}

TEST(ConfigureRequest, EveryFieldTickedGoesOutInSeveralFullFramesInTypeOrder) {
    const MapFormSnapshot form = EveryFieldTicked();
    const ConfigureResult r = BuildConfigureRequest(form);
    ASSERT_EQ(r.errorMessage, "");
    ASSERT_GE(r.frames.size(), 3u);

    // The expected types, read off the typed items by their length bytes.
    const Bytes expectedItems = EveryFieldItems();
    Bytes expectedTypes;
    for (std::size_t p = 0; p + 1 < expectedItems.size(); p += expectedItems[p + 1])
        expectedTypes.push_back(expectedItems[p]);
    ASSERT_EQ(expectedTypes.size(), 113u);  // every field of the form

    Bytes items;
    Bytes types;
    for (std::size_t i = 0; i < r.frames.size(); ++i) {
        const ConfigureFrame& frame = r.frames[i];
        EXPECT_LE(frame.bytes.size(), kMaxConfigureFrame) << i;
        const Bytes frameItems = FrameItems(frame.bytes);
        items.insert(items.end(), frameItems.begin(), frameItems.end());
        types.insert(types.end(), frame.types.begin(), frame.types.end());
        Bytes walked;
        ForEachItem(frame.bytes, [&](const ItemView& item) { walked.push_back(item.type); });
        EXPECT_EQ(walked, frame.types) << i;
        // A frame is closed only when the next item would not fit it.
        if (i + 1 < r.frames.size()) {
            const ConfigureFrame& next = r.frames[i + 1];
            EXPECT_GT(frame.bytes.size() + next.bytes[kFrameHeaderSize + 1], kMaxConfigureFrame) << i;
        }
    }
    EXPECT_EQ(items, expectedItems);
    EXPECT_EQ(types, expectedTypes);
}

}  // namespace
}  // namespace quill
