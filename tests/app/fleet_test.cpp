// The window's fleet entries: parameter files saved and loaded through the
// context menu (file dialogs answered by the test), verification after a
// write, and the demo-state terminal shown on request. Real window, real
// engine, simulated DTU on a pseudo-terminal at line speed.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/history_dlg.h"
#include "form/parameter_fields.h"
#include "form/write_history.h"
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
    EXPECT_EQ(texts.mid(0, 6), (QStringList{FromUtf8("保存参数文件…"), FromUtf8("载入参数文件…"),
                                            FromUtf8("与参数文件核对…"), FromUtf8("写入历史记录…"),
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
    window->OnTimerTick(quill::TIMER_DTU_POLL);
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

// The check entry is offered exactly while a read is, and a chosen file
// reaches the session's check: the verdict stands in the information area and
// the form is as it was.
TEST_F(FleetTest, TheCheckEntryFollowsTheReadButtonAndChecksTheChosenFile) {
    QAction* check = entry(*window, "与参数文件核对…");
    EXPECT_FALSE(check->isEnabled());
    file = folder / "check.json";
    std::ofstream(file) << R"({"format": "quillmere-parameters", "version": 1,
        "fields": {"stationName": "城西开关站", "smsCentreNumber": "+8613800100500"}})";
    check->trigger();  // a disabled entry does nothing
    EXPECT_EQ(count("<-核对"), 0);

    connectDtu();
    EXPECT_TRUE(check->isEnabled());
    check->trigger();
    ASSERT_TRUE(waitCount("<-核对结果：1项参数与文件不一致！\n\r\n\r"))
        << window->controlText(1000).toStdString();
    EXPECT_EQ(count("<-核对不一致：站名\n\r\n\r"), 1);
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(window->isTicked(FindItem(0x92)->checkBoxId));
    EXPECT_NE(window->controlText(FindItem(0x92)->valueIds[0]), FromUtf8("城西开关站"));

    // A file with problems goes no further than its box.
    file = folder / "bad.json";
    std::ofstream(file)
        << R"({"format": "quillmere-parameters", "version": 1, "fields": {"stationName": ""}})";
    check->trigger();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, FromUtf8("错误提示"));

    click(1028);
    EXPECT_FALSE(check->isEnabled());
}

TEST_F(FleetTest, TheHistoryEntryListsTheRecordsNewestFirst) {
    // This test's own data folder, so no other test's writes are listed.
    const std::string dataHome = std::getenv("XDG_DATA_HOME");
    ::setenv("XDG_DATA_HOME", folder.c_str(), 1);
    HistoryRecord record{"2026-12-09T08:00:00+08:00",
                         "window",
                         "/dev/ttyUSB0",
                         "13912345678",
                         {{"站名", "城东变电站"}},
                         "written",
                         "passed",
                         {},
                         {}};
    ASSERT_EQ(AppendHistoryLine(DefaultHistoryPath(), HistoryLine(record)), "");
    record.time = "2026-12-10T09:30:00+08:00";
    record.frontEnd = "write";
    record.verdict = "refused";
    ASSERT_EQ(AppendHistoryLine(DefaultHistoryPath(), HistoryLine(record)), "");

    QStringList titles, times, verdicts;
    window->modalHook = [&](QDialog& dialog) {
        const QTableWidget* table = static_cast<CHistoryDlg&>(dialog).historyTable();
        EXPECT_EQ(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        for (int column = 0; column < table->columnCount(); ++column)
            titles << table->horizontalHeaderItem(column)->text();
        for (int row = 0; row < table->rowCount(); ++row) {
            times << table->item(row, 0)->text();
            verdicts << table->item(row, 4)->text();
        }
        return 0;
    };
    entry(*window, "写入历史记录…")->trigger();
    ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    EXPECT_EQ(titles, (QStringList{FromUtf8("时间"), FromUtf8("前端"), FromUtf8("串口"), FromUtf8("DTU编号"),
                                   FromUtf8("结果"), FromUtf8("回读核对"), FromUtf8("参数")}));
    EXPECT_EQ(times,
              (QStringList{FromUtf8("2026-12-10 09:30:00+08:00"), FromUtf8("2026-12-09 08:00:00+08:00")}));
    EXPECT_EQ(verdicts, (QStringList{FromUtf8("被拒绝"), FromUtf8("写入成功")}));
}

TEST_F(FleetTest, AnEmptyHistoryShowsAnEmptyTableAndSaysSo) {
    const std::string dataHome = std::getenv("XDG_DATA_HOME");
    ::setenv("XDG_DATA_HOME", folder.c_str(), 1);
    int rows = -1;
    QString note;
    window->modalHook = [&](QDialog& dialog) {
        rows = static_cast<CHistoryDlg&>(dialog).historyTable()->rowCount();
        note = static_cast<CHistoryDlg&>(dialog).noteLabel()->text();
        return 0;
    };
    entry(*window, "写入历史记录…")->trigger();
    ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(note, FromUtf8("没有写入记录"));
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
