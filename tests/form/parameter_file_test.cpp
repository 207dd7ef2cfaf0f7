#include "form/parameter_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "protocol/text_codec.h"

namespace quill {

void PrintTo(const ParameterFileProblem& p, std::ostream* os) {
    *os << "{\"" << p.label << "\", \"" << p.message << "\"}";
}

// The ticked or filled fields, for failure output.
void PrintTo(const FormValues& values, std::ostream* os) {
    for (const ParameterField& f : ParameterFields())
        if (values[f].ticked || values.holdsValue(f))
            *os << f.name() << (values[f].ticked ? "[x]=" : "[ ]=") << DisplayText(values, f) << "; ";
}

namespace {

namespace fs = std::filesystem;
using Problems = std::vector<ParameterFileProblem>;

const ParameterField& Field(std::string_view name) {
    for (const ParameterField& f : ParameterFields())
        if (f.name() == name) return f;
    ADD_FAILURE() << "no field " << name;
    return ParameterFields().front();
}

std::string File(std::string_view fields) {
    return std::string(R"({"format": "quillmere-parameters", "version": 1, "fields": {)") +
           std::string(fields) + "}}";
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const fs::path& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder for each test, removed afterwards.
class ParameterFileOnDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "quillmere-params-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(folder);
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path folder;
};

// A form with a value of each kind, only those fields ticked.
FormValues SampleForm() {
    FormValues values;
    values[Field("stationName")] = {true, Utf8ToGbk("城东变电站"), {}};
    values[Field("messageBody1Address")] = {true, "1001", {}};
    values[Field("superUserPassword")] = {true, "123456", {}};
    values[Field("customHeartbeat")] = {true, "AA BB", {}};
    values[Field("numberedField9")] = {true, "", {}};
    values[Field("transferMode")] = {true, {}, {1, -1, -1, -1, -1}};
    values[Field("serialSettings")] = {true, {}, {5, 0, 0, 2, 4}};
    return values;
}

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

TEST_F(ParameterFileOnDisk, MissingUnreadableAndOversizeFilesLoadNothing) {
    const std::string missing = (folder / "none.json").string();
    EXPECT_EQ(LoadParameterFile(missing).problems,
              (Problems{{"", "无法读取参数文件：" + missing + "（文件或文件夹不存在）"}}));
    EXPECT_EQ(LoadParameterFile(folder.string()).problems,
              (Problems{{"", "无法读取参数文件：" + folder.string() + "（这是一个文件夹）"}}));

    // The bound itself is accepted, one byte more is not.
    const std::string valid = File(R"("apn": "CMNET")");
    const fs::path full = folder / "full.json";
    WriteAll(full, valid + std::string(kMaxParameterFileSize - valid.size(), ' '));
    const ParameterFileLoad atBound = LoadParameterFile(full.string());
    EXPECT_EQ(atBound.problems, Problems{});
    ASSERT_TRUE(atBound.values.has_value());
    EXPECT_EQ((*atBound.values)[Field("apn")].text, "CMNET");
    const fs::path over = folder / "over.json";
    WriteAll(over, valid + std::string(kMaxParameterFileSize - valid.size() + 1, ' '));
    const ParameterFileLoad tooLarge = LoadParameterFile(over.string());
    EXPECT_FALSE(tooLarge.values.has_value());
    EXPECT_EQ(tooLarge.problems, (Problems{{"", "参数文件过大（最多1 MiB）：" + over.string()}}));
    EXPECT_EQ(ParseParameterFile(ReadAll(over)).problems, (Problems{{"", "参数文件过大（最多1 MiB）"}}));
}

TEST_F(ParameterFileOnDisk, AFileWithoutReadPermissionLoadsNothing) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const fs::path locked = folder / "locked.json";
    WriteAll(locked, File(R"("apn": "CMNET")"));
    fs::permissions(locked, fs::perms::none);
    const ParameterFileLoad loaded = LoadParameterFile(locked.string());
    EXPECT_FALSE(loaded.values.has_value());
    EXPECT_EQ(loaded.problems, (Problems{{"", "无法读取参数文件：" + locked.string() + "（没有访问权限）"}}));
}

TEST_F(ParameterFileOnDisk, SavingReplacesAnExistingFileWholeAndKeepsItsPermissions) {
    const fs::path target = folder / "fleet.json";
    WriteAll(target, std::string(10000, 'x'));
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    const FormValues values = SampleForm();
    EXPECT_EQ(SaveParameterFile(target.string(), values, FieldsToSave(values)), "");
    EXPECT_EQ(ReadAll(target), FormatParameterFile(values, FieldsToSave(values)));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Entries(), std::vector<std::string>{"fleet.json"});
    const ParameterFileLoad loaded = LoadParameterFile(target.string());
    ASSERT_TRUE(loaded.values.has_value());
    EXPECT_EQ(*loaded.values, values);

    const fs::path fresh = folder / "new.json";
    EXPECT_EQ(SaveParameterFile(fresh.string(), values, FieldsToSave(values)), "");
    EXPECT_EQ(fs::status(fresh).permissions(), fs::perms::owner_read | fs::perms::owner_write |
                                                   fs::perms::group_read | fs::perms::others_read);
}

TEST_F(ParameterFileOnDisk, AFailedSaveLeavesTheTargetAndNoTemporaryFile) {
    // The target is a folder holding a file: the rename over it fails after
    // the temporary file was written.
    const fs::path target = folder / "taken";
    fs::create_directory(target);
    WriteAll(target / "keep", "old");
    const std::string message = SaveParameterFile(target.string(), SampleForm(), FieldsToSave(SampleForm()));
    EXPECT_EQ(message, "无法保存参数文件：" + target.string() + "（这是一个文件夹）");
    EXPECT_EQ(Entries(), std::vector<std::string>{"taken"});
    EXPECT_EQ(ReadAll(target / "keep"), "old");

    const std::string nowhere = (folder / "no-folder" / "x.json").string();
    EXPECT_EQ(SaveParameterFile(nowhere, SampleForm(), {}),
              "无法保存参数文件：" + nowhere + "（文件或文件夹不存在）");
}

TEST_F(ParameterFileOnDisk, SavingIntoAReadOnlyFolderFailsAndLeavesTheOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    const fs::path target = folder / "fleet.json";
    WriteAll(target, "old");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    const std::string message = SaveParameterFile(target.string(), SampleForm(), FieldsToSave(SampleForm()));
    EXPECT_EQ(message, "无法保存参数文件：" + target.string() + "（没有访问权限）");
    EXPECT_EQ(Entries(), std::vector<std::string>{"fleet.json"});
    EXPECT_EQ(ReadAll(target), "old");
}

}  // namespace
}  // namespace quill
