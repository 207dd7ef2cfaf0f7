#include "form/parameter_fields.h"

#include <gtest/gtest.h>

#include <map>

namespace quill {
namespace {

TEST(ParameterFields, KindsFollowTheValueControls) {
    std::map<FieldKind, int> kinds;
    for (const ParameterField& f : ParameterFields()) ++kinds[f.kind];
    EXPECT_EQ(ParameterFields().size(), kParameterFieldCount);
    EXPECT_EQ(kinds[FieldKind::Text], 110);
    EXPECT_EQ(kinds[FieldKind::List], 2);
    EXPECT_EQ(kinds[FieldKind::SerialLists], 1);
    EXPECT_EQ(FindFieldByCheckBox(1011)->kind, FieldKind::List);
    EXPECT_EQ(FindFieldByCheckBox(1013)->kind, FieldKind::List);
    const ParameterField* serial = FindFieldByCheckBox(1021);
    ASSERT_NE(serial, nullptr);
    EXPECT_EQ(serial->kind, FieldKind::SerialLists);
    EXPECT_EQ(std::vector<int>(serial->valueIds().begin(), serial->valueIds().end()),
              (std::vector<int>{1016, 1017, 1018, 1019, 1020}));
}

TEST(ParameterFields, ValueControlFollowsItsCheckBoxSaveFiveExceptions) {
    const std::map<int, int> exceptions{{1015, 1022}, {1023, 1044}, {1051, 1071}, {1074, 1079}, {1021, 1016}};
    for (const ParameterField& f : ParameterFields()) {
        const auto it = exceptions.find(f.checkBoxId());
        EXPECT_EQ(f.valueIds().front(), it != exceptions.end() ? it->second : f.checkBoxId() + 1) << f.name();
        EXPECT_EQ(FindFieldByValueControl(f.valueIds().back()), &f);
        EXPECT_EQ(FindFieldByCheckBox(f.checkBoxId()), &f);
    }
    EXPECT_EQ(FindFieldByCheckBox(1000), nullptr);
    EXPECT_EQ(FindFieldByValueControl(1036), nullptr);
}

TEST(ParameterFields, AccessibleLabelsAreTrimmedAndNameTheirBody) {
    struct Case {
        int checkBox;
        std::string_view label;
    };
    const Case cases[] = {
        {1023, "站名"},          {1051, "超级用户号码"},  {1003, "数据传输通道"},  {1320, "2"},
        {1094, "消息体1 名称"},  {1162, "消息体3 状态1"}, {1308, "消息体9 状态0"}, {1312, "消息体10 地址"},
        {1084, "分机用户1密码"}, {1021, "选择"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindFieldByCheckBox(c.checkBox)->accessibleLabel, c.label) << c.checkBox;
}

// One name per item type for reports, traces and the command line.
TEST(ParameterFields, FieldLabelNamesATypeByItsField) {
    struct Case {
        std::uint8_t type;
        std::string_view label;
    };
    const Case cases[] = {
        {0x01, "DTU编号"},      {0x92, "站名"},     {0x94, "超级用户号码"},
        {0x9E, "消息体1 名称"}, {0xC8, "3"},        {0x06, "未知参数"},  // skipped by the form: no field
        {0xCD, "未知参数"},     {0x00, "未知参数"}, {0xFF, "未知参数"},
    };
    for (const Case& c : cases) EXPECT_EQ(FieldLabel(c.type), c.label) << int{c.type};
}

}  // namespace
}  // namespace quill
