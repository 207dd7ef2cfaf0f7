#include "terminal/info_appender.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <functional>

namespace quill {
namespace {

bool WaitFor(const std::function<bool()>& condition, int milliseconds = 5000) {
    const QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QStringList BlockTexts(const QPlainTextEdit& area) {
    QStringList texts;
    for (QTextBlock block = area.document()->begin(); block.isValid(); block = block.next())
        texts << block.text();
    return texts;
}

class InfoAppenderTest : public ::testing::Test {
  protected:
    static constexpr int kLimit = 8;
    QPlainTextEdit area;
    InfoAppender appender{area, kLimit};
};

TEST_F(InfoAppenderTest, QueuedTextWaitsForTheFlushOrTheFirstRead) {
    appender.queue(QStringView(u"7B"));
    EXPECT_EQ(area.toPlainText(), QString());
    EXPECT_EQ(appender.text(), QStringLiteral("7B"));  // a read writes what was queued
    EXPECT_EQ(area.toPlainText(), QStringLiteral("7B"));

    appender.queue(QChar(u'8'));
    appender.queue(QChar(u'B'));
    EXPECT_EQ(appender.queuedLength(), 2);
    EXPECT_TRUE(WaitFor([&] { return appender.queuedLength() == 0; }));  // the flush timer
    EXPECT_EQ(area.toPlainText(), QStringLiteral("7B8B"));
}

TEST_F(InfoAppenderTest, RunsAreCutForTheDisplayOnlyAndTheTextStaysExact) {
    struct Case {
        const char* what;
        std::vector<QString> pieces;
        QString text;        // what text() gives
        QStringList blocks;  // what the area shows, line by line
    };
    const Case cases[] = {
        {"shorter than the limit", {"7B8B00"}, "7B8B00", {"7B8B00"}},
        {"exactly the limit: no break yet", {"7B8B000F"}, "7B8B000F", {"7B8B000F"}},
        {"one over the limit", {"7B8B000F3"}, "7B8B000F3", {"7B8B000F", "3"}},
        {"several lines",
         {"0123456789ABCDEF01234"},
         "0123456789ABCDEF01234",
         {"01234567", "89ABCDEF", "01234"}},
        {"a run goes on across appends", {"0123", "4567", "89"}, "0123456789", {"01234567", "89"}},
        {"a line feed starts a new run",
         {"012345\n0123456789"},
         "012345\n0123456789",
         {"012345", "01234567", "89"}},
        {"a line feed right at the limit", {"01234567\n89"}, "01234567\n89", {"01234567", "89"}},
        {"carriage returns show nothing", {"<-ok\n\r\n\r"}, "<-ok\n\n", {"<-ok", "", ""}},
        {"CR LF is one line break", {"a\r", "\n", "b"}, "a\nb", {"a", "b"}},
        {"zero characters show nothing", {QString(QChar(0)) + "a", QString(QChar(0))}, "a", {"a"}},
        {"hanzi count as one character each",
         {QString::fromUtf8("中文中文中文中文中")},
         QString::fromUtf8("中文中文中文中文中"),
         {QString::fromUtf8("中文中文中文中文"), QString::fromUtf8("中")}},
    };
    for (const Case& c : cases) {
        appender.setText({});
        for (const QString& piece : c.pieces) {
            appender.queue(piece);
            appender.flush();
        }
        EXPECT_EQ(appender.text(), c.text) << c.what;
        EXPECT_EQ(BlockTexts(area), c.blocks) << c.what;
    }
}

TEST_F(InfoAppenderTest, AppendWritesQueuedTextFirstAndLeavesTheCaretAtTheEnd) {
    area.setPlainText(QStringLiteral("typed"));
    QTextCursor cursor = area.textCursor();
    cursor.setPosition(1);
    cursor.setPosition(3, QTextCursor::KeepAnchor);
    area.setTextCursor(cursor);

    appender.queue(QStringView(u"31"));
    appender.append(QStringView(u"<-done\n\r\n\r"));

    EXPECT_EQ(appender.text(), QStringLiteral("typed31<-done\n\n"));
    EXPECT_FALSE(area.textCursor().hasSelection());
    EXPECT_EQ(area.textCursor().position(), area.document()->characterCount() - 1);
    EXPECT_FALSE(area.document()->isUndoAvailable());
}

TEST_F(InfoAppenderTest, OperatorEditsNextToSoftBreaksKeepTheTextExact) {
    area.show();
    area.setFocus();
    auto placeCaret = [&](int position) {
        QTextCursor cursor = area.textCursor();
        cursor.setPosition(position);
        area.setTextCursor(cursor);
    };
    auto reset = [&] {
        appender.setText({});
        appender.append(QStringView(u"0123456789ABCDEF01"));  // shown as 01234567 / 89ABCDEF / 01
    };

    reset();        // a line feed typed where a soft break is stays a line feed
    placeCaret(9);  // the start of the second line
    QTest::keyClick(&area, Qt::Key_Return);
    EXPECT_EQ(appender.text(), QStringLiteral("01234567\n89ABCDEF01"));

    reset();  // a line feed typed before a soft break
    placeCaret(8);
    QTest::keyClick(&area, Qt::Key_Return);
    EXPECT_EQ(appender.text(), QStringLiteral("01234567\n89ABCDEF01"));

    reset();  // backspace at the start of a line removes the soft break and no character
    placeCaret(9);
    QTest::keyClick(&area, Qt::Key_Backspace);
    EXPECT_EQ(appender.text(), QStringLiteral("0123456789ABCDEF01"));
    EXPECT_EQ(BlockTexts(area).first(), QStringLiteral("0123456789ABCDEF"));

    reset();  // text typed at the start of a continued line lands there
    placeCaret(9);
    QTest::keyClicks(&area, QStringLiteral("xy"));
    EXPECT_EQ(appender.text(), QStringLiteral("01234567xy89ABCDEF01"));

    reset();  // a typed line feed in an emptied continued line stays a line feed
    placeCaret(area.document()->characterCount() - 1);
    QTest::keyClick(&area, Qt::Key_Backspace);
    QTest::keyClick(&area, Qt::Key_Backspace);
    QTest::keyClick(&area, Qt::Key_Return);
    QTest::keyClicks(&area, QStringLiteral("z"));
    EXPECT_EQ(appender.text(), QStringLiteral("0123456789ABCDEF\nz"));
}

TEST_F(InfoAppenderTest, OperatorInputWaitsUntilQueuedTextIsWritten) {
    area.show();
    area.setFocus();
    appender.append(QStringView(u"<-a\n"));
    appender.queue(QStringView(u"7B8B"));
    QTest::keyClicks(&area, QStringLiteral("t"));  // the key comes after the queued bytes
    EXPECT_EQ(appender.text(), QStringLiteral("<-a\n7B8Bt"));

    appender.queue(QStringView(u"00"));
    QTest::mouseClick(area.viewport(), Qt::LeftButton, {}, QPoint(2, 2));  // the caret moves to the top
    EXPECT_EQ(appender.queuedLength(), 0);
    QTest::keyClicks(&area, QStringLiteral("s"));
    EXPECT_EQ(appender.text(), QStringLiteral("s<-a\n7B8Bt00"));
}

TEST_F(InfoAppenderTest, ReplacingTheTextDropsQueuedText) {
    appender.append(QStringView(u"0123456789"));
    appender.queue(QStringView(u"AB"));
    appender.setText(QStringLiteral("x"));
    EXPECT_EQ(appender.queuedLength(), 0);
    EXPECT_EQ(appender.text(), QStringLiteral("x"));
    EXPECT_EQ(BlockTexts(area), QStringList{QStringLiteral("x")});
}

// The bound that keeps an append's cost flat: no line the appender writes
// grows past the limit, however much text the area holds.
TEST_F(InfoAppenderTest, AMegabyteOfHexStaysInShortLines) {
    QString expected;
    const QString chunk = QStringLiteral("7B8B000F").repeated(512);  // 4 KB
    for (int i = 0; i < 256; ++i) {
        appender.queue(chunk);
        if (i % 7 == 0) appender.flush();
        expected += chunk;
    }
    const QString text = appender.text();
    EXPECT_EQ(text.size(), expected.size());
    EXPECT_TRUE(text == expected);
    int longest = 0;
    for (QTextBlock block = area.document()->begin(); block.isValid(); block = block.next())
        longest = std::max(longest, block.length() - 1);
    EXPECT_EQ(longest, kLimit);
    EXPECT_EQ(area.document()->blockCount(), expected.size() / kLimit);
}

TEST(DefaultRunLimit, AFullLineOfHexDigitsShowsOnOneLine) {
    QPlainTextEdit area;
    area.resize(600, 200);
    area.show();
    InfoAppender appender(area);
    const int limit = appender.runLimit();
    EXPECT_EQ(limit % 2, 0);  // hex pairs are never split
    EXPECT_GE(limit, 16);
    EXPECT_LE(limit, 1024);
    appender.append(QString(limit * 3, QLatin1Char('D')));
    const QTextBlock first = area.document()->begin();
    ASSERT_EQ(first.length() - 1, limit);
    area.document()->documentLayout()->blockBoundingRect(first);  // lays the line out
    ASSERT_NE(first.layout(), nullptr);
    EXPECT_EQ(first.layout()->lineCount(), 1);
}

}  // namespace
}  // namespace quill
