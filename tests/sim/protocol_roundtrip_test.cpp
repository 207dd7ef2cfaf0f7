// The tool's own protocol code against the simulated DTU: what the read-back
// shows of the factory set, and a configure request built from a form.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "protocol/configure_request.h"
#include "protocol/read_answer.h"
#include "protocol/wire.h"
#include "protocol/text_codec.h"
#include "sim/simulated_dtu.h"

namespace quill {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::map<int, ControlUpdate> Shown(const Bytes& frame) {
    std::map<int, ControlUpdate> shown;
    for (const ItemUpdate& item : ApplyReadAnswer(frame)) {
        for (const ControlUpdate& update : item.updates) shown[update.controlId] = update;
    }
    return shown;
}

Bytes ReadAnswerOf(SimulatedDtu& dtu) {
    const auto request = BuildRequestFrame(0x0B);
    return dtu.feed(request);
}

TEST(ProtocolRoundTripTest, TheReadBackShowsTheFactorySet) {
    SimulatedDtu dtu;
    const auto shown = Shown(ReadAnswerOf(dtu));
    EXPECT_EQ(shown.at(1025).text, "CMNET");
    EXPECT_EQ(shown.at(1044).text, Utf8ToGbk("城东变电站"));
    EXPECT_EQ(shown.at(1073).text, "123456");
    EXPECT_EQ(shown.at(1319).text, "1");
    EXPECT_EQ(shown.at(1097).text, "1001");
    EXPECT_EQ(shown.at(1099).text, Utf8ToGbk("投"));
    EXPECT_EQ(shown.at(1006).text, "203.0.113.10");
    EXPECT_EQ(shown.at(1042).text, "60");
    EXPECT_EQ(shown.at(1078).text, "AA 55 01 02 ");
    EXPECT_TRUE(shown.at(1016).selectIndex);
    EXPECT_EQ(shown.at(1016).index, 5);  // 9600 in the rate list
    EXPECT_EQ(shown.at(1020).index, 2);  // no flow control
    EXPECT_EQ(shown.at(1321).text, "0");
    EXPECT_EQ(shown.at(1333).text, "");  // numbered field 8: empty, as written
    // All ten message bodies have a name on show.
    for (const int nameEdit : {1095, 1103, 1111, 1167, 1175, 1183, 1191, 1199, 1207, 1311}) {
        EXPECT_FALSE(shown.at(nameEdit).text.empty()) << nameEdit;
    }
}

class Form : public FormSnapshot {
  public:
    bool ticked(int checkBoxId) const override { return ticks.count(checkBoxId) != 0; }
    std::string text(int editId) const override {
        const auto it = texts.find(editId);
        return it == texts.end() ? std::string() : it->second;
    }
    int listIndex(int) const override { return -1; }
    std::map<int, std::string> texts;  // by value edit
    std::set<int> ticks;
};

TEST(ProtocolRoundTripTest, AConfigureRequestFromTheFormIsStoredAndReadBack) {
    SimulatedDtu dtu;
    Form form;
    form.ticks = {1023, 1072, 1318};
    form.texts[1044] = Utf8ToGbk("西郊站");  // station name (check box 1023)
    form.texts[1073] = "987654";             // super user password (1072)
    form.texts[1319] = "258";                // device address (1318)
    const ConfigureResult request = BuildConfigureRequest(form);
    ASSERT_TRUE(request.errorMessage.empty()) << request.errorMessage;
    ASSERT_EQ(request.frames.size(), 1u);
    const Bytes answer = dtu.feed(request.frames[0].bytes);
    ASSERT_GE(answer.size(), 3u);
    EXPECT_EQ((Bytes{answer[0], answer[1], answer[2]}), (Bytes{0x7B, 0x8C, 0x00}));
    EXPECT_EQ(dtu.items().at(0xC6), (Bytes{0x02, 0x01}));
    const auto shown = Shown(ReadAnswerOf(dtu));
    EXPECT_EQ(shown.at(1044).text, Utf8ToGbk("西郊站"));
    EXPECT_EQ(shown.at(1073).text, "987654");
    EXPECT_EQ(shown.at(1319).text, "258");
    EXPECT_EQ(shown.at(1025).text, "CMNET");  // untouched fields stay
}

TEST(ProtocolRoundTripTest, ADtuThatStoresNothingIsCaughtByReadingBack) {
    SimulatedDtu dtu;
    dtu.faults().storeNothing = true;
    Form form;
    form.ticks = {1023};
    form.texts[1044] = Utf8ToGbk("西郊站");
    const ConfigureResult request = BuildConfigureRequest(form);
    ASSERT_TRUE(request.errorMessage.empty()) << request.errorMessage;
    ASSERT_EQ(request.frames.size(), 1u);
    const Bytes answer = dtu.feed(request.frames[0].bytes);
    ASSERT_GE(answer.size(), 3u);
    EXPECT_EQ(answer[2], 0x00);  // success, as far as the answer goes
    EXPECT_EQ(Shown(ReadAnswerOf(dtu)).at(1044).text, Utf8ToGbk("城东变电站"));
}

TEST(ProtocolRoundTripTest, EachUnitReadsBackWithItsOwnDtuId) {
    // Value edit 1002 shows the DTU id.
    SimulatedDtu dtu;
    EXPECT_EQ(Shown(ReadAnswerOf(dtu)).at(1002).text, "20240517001");
    dtu.nextUnit();
    dtu.nextUnit();
    EXPECT_EQ(Shown(ReadAnswerOf(dtu)).at(1002).text, "20240517003");
}

}  // namespace
}  // namespace quill
