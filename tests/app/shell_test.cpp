// The window shell: information area, help and about boxes, start-up, and
// what the built window looks like to the operator and to assistive tools.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include "app/dialog_builder.h"
#include "app/message_map.h"
#include "app/tarnwell_app.h"
#include "app/tarnwell_dlg.h"
#include "form/parameter_fields.h"
#include "form/window_layout.h"
#include "qt_environment.h"
#include "sim/dtu_server.h"

namespace quill {
namespace {

QString Utf8(const char* text) {
    return QString::fromUtf8(text);
}

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override { test::CaptureBoxes(window, boxes, dialogs); }

    void showWindow() {
        window.show();
        ASSERT_TRUE(test::WaitFor([&] { return window.isVisible(); }));
    }

    QPlainTextEdit* area() { return qobject_cast<QPlainTextEdit*>(window.control(1000)); }

    CTarnwellDlg window;
    std::vector<test::BoxCall> boxes;
    std::vector<QString> dialogs;
};

TEST_F(ShellTest, AppendGoesToTheEndWhereverTheCaretIs) {
    showWindow();
    area()->setFocus();
    QTest::keyClicks(area(), QStringLiteral("typed"));
    QTextCursor cursor = area()->textCursor();
    cursor.setPosition(1);
    cursor.setPosition(3, QTextCursor::KeepAnchor);  // the operator selects "yp"
    area()->setTextCursor(cursor);

    window.AppendInfo(Utf8("<-打开串口成功，请连接DTU...\n\r\n\r"));
    window.AppendInfo(Utf8("<-连接DTU成功！\n\r\n\r"));

    EXPECT_EQ(area()->toPlainText(), Utf8("typed<-打开串口成功，请连接DTU...\n\n<-连接DTU成功！\n\n"));
    EXPECT_FALSE(area()->textCursor().hasSelection());
    EXPECT_EQ(area()->textCursor().position(), area()->document()->characterCount() - 1);
    EXPECT_FALSE(area()->document()->isUndoAvailable());
    // Each message stands on its own line, with no stray character for the carriage returns.
    EXPECT_EQ(area()->document()->findBlockByNumber(2).text(), Utf8("<-连接DTU成功！"));
    EXPECT_EQ(window.infoText, "");  // appending leaves the member alone

    QTest::keyClicks(area(), QStringLiteral("more"));  // typing goes on at the caret
    EXPECT_TRUE(area()->toPlainText().endsWith(QStringLiteral("\n\nmore")));
}

TEST_F(ShellTest, AppendKeepsTheLatestLineInView) {
    showWindow();
    for (int i = 0; i < 200; ++i) window.AppendInfo(QStringLiteral("<-line %1\n\r\n\r").arg(i));
    QScrollBar* bar = area()->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(ShellTest, HelpShowsItsTextByteForByte) {
    const char* expected =
        "操作步骤:\r\n"
        "  1、选择好DTU连接到的电脑上的串口，给DTU上电。\r\n"
        "  2、然后点打开串口按钮，等待DTU连接上来。\r\n"
        "  3、DTU连接上后，上面的信息框中会有提示。\r\n"
        "  4、点读取参数可以读取DTU当前的参数。\r\n"
        "  5、如果要配置某一个参数，先选中相应参数前的选择框，然后输入正确的参数，再点击配置参数。";
    qobject_cast<QPushButton*>(window.control(1043))->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.toUtf8().toStdString(), expected);
    EXPECT_EQ(boxes[0].caption, Utf8("帮  助"));
    EXPECT_EQ(boxes[0].icon, CTarnwellDlg::MessageIcon::None);
}

TEST_F(ShellTest, AboutCommandOpensTheAboutBox) {
    struct Case {
        unsigned id;
        bool opens;
    };
    for (const Case c : {Case{16, true}, Case{17, true}, Case{31, true}, Case{15, false}, Case{32, false},
                         Case{0xF060, false}, Case{0x10010, false}}) {
        dialogs.clear();
        window.OnSysCommand(c.id);
        EXPECT_EQ(dialogs.size(), c.opens ? 1u : 0u) << c.id;
        if (c.opens && !dialogs.empty()) {
            EXPECT_EQ(dialogs[0], Utf8("关于 Quillmere"));
        }
    }
}

TEST_F(ShellTest, AboutEntryIsTheLastItemOfTheWindowMenuAfterASeparator) {
    const QList<QAction*> actions = window.actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.last()->text(), Utf8("关于 Quillmere(&A)..."));
    EXPECT_EQ(window.contextMenuPolicy(), Qt::ActionsContextMenu);
    actions.last()->trigger();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0], Utf8("关于 Quillmere"));
}

TEST_F(ShellTest, HiddenControlsStayHiddenAndShownOnesAppear) {
    showWindow();
    // Tick and untick every field: no click may change what is visible.
    for (const ParameterField& f : ParameterFields()) {
        qobject_cast<QAbstractButton*>(window.control(f.checkBoxId()))->click();
        qobject_cast<QAbstractButton*>(window.control(f.checkBoxId()))->click();
    }
    window.OnClearDisplay();
    int unnumbered = 0;
    for (const ControlDef& c : MainDialogTemplate().controls) {
        const QString name =
            c.id == kNoId ? QStringLiteral("static_%1").arg(++unnumbered) : QString::number(c.id);
        const QWidget* widget = window.findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
        ASSERT_NE(widget, nullptr) << name.toStdString();
        EXPECT_EQ(widget->isVisible(), c.shown) << name.toStdString();
    }
}

