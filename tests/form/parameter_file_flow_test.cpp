#include "form/parameter_file_flow.h"

#include <gtest/gtest.h>

#include "form/check_file_flow.h"
#include "tests/form/parameter_file_helpers.h"

namespace quill {
namespace {

using namespace test;

// The window's side: a form, a file dialog that answers as told, and what the
// operator was shown.
struct FakeWindow : ParameterFileWindow {
    FormValues form;
    std::string answer;  // the file dialog's; empty: cancelled
    std::vector<bool> dialogs;
    std::vector<std::string> boxes;
    std::vector<std::string> reports;

    FormValues parameterFileValues() override { return form; }
    std::string chooseParameterFile(bool save) override {
        dialogs.push_back(save);
        return answer;
    }
    void showParameterFileValues(const FormValues& values) override { form = values; }
    void parameterFileBox(std::string_view text) override { boxes.emplace_back(text); }
    void parameterFileReport(std::string_view text) override { reports.emplace_back(text); }
};

class ParameterFileFlowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::path(::testing::TempDir()) /
                 ("quillmere-flow-" +
                  std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    std::string at(std::string_view name) const { return (folder / name).string(); }

    fs::path folder;
};

TEST_F(ParameterFileFlowTest, SaveWritesTheFileOrSaysWhyNot) {
    struct Case {
        const char* name;
        bool filled;          // the sample form; else the form at start
        std::string answer;   // under the folder; empty: cancelled
        std::string written;  // the file that holds the save; empty: none
        std::string box;
    };
    const std::string missing = (fs::path("no-such-folder") / "x.json").string();
    const Case cases[] = {
        {"AsChosen", true, "a.json", "a.json", ""},
        {"SuffixAdded", true, "b", "b.json", ""},
        {"SuffixInAnyCase", true, "c.JSON", "c.JSON", ""},
        {"OtherSuffixKept", true, "d.txt", "d.txt.json", ""},
        {"Cancelled", true, "", "", ""},
        {"NothingToSave", false, "e.json", "", "没有可保存的参数：请先读取参数或填写参数"},
    };
    for (const Case& c : cases) {
        FakeWindow window;
        if (c.filled) window.form = SampleForm();
        window.answer = c.answer.empty() ? "" : at(c.answer);
        SaveParameterFileFlow(window);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(window.dialogs, c.filled ? std::vector<bool>{true} : std::vector<bool>{});
        EXPECT_EQ(window.boxes, c.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.box});
        if (c.written.empty()) {
            EXPECT_TRUE(window.reports.empty());
            continue;
        }
        EXPECT_EQ(window.reports,
                  std::vector<std::string>{"<-参数文件已保存：" + at(c.written) + "\n\r\n\r"});
        const ParameterFileLoad back = LoadParameterFile(at(c.written));
        ASSERT_TRUE(back.values.has_value());
        EXPECT_EQ(*back.values, SampleForm());
    }
    // A save that fails says so in the box, naming the file, and reports nothing.
    FakeWindow window;
    window.form = SampleForm();
    window.answer = at(missing);
    SaveParameterFileFlow(window);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_NE(window.boxes[0].find("x.json"), std::string::npos) << window.boxes[0];
    EXPECT_TRUE(window.reports.empty());
}

TEST_F(ParameterFileFlowTest, LoadFillsTheFormOrListsEveryProblem) {
    WriteAll(folder / "good.json", File(R"("dtuId": "7", "transferMode": "协议传输")"));
    WriteAll(folder / "bad.json", File(R"("dtuId": "", "superUserPassword": "12")"));
    FormValues good;
    good[Field("dtuId")] = {true, "7", {}};
    good[Field("transferMode")] = {true, {}, {1, -1, -1, -1, -1}};

    FakeWindow window;
    window.form = SampleForm();
    EXPECT_FALSE(LoadParameterFileFlow(window, at("bad.json")));
    EXPECT_EQ(window.boxes,
              std::vector<std::string>{"DTU编号：DTU编号不能为空！\n超级用户密码：密码长度为6，且不能为空"});
    EXPECT_EQ(window.form, SampleForm());  // untouched
    EXPECT_TRUE(window.reports.empty());

    window.boxes.clear();
    window.answer = at("good.json");
    LoadChosenParameterFileFlow(window);
    EXPECT_EQ(window.dialogs, std::vector<bool>{false});
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_EQ(window.form, good);
    EXPECT_EQ(window.reports, std::vector<std::string>{"<-参数文件已载入：" + at("good.json") + "\n\r\n\r"});

    window.answer.clear();  // cancelled: nothing happens
    LoadChosenParameterFileFlow(window);
    EXPECT_EQ(window.reports.size(), 1u);
    EXPECT_EQ(window.form, good);
}

// A check takes the file as a load would, and touches neither the form nor
// the information area: its verdict is the session's to report.
TEST_F(ParameterFileFlowTest, ACheckTakesTheFilesValuesAndLeavesTheFormAlone) {
    WriteAll(folder / "good.json", File(R"("dtuId": "7")"));
    WriteAll(folder / "bad.json", File(R"("dtuId": "", "superUserPassword": "12")"));
    FormValues good;
    good[Field("dtuId")] = {true, "7", {}};
    struct Case {
        std::string answer;
        std::optional<FormValues> values;
        std::size_t boxes;
    };
    for (const Case& c : {Case{at("good.json"), good, 0}, Case{at("bad.json"), std::nullopt, 1},
                          Case{at("missing.json"), std::nullopt, 1}, Case{"", std::nullopt, 0}}) {
        FakeWindow window;
        window.form = SampleForm();
        window.answer = c.answer;
        EXPECT_EQ(ChooseFileToCheck(window), c.values) << c.answer;
        EXPECT_EQ(window.dialogs, std::vector<bool>{false});
        EXPECT_EQ(window.boxes.size(), c.boxes) << c.answer;
        EXPECT_EQ(window.form, SampleForm());
        EXPECT_TRUE(window.reports.empty());
    }
}

TEST(IsParameterFilePath, EndsInJsonInAnyCase) {
    for (const std::string_view path : {"a.json", "A.JSON", "dir.x/b.Json", ".json"})
        EXPECT_TRUE(IsParameterFilePath(path)) << path;
    for (const std::string_view path : {"", "json", "a.jsonx", "a.txt", "ajson", "a.js on"})
        EXPECT_FALSE(IsParameterFilePath(path)) << path;
}

}  // namespace
}  // namespace quill
