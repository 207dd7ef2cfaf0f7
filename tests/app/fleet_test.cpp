// The window's fleet entries: parameter files saved and loaded through the
// context menu (file dialogs answered by the test), verification after a
// write, and the demo-state terminal shown on request. Real window, real
// engine, simulated DTU on a pseudo-terminal at line speed.
#include <QAction>
#include <filesystem>
#include <fstream>

#include "form/parameter_fields.h"
#include "protocol/item_table.h"
#include "session_fixture.h"
#include "sim/simulated_dtu.h"

namespace quill::test {
namespace {

namespace fs = std::filesystem;

// The simulated DTU's factory set shows a value in 74 fields; the numbered
// fields 4 to 42 show empty and a read leaves them out of a saved file.
constexpr int kFilledFields = 74;
constexpr std::uint8_t kFirstEmptyField = 0xC9;
constexpr std::uint8_t kLastEmptyField = 0xF1;

class FleetTest : public SessionTest {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        folder =
            fs::temp_directory_path() / ("quillmere-fleet-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
        answerDialogs(*window);
    }
    void TearDown() override {
        SessionTest::TearDown();
        fs::remove_all(folder);
    }
    void answerDialogs(CTarnwellDlg& w) {
        w.fileDialogHook = [this](bool) { return QString::fromStdString(file.string()); };
    }
    QAction* entry(CTarnwellDlg& w, std::string_view text) {
        for (QAction* action : w.actions())
            if (action->text() == FromUtf8(text)) return action;
        ADD_FAILURE() << "no entry " << text;
        return nullptr;
    }
    void readDtu() {
        connectDtu();
        click(1029);
        ASSERT_TRUE(waitCount(kReadOk));
    }

