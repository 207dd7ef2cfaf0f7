#include "form/form_exchange.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "form/control_ids.h"
#include "form/parameter_fields.h"

namespace quill {
namespace {

// Controls as plain maps, recording what the exchange did to them.
class FakeControls final : public FormControls {
  public:
    explicit FakeControls(FormMembers& members) : members(members) {}

    std::string controlTextGbk(int id) const override {
        const auto it = texts.find(id);
        return it == texts.end() ? std::string() : it->second;
    }
    void setControlTextGbk(int id, std::string_view gbk) override {
        texts[id] = std::string(gbk);
        mutedWhileSet.push_back(members.exchangeRunning);
    }
    bool isTicked(int id) const override { return ticks.contains(id); }
    void setTicked(int id, bool ticked) override {
        if (ticked)
            ticks.insert(id);
        else
            ticks.erase(id);
    }
    int selectedIndex(int id) const override {
        const auto it = selections.find(id);
        return it == selections.end() ? -1 : it->second;
    }
    void selectIndex(int id, int index) override { selections[id] = index; }
    void enableControl(int id, bool enable) override { enabled[id] = enable; }
    void refuseUnsigned(int id) override {
        refused.push_back(id);
        if (onRefuse) onRefuse();
    }

    FormMembers& members;
    std::map<int, std::string> texts;
    std::set<int> ticks;
    std::map<int, int> selections;
    std::map<int, bool> enabled;
    std::vector<int> refused;
    std::vector<bool> mutedWhileSet;
    std::function<void()> onRefuse;
};

// What the fixture puts into a bound text control: its id and a GBK character.
std::string ValueOf(int id) {
    std::string value = std::to_string(id);
    value += std::string_view("\xB9\xA4");
    return value;
}

class FormExchangeTest : public ::testing::Test {
  protected:
    // As a window starts: the interval edit shows its member.
    FormExchangeTest() { controls.texts[kIntervalEditId] = "1000"; }

    // Every bound text control holds "<id>\xB9\xA4" (a GBK character).
    void fillEveryTextControl() {
        for (const Binding& b : BindingTable())
            if (b.kind == BindingKind::Text) controls.texts[b.controlId] = ValueOf(b.controlId);
    }