TEST_F(ShellTest, EveryControlCarriesItsIdentifierAndValuesTheirLabels) {
    QSet<QString> names;
    int controls = 0;
    for (const QWidget* child : window.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        ++controls;
        EXPECT_FALSE(child->objectName().isEmpty());
        EXPECT_EQ(child->accessibleDescription(), child->objectName());
        names.insert(child->objectName());
    }
    EXPECT_EQ(controls, 272);
    EXPECT_EQ(names.size(), 272);
    struct Case {
        int id;
        const char* name;
    };
    for (const Case c : {Case{1044, "站名"}, Case{1071, "超级用户号码"}, Case{1163, "消息体3 状态1"},
                         Case{1317, "消息体10 状态0"}, Case{1019, "选择"}, Case{1012, "传输方式"}})
        EXPECT_EQ(window.control(c.id)->accessibleName(), Utf8(c.name)) << c.id;
    for (const ParameterField& f : ParameterFields())
        for (const int id : f.valueIds()) EXPECT_FALSE(window.control(id)->accessibleName().isEmpty()) << id;
}

TEST_F(ShellTest, WindowRendersAtItsDialogUnitSize) {
    showWindow();
    const QSize expected = MapDialogRect({0, 0, 466, 407}, BaseUnitsFor(DialogFont("宋体", 10))).size();
    EXPECT_EQ(window.size(), expected);
    EXPECT_EQ(window.minimumSize(), window.maximumSize());  // fixed size
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    const QImage picture = window.grab().toImage();
    ASSERT_EQ(picture.size(), expected);
    // Captions, frames and fields: far more than a blank window's few colours.
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); y += 2)
        for (int x = 0; x < picture.width(); x += 2) colours.insert(picture.pixel(x, y));
    EXPECT_GT(colours.size(), 20);
}

TEST_F(ShellTest, EveryMessageMapRowReachesAControlThatRaisesItsEvent) {
    for (const MessageEntry& entry : MessageMap()) {
        std::vector<int> ids{entry.controlId};
        if (entry.controlId == kEveryFieldCheckBox) {
            ids.clear();
            for (const ParameterField& f : ParameterFields()) ids.push_back(f.checkBoxId());
            EXPECT_NE(entry.controlHandler, nullptr);  // it needs to know which box was clicked
        }
        for (const int id : ids) {
            QWidget* widget = window.control(id);
            ASSERT_NE(widget, nullptr) << id;
            const auto* list = qobject_cast<QComboBox*>(widget);
            const bool edit = qobject_cast<QLineEdit*>(widget) != nullptr;
            const bool raises = entry.event == Event::Clicked
                                    ? qobject_cast<QAbstractButton*>(widget) != nullptr
                                : entry.event == Event::TextChanged || entry.event == Event::EnterPressed
                                    ? edit
                                    : list != nullptr && list->isEditable();
            EXPECT_TRUE(raises) << id;
        }
    }
}

// The window owns the engine: going away with the port open and bytes
// streaming in ends the worker and lets go of the device, without a word.
TEST(ClosingTheWindow, ReleasesAnOpenPortWithoutABox) {
    DtuServer dtu;
    ASSERT_TRUE(dtu.start());
    const QString path = QString::fromStdString(dtu.devicePath());
    std::vector<test::BoxCall> boxes;
    std::vector<QString> dialogs;
    auto openIn = [&](CTarnwellDlg& window) {
        test::CaptureBoxes(window, boxes, dialogs);
        window.setControlText(1026, path);
        qobject_cast<QPushButton*>(window.control(1027))->click();
        return window.session.portOpen();
    };

    auto first = std::make_unique<CTarnwellDlg>();
    ASSERT_TRUE(openIn(*first));
    dtu.setWireRate(0);
    dtu.setFlood(true);
    ASSERT_TRUE(test::WaitFor([&] { return first->session.line().bytesReceived() > 0; }));
    {
        CTarnwellDlg second;
        EXPECT_FALSE(openIn(second));  // the device is held
        ASSERT_EQ(boxes.size(), 1u);
        boxes.clear();
    }
    first.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(boxes.empty());

    dtu.setFlood(false);
    CTarnwellDlg third;
    EXPECT_TRUE(openIn(third));
    EXPECT_TRUE(boxes.empty());
}

TEST(DialogUnits, MapLikeThePlatformWithRounding) {
    // Base units 7 x 17: 4 horizontal units are 7 pixels, 8 vertical units 17.
    const DialogBaseUnits units{7, 17};
    EXPECT_EQ(MapDialogRect({0, 0, 466, 407}, units), QRect(0, 0, 816, 865));  // 815.5 and 864.9 rounded
    EXPECT_EQ(MapDialogRect({4, 6, 456, 57}, units), QRect(7, 13, 798, 121));
    EXPECT_EQ(MapDialogRect({1, 1, 1, 1}, units),
              QRect(2, 2, 2, 2));  // 1.75 -> 2, 3.5 -> 4, 2.125 -> 2, 4.25 -> 4
}

TEST(StartUp, RunsTheWindowModallyAndEndsWhenItCloses) {
    // Close the window as soon as its modal loop runs.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    closer.start(10);
    CTarnwellApp app;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace quill