    fs::path folder;
    fs::path file = fs::temp_directory_path() / "unset.json";
};

TEST_F(FleetTest, EntriesStandBeforeTheAboutEntryAndTogglesStartOff) {
    const QList<QAction*> actions = window->actions();
    QStringList texts;
    for (const QAction* action : actions) texts << action->text();
    EXPECT_EQ(texts.mid(0, 4), (QStringList{FromUtf8("保存参数文件…"), FromUtf8("载入参数文件…"),
                                            FromUtf8("配置后回读校验"), FromUtf8("串口调试（演示状态）")}));
    EXPECT_EQ(actions.last()->text(), FromUtf8("关于 Quillmere(&A)..."));
    EXPECT_FALSE(entry(*window, "配置后回读校验")->isChecked());
    EXPECT_FALSE(entry(*window, "串口调试（演示状态）")->isChecked());
    EXPECT_FALSE(window->session.verifyAfterWrite());
}

// Read a DTU, save its set, load the file into a fresh window and configure
// another DTU with it: that DTU stores exactly what the first one held.
TEST_F(FleetTest, ReadSaveLoadIntoAFreshWindowAndConfigureCopiesTheSet) {
    readDtu();
    file = folder / "station.json";
    entry(*window, "保存参数文件…")->trigger();
    ASSERT_TRUE(boxes.empty()) << boxes[0].text.toStdString();
    ASSERT_TRUE(fs::exists(file));
    const DtuItems original = server.items();

    // Another unit that differs in every value the file carries: a field lost
    // on the way leaves the unit's own value behind.
    DtuServer other;
    DtuItems blank = original;
    int filled = 0;
    for (auto& [type, value] : blank) {
        // Empty in the form, so not saved: skipped (type 6), numbered fields 4 to 42.
        if (type == 0x06 || (type >= kFirstEmptyField && type <= kLastEmptyField)) continue;
        value.back() ^= 0x01;
        ++filled;
    }
    EXPECT_EQ(filled, kFilledFields);
    other.setItems(blank);
    ASSERT_TRUE(other.start());
    window.reset();

    window = std::make_unique<CTarnwellDlg>();
    CaptureBoxes(*window, boxes, dialogs);
    answerDialogs(*window);
    entry(*window, "载入参数文件…")->trigger();
    ASSERT_TRUE(boxes.empty()) << boxes[0].text.toStdString();
    int ticked = 0;  // every field that held a value came back ticked (empty ones were not saved)
    for (const ParameterField& field : ParameterFields()) ticked += window->isTicked(field.checkBoxId());
    EXPECT_EQ(ticked, kFilledFields);
    pointAt(other);
    click(1027);
    window->OnTimerTick(CTarnwellDlg::TIMER_DTU_POLL);
    ASSERT_TRUE(WaitFor([&] { return window->session.dtuConnected(); }, kWaitMs));
    click(1030);
    ASSERT_TRUE(WaitFor([&] { return count(kConfigureOk) == 1 || count(kConfigureFailed) > 0; }, kWaitMs));
    EXPECT_EQ(count(kConfigureFailed), 0);
    EXPECT_EQ(other.items(), original);
    window.reset();
    other.stop();
}

TEST_F(FleetTest, ABadFileLoadsNothingAndNamesEveryProblemInOneBox) {
    file = folder / "bad.json";
    std::ofstream(file) << R"({"format": "quillmere-parameters", "version": 1,
        "fields": {"stationName": "", "noSuchField": "1"}})";
    window->setTicked(FindItem(0x01)->checkBoxId, true);
    entry(*window, "载入参数文件…")->trigger();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, FromUtf8("错误提示"));
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("noSuchField")));
    EXPECT_EQ(boxes[0].text.count(QLatin1Char('\n')), 1);       // two problems, one a line
    EXPECT_TRUE(window->isTicked(FindItem(0x01)->checkBoxId));  // nothing changed
    EXPECT_FALSE(window->isTicked(FindItem(0x92)->checkBoxId));

    file = folder / "missing.json";
    boxes.clear();
    EXPECT_FALSE(window->LoadParameterFileFrom(QString::fromStdString(file.string())));
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(FleetTest, LoadingTicksExactlyTheFilesFieldsAndEnablesTheirValues) {
    file = folder / "two.json";
    std::ofstream(file) << R"({"format": "quillmere-parameters", "version": 1,
        "fields": {"stationName": "西郊站", "messageBody1Address": "1001"}})";
    window->setTicked(FindItem(0x01)->checkBoxId, true);  // ticked before: unticked by the load
    ASSERT_TRUE(window->LoadParameterFileFrom(QString::fromStdString(file.string())));
    EXPECT_TRUE(boxes.empty());
    for (const ParameterField& field : ParameterFields()) {
        const bool inFile = field.name() == "stationName" || field.name() == "messageBody1Address";
        EXPECT_EQ(window->isTicked(field.checkBoxId()), inFile) << field.name();
        EXPECT_EQ(window->control(field.valueIds()[0])->isEnabled(), inFile) << field.name();
    }
    EXPECT_EQ(window->controlText(FindItem(0x92)->valueIds[0]), FromUtf8("西郊站"));
}

TEST_F(FleetTest, VerificationNamesWhatADtuThatStoresNothingDidNotTake) {
    DtuFaults faults;
    faults.storeNothing = true;
    server.setFaults(faults);
    entry(*window, "配置后回读校验")->trigger();
    EXPECT_TRUE(window->session.verifyAfterWrite());
    connectDtu();
    click(FindItem(0x92)->checkBoxId);
    window->setControlText(FindItem(0x92)->valueIds[0], FromUtf8("新站"));
    click(1030);
    ASSERT_TRUE(waitCount(kConfigureOk));
    ASSERT_TRUE(WaitFor([&] { return count("<-回读校验失败：1项参数不一致！\n\r\n\r") == 1; }, kWaitMs))
        << window->controlText(1000).toStdString();
    EXPECT_EQ(count(std::string("<-回读校验不一致：站名\n\r\n\r")), 1);
}

TEST_F(FleetTest, TheTerminalEntryShowsAndHidesTheDemoControls) {
    window->show();
    QAction* terminal = entry(*window, "串口调试（演示状态）");
    terminal->trigger();
    EXPECT_TRUE(window->control(1031)->isVisible());
    for (const int id : kTerminalControls) EXPECT_TRUE(window->control(id)->isVisible()) << id;
    terminal->trigger();
    EXPECT_FALSE(window->control(1031)->isVisible());
    for (const int id : kTerminalControls) EXPECT_FALSE(window->control(id)->isVisible()) << id;
}

}  // namespace
}  // namespace quill::test
