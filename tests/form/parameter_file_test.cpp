#include "form/parameter_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "protocol/text_codec.h"
#include "tests/form/parameter_file_helpers.h"

namespace quill {

namespace {

using namespace test;


TEST(ParameterFile, SavedFieldsStandInItemTableOrderAndLoadBackEqual) {
    const FormValues values = SampleForm();
    std::vector<const ParameterField*> reversed = FieldsToSave(values);
    std::reverse(reversed.begin(), reversed.end());
    const std::string text = FormatParameterFile(values, reversed);
    EXPECT_EQ(text, R"json({
  "format": "quillmere-parameters",
  "version": 1,
  "fields": {
    "serialSettings": {
      "baudRate": "9600",
      "dataBits": "8",
      "stopBits": "1",
      "parity": "偶校验",
      "flowControl": "全双工(RS422)"
    },
    "transferMode": "协议传输",
    "customHeartbeat": "AA BB",
    "stationName": "城东变电站",
    "superUserPassword": "123456",
    "messageBody1Address": "1001",
    "numberedField9": ""
  }
}
)json");
    const ParameterFileLoad loaded = ParseParameterFile(text);
    EXPECT_EQ(loaded.problems, Problems{});
    ASSERT_TRUE(loaded.values.has_value());
    EXPECT_EQ(*loaded.values, values);
}

TEST(ParameterFile, FieldsToSaveAreTheTickedOnesElseEveryFieldHoldingAValue) {
    FormValues values;
    EXPECT_TRUE(FieldsToSave(values).empty());
    values[Field("apn")].text = "CMNET";
    values[Field("connectionMode")].indices[0] = 0;
    values[Field("serialSettings")].indices[4] = 2;
    EXPECT_EQ(FieldsToSave(values), (std::vector<const ParameterField*>{
                                        &Field("apn"), &Field("serialSettings"), &Field("connectionMode")}));
    values[Field("deviceAddress")].ticked = true;  // ticked and empty: the selection is the ticks
    EXPECT_EQ(FieldsToSave(values), (std::vector<const ParameterField*>{&Field("deviceAddress")}));
}

TEST(ParameterFile, AnEmptyListEntryIsNoSelectionAndTheConfigureRuleRefusesIt) {
    FormValues values;
    values[Field("connectionMode")].ticked = true;
    const std::string text = FormatParameterFile(values, FieldsToSave(values));
    EXPECT_NE(text.find(R"("connectionMode": "")"), std::string::npos) << text;
    const ParameterFileLoad loaded = ParseParameterFile(text);
    EXPECT_FALSE(loaded.values.has_value());
    EXPECT_EQ(loaded.problems, (Problems{{"连接方式", "请选择-连接方式！"}}));
}

struct BadFile {
    const char* name;
    std::string text;
    Problems problems;
};
void PrintTo(const BadFile& c, std::ostream* os) {
    *os << c.name;
}

class BadParameterFile : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadParameterFile, LoadsNothingAndReportsEveryProblem) {
    const ParameterFileLoad loaded = ParseParameterFile(GetParam().text);
    EXPECT_FALSE(loaded.values.has_value());
    EXPECT_EQ(loaded.problems, GetParam().problems);
}

const std::string kEightZhan = "站站站站站站站站";

INSTANTIATE_TEST_SUITE_P(
    Files, BadParameterFile,
    ::testing::Values(
        BadFile{"NotJson",
                "{\n  \"format\": \"quillmere-parameters\",\n  \"version\": 1,,\n}",
                {{"", "参数文件不是有效的JSON（第3行第16列）"}}},
        BadFile{
            "InvalidUtf8", File("\"apn\": \"\xC3\x28\""), {{"", "参数文件不是有效的JSON（第1行第70列）"}}},
        BadFile{"Empty", "", {{"", "参数文件不是有效的JSON（第1行第1列）"}}},
        BadFile{"NotAnObject", "[1, 2]", {{"", "参数文件应是一个JSON对象"}}},
        BadFile{"WrongFormat",
                R"({"format": "other", "version": 1, "fields": {"apn": 5}})",
                {{"format", "不是Quillmere参数文件（format应为\"quillmere-parameters\"）"}}},
        BadFile{"NoFormat",
                R"({"version": 1, "fields": {}})",
                {{"format", "不是Quillmere参数文件（format应为\"quillmere-parameters\"）"}}},
        BadFile{"LaterVersion",
                R"({"format": "quillmere-parameters", "version": 2, "fields": {}})",
                {{"version", "不支持的参数文件版本（version应为1）"}}},
        BadFile{"VersionAsText",
                R"({"format": "quillmere-parameters", "version": "1", "fields": {}})",
                {{"version", "不支持的参数文件版本（version应为1）"}}},
        BadFile{"NoFields",
                R"({"format": "quillmere-parameters", "version": 1, "comment": "x"})",
                {{"comment", "未知的键"}, {"fields", "缺少参数（fields应是一个JSON对象）"}}},
        BadFile{
            "UnknownField", File(R"("apn": "CMNET", "stationname": "x")"), {{"stationname", "没有这个参数"}}},
        BadFile{"DuplicateField", File(R"("apn": "A", "apn": "B")"), {{"apn", "重复出现"}}},
        BadFile{"NumberForText",
                File(R"("messageBody1Address": 1001)"),
                {{"消息体1 地址", "值应为文本（用双引号括起）"}}},
        BadFile{"TextOver253Bytes",
                File("\"dtuId\": \"" + std::string(254, 'a') + "\""),
                {{"DTU编号", "DTU编号太长，最多253个字节，请缩短后再配置"}}},
        BadFile{"StationOverEightCharacters",
                File("\"stationName\": \"" + kEightZhan + "站\""),
                {{"站名", "站点最大为8个字节"}}},
        BadFile{"DataChannelOutOfRange",
                File(R"("dataChannel": "2")"),
                {{"数据传输通道", "请输入数据传输通道0或者1！"}}},
        BadFile{"NoGbkCharacter",
                File("\"apn\": \"CM\xF0\x9F\x98\x80\""),
                {{"接入点名称", "含有GBK无法表示的字符"}}},
        BadFile{"UnknownListEntry",
                File(R"("transferMode": "串口传输")"),
                {{"传输方式", "没有这个选项：“串口传输”，可选：透明传输、协议传输"}}},
        BadFile{"SerialNotAnObject",
                File(R"("serialSettings": "9600")"),
                {{"选择", "值应为一个JSON对象，含baudRate、dataBits、stopBits、parity、flowControl"}}},
        BadFile{
            "SerialEntries",
            File(
                R"("serialSettings": {"baudRate": "9601", "dataBits": "8", "parity": "无", "flowControl": 1, "speed": "1"})"),
            {{"speed", "未知的键"},
             {"波特率",
              "没有这个选项：“9601”，可选：300、600、1200、2400、4800、9600、14400、19200、38400、57600、1152"
              "00"},
             {"停止位", "缺少此项"},
             {"流控制", "值应为文本（用双引号括起）"}}},
        BadFile{"TwoBadFieldsInItemTableOrder",
                File(R"("messageBody1State1": "合分", "dtuId": "", "apn": "CMNET", "dataChannel": "1")"),
                {{"DTU编号", "DTU编号不能为空！"}, {"消息体1 状态1", "消息体状态为1个汉字"}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quill
