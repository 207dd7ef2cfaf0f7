#include "form/window_layout.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "form/control_ids.h"
#include "protocol/item_table.h"
#include "protocol/serial_block.h"

namespace quill {
namespace {

constexpr std::array<std::string_view, 10> kPorts{"com1", "com2", "com3", "com4", "com5",
                                                  "com6", "com7", "com8", "com9", "com10"};
constexpr std::array<std::string_view, 2> kTransferModes{"透明传输", "协议传输"};
constexpr std::array<std::string_view, 2> kConnectionModes{"UDP方式", "TCP方式"};

// The serial settings lists with the hidden labels that name them.
struct SerialList {
    int listId;
    int labelId;
    std::string_view label;
    std::span<const std::string_view> items;
};
constexpr std::array<SerialList, 5> kSerialLists{{
    {1016, 1056, "波特率", kRateCaptions},
    {1017, 1057, kDataBitsSetting.label, kDataBitsSetting.captions},
    {1018, 1058, kStopBitsSetting.label, kStopBitsSetting.captions},
    {1019, 1059, kParitySetting.label, kParitySetting.captions},
    {1020, 1060, kFlowSetting.label, kFlowSetting.captions},
}};

// Shown fields outside the message bodies: check box and edit rectangles.
struct ShownField {
    int checkBoxId;
    DialogRect box;
    DialogRect edit;
};
constexpr std::array<ShownField, 5> kStationFields{{
    {1003, {22, 70, 56, 8}, {81, 67, 37, 12}},
    {1318, {36, 83, 42, 8}, {81, 81, 37, 12}},
    {1015, {134, 69, 54, 8}, {192, 67, 81, 12}},
    {1023, {158, 83, 31, 8}, {192, 81, 81, 12}},
    {1049, {287, 68, 65, 8}, {355, 66, 65, 12}},
}};
constexpr DialogRect kUserGroup{14, 91, 434, 59};
constexpr std::array<ShownField, 10> kUserFields{{
    {1051, {15, 99, 61, 8}, {81, 96, 66, 12}},
    {1072, {17, 111, 59, 8}, {81, 109, 66, 12}},
    {1074, {169, 98, 60, 8}, {232, 96, 66, 12}},
    {1080, {167, 111, 61, 8}, {232, 109, 66, 12}},
    {1082, {13, 124, 63, 8}, {81, 122, 66, 12}},
    {1084, {17, 137, 59, 8}, {81, 135, 66, 12}},
    {1086, {161, 123, 68, 8}, {232, 122, 66, 12}},
    {1088, {161, 137, 68, 8}, {232, 135, 66, 12}},
    {1090, {313, 122, 62, 8}, {379, 121, 66, 12}},
    {1092, {313, 135, 63, 8}, {379, 134, 66, 12}},
}};

// Message bodies: the group box of each body and its first check box. Every
// body repeats the rows of body 1, placed relative to its own group box.
struct Body {
    std::string_view title;
    DialogRect group;
    std::array<int, 4> checkBoxIds;  // name, address, state 1, state 0
};
constexpr std::array<Body, 10> kBodies{{
    {"消息体1", {10, 152, 104, 69}, {1094, 1096, 1098, 1100}},
    {"消息体2", {123, 151, 104, 69}, {1102, 1104, 1106, 1108}},
    {"消息体3", {235, 151, 104, 69}, {1110, 1112, 1162, 1164}},
    {"消息体4", {347, 150, 104, 69}, {1166, 1168, 1170, 1172}},
    {"消息体5", {10, 225, 104, 69}, {1174, 1176, 1178, 1180}},
    {"消息体6", {123, 226, 104, 69}, {1182, 1184, 1186, 1188}},
    {"消息体7", {236, 225, 104, 69}, {1190, 1192, 1194, 1196}},
    {"消息体8", {348, 225, 104, 69}, {1198, 1200, 1202, 1204}},
    {"消息体9", {11, 299, 104, 69}, {1206, 1208, 1306, 1308}},
    {"消息体10", {124, 298, 104, 69}, {1310, 1312, 1314, 1316}},
}};
// Body 1's rows relative to its group box at (10, 152).
constexpr std::array<ShownField, 4> kBodyRows{{
    {0, {2, 11, 29, 8}, {34, 10, 66, 12}},
    {0, {3, 25, 28, 8}, {34, 24, 66, 12}},
    {0, {2, 40, 29, 8}, {34, 38, 66, 12}},
    {0, {3, 54, 28, 8}, {34, 52, 66, 12}},
}};

constexpr std::string_view kFieldNote =
    "1、站点、消息体名称最大长度为8个汉字。2、所有号码为最大长度为11位。3、消息体地址为4个长度的数字。4、"
    "消息体状态为1个汉字。5、用户密码为6个长度的数字";

constexpr DialogRect Offset(DialogRect r, const DialogRect& origin) {
    return {r.x + origin.x, r.y + origin.y, r.w, r.h};
}

// Height of the drop-down part given to hidden value lists.
constexpr int kHiddenListDrop = 60;

class LayoutBuilder {
  public:
    std::vector<ControlDef> rows;