    FormMembers members;
    FakeControls controls{members};
};

TEST_F(FormExchangeTest, SaveAndLoadCarryEveryBoundValueBothWays) {
    fillEveryTextControl();
    controls.texts[kIntervalEditId] = " 250 ";
    ASSERT_TRUE(ExchangeForm(members, controls, true));
    for (const Binding& b : BindingTable()) {
        if (b.kind != BindingKind::Text) continue;
        EXPECT_EQ(members.member(b.controlId), ValueOf(b.controlId)) << b.controlId;
    }
    EXPECT_EQ(members.infoText, "1000\xB9\xA4");
    EXPECT_EQ(members.sendText, "1036\xB9\xA4");
    EXPECT_EQ(members.autoSendInterval, 250u);
    EXPECT_EQ(members.member(1012), "");  // a check box is bound to no text
    EXPECT_EQ(members.boundText(1012), nullptr);

    controls.texts.clear();
    ASSERT_TRUE(ExchangeForm(members, controls, false));
    EXPECT_EQ(controls.texts.size(), BindingTable().size());
    EXPECT_EQ(controls.texts[1401], "1401\xB9\xA4");
    EXPECT_EQ(controls.texts[kIntervalEditId], "250");
    EXPECT_TRUE(controls.refused.empty());
}

TEST_F(FormExchangeTest, AnIntervalThatIsNoNumberStopsTheSaveWhereItStands) {
    members.autoSendInterval = 700;
    members.fieldText.fill("old");
    members.sendText = "old";
    fillEveryTextControl();
    controls.texts[kIntervalEditId] = "12a";
    EXPECT_FALSE(ExchangeForm(members, controls, true));
    EXPECT_EQ(controls.refused, std::vector<int>{kIntervalEditId});
    EXPECT_EQ(members.autoSendInterval, 700u);
    // Before the interval in the exchange order: taken. After it: untouched.
    EXPECT_EQ(members.member(1025), "1025\xB9\xA4");
    EXPECT_EQ(members.sendText, "1036\xB9\xA4");
    EXPECT_EQ(members.member(1063), "old");
    EXPECT_EQ(members.member(1401), "old");

    controls.texts[kIntervalEditId] = "";
    EXPECT_FALSE(ExchangeForm(members, controls, true));
    EXPECT_EQ(controls.refused.size(), 2u);
}

TEST_F(FormExchangeTest, ChangeNotificationsAreMutedUntilTheOutermostExchangeEnds) {
    ExchangeForm(members, controls, false);
    ASSERT_FALSE(controls.mutedWhileSet.empty());
    for (const bool muted : controls.mutedWhileSet) EXPECT_TRUE(muted);
    EXPECT_FALSE(members.exchangeRunning);

    // A handler that runs an exchange of its own while one runs (the prompt's
    // message loop) must not unmute the outer one.
    controls.texts[kIntervalEditId] = "x";
    bool mutedAfterInner = false;
    controls.onRefuse = [&] {
        controls.onRefuse = nullptr;
        controls.texts[kIntervalEditId] = std::string(1, '5');
        ExchangeForm(members, controls, false);
        mutedAfterInner = members.exchangeRunning;
    };
    EXPECT_FALSE(ExchangeForm(members, controls, true));
    EXPECT_TRUE(mutedAfterInner);
    EXPECT_FALSE(members.exchangeRunning);
}

TEST_F(FormExchangeTest, ACheckBoxSavesTheFormThenGatesExactlyItsValueControls) {
    controls.texts[1044] = "\xB3\xC7\xB6\xAB";
    controls.ticks.insert(1023);  // station name: check box 1023, edit 1044
    FieldCheckBoxClicked(members, controls, 1023);
    EXPECT_EQ(members.member(1044), "\xB3\xC7\xB6\xAB");
    EXPECT_EQ(controls.enabled, (std::map<int, bool>{{1044, true}}));

    // The serial settings: one check box, five lists.
    FieldCheckBoxClicked(members, controls, 1021);
    EXPECT_EQ(controls.enabled,
              (std::map<int, bool>{
                  {1016, false}, {1017, false}, {1018, false}, {1019, false}, {1020, false}, {1044, true}}));

    controls.enabled.clear();
    FieldCheckBoxClicked(members, controls, kConfigDoneBoxId);  // no parameter field
    EXPECT_TRUE(controls.enabled.empty());
}

TEST_F(FormExchangeTest, AReadItemIsShownAndItsMembersFollow) {
    ApplyItemUpdate(members, controls, ItemUpdate{0x01, {{1002, false, "DTU7", 0}}});
    EXPECT_EQ(controls.texts[1002], "DTU7");
    EXPECT_EQ(members.member(1002), "DTU7");
    ApplyItemUpdate(members, controls,
                    ItemUpdate{0x12, {{1016, true, {}, 9}, {1017, true, {}, 3}, {1018, true, {}, 40}}});
    EXPECT_EQ(controls.selections, (std::map<int, int>{{1016, 9}, {1017, 3}, {1018, 40}}));
}

TEST_F(FormExchangeTest, LoadedValuesTickExactlyTheirFieldsAndFillOnlyThose) {
    FormValues values;
    values[*FindFieldByCheckBox(1023)].ticked = true;
    values.setText(1044, "\xB3\xC7\xB6\xAB");
    values[*FindFieldByCheckBox(1021)].ticked = true;
    values.selectIndex(1016, 9);
    values.selectIndex(1019, 0);
    values.setText(1050, "10086");  // not ticked: not shown
    controls.ticks = {1049, 1094};  // ticked before: unticked by the load
    controls.texts[1050] = "13800";

    ShowFormValues(members, controls, values);
    EXPECT_EQ(controls.ticks, (std::set<int>{1021, 1023}));
    EXPECT_EQ(controls.texts[1044], "\xB3\xC7\xB6\xAB");
    EXPECT_EQ(controls.texts[1050], "13800");
    EXPECT_EQ(controls.selections,
              (std::map<int, int>{{1016, 9}, {1017, -1}, {1018, -1}, {1019, 0}, {1020, -1}}));
    EXPECT_TRUE(controls.enabled[1044]);
    EXPECT_TRUE(controls.enabled[1020]);
    EXPECT_FALSE(controls.enabled[1050]);
    EXPECT_FALSE(controls.enabled[1095]);
    // The members follow what is shown.
    EXPECT_EQ(members.member(1044), "\xB3\xC7\xB6\xAB");
    EXPECT_EQ(members.member(1050), "13800");
}

}  // namespace
}  // namespace quill
