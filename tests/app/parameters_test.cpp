// Parameter read-back and write through the real window and engine, with a
// simulated DTU on a pseudo-terminal: the read fills every control, the
// configure request stores exactly the ticked items, answers in pieces, with
// garbage, a 0x7B inside, lying or oversize lengths, and refused input.
#include <QComboBox>
#include <map>

#include "protocol/frame.h"
#include "protocol/item_table.h"
#include "protocol/text_codec.h"
#include "session_fixture.h"
#include "sim/simulated_dtu.h"

namespace quill::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Ascii(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// UCS-2, high byte first.
Bytes Ucs2(std::u16string_view text) {
    Bytes bytes;
    for (const char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    }
    return bytes;
}

// A frame: 7B, command, length (high first), eleven 00, the body, 7B.
Bytes Frame(std::uint8_t command, const Bytes& body, std::optional<std::uint16_t> length = std::nullopt) {
    const std::size_t total = 16 + body.size();
    const std::uint16_t field = length.value_or(static_cast<std::uint16_t>(total));
    Bytes frame{0x7B, command, static_cast<std::uint8_t>(field >> 8),
                static_cast<std::uint8_t>(field & 0xFF)};
    frame.resize(15, 0x00);
    frame.insert(frame.end(), body.begin(), body.end());
    frame.push_back(0x7B);
    return frame;
}

int ValueControl(std::uint8_t type, int k = 0) {
    return FindItem(type)->valueIds[static_cast<std::size_t>(k)];
}

// What a control shows: a text, or (list >= 0) the selected entry.
struct Shown {
    QString text;
    int list = -1;
};
Shown Text(const char* utf8) {
    return {QString::fromUtf8(utf8)};
}
Shown Entry(int index) {
    return {{}, index};
}

// One DTU value for every form field, typed from the item definitions, and
// what each value control must show after a read.
struct TypedSet {
    DtuItems items;
    std::map<int, Shown> shown;

    void add(std::uint8_t type, Bytes value, std::initializer_list<std::pair<int, Shown>> controls) {
        items[type] = std::move(value);
        for (const auto& [id, s] : controls) shown[id] = s;
    }
};

TypedSet MakeTypedSet() {
    TypedSet set;
    set.add(0x01, Ascii("ID{01}"), {{1002, Text("ID{01}")}});  // a 0x7B inside the answer
    set.add(0x04, {0xB2, 0xE2, 0xCA, 0xD4, 0xCD, 0xF8}, {{1025, Text("测试网")}});
    set.add(0x08, {0x01, 0x2C}, {{1042, Text("300")}});
    set.add(0x09, {0x04, 0x00}, {{1040, Text("1024")}});
    set.add(0x0A, {0x00, 0x1E}, {{1065, Text("30")}});
    set.add(0x0B, {0x07}, {{1070, Text("7")}});
    set.add(0x0C, {0x00, 0xC8}, {{1063, Text("200")}});
    set.add(0x0D, {203, 0, 113, 10}, {{1006, Text("203.0.113.10")}});
    set.add(0x0E, Ascii("scada.example.cn"), {{1010, Text("scada.example.cn")}});
    set.add(0x10, {0x13, 0x89}, {{1008, Text("5001")}});
    set.add(0x12, {0x00, 0x4B, 0x00, 0x02, 0x04, 0x18, 0x05},  // 19200, 7 bits, 2 stop, even, RS422
            {{1016, Entry(7)}, {1017, Entry(1)}, {1018, Entry(1)}, {1019, Entry(2)}, {1020, Entry(4)}});
    set.add(0x18, {0x01}, {{1012, Entry(1)}});
    set.add(0x19, {0x01}, {{1014, Entry(1)}});
    set.add(0x20, {198, 51, 100, 20}, {{1046, Text("198.51.100.20")}});
    set.add(0x21, {0x13, 0x8A}, {{1048, Text("5002")}});
    set.add(0x25, {0x04}, {{1076, Text("4")}});
    set.add(0x26, {0xAA, 0x55, 0x01, 0x02}, {{1078, Text("AA 55 01 02 ")}});
    set.add(0x90, {0x01}, {{1004, Text("1")}});
    set.add(0x91, {0x03}, {{1022, Text("3")}});
    set.add(0x92, {0x57, 0xCE, 0x4E, 0x1C, 0x53, 0xD8, 0x75, 0x35, 0x7A, 0xD9}, {{1044, Text("城东变电站")}});
    set.add(0x93, Ascii("+8613800100500"), {{1050, Text("+8613800100500")}});
    set.add(0x94, Ascii("13912345678"), {{1071, Text("13912345678")}});
    set.add(0x95, Ascii("123456"), {{1073, Text("123456")}});
    set.add(0x96, Ascii("13812345678"), {{1079, Text("13812345678")}});
    set.add(0x97, Ascii("654321"), {{1081, Text("654321")}});
    set.add(0x98, Ascii("13700000001"), {{1083, Text("13700000001")}});
    set.add(0x99, Ascii("111111"), {{1085, Text("111111")}});
    set.add(0x9A, Ascii("13700000002"), {{1087, Text("13700000002")}});
    set.add(0x9B, Ascii("222222"), {{1089, Text("222222")}});
    set.add(0x9C, Ascii("13700000003"), {{1091, Text("13700000003")}});
    set.add(0x9D, Ascii("333333"), {{1093, Text("333333")}});
    for (int k = 1; k <= 10; ++k) {
        const auto base = static_cast<std::uint8_t>(0x9E + 4 * (k - 1));
        const std::u16string name = u"B" + std::u16string(k == 10 ? u"10" : std::u16string(1, u'0' + k));
        const int address = 1000 + k;
        set.add(base, Ucs2(name), {{ValueControl(base), {QString::fromStdU16String(name)}}});
        set.add(base + 1,
                {static_cast<std::uint8_t>(address & 0xFF), static_cast<std::uint8_t>(address >> 8)},
                {{ValueControl(base + 1), {QString::number(address)}}});
        set.add(base + 2, {0x54, 0x08}, {{ValueControl(base + 2), Text("合")}});
        set.add(base + 3, {0x52, 0x06}, {{ValueControl(base + 3), Text("分")}});
    }
    set.add(0xC6, {0x2C, 0x01}, {{1319, Text("300")}});
    for (int type = 0xC7; type <= 0xF1; ++type) {
        if (type == 0xCD || type == 0xEE) continue;
        const std::string text = "N" + QString::number(type, 16).toUpper().toStdString();
        set.add(static_cast<std::uint8_t>(type), Ascii(text),
                {{ValueControl(static_cast<std::uint8_t>(type)), {QString::fromStdString(text)}}});
    }
    return set;
}

class ParametersTest : public SessionTest {
  protected:
    void tick(std::uint8_t type) { click(FindItem(type)->checkBoxId); }
    void expectShown(const std::map<int, Shown>& expected) {
        for (const auto& [id, s] : expected) {
            if (s.list >= 0) {
                EXPECT_EQ(window->selectedIndex(id), s.list) << id;
            } else {
                EXPECT_EQ(window->controlText(id), s.text) << id;
                EXPECT_EQ(GbkToUtf8(window->member(id)), s.text.toStdString()) << id;  // saved after the fill
            }
        }
    }
    // Waits until `bytes` more bytes have reached OnPortByte since `from`.
    bool waitHandled(std::uint64_t from, std::size_t bytes) {
        return WaitFor([&] { return window->session.line().bytesReceived() >= from + bytes; }, kWaitMs);
    }
};

TEST_F(ParametersTest, ReadFillsEveryControlAndConfigureStoresExactlyTheTickedItems) {
    const TypedSet set = MakeTypedSet();
    std::size_t valueControls = 0;
    for (const ItemDef& def : ItemTable()) {
        for (int i = 0; i < def.valueCount; ++i, ++valueControls)
            ASSERT_TRUE(set.shown.count(def.valueIds[static_cast<std::size_t>(i)])) << int(def.type);
    }
    ASSERT_EQ(set.shown.size(), valueControls);
    server.setItems(set.items);
    connectDtu();

    click(1029);
    ASSERT_TRUE(waitCount(kReadOk));
    expectShown(set.shown);
    for (const ItemDef& def : ItemTable()) {  // a read ticks, enables and shows nothing
        if (def.checkBoxId == 0) continue;
        EXPECT_FALSE(window->isTicked(def.checkBoxId)) << int(def.type);
        EXPECT_FALSE(window->control(def.valueIds[0])->isEnabled()) << int(def.type);
    }

    const int body1Address = ValueControl(0x9F), body1State1 = ValueControl(0xA0);
    for (const std::uint8_t type : {0x92, 0x95, 0x9F, 0xA0, 0x10, 0x93, 0x12, 0x26, 0x0D, 0x0E}) tick(type);
    window->setControlText(1044, FromUtf8("新站"));
    window->setControlText(1073, QStringLiteral("abcdef"));
    window->setControlText(body1Address, QStringLiteral("1000"));
    window->setControlText(body1State1, QStringLiteral("a"));
    window->setControlText(1008, QStringLiteral("502"));
    window->setControlText(1050, QString());
    for (const auto& [id, index] : {std::pair{1016, 5}, {1017, 0}, {1018, 0}, {1019, 0}, {1020, 2}})
        window->selectIndex(id, index);
    window->setControlText(1078, QStringLiteral("AAB"));
    window->setControlText(1006, QStringLiteral("255.255.255.255"));
    window->setControlText(1010, QString());
    click(1030);
    ASSERT_TRUE(waitCount(kConfigureOk));
    EXPECT_FALSE(window->session.assembler().configurePending());

    DtuItems expected = set.items;
    expected[0x92] = {0x65, 0xB0, 0x7A, 0xD9};
    expected[0x95] = Ascii("abcdef");
    expected[0x9F] = {0xE8, 0x03};
    expected[0xA0] = {0x00, 0x61};
    expected[0x10] = {0x01, 0xF6};
    expected[0x93] = {0x00};
    expected[0x12] = {0x00, 0x25, 0x80, 0x03, 0x00, 0x00, 0x03};
    expected[0x26] = {0xAA};
    expected[0x0D] = {0xFF, 0xFF, 0xFF, 0xFF};
    expected[0x0E] = {};
    EXPECT_EQ(server.items(), expected);

    // Clear the form so the second read must fill it again.
    for (const auto& [id, s] : set.shown)
        s.list >= 0 ? window->selectIndex(id, -1) : window->setControlText(id, {});
    click(1029);
    ASSERT_TRUE(waitCount(kReadOk, 2));
    std::map<int, Shown> after = set.shown;
    after[1044] = Text("新站");
    after[1073] = Text("abcdef");
    after[body1Address] = Text("1000");
    after[body1State1] = Text("a");
    after[1008] = Text("502");
    after[1050] = Text("");
    for (const auto& [id, index] : {std::pair{1016, 5}, {1017, 0}, {1018, 0}, {1019, 0}, {1020, 2}})
        after[id] = Entry(index);
    after[1078] = Text("AA ");
    after[1006] = Text("255.255.255.255");
    after[1010] = Text("");
    expectShown(after);
}

// The exact frame of a configure request, typed from the frame definition.
struct FrameCase {
    const char* name;
    std::uint8_t type;  // 0: nothing ticked
    std::string text;   // UTF-8
    Bytes expected;
};
void PrintTo(const FrameCase& c, std::ostream* os) {
    *os << c.name;
}

class ConfigureFrame : public ParametersTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(ConfigureFrame, IsSentWholeAndItsAnswerAwaited) {
    const FrameCase& c = GetParam();
    connectDtu();
    if (c.type != 0) {
        tick(c.type);
        window->setControlText(ValueControl(c.type), QString::fromStdString(c.text));
    }
    const std::size_t before = received().size();
    click(1030);
    EXPECT_TRUE(window->session.assembler().configurePending());
    ASSERT_TRUE(waitReceived(before + c.expected.size()));
    const Bytes line = received();
    EXPECT_EQ(Bytes(line.begin() + static_cast<std::ptrdiff_t>(before), line.end()), c.expected);
    ASSERT_TRUE(waitCount(kConfigureOk));
    EXPECT_FALSE(window->session.assembler().configurePending());
    EXPECT_TRUE(boxes.empty());
}

Bytes Bytes253() {
    Bytes item{0x01, 0xFF};
    item.resize(2 + 253, 'A');
    return item;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ConfigureFrame,
    ::testing::Values(FrameCase{"NothingTicked", 0, "", Frame(0x0C, {})},
                      FrameCase{"StationName", 0x92, "新站",
                                Frame(0x0C, {0x92, 0x06, 0x65, 0xB0, 0x7A, 0xD9})},
                      FrameCase{"EmptyNumberAsZero", 0x93, "", Frame(0x0C, {0x93, 0x03, 0x00})},
                      FrameCase{"BodyAddressLowFirst", 0x9F, "1000", Frame(0x0C, {0x9F, 0x04, 0xE8, 0x03})},
                      FrameCase{"LongestPlainText", 0x01, std::string(253, 'A'), Frame(0x0C, Bytes253())}),
    [](const auto& info) { return std::string(info.param.name); });

// Answers the test sends itself while the DTU does not listen: what each
// gives, and whether its request is still waiting afterwards.
struct InjectedCase {
    const char* name;
    bool configure;
    Bytes answer;
    std::string_view verdict;  // empty: none
    const char* dtuId;         // 1002 afterwards
};
void PrintTo(const InjectedCase& c, std::ostream* os) {
    *os << c.name;
}

class InjectedAnswer : public ParametersTest, public ::testing::WithParamInterface<InjectedCase> {};

TEST_P(InjectedAnswer, GivesItsVerdict) {
    const InjectedCase& c = GetParam();
    connectQuiet();
    const std::uint64_t writes = window->session.line().engine().completedWrites();
    click(c.configure ? 1030 : 1029);
    const std::uint64_t from = window->session.line().bytesReceived();
    sendAfterWrites(writes + 1, c.answer, &quiet);
    ASSERT_TRUE(waitHandled(from, c.answer.size()));
    for (const std::string_view verdict : {kReadOk, kReadFailed, kConfigureOk, kConfigureFailed})
        EXPECT_EQ(count(verdict), verdict == c.verdict ? 1 : 0) << verdict;
    EXPECT_EQ(
        c.configure ? window->session.assembler().configurePending() : window->session.assembler().readPending(),
        c.verdict.empty());
    EXPECT_EQ(window->controlText(1002), QString::fromUtf8(c.dtuId));
}

Bytes Zeros(std::size_t n) {
    return Bytes(n, 0x00);
}
Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, InjectedAnswer,
    ::testing::Values(
        InjectedCase{"ReadWithoutItems", false, {0x7B, 0x8B, 0x00, 0x05, 0x7B}, kReadOk, ""},
        InjectedCase{"ReadWrongCommand", false, Frame(0x8A, {0x01, 0x04, 0x41, 0x42}), kReadFailed, ""},
        InjectedCase{"ReadGarbageFirst", false,
                     Join({{0x00, 0xFF, 0x6C, 0x37, 0x0D}, Frame(0x8B, {0x01, 0x04, 0x41, 0x42})}), kReadOk,
                     "AB"},
        InjectedCase{"ReadBraceInData", false, Frame(0x8B, {0x01, 0x04, 0x7B, 0x41}), kReadOk, "{A"},
        InjectedCase{"ReadLengthTooShort", false, Frame(0x8B, {0x01, 0x04, 0x41, 0x42}, 5), kReadOk, ""},
        InjectedCase{"ReadLengthPastBuffer", false, Frame(0x8B, {0x01, 0x04, 0x41, 0x42}, 0xFFFF),
                     kReadFailed, ""},
        InjectedCase{"ReadLengthTooLong", false, Frame(0x8B, {0x01, 0x04, 0x41, 0x42}, 4000), {}, ""},
        InjectedCase{"ConfigureShortest", true, {0x7B, 0x8C, 0x00, 0x7B}, kConfigureOk, ""},
        InjectedCase{"ConfigureRefused", true, {0x7B, 0x8C, 0x01, 0x7B}, kConfigureFailed, ""},
        InjectedCase{"ConfigureWrongCommand", true, Frame(0x8D, {}), kConfigureFailed, ""},
        InjectedCase{"ConfigureGarbageFirst", true, Join({{0x37, 0x6C}, Zeros(3), Frame(0x8C, {})}),
                     kConfigureOk, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The simulated DTU's own answers, cut into pieces at these offsets.
struct SplitCase {
    const char* name;
    bool configure;
    std::vector<std::size_t> cuts;  // empty: at every byte
    std::size_t garbage = 0;
};
void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << c.name;
}

class SplitAnswer : public ParametersTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SplitAnswer, IsAssembledAcrossThePieces) {
    const SplitCase& c = GetParam();
    const TypedSet set = MakeTypedSet();
    server.setItems(set.items);
    connectDtu();
    std::vector<std::size_t> cuts = c.cuts;
    if (cuts.empty())
        for (std::size_t i = 1; i < 2000; ++i) cuts.push_back(i);
    server.setAnswerPieces(cuts, std::chrono::milliseconds(c.cuts.empty() ? 0 : 2));
    DtuFaults faults;
    faults.garbageBeforeFrame = c.garbage;
    server.setFaults(faults);

    click(c.configure ? 1030 : 1029);
    ASSERT_TRUE(waitCount(c.configure ? kConfigureOk : kReadOk));
    EXPECT_EQ(count(c.configure ? kConfigureFailed : kReadFailed), 0);
    if (!c.configure) expectShown(set.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, SplitAnswer,
    ::testing::Values(SplitCase{"ReadAfterStartByte", false, {1}}, SplitCase{"ReadAfterCommand", false, {2}},
                      SplitCase{"ReadInsideLength", false, {3}}, SplitCase{"ReadAfterLength", false, {4}},
                      SplitCase{"ReadAtFirstItem", false, {15, 16}}, SplitCase{"ReadAtEveryByte", false, {}},
                      SplitCase{"ReadGarbageThenPieces", false, {3, 8, 9}, 7},
                      SplitCase{"ConfigureAtEveryByte", true, {}},
                      SplitCase{"ConfigureGarbageThenPieces", true, {2, 5}, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ParametersTest, OversizeAnswerFailsAndTheNextReadWorks) {
    const TypedSet set = MakeTypedSet();
    server.setItems(set.items);
    DtuFaults oversize;
    oversize.oversizeTo = 6000;
    // How long the DTU's oversize answer is, to know when all of it is in.
    SimulatedDtu twin(set.items);
    twin.faults() = oversize;
    const std::size_t answerSize = twin.feed(RequestFrame(0x0B)).size();
    ASSERT_GT(answerSize, 5000u);
    connectDtu();
    server.setFaults(oversize);

    const std::uint64_t from = window->session.line().bytesReceived();
    click(1029);
    ASSERT_TRUE(waitCount(kReadFailed));
    ASSERT_TRUE(waitHandled(from, answerSize));
    EXPECT_FALSE(window->session.assembler().readPending());
    EXPECT_EQ(window->session.assembler().receiveCount(), 0);
    EXPECT_EQ(window->controlText(1044), QString());

    server.setFaults({});
    click(1029);
    ASSERT_TRUE(waitCount(kReadOk));
    EXPECT_EQ(count(kReadFailed), 1);
    expectShown(set.shown);
}

// Refused input: one box, caption "错误提示", and nothing sent or changed.
struct RefusedCase {
    const char* name;
    std::vector<std::pair<std::uint8_t, std::string>> fields;  // ticked, with their texts (UTF-8)
    const char* message;
};
void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusedConfigure : public ParametersTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedConfigure, ShowsTheMessageAndSendsNothing) {
    const RefusedCase& c = GetParam();
    connectDtu();
    for (const auto& [type, text] : c.fields) {
        tick(type);
        window->setControlText(ValueControl(type), QString::fromStdString(text));
    }
    const QString info = window->controlText(1000);
    const std::size_t before = received().size();
    click(1030);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QString::fromUtf8(c.message));
    EXPECT_EQ(boxes[0].caption, FromUtf8("错误提示"));
    EXPECT_FALSE(window->session.assembler().configurePending());
    EXPECT_EQ(window->controlText(1000), info);

    click(1029);  // the next thing on the line is the read request
    const Bytes read = RequestFrame(0x0B);
    ASSERT_TRUE(waitReceived(before + read.size()));
    const Bytes line = received();
    EXPECT_EQ(Bytes(line.begin() + static_cast<std::ptrdiff_t>(before), line.end()), read);
}

// The numbered fields: check box 1320 + 2i, its edit one above, and the type
// code it writes, typed from the frame format (0xCD and 0xEE left out).
struct NumberedField {
    int checkBoxId;
    std::uint8_t type;
};
std::vector<NumberedField> EveryNumberedField() {
    const Bytes types{0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCE, 0xCF, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5,
                      0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xE0, 0xE1, 0xE2, 0xE3,
                      0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEF, 0xF0, 0xF1};
    std::vector<NumberedField> fields;
    for (std::size_t i = 0; i < types.size(); ++i) fields.push_back({1320 + 2 * static_cast<int>(i), types[i]});
    return fields;
}

// An 11-digit number of its own for each numbered field, so that a value
// stored under another field's type shows.
std::string NumberedValue(std::uint8_t type) {
    return "13800138" + std::to_string(type);
}

// A read fills every field but ticks none: the write after it carries the
// one field ticked, and nothing of what the read filled in.
TEST_F(ParametersTest, AfterAReadTheWriteFrameHoldsOnlyTheTickedField) {
    connectDtu();
    click(1029);
    ASSERT_TRUE(waitCount(kReadOk));
    tick(0x95);
    window->setControlText(ValueControl(0x95), QStringLiteral("abcdef"));
    const std::size_t before = received().size();
    click(1030);
    ASSERT_TRUE(waitCount(kConfigureOk));
    const Bytes all = received();
    const Bytes frame(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    Bytes expected{0x7B, 0x0C, 0x00, 0x18, 0,    0,   0,   0,   0,   0,   0,   0,
                   0,    0,    0,    0x95, 0x08, 'a', 'b', 'c', 'd', 'e', 'f', 0x7B};
    EXPECT_EQ(frame, expected);
}

// Every numbered field with an 11-digit value makes a selection over one
// frame: it goes out in frames of at most 300 bytes, each after the one
// before it was answered, with one verdict; the DTU stores all of it.
TEST_F(ParametersTest, ASelectionOverOneFrameGoesInSeveralAnsweredFrames) {
    connectDtu();
    const auto fields = EveryNumberedField();
    for (const NumberedField& field : fields) {
        click(field.checkBoxId);
        window->setControlText(field.checkBoxId + 1, QString::fromStdString(NumberedValue(field.type)));
    }
    const std::size_t before = received().size();
    click(1030);
    ASSERT_TRUE(waitCount(kConfigureOk));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(count(kConfigureFailed), 0);
    EXPECT_FALSE(window->session.assembler().configurePending());

    // What reached the DTU: configure frames only, each within 300 bytes.
    const Bytes all = received();
    const Bytes line(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    std::size_t frames = 0;
    DtuItems sent;
    for (std::size_t at = 0; at + 4 <= line.size(); ++frames) {
        ASSERT_EQ(line[at], 0x7B);
        ASSERT_EQ(line[at + 1], 0x0C);
        const std::size_t length = line[at + 2] * 256u + line[at + 3];
        EXPECT_LE(length, 300u);
        ASSERT_LE(at + length, line.size());
        const std::span<const std::uint8_t> frame(line.data() + at, length);
        ASSERT_TRUE(ForEachItem(frame, [&](const ItemView& item) {
            sent[item.type] = Bytes(item.value.begin(), item.value.end());
        }));
        at += length;
    }
    EXPECT_GE(frames, 2u);
    // Every ticked field went out once under its own type, and the DTU holds each value as typed.
    DtuItems intended;
    for (const NumberedField& field : fields) intended[field.type] = Ascii(NumberedValue(field.type));
    EXPECT_EQ(sent.size(), intended.size());
    const DtuItems stored = server.items();
    for (const auto& [type, value] : intended) {
        ASSERT_TRUE(sent.count(type) && stored.count(type)) << int(type);
        EXPECT_EQ(sent.at(type), value) << int(type);
        EXPECT_EQ(stored.at(type), value) << int(type);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, RefusedConfigure,
    ::testing::Values(RefusedCase{"OnlyTheFirstFailingField", {{0x01, ""}, {0x04, ""}}, "DTU编号不能为空！"},
                      RefusedCase{"StateOfTwoCharacters", {{0xA0, "合分"}}, "消息体状态为1个汉字"},
                      RefusedCase{"ValueOver253Bytes",
                                  {{0x01, std::string(254, 'A')}},
                                  "DTU编号太长，最多253个字节，请缩短后再配置"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quill::test