    void add(int id, ControlKind kind, std::string_view caption, DialogRect rect, bool shown, bool enabled,
             std::span<const std::string_view> items = {}) {
        rows.push_back({id, kind, caption, rect, shown, enabled, items, false});
    }

    // A parameter field: its check box (enabled) and its value control (disabled).
    void addField(const ItemDef& item, DialogRect box, DialogRect value,
                  std::span<const std::string_view> items = {}) {
        add(item.checkBoxId, ControlKind::CheckBox, item.label, box, item.shown, true);
        add(item.valueIds[0], items.empty() ? ControlKind::Edit : ControlKind::ComboBox, "", value,
            item.shown, false, items);
    }

    static const ItemDef& field(int checkBoxId) { return *FindItemByCheckBox(checkBoxId); }
};

void AddGenericSet(LayoutBuilder& b) {
    // Never shown: laid out as a plain grid over the information area.
    int cell = 0;
    for (const ItemDef& item : ItemTable()) {
        if (item.checkBoxId == 0 || item.shown || item.valueCount != 1) continue;
        if (item.checkBoxId >= 1320) continue;  // the numbered fields follow below
        const int x = 4 + (cell % 4) * 114;
        const int y = 8 + (cell / 4) * 14;
        ++cell;
        const bool list = item.readKind == ReadKind::ListIndex;
        const std::span<const std::string_view> items =
            !list                     ? std::span<const std::string_view>{}
            : item.checkBoxId == 1011 ? std::span<const std::string_view>{kTransferModes}
                                      : std::span<const std::string_view>{kConnectionModes};
        b.addField(item, {x, y + 2, 62, 8}, {x + 64, y, 46, list ? kHiddenListDrop : 12}, items);
    }
    const ItemDef& serial = LayoutBuilder::field(1021);
    const int y = 8 + ((cell + 3) / 4) * 14;
    b.add(serial.checkBoxId, ControlKind::PlainCheckBox, serial.label, {4, y + 2, 30, 8}, false, true);
    for (std::size_t i = 0; i < kSerialLists.size(); ++i) {
        const SerialList& list = kSerialLists[i];
        const int x = 40 + static_cast<int>(i) * 84;
        b.add(list.labelId, ControlKind::Static, list.label, {x, y + 2, 26, 8}, false, true);
        b.add(list.listId, ControlKind::ComboBox, "", {x + 28, y, 52, kHiddenListDrop}, false, false,
              list.items);
    }
}

void AddNumberedFields(LayoutBuilder& b) {
    int cell = 0;
    for (const ItemDef& item : ItemTable()) {
        if (item.checkBoxId < 1320) continue;
        const int x = 4 + (cell % 14) * 32;
        const int y = 8 + (cell / 14) * 14;
        ++cell;
        b.addField(item, {x, y + 2, 20, 8}, {x + 22, y, 6, 12});
    }
}

std::vector<ControlDef> BuildMainLayout() {
    LayoutBuilder b;
    using K = ControlKind;
    b.add(1000, K::MultiLineEdit, "", {4, 6, 456, 57}, true, true);
    // Hidden controls that lie over or just below the information area.
    b.add(1053, K::Static, "Quillmere", {4, 6, 66, 14}, false, true);
    b.add(1054, K::Static, "信息显示区", {151, 26, 60, 11}, false, true);
    b.add(1038, K::PushButton, "清空显示", {11, 45, 57, 17}, false, true);
    b.add(kNoId, K::Static, "波特率", {170, 26, 24, 8}, false, true);
    b.add(1068, K::ComboBox, "", {179, 29, 41, 121}, false, true, kRateCaptions);
    AddGenericSet(b);
    AddNumberedFields(b);

    for (const ShownField& f : kStationFields) b.addField(LayoutBuilder::field(f.checkBoxId), f.box, f.edit);
    b.add(kNoId, K::GroupBox, "", kUserGroup, true, true);
    for (const ShownField& f : kUserFields) b.addField(LayoutBuilder::field(f.checkBoxId), f.box, f.edit);
    for (const Body& body : kBodies) {
        b.add(kNoId, K::GroupBox, body.title, body.group, true, true);
        for (std::size_t row = 0; row < kBodyRows.size(); ++row)
            b.addField(LayoutBuilder::field(body.checkBoxIds[row]), Offset(kBodyRows[row].box, body.group),
                       Offset(kBodyRows[row].edit, body.group));
    }
    b.add(kNoId, K::Static, kFieldNote, {247, 317, 143, 50}, true, true);

    // The session row. The status line ends before the version line starts, and
    // both sit one unit higher, so that neither covers the other nor is cut off
    // by the window's lower edge.
    b.add(kNoId, K::Static, "选择串口", {66, 376, 33, 9}, true, true);
    b.add(1026, K::ComboBox, "", {104, 374, 34, 129}, true, true, kPorts);
    b.add(1027, K::PushButton, "打开串口", {147, 373, 45, 16}, true, true);
    b.add(1028, K::PushButton, "关闭串口", {202, 373, 45, 16}, true, false);
    b.add(1029, K::PushButton, "读取参数", {257, 373, 45, 16}, true, false);
    b.add(1030, K::PushButton, "配置参数", {312, 373, 45, 16}, true, false);
    b.add(1043, K::PushButton, "帮  助", {367, 373, 45, 16}, true, true);
    b.add(1052, K::StaticBorder, "当前状态", {4, 395, 211, 12}, true, true);
    b.add(1055, K::StaticBorder, "101规约Quillmere        版本：V1.1", {217, 395, 243, 12}, true, true);

    // Demo-state controls, all hidden.
    b.add(1031, K::PlainCheckBox, "配置完成", {406, 368, 47, 10}, false, true);
    b.add(1032, K::PushButton, "复位", {432, 366, 28, 13}, false, false);
    b.add(1067, K::GroupBox, "数据发送", {203, 399, 87, 9}, false, false);
    b.add(1033, K::PlainCheckBox, "16进制发送及接收", {384, 404, 76, 8}, false, false);
    b.add(1034, K::PlainCheckBox, "数据定时自动发送", {297, 400, 76, 8}, false, false);
    b.add(1061, K::Static, "时间间隔", {421, 369, 32, 8}, false, false);
    b.add(1035, K::Edit, "", {219, 394, 33, 14}, false, false);
    b.add(1066, K::Static, "ms", {237, 400, 14, 8}, false, false);
    b.add(1036, K::Edit, "", {363, 402, 97, 12}, false, false);
    b.add(1037, K::PushButton, "发送", {412, 365, 41, 13}, false, false);

    // Which controls the window keeps a typed object for: every parameter
    // check box and value control, and the session and terminal controls
    // that the handlers talk to.
    constexpr std::array<int, 13> kOtherObjects{1000, 1026, 1027, 1028, 1029, 1030, 1031,
                                                1032, 1033, 1034, 1036, 1052, 1068};
    for (ControlDef& row : b.rows)
        row.hasObject = FindItemByCheckBox(row.id) != nullptr || FindItemByValueControl(row.id) != nullptr ||
                        std::find(kOtherObjects.begin(), kOtherObjects.end(), row.id) != kOtherObjects.end();
    return std::move(b.rows);
}

std::vector<ControlDef> BuildAboutLayout() {
    using K = ControlKind;
    return {
        {kNoId, K::Icon, "", {11, 17, 20, 20}, true, true, {}, false},
        {kNoId, K::Static, "Quillmere V1.3版", {40, 10, 119, 8}, true, true, {}, false},
        {kNoId, K::Static, "GPRS DTU 参数配置工具", {40, 25, 119, 8}, true, true, {}, false},
        {1, K::DefaultButton, "确定", {178, 7, 50, 14}, true, true, {}, false},
    };
}

}  // namespace

const DialogTemplate& MainDialogTemplate() {
    static const std::vector<ControlDef> rows = BuildMainLayout();
    static const DialogTemplate dialog{"Quillmere", 466, 407, "宋体", 10, rows};
    return dialog;
}

const DialogTemplate& AboutDialogTemplate() {
    static const std::vector<ControlDef> rows = BuildAboutLayout();
    static const DialogTemplate dialog{"关于 Quillmere", 235, 55, "宋体", 9, rows};
    return dialog;
}

const ControlDef* FindControl(int id) {
    if (id == kNoId) return nullptr;
    const auto controls = MainDialogTemplate().controls;
    const auto it =
        std::find_if(controls.begin(), controls.end(), [id](const ControlDef& c) { return c.id == id; });
    return it != controls.end() ? &*it : nullptr;
}

namespace {

// The band's rows by identifier; kNoId stands for the rate list's label, the
// unnumbered row just before list 1068.
struct BandRow {
    int id;
    DialogRect rect;
};
// Two rows above the frame "数据发送": the line and the display (demo state,
// reset, the line rate, clearing the display); inside the frame the send
// options, then the text to send with its button.
constexpr int kBandTop = 407;
constexpr std::array<BandRow, 13> kBandRows{{
    {1031, {6, kBandTop + 6, 50, 10}},
    {1032, {60, kBandTop + 4, 36, 14}},
    {kNoId, {110, kBandTop + 7, 26, 8}},
    {1068, {138, kBandTop + 5, 50, 121}},
    {1038, {404, kBandTop + 4, 56, 14}},
    {1067, {4, kBandTop + 22, 456, 44}},
    {1033, {12, kBandTop + 36, 84, 10}},
    {1034, {104, kBandTop + 36, 84, 10}},
    {1061, {198, kBandTop + 37, 34, 8}},
    {1035, {234, kBandTop + 35, 40, 12}},
    {1066, {277, kBandTop + 37, 14, 8}},
    {1036, {12, kBandTop + 50, 384, 12}},
    {1037, {402, kBandTop + 49, 50, 14}},
}};
constexpr int kBandHeight = 70;

const ControlDef* BandControl(int id) {
    if (id != kNoId) return FindControl(id);
    return FindControl(kDemoRateListId) - 1;
}

}  // namespace

const TerminalBand& TerminalBandLayout() {
    static const std::vector<PlacedControl> rows = [] {
        std::vector<PlacedControl> placed;
        for (const BandRow& row : kBandRows) placed.push_back({BandControl(row.id), row.rect});
        return placed;
    }();
    static const TerminalBand band{kBandHeight, rows};
    return band;
}

int MainClientHeight(bool terminalShown) {
    return MainDialogTemplate().height + (terminalShown ? TerminalBandLayout().height : 0);
}

std::vector<PlacedControl> ShownMainControls(bool terminalShown) {
    const auto band = TerminalBandLayout().controls;
    std::vector<PlacedControl> shown;
    for (const ControlDef& c : MainDialogTemplate().controls) {
        const auto inBand =
            std::find_if(band.begin(), band.end(), [&c](const PlacedControl& p) { return p.control == &c; });
        if (terminalShown && inBand != band.end())
            shown.push_back(*inBand);
        else if (c.shown)
            shown.push_back({&c, c.rect});
    }
    return shown;
}

std::span<const std::string_view> RateListItems() {
    return kRateCaptions;
}

}  // namespace quill
