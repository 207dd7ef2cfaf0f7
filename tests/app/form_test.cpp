// The parameter form in the real window: start state, the check boxes that
// gate their value controls, and the data exchange with the value members.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include "app/tarnwell_dlg.h"
#include "form/binding_table.h"
#include "form/parameter_fields.h"
#include "form/window_layout.h"
#include "qt_environment.h"

namespace quill {
namespace {

QString Utf8(const char* text) {
    return QString::fromUtf8(text);
}

class FormTest : public ::testing::Test {
  protected:
    void SetUp() override { test::CaptureBoxes(window, boxes, dialogs); }

    void click(int checkBoxId) {
        auto* box = qobject_cast<QCheckBox*>(window.control(checkBoxId));
        ASSERT_NE(box, nullptr) << checkBoxId;
        box->click();  // as the operator's click: toggles, then reports it
    }

    CTarnwellDlg window;
    std::vector<test::BoxCall> boxes;
    std::vector<QString> dialogs;
};

TEST_F(FormTest, StartsWithNothingTickedAndEveryValueDisabled) {
    for (const ParameterField& f : ParameterFields()) {
        EXPECT_FALSE(window.isTicked(f.checkBoxId())) << f.name();
        EXPECT_TRUE(window.control(f.checkBoxId())->isEnabled()) << f.name();
        for (const int id : f.valueIds()) {
            EXPECT_FALSE(window.control(id)->isEnabled()) << id;
            if (f.kind != FieldKind::Text) {
                EXPECT_EQ(window.selectedIndex(id), -1) << id;
            }
        }
    }
    for (const int id : {1031, 1033, 1034}) EXPECT_FALSE(window.isTicked(id)) << id;
    for (const ControlDef& c : MainDialogTemplate().controls) {
        if (c.kind != ControlKind::Edit && c.kind != ControlKind::MultiLineEdit) continue;
        EXPECT_EQ(window.controlText(c.id), c.id == 1035 ? QStringLiteral("1000") : QString()) << c.id;
    }
    EXPECT_EQ(window.selectedIndex(1026), 0);
    EXPECT_EQ(window.controlText(1026), QStringLiteral("com1"));
    EXPECT_EQ(window.selectedIndex(1068), 9);
    EXPECT_EQ(window.controlText(1068), QStringLiteral("57600"));
    EXPECT_EQ(window.selectedIndex(1016), -1);
    EXPECT_EQ(window.controlText(1052), QStringLiteral("Quillmere"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Quillmere"));
    EXPECT_EQ(window.autoSendInterval, 1000u);
    EXPECT_FALSE(window.session.portOpen());
    EXPECT_TRUE(boxes.empty());
}

struct FieldCase {
    int checkBox;
    std::vector<int> values;
};

class FieldCheckBox : public FormTest, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(FieldCheckBox, TickingEnablesItsValuesAndUntickingDisablesThem) {
    const FieldCase& c = GetParam();
    auto enabledValues = [&] {
        std::vector<int> enabled;
        for (const ParameterField& f : ParameterFields())
            for (const int id : f.valueIds())
                if (window.control(id)->isEnabled()) enabled.push_back(id);
        return enabled;
    };
    click(c.checkBox);
    EXPECT_TRUE(window.isTicked(c.checkBox));
    EXPECT_EQ(enabledValues(), c.values);
    click(c.checkBox);
    EXPECT_FALSE(window.isTicked(c.checkBox));
    EXPECT_TRUE(enabledValues().empty());
}

INSTANTIATE_TEST_SUITE_P(EachKind, FieldCheckBox,
                         ::testing::Values(FieldCase{1003, {1004}},  // shown text field
                                           FieldCase{1023, {1044}},  // value id not check box + 1
                                           FieldCase{1074, {1079}},  // the same, in the user group
                                           FieldCase{1162, {1163}},  // message body 3, state 1
                                           FieldCase{1001, {1002}},  // hidden text field
                                           FieldCase{1011, {1012}},  // hidden list field
                                           FieldCase{1400, {1401}},  // numbered field
                                           FieldCase{1021, {1016, 1017, 1018, 1019, 1020}}));

TEST_F(FormTest, ClickWithTheMouseTicksAShownField) {
    window.show();
    ASSERT_TRUE(test::WaitFor([&] { return window.isVisible(); }));
    QTest::mouseClick(window.control(1318), Qt::LeftButton);
    EXPECT_TRUE(window.isTicked(1318));
    EXPECT_TRUE(window.control(1319)->isEnabled());
}

TEST_F(FormTest, UntickedValueStaysInTheDisabledControlAndInItsMember) {
    click(1023);
    auto* edit = qobject_cast<QLineEdit*>(window.control(1044));
    edit->setFocus();
    test::TypeText(edit, Utf8("北京站"));
    click(1023);
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_EQ(edit->text(), Utf8("北京站"));
    EXPECT_EQ(window.member(1044), "\xB1\xB1\xBE\xA9\xD5\xBE");  // GBK
}

TEST_F(FormTest, AnyCheckBoxClickSavesWhatWasTyped) {
    click(1003);
    QTest::keyClicks(window.control(1004), QStringLiteral("1"));
    EXPECT_EQ(window.member(1004), "");
    click(1096);  // another field's box
    EXPECT_EQ(window.member(1004), "1");
}

TEST_F(FormTest, LoadVisitsTheBindingsInTheirOrder) {
    // Give every bound edit a member value, change the edits, then load and
    // record the order in which the edits are rewritten.
    for (const Binding& b : BindingTable())
        if (b.kind == BindingKind::Text) window.setControlText(b.controlId, QString::number(b.controlId));
    window.setControlText(1035, QStringLiteral("77"));
    ASSERT_TRUE(window.ExchangeFormData(true));
    std::vector<int> order;
    // The interval edit's own change handler runs a save exchange; this test looks at the load alone.
    QSignalBlocker quiet(window.control(1035));
    for (const Binding& b : BindingTable()) {
        window.setControlText(b.controlId, QStringLiteral("x"));
        QWidget* widget = window.control(b.controlId);
        if (auto* edit = qobject_cast<QLineEdit*>(widget))
            QObject::connect(edit, &QLineEdit::textChanged,
                             [&order, id = b.controlId] { order.push_back(id); });
        if (auto* area = qobject_cast<QPlainTextEdit*>(widget))
            QObject::connect(area, &QPlainTextEdit::textChanged,
                             [&order, id = b.controlId] { order.push_back(id); });
    }
    quiet.unblock();
    ASSERT_TRUE(window.ExchangeFormData(false));
    std::vector<int> expected;
    for (const Binding& b : BindingTable()) expected.push_back(b.controlId);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(window.controlText(1035), QStringLiteral("77"));
    EXPECT_EQ(window.controlText(1401), QStringLiteral("1401"));
    EXPECT_EQ(window.controlText(1000), QStringLiteral("1000"));
}

TEST_F(FormTest, ChineseTextRoundTripsThroughGbkMembers) {
    struct Case {
        int edit;
        const char* text;
        const char* gbk;
    };
    const Case cases[] = {{1044, "北京站", "\xB1\xB1\xBE\xA9\xD5\xBE"},
                          {1095, "名称", "\xC3\xFB\xB3\xC6"},
                          {1025, "CMNET", "CMNET"},
                          {1036, "消息体", "\xCF\xFB\xCF\xA2\xCC\xE5"}};
    for (const Case& c : cases) window.setControlText(c.edit, Utf8(c.text));
    qobject_cast<QPlainTextEdit*>(window.control(1000))->setPlainText(Utf8("名称"));
    ASSERT_TRUE(window.ExchangeFormData(true));
    for (const Case& c : cases) {
        EXPECT_EQ(window.member(c.edit), c.gbk) << c.edit;
        window.setControlText(c.edit, QStringLiteral("changed"));
    }
    EXPECT_EQ(window.infoText, "\xC3\xFB\xB3\xC6");
    window.OnClearDisplay();  // empties the information area and reloads every edit
    for (const Case& c : cases) EXPECT_EQ(window.controlText(c.edit), Utf8(c.text)) << c.edit;
    EXPECT_EQ(window.controlText(1000), QString());
    EXPECT_EQ(window.infoText, "");
}

class IntervalRefused : public FormTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(IntervalRefused, PromptsFocusesAndStopsTheExchange) {
    window.show();
    window.enableControl(1035, true);
    window.control(1035)->show();  // as if the terminal were reachable
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(test::WaitFor([&] { return QApplication::activeWindow() == &window; }));
    window.control(1000)->setFocus();

    window.setControlText(1025, QStringLiteral("before"));  // bound before the interval
    window.setControlText(1063, QStringLiteral("after"));   // bound after it
    window.setControlText(1401, QStringLiteral("last"));
    {
        const QSignalBlocker quiet(
            window.control(1035));  // the explicit exchange below, not the edit's handler
        window.setControlText(1035, QString::fromLatin1(GetParam()));
    }
    EXPECT_FALSE(window.ExchangeFormData(true));

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, Utf8("请输入一个无符号整数。"));
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Quillmere"));
    EXPECT_EQ(window.autoSendInterval, 1000u);
    EXPECT_EQ(window.member(1025), "before");
    EXPECT_EQ(window.member(1063), "");
    EXPECT_EQ(window.member(1401), "");
    auto* edit = qobject_cast<QLineEdit*>(window.control(1035));
    EXPECT_TRUE(test::WaitFor([&] { return edit->hasFocus(); }));
    EXPECT_EQ(edit->selectedText(), edit->text());
}

INSTANTIATE_TEST_SUITE_P(Texts, IntervalRefused,
                         ::testing::Values("", "abc", "-1", "+5", "4294967296", "12 34", "1e3"));

TEST_F(FormTest, ClicksDuringAnExchangeAreNotHandled) {
    // The prompt of a refused interval is shown while the exchange runs; a
    // click that arrives then must not run its handler (a nested exchange).
    window.messageBoxHook = [this](const QString&, const QString&, CTarnwellDlg::MessageIcon) {
        click(1003);
        return 0x400;
    };
    {
        const QSignalBlocker quiet(
            window.control(1035));  // the explicit exchange below, not the edit's handler
        window.setControlText(1035, QStringLiteral("x"));
    }
    EXPECT_FALSE(window.ExchangeFormData(true));
    EXPECT_TRUE(window.isTicked(1003));
    EXPECT_FALSE(window.control(1004)->isEnabled());

    window.setControlText(1035, QStringLiteral("5"));
    click(1003);  // handled again once the exchange is over
    click(1003);
    EXPECT_TRUE(window.control(1004)->isEnabled());
}

TEST_F(FormTest, IntervalTakesBlanksAroundAndTheFullThirtyTwoBits) {
    struct Case {
        const char* text;
        std::uint32_t value;
    };
    for (const Case c : {Case{" 250 ", 250u}, Case{"4294967295", 4294967295u}, Case{"0", 0u}}) {
        window.setControlText(1035, QString::fromLatin1(c.text));
        window.setControlText(1063, QString::fromLatin1(c.text));
        EXPECT_TRUE(window.ExchangeFormData(true)) << c.text;
        EXPECT_EQ(window.autoSendInterval, c.value) << c.text;
        EXPECT_EQ(window.member(1063), c.text);  // the members after it are taken too
    }
    EXPECT_TRUE(boxes.empty());
    window.ExchangeFormData(false);
    EXPECT_EQ(window.controlText(1035), QStringLiteral("0"));
}

TEST_F(FormTest, ListSelectionOutsideTheListSelectsNothing) {
    struct Case {
        int list;
        int index;
        int selected;
    };
    const Case cases[] = {{1012, 1, 1},  {1012, 2, -1}, {1012, -1, -1}, {1020, 4, 4},
                          {1020, 5, -1}, {1026, 9, 9},  {1068, 11, -1}, {1016, 10, 10}};
    for (const Case& c : cases) {
        window.selectIndex(c.list, 0);
        window.selectIndex(c.list, c.index);
        EXPECT_EQ(window.selectedIndex(c.list), c.selected) << c.list << " " << c.index;
    }
    EXPECT_EQ(window.selectedIndex(1004), -1);  // an edit has no selection
    EXPECT_EQ(window.control(4242), nullptr);
    EXPECT_EQ(window.member(1012), "");  // lists are not bound
}

}  // namespace
}  // namespace quill
