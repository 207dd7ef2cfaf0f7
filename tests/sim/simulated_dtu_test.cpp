// The simulated DTU's side of the protocol. Frames are typed from the
// protocol's definition.
#include "sim/simulated_dtu.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "protocol/frame.h"
#include "protocol/item_table.h"

namespace quill {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kReadRequest{0x7B, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};
const Bytes kResetRequest{0x7B, 0x0F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};
// The DTU identifier A1 (41 31) alone: length 20.
const Bytes kConfigureA1{0x7B, 0x0C, 0x00, 0x14, 0, 0,    0,    0,    0,    0,
                         0,    0,    0,    0,    0, 0x01, 0x04, 0x41, 0x31, 0x7B};
const Bytes kConfigureEmpty{0x7B, 0x0C, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};
const Bytes kAccepted{0x7B, 0x8C, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};
const Bytes kRefused{0x7B, 0x8C, 0x01, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

DtuItems ItemsOf(const Bytes& frame) {
    DtuItems items;
    ForEachItem(frame,
                [&](const ItemView& item) { items[item.type].assign(item.value.begin(), item.value.end()); });
    return items;
}

TEST(SimulatedDtuTest, AnswersEveryPollWithTheAnnouncementUnlessSilenced) {
    SimulatedDtu dtu;
    EXPECT_EQ(dtu.feed(Bytes{0x37, 0x55, 0x37}), (Bytes{0x6C, 0x6C}));
    EXPECT_EQ(dtu.counters().pollBytes, 2u);
    dtu.faults().noAnnouncement = true;
    EXPECT_TRUE(dtu.feed(Bytes{0x37}).empty());
    EXPECT_EQ(dtu.counters().pollBytes, 3u);
    EXPECT_EQ(dtu.counters().announcements, 2u);
}

TEST(SimulatedDtuTest, ReadAnswerCarriesTheWholeSetWithItsTotalLength) {
    SimulatedDtu dtu;
    const Bytes answer = dtu.feed(kReadRequest);
    ASSERT_GE(answer.size(), 16u);
    EXPECT_EQ(answer[0], 0x7B);
    EXPECT_EQ(answer[1], 0x8B);
    EXPECT_EQ(answer.back(), 0x7B);
    EXPECT_EQ(FrameLengthField(answer), answer.size());
    const DtuItems items = ItemsOf(answer);
    EXPECT_EQ(items, dtu.items());
    // A few factory values, typed: APN "CMNET", 9600 8N1 without flow
    // control, device address 1 low byte first, the station name 城东变电站
    // in UCS-2 high byte first, heartbeat 60 high byte first.
    EXPECT_EQ(items.at(0x04), (Bytes{0x43, 0x4D, 0x4E, 0x45, 0x54}));
    EXPECT_EQ(items.at(0x12), (Bytes{0x00, 0x25, 0x80, 0x03, 0x00, 0x00, 0x03}));
    EXPECT_EQ(items.at(0xC6), (Bytes{0x01, 0x00}));
    EXPECT_EQ(items.at(0x92), (Bytes{0x57, 0xCE, 0x4E, 0x1C, 0x53, 0xD8, 0x75, 0x35, 0x7A, 0xD9}));
    EXPECT_EQ(items.at(0x08), (Bytes{0x00, 0x3C}));
    EXPECT_EQ(dtu.counters().readRequests, 1u);
}

TEST(SimulatedDtuTest, FactorySetCoversEveryFieldRealistically) {
    const DtuItems items = SimulatedDtu::FactoryItems();
    for (const ItemDef& def : ItemTable()) {
        if (def.format == ValueFormat::Skipped) {
            EXPECT_EQ(items.count(def.type), 0u);
            continue;
        }
        ASSERT_EQ(items.count(def.type), 1u) << def.name;
        const Bytes& value = items.at(def.type);
        EXPECT_FALSE(value.empty()) << def.name;
        if (def.writeRule == WriteRule::Password) {
            EXPECT_EQ(value.size(), 6u) << def.name;
        }
        if (def.writeRule == WriteRule::BodyState) {
            EXPECT_EQ(value.size(), 2u) << def.name;
        }
        if (def.format == ValueFormat::DeviceText) {
            EXPECT_LE(value.size(), 16u) << def.name;
            bool chinese = false;  // at least one code unit from the CJK block
            for (std::size_t i = 0; i + 1 < value.size(); i += 2) chinese = chinese || value[i] >= 0x4E;
            EXPECT_TRUE(chinese) << def.name;
        }
    }
    // Body 1: 1号主变 at address 1001 (E9 03), states 投 (6295) and 退 (9000).
    EXPECT_EQ(items.at(0x9E), (Bytes{0x00, 0x31, 0x53, 0xF7, 0x4E, 0x3B, 0x53, 0xD8}));
    EXPECT_EQ(items.at(0x9F), (Bytes{0xE9, 0x03}));
    EXPECT_EQ(items.at(0xA0), (Bytes{0x62, 0x95}));
    EXPECT_EQ(items.at(0xA1), (Bytes{0x90, 0x00}));
}

TEST(SimulatedDtuTest, ConfigureStoresTheItemsAndAnswersSuccess) {
    SimulatedDtu dtu;
    EXPECT_EQ(dtu.feed(kConfigureA1), kAccepted);
    EXPECT_EQ(dtu.items().at(0x01), (Bytes{0x41, 0x31}));
    EXPECT_EQ(dtu.feed(kConfigureEmpty), kAccepted);  // nothing ticked is still a request
    EXPECT_EQ(dtu.counters().configureRequests, 2u);
}

TEST(SimulatedDtuTest, ARequestSplitAtAnyByteGetsTheSameAnswer) {
    for (const Bytes& request : {kReadRequest, kConfigureA1}) {
        SimulatedDtu whole;
        const Bytes expected = whole.feed(request);
        for (std::size_t cut = 1; cut < request.size(); ++cut) {
            SimulatedDtu dtu;
            Bytes answer = dtu.feed(std::span(request).first(cut));
            EXPECT_TRUE(answer.empty()) << "cut " << cut;
            answer = dtu.feed(std::span(request).subspan(cut));
            EXPECT_EQ(answer, expected) << "cut " << cut;
        }
    }
}

TEST(SimulatedDtuTest, PollBytesInsideAFrameAreFrameData) {
    SimulatedDtu dtu;
    // A configure request whose DTU identifier is "7" (0x37).
    const Bytes request{0x7B, 0x0C, 0x00, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x03, 0x37, 0x7B};
    EXPECT_EQ(dtu.feed(Cat(Bytes{0x00, 0x11}, request)), kAccepted);
    EXPECT_EQ(dtu.counters().pollBytes, 0u);
    EXPECT_EQ(dtu.items().at(0x01), Bytes{0x37});
}

struct MalformedCase {
    const char* name;
    Bytes request;
};

class MalformedConfigureTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedConfigureTest, IsRefusedAndStoresNothing) {
    SimulatedDtu dtu;
    const DtuItems before = dtu.items();
    EXPECT_EQ(dtu.feed(GetParam().request), kRefused);
    EXPECT_EQ(dtu.items(), before);
    EXPECT_GE(dtu.counters().malformedFrames, 1u);
    // And the DTU is in step again for the next request.
    EXPECT_EQ(dtu.feed(kConfigureA1), kAccepted);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, MalformedConfigureTest,
    ::testing::Values(
        MalformedCase{"ItemLengthBelowTwo",
                      {0x7B, 0x0C, 0x00, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x01, 0x41, 0x7B}},
        MalformedCase{"ItemRunningPastTheEnd",
                      {0x7B, 0x0C, 0x00, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x05, 0x41, 0x7B}},
        MalformedCase{"UnknownType", {0x7B, 0x0C, 0x00, 0x14, 0, 0,    0,    0,    0,    0,
                                      0,    0,    0,    0,    0, 0xCD, 0x04, 0x41, 0x31, 0x7B}},
        MalformedCase{"WordOfThreeBytes", {0x7B, 0x0C, 0x00, 0x15, 0,    0,    0,    0,    0,    0,   0,
                                           0,    0,    0,    0,    0x10, 0x05, 0x13, 0x89, 0x00, 0x7B}},
        MalformedCase{"NoEndByte", {0x7B, 0x0C, 0x00, 0x14, 0, 0,    0,    0,    0,    0,
                                    0,    0,    0,    0,    0, 0x01, 0x04, 0x41, 0x31, 0x00}},
        MalformedCase{"LengthBelowSixteen", {0x7B, 0x0C, 0x00, 0x0F}},
        MalformedCase{"LengthBeyondTheReceiveLimit", {0x7B, 0x0C, 0x10, 0x01}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimulatedDtuTest, ResetRestoresTheFactorySetAndAnswersWithIt) {
    SimulatedDtu dtu;
    ASSERT_EQ(dtu.feed(kConfigureA1), kAccepted);
    const Bytes answer = dtu.feed(kResetRequest);
    ASSERT_FALSE(answer.empty());
    EXPECT_EQ(answer[1], 0x8B);
    EXPECT_EQ(dtu.items(), SimulatedDtu::FactoryItems());
    EXPECT_EQ(ItemsOf(answer), SimulatedDtu::FactoryItems());
    EXPECT_EQ(dtu.counters().resetRequests, 1u);
}

TEST(SimulatedDtuTest, UnknownCommandsAndStrayBytesAreDropped) {
    SimulatedDtu dtu;
    const Bytes unknown{0x7B, 0x22, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7B};
    EXPECT_TRUE(dtu.feed(Cat(Bytes{0x01, 0x6C, 0xFF}, unknown)).empty());
    EXPECT_EQ(dtu.feed(kConfigureA1), kAccepted);
}

TEST(SimulatedDtuTest, AnswerFaultsShapeTheFrame) {
    SimulatedDtu dtu(DtuItems{{0x01, {0x41, 0x31}}});
    dtu.faults().garbageBeforeFrame = 5;
    Bytes answer = dtu.feed(kReadRequest);
    ASSERT_EQ(answer.size(), 5u + 20u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_NE(answer[i], 0x7B);
        EXPECT_NE(answer[i], 0x6C);
    }
    EXPECT_EQ(Bytes(answer.begin() + 5, answer.end()),
              (Bytes{0x7B, 0x8B, 0x00, 0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x04, 0x41, 0x31, 0x7B}));

    dtu.faults() = DtuFaults{};
    dtu.faults().wrongCommand = 0x8C;
    dtu.faults().lyingLength = 0x0100;
    answer = dtu.feed(kReadRequest);
    EXPECT_EQ(answer,
              (Bytes{0x7B, 0x8C, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x04, 0x41, 0x31, 0x7B}));

    dtu.faults() = DtuFaults{};
    dtu.faults().oversizeTo = 6000;  // past the tool's 5000-byte receive buffer
    answer = dtu.feed(kReadRequest);
    EXPECT_GE(answer.size(), 6000u);
    EXPECT_EQ(FrameLengthField(answer), answer.size());
    const DtuItems items = ItemsOf(answer);
    EXPECT_EQ(items.at(0x01), (Bytes{0x41, 0x31}));
    EXPECT_EQ(items.count(0x06), 1u);  // the padding
}

TEST(SimulatedDtuTest, StoringNothingStillAnswersSuccessAndStillRefusesMalformedRequests) {
    SimulatedDtu dtu;
    dtu.faults().storeNothing = true;
    const DtuItems before = dtu.items();
    EXPECT_EQ(dtu.feed(kConfigureA1), kAccepted);
    EXPECT_EQ(dtu.items(), before);
    EXPECT_EQ(ItemsOf(dtu.feed(kReadRequest)), before);
    const Bytes wordOfThree{0x7B, 0x0C, 0x00, 0x15, 0,    0,    0,    0,    0,    0,   0,
                            0,    0,    0,    0,    0x10, 0x05, 0x13, 0x89, 0x00, 0x7B};
    EXPECT_EQ(dtu.feed(wordOfThree), kRefused);
    EXPECT_EQ(dtu.counters().configureRequests, 2u);
    EXPECT_EQ(dtu.counters().configuresAccepted, 1u);
}

TEST(SimulatedDtuTest, AQuietDtuTakesInNothingAndForgetsTheFrameItWasIn) {
    SimulatedDtu dtu;
    const Bytes expected = SimulatedDtu().feed(kReadRequest);
    // Half a request, then the unit is off the line for a while.
    EXPECT_TRUE(dtu.feed(std::span(kReadRequest).first(8)).empty());
    dtu.setQuiet(true);
    EXPECT_TRUE(dtu.feed(Cat(Bytes{0x37}, kConfigureA1)).empty());
    EXPECT_TRUE(dtu.feed(Bytes{0x37}).empty());
    EXPECT_EQ(dtu.items(), SimulatedDtu::FactoryItems());
    EXPECT_EQ(dtu.counters().ignoredBytes, 22u);
    EXPECT_EQ(dtu.counters().pollBytes, 0u);
    EXPECT_EQ(dtu.counters().configureRequests, 0u);
    dtu.setQuiet(false);
    // The second half alone is no request; a whole one is answered again.
    EXPECT_TRUE(dtu.feed(std::span(kReadRequest).subspan(8)).empty());
    EXPECT_EQ(dtu.feed(kReadRequest), expected);
    EXPECT_EQ(dtu.feed(Bytes{0x37}), Bytes{0x6C});
}

TEST(SimulatedDtuTest, EachNextUnitHasTheFactorySetUnderADtuIdOfItsOwn) {
    SimulatedDtu dtu;
    EXPECT_EQ(dtu.unit(), 1u);
    // Unit 1 leaves the factory as DTU "20240517001".
    EXPECT_EQ(dtu.items().at(0x01), (Bytes{'2', '0', '2', '4', '0', '5', '1', '7', '0', '0', '1'}));
    ASSERT_EQ(dtu.feed(kConfigureA1), kAccepted);
    dtu.nextUnit();
    EXPECT_EQ(dtu.unit(), 2u);
    EXPECT_EQ(dtu.items().at(0x01), (Bytes{'2', '0', '2', '4', '0', '5', '1', '7', '0', '0', '2'}));
    DtuItems others = dtu.items();
    others.erase(0x01);
    DtuItems first = SimulatedDtu::FactoryItems(1);
    first.erase(0x01);
    EXPECT_EQ(others, first);  // only the id tells the units apart
    // A reset brings back this unit's own set, id included.
    ASSERT_EQ(dtu.feed(kConfigureA1), kAccepted);
    EXPECT_EQ(ItemsOf(dtu.feed(kResetRequest)), SimulatedDtu::FactoryItems(2));
    EXPECT_EQ(dtu.counters().configureRequests, 2u);  // counted across units

    std::set<Bytes> ids;
    for (std::uint32_t unit = 1; unit <= 1000; ++unit) ids.insert(SimulatedDtu::FactoryItems(unit).at(0x01));
    EXPECT_EQ(ids.size(), 1000u);
}

TEST(SimulatedDtuTest, ANewUnitDoesNotFinishTheFrameTheLastOneWasIn) {
    SimulatedDtu dtu;
    EXPECT_TRUE(dtu.feed(std::span(kConfigureA1).first(10)).empty());
    dtu.nextUnit();
    EXPECT_TRUE(dtu.feed(std::span(kConfigureA1).subspan(10)).empty());
    EXPECT_EQ(dtu.items(), SimulatedDtu::FactoryItems(2));
}

}  // namespace
}  // namespace quill
