#include "form/window_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "form/parameter_fields.h"

namespace quill {
namespace {

std::span<const ControlDef> Controls() {
    return MainDialogTemplate().controls;
}

constexpr DialogRect kUserGroup{14, 91, 434, 59};

const PlacedControl& FindPlaced(const TerminalBand& band, int id) {
    return *std::find_if(band.controls.begin(), band.controls.end(),
                         [id](const PlacedControl& p) { return p.control->id == id; });
}

TEST(WindowLayout, CountsTheControlsOfTheWindow) {
    int objects = 0, unnumbered = 0, groups = 0;
    std::set<int> ids;
    for (const ControlDef& c : Controls()) {
        objects += c.hasObject ? 1 : 0;
        groups += c.kind == ControlKind::GroupBox ? 1 : 0;
        if (c.id == kNoId)
            ++unnumbered;
        else
            EXPECT_TRUE(ids.insert(c.id).second) << "identifier twice: " << c.id;
    }
    EXPECT_EQ(Controls().size(), 272u);
    EXPECT_EQ(objects, 243);
    // The three labels "选择串口", the field note and "波特率", the user group and ten body groups.
    EXPECT_EQ(unnumbered, 14);
    EXPECT_EQ(groups, 12);  // the users, ten message bodies and the hidden terminal frame
}

TEST(WindowLayout, ShownControlsFitTheWindowAndDoNotOverlap) {
    // Touching the untitled user group is harmless: the two edits reach into
    // its top margin, above the frame line, and 1082's caption stands at the
    // right of its rectangle, away from the frame.
    const std::set<int> touchUserGroup{1319, 1044, 1082};
    for (const bool terminal : {false, true}) {
        SCOPED_TRACE(terminal ? "with the terminal band" : "without the terminal band");
        const DialogRect client{0, 0, MainDialogTemplate().width, MainClientHeight(terminal)};
        const std::vector<PlacedControl> shown = ShownMainControls(terminal);
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const ControlDef& c = *shown[i].control;
            const DialogRect r = ClosedRect(shown[i]);
            EXPECT_TRUE(client.contains(r)) << "outside the window: " << c.id << " " << c.caption;
            for (std::size_t j = i + 1; j < shown.size(); ++j) {
                const ControlDef& other = *shown[j].control;
                const DialogRect o = ClosedRect(shown[j]);
                if (!r.overlaps(o)) continue;
                // A group box may hold controls, but only wholly.
                const bool held = (c.kind == ControlKind::GroupBox && r.contains(o)) ||
                                  (other.kind == ControlKind::GroupBox && o.contains(r));
                const bool touch = (r == kUserGroup && touchUserGroup.count(other.id)) ||
                                   (o == kUserGroup && touchUserGroup.count(c.id));
                EXPECT_TRUE(held || touch)
                    << c.id << " " << c.caption << " overlaps " << other.id << " " << other.caption;
            }
        }
    }
}

TEST(WindowLayout, TerminalBandHoldsTheTerminalBelowTheForm) {
    // The band's controls in tab order; kNoId is the rate list's label.
    const std::pair<int, std::string_view> expected[] = {
        {1031, "配置完成"},
        {1032, "复位"},
        {kNoId, "波特率"},
        {1068, ""},
        {1038, "清空显示"},
        {1067, "数据发送"},
        {1033, "16进制发送及接收"},
        {1034, "数据定时自动发送"},
        {1061, "时间间隔"},
        {1035, ""},
        {1066, "ms"},
        {1036, ""},
        {1037, "发送"},
    };
    const TerminalBand& band = TerminalBandLayout();
    ASSERT_EQ(band.controls.size(), std::size(expected));
    for (std::size_t i = 0; i < band.controls.size(); ++i) {
        const PlacedControl& p = band.controls[i];
        EXPECT_EQ(p.control->id, expected[i].first) << i;
        EXPECT_EQ(p.control->caption, expected[i].second) << i;
        // Created hidden from the template; only the band shows them.
        EXPECT_FALSE(p.control->shown) << i;
        EXPECT_GE(p.rect.y, 407) << i;
    }
    EXPECT_EQ(MainClientHeight(false), 407);
    EXPECT_EQ(MainClientHeight(true), 407 + band.height);
    // The send edit takes most of the width.
    EXPECT_GE(FindPlaced(band, 1036).rect.w, MainDialogTemplate().width * 3 / 4);
    // The band adds its own controls and moves nothing else.
    const std::vector<PlacedControl> without = ShownMainControls(false);
    const std::vector<PlacedControl> with = ShownMainControls(true);
    EXPECT_EQ(with.size(), without.size() + band.controls.size());
    for (const PlacedControl& p : without)
        EXPECT_TRUE(std::any_of(with.begin(), with.end(), [&p](const PlacedControl& q) {
            return q.control == p.control && q.rect == p.rect;
        })) << p.control->id;
}

TEST(WindowLayout, GroupBoxesComeBeforeTheControlsTheyHold) {
    // Later controls are drawn over earlier ones and take their clicks.
    const auto controls = Controls();
    for (std::size_t g = 0; g < controls.size(); ++g) {
        if (controls[g].kind != ControlKind::GroupBox || !controls[g].shown) continue;
        for (std::size_t i = 0; i < g; ++i) {
            if (!controls[i].shown) continue;
            EXPECT_FALSE(controls[g].rect.contains(controls[i].rect))
                << controls[i].id << " is created before its group " << controls[g].caption;
        }
    }
}

TEST(WindowLayout, EveryParameterFieldHasItsControlsInItsStartState) {
    for (const ParameterField& f : ParameterFields()) {
        const ControlDef* box = FindControl(f.checkBoxId());
        ASSERT_NE(box, nullptr) << f.name();
        EXPECT_EQ(box->kind,
                  f.kind == FieldKind::SerialLists ? ControlKind::PlainCheckBox : ControlKind::CheckBox)
            << f.name();
        EXPECT_EQ(box->caption, f.label());
        EXPECT_TRUE(box->enabled) << f.name();
        EXPECT_EQ(box->shown, f.shown()) << f.name();
        for (const int id : f.valueIds()) {
            const ControlDef* value = FindControl(id);
            ASSERT_NE(value, nullptr) << f.name();
            EXPECT_EQ(value->kind, f.kind == FieldKind::Text ? ControlKind::Edit : ControlKind::ComboBox)
                << id;
            EXPECT_FALSE(value->enabled) << id;
            EXPECT_EQ(value->shown, f.shown()) << id;
            EXPECT_TRUE(value->hasObject && box->hasObject) << id;
        }
    }
}

TEST(WindowLayout, MessageBodiesRepeatTheRowsOfTheFirstBody) {
    // Body 1's rows as (check box, edit) offsets from its group box at (10, 152).
    const DialogRect rows[4][2] = {{{2, 11, 29, 8}, {34, 10, 66, 12}},
                                   {{3, 25, 28, 8}, {34, 24, 66, 12}},
                                   {{2, 40, 29, 8}, {34, 38, 66, 12}},
                                   {{3, 54, 28, 8}, {34, 52, 66, 12}}};
    const int names[10] = {1094, 1102, 1110, 1166, 1174, 1182, 1190, 1198, 1206, 1310};
    const int firstOfThirdRow[10] = {1098, 1106, 1162, 1170, 1178, 1186, 1194, 1202, 1306, 1314};
    for (int body = 0; body < 10; ++body) {
        const std::string title = "消息体" + std::to_string(body + 1);
        const ControlDef* group = nullptr;
        for (const ControlDef& c : Controls())
            if (c.kind == ControlKind::GroupBox && c.caption == title) group = &c;
        ASSERT_NE(group, nullptr) << title;
        for (int row = 0; row < 4; ++row) {
            const int box = row < 2 ? names[body] + 2 * row : firstOfThirdRow[body] + 2 * (row - 2);
            const DialogRect at{group->rect.x, group->rect.y, 0, 0};
            EXPECT_EQ(FindControl(box)->rect, (DialogRect{at.x + rows[row][0].x, at.y + rows[row][0].y,
                                                          rows[row][0].w, rows[row][0].h}))
                << title << " row " << row;
            EXPECT_EQ(FindControl(box + 1)->rect, (DialogRect{at.x + rows[row][1].x, at.y + rows[row][1].y,
                                                              rows[row][1].w, rows[row][1].h}))
                << title << " row " << row;
        }
    }
}

struct OtherControl {
    int id;
    ControlKind kind;
    std::string_view caption;
    bool shown;
    bool enabled;
};

TEST(WindowLayout, SessionAndTerminalControlsStartAsTheWindowNeedsThem) {
    const OtherControl expected[] = {
        {1000, ControlKind::MultiLineEdit, "", true, true},
        {1026, ControlKind::ComboBox, "", true, true},
        {1027, ControlKind::PushButton, "打开串口", true, true},
        {1028, ControlKind::PushButton, "关闭串口", true, false},
        {1029, ControlKind::PushButton, "读取参数", true, false},
        {1030, ControlKind::PushButton, "配置参数", true, false},
        {1043, ControlKind::PushButton, "帮  助", true, true},
        {1052, ControlKind::StaticBorder, "当前状态", true, true},
        {1055, ControlKind::StaticBorder, "101规约Quillmere        版本：V1.1", true, true},
        {1053, ControlKind::Static, "Quillmere", false, true},
        {1054, ControlKind::Static, "信息显示区", false, true},
        {1038, ControlKind::PushButton, "清空显示", false, true},
        {1031, ControlKind::PlainCheckBox, "配置完成", false, true},
        {1032, ControlKind::PushButton, "复位", false, false},
        {1067, ControlKind::GroupBox, "数据发送", false, false},
        {1033, ControlKind::PlainCheckBox, "16进制发送及接收", false, false},
        {1034, ControlKind::PlainCheckBox, "数据定时自动发送", false, false},
        {1061, ControlKind::Static, "时间间隔", false, false},
        {1035, ControlKind::Edit, "", false, false},
        {1066, ControlKind::Static, "ms", false, false},
        {1036, ControlKind::Edit, "", false, false},
        {1037, ControlKind::PushButton, "发送", false, false},
        {1068, ControlKind::ComboBox, "", false, true},
    };
    for (const OtherControl& e : expected) {
        const ControlDef* c = FindControl(e.id);
        ASSERT_NE(c, nullptr) << e.id;
        EXPECT_EQ(c->kind, e.kind) << e.id;
        EXPECT_EQ(c->caption, e.caption) << e.id;
        EXPECT_EQ(c->shown, e.shown) << e.id;
        EXPECT_EQ(c->enabled, e.enabled) << e.id;
    }
}

TEST(WindowLayout, ListsHoldTheirEntries) {
    struct Case {
        int id;
        std::vector<std::string_view> items;
    };
    const std::vector<std::string_view> rates{"300",   "600",   "1200",  "2400",  "4800",  "9600",
                                              "14400", "19200", "38400", "57600", "115200"};
    const Case cases[] = {
        {1026, {"com1", "com2", "com3", "com4", "com5", "com6", "com7", "com8", "com9", "com10"}},
        {1068, rates},
        {1016, rates},
        {1012, {"透明传输", "协议传输"}},
        {1014, {"UDP方式", "TCP方式"}},
        {1017, {"8", "7", "6", "5"}},
        {1018, {"1", "2"}},
        {1019, {"无", "奇校验", "偶校验"}},
        {1020, {"Xon/Xoff", "硬件", "无", "半双工(RS485)", "全双工(RS422)"}},
    };
    for (const Case& c : cases) {
        const ControlDef* list = FindControl(c.id);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(std::vector<std::string_view>(list->items.begin(), list->items.end()), c.items) << c.id;
    }
    // The serial lists' labels stay hidden with them.
    for (int label = 1056; label <= 1060; ++label) EXPECT_FALSE(FindControl(label)->shown) << label;
}

TEST(WindowLayout, AboutBoxHasItsFourItems) {
    const DialogTemplate& about = AboutDialogTemplate();
    EXPECT_EQ(about.caption, "关于 Quillmere");
    EXPECT_EQ(about.width, 235);
    EXPECT_EQ(about.height, 55);
    ASSERT_EQ(about.controls.size(), 4u);
    EXPECT_EQ(about.controls[1].caption, "Quillmere V1.3版");
    EXPECT_EQ(about.controls[3].id, 1);
    EXPECT_EQ(about.controls[3].kind, ControlKind::DefaultButton);
    EXPECT_EQ(about.controls[3].caption, "确定");
}

}  // namespace
}  // namespace quill
