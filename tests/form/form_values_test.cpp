#include "form/form_values.h"

#include <gtest/gtest.h>

#include <vector>

#include "protocol/text_codec.h"

namespace quill {
namespace {

using Bytes = std::vector<std::uint8_t>;

const ParameterField& Field(std::string_view name) {
    for (const ParameterField& f : ParameterFields())
        if (f.name() == name) return f;
    ADD_FAILURE() << "no field " << name;
    return ParameterFields().front();
}

// A read answer: 7B 8B, length, eleven zero bytes, the items, 7B.
Bytes ReadAnswer(const Bytes& items) {
    Bytes frame{0x7B, 0x8B, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    frame.insert(frame.end(), items.begin(), items.end());
    frame.push_back(0x7B);
    frame[2] = static_cast<std::uint8_t>(frame.size() >> 8);
    frame[3] = static_cast<std::uint8_t>(frame.size());
    return frame;
}

TEST(FormValues, TheConfigureRequestReadsTickedFieldsOnly) {
    FormValues values;
    values[Field("dtuId")] = {true, "A1", {}};
    values[Field("apn")].text = "CMNET";  // a value without its tick is not sent
    values[Field("serialSettings")] = {true, {}, {5, 0, 0, 0, 2}};
    values[Field("connectionMode")] = {true, {}, {1, -1, -1, -1, -1}};
    const ConfigureResult r = BuildConfigureRequest(FormValuesSnapshot(values));
    ASSERT_EQ(r.errorMessage, "");
    ASSERT_EQ(r.frames.size(), 1u);
    const Bytes header{0x7B, 0x0C, 0x00, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Bytes items{0x01, 0x04, 'A',  '1',  0x12, 0x09, 0x00, 0x25,
                      0x80, 0x03, 0x00, 0x00, 0x03, 0x19, 0x03, 0x01};
    Bytes frame = header;
    frame.insert(frame.end(), items.begin(), items.end());
    frame.push_back(0x7B);
    EXPECT_EQ(r.frames[0].bytes, frame);

    values[Field("dtuId")].text.clear();
    EXPECT_EQ(BuildConfigureRequest(FormValuesSnapshot(values)).errorMessage, "DTU编号不能为空！");
}

TEST(FormValues, AReadAnswerFillsValuesAsTheWindowShowsThem) {
    FormValues values;
    values[Field("deviceAddress")] = {true, "7", {}};
    // clang-format off
    const Bytes answer = ReadAnswer({
        0x01, 0x05, 'Q', 0xFF, '1',                            // dtuId: 0xFF is no GBK byte, the edit shows '?'
        0x12, 0x09, 0x00, 0x04, 0xD2, 0x02, 0x04, 0x08, 0x05,  // rate 1234 is no entry; 7, 2, 奇校验, 全双工
        0x18, 0x03, 0x05,                                      // transfer mode 5: beyond the list
        0x19, 0x03, 0x01,                                      // TCP方式
        0x92, 0x06, 0x57, 0xCE, 0x4E, 0x1C,                    // 城东
        0xC6, 0x04, 0x2C, 0x01,                                // device address 300
    });
    // clang-format on
    ApplyItemUpdates(ApplyReadAnswer(answer), values);

    EXPECT_EQ(values[Field("dtuId")].text, "Q?1");
    EXPECT_EQ(values[Field("serialSettings")].indices, (std::array<int, 5>{-1, 1, 1, 1, 4}));
    EXPECT_EQ(values[Field("transferMode")].indices[0], -1);
    EXPECT_EQ(values[Field("connectionMode")].indices[0], 1);
    EXPECT_EQ(values[Field("stationName")].text, Utf8ToGbk("城东"));
    EXPECT_EQ(values[Field("deviceAddress")].text, "300");
    // A read ticks nothing and unticks nothing.
    for (const ParameterField& f : ParameterFields())
        EXPECT_EQ(values[f].ticked, f.name() == "deviceAddress") << f.name();
}

TEST(FormValues, SelectionsOutsideAListSelectNothing) {
    FormValues values;
    EXPECT_TRUE(values.selectIndex(1012, 1));
    EXPECT_EQ(values.listIndex(1012), 1);
    EXPECT_TRUE(values.selectIndex(1012, 2));
    EXPECT_EQ(values.listIndex(1012), -1);
    EXPECT_TRUE(values.selectIndex(1016, 10));  // 115200, the last rate
    EXPECT_EQ(values.listIndex(1016), 10);
    EXPECT_TRUE(values.selectIndex(1020, 5));
    EXPECT_EQ(values.listIndex(1020), -1);
    EXPECT_FALSE(values.selectIndex(1002, 0));  // an edit
    EXPECT_FALSE(values.setText(1012, "x"));    // a list
    EXPECT_FALSE(values.setText(1036, "x"));    // the terminal's edit is no field
}

TEST(FormValues, DisplayTextIsWhatTheFormShows) {
    FormValues values;
    const ParameterField& serial = Field("serialSettings");
    EXPECT_EQ(DisplayText(values, serial), "");
    EXPECT_EQ(DisplayText(values, Field("transferMode")), "");
    EXPECT_FALSE(values.holdsValue(serial));

    values[Field("stationName")].text = Utf8ToGbk("城东变电站");
    values[Field("transferMode")].indices[0] = 1;
    values[serial].indices = {5, 0, 0, 0, 2};
    EXPECT_EQ(DisplayText(values, Field("stationName")), "城东变电站");
    EXPECT_EQ(DisplayText(values, Field("transferMode")), "协议传输");
    EXPECT_EQ(DisplayText(values, serial), "9600, 8, 1, 无, 无");
    values[serial].indices = {10, -1, 1, -1, 4};
    EXPECT_EQ(DisplayText(values, serial), "115200, , 2, , 全双工(RS422)");
    EXPECT_TRUE(values.holdsValue(serial));
}

}  // namespace
}  // namespace quill
