// The demo-state terminal through the real window, the real serial engine and
// a simulated DTU on a pseudo-terminal: what reaches the DTU on a Send, how
// received bytes show in the information area, timed auto-send and its stops,
// the interval edit, and the limits of the send buffer and the write slot.
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <climits>

#include "form/window_layout.h"
#include "protocol/text_codec.h"
#include "session_fixture.h"

namespace quill::test {
namespace {

constexpr std::string_view kPortNotOpen = "串口没有打开，请打开串口";
// The opening report as the area shows it: carriage returns show nothing.
constexpr std::string_view kOpenedDemoShown = "<-打开串口成功，进入演示状态\n\n";

using Bytes = std::vector<std::uint8_t>;

class TerminalTest : public SessionTest {
  protected:
    // Demo state with the port open, the way the window gets there.
    void enterDemo() {
        server.setFaults(Silent());
        pointAt(server);
        window->setTicked(1031, true);
        click(1027);
        ASSERT_TRUE(window->session.portOpen());
        ASSERT_TRUE(enabled(1037));
        waitForWorker();
    }
    // The worker discards what waits on the line when it starts; once it has
    // carried out a write (of no bytes) it is past that, and bytes from the
    // DTU are kept.
    void waitForWorker() {
        const std::uint64_t writes = window->session.line().engine().completedWrites();
        ASSERT_TRUE(window->session.line().engine().SendBytes(nullptr, 0));
        ASSERT_TRUE(WaitFor([&] { return window->session.line().engine().completedWrites() > writes; }, kWaitMs));
    }
    void setHexMode(bool on) { window->setTicked(1033, on); }

    // Runs the action, waits for the write it requests (one write, possibly of
    // no bytes) and returns what reached the DTU meanwhile.
    Bytes sentBy(const std::function<void()>& action, std::size_t expected) {
        const std::size_t before = received().size();
        const std::uint64_t writes = window->session.line().engine().completedWrites();
        action();
        EXPECT_TRUE(WaitFor([&] { return window->session.line().engine().completedWrites() > writes; }, kWaitMs));
        EXPECT_TRUE(WaitFor([&] { return received().size() >= before + expected; }, kWaitMs));
        const Bytes all = received();
        return Bytes(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    }

    // Bytes from the DTU, through the engine, until the window has handled them.
    void receive(const Bytes& bytes) {
        const std::uint64_t before = window->session.line().bytesReceived();
        server.send(bytes);
        ASSERT_TRUE(WaitFor([&] { return window->session.line().bytesReceived() >= before + bytes.size(); }, kWaitMs));
    }
    // The area's text after the opening report.
    QString shown() const { return window->controlText(1000).mid(FromUtf8(kOpenedDemoShown).size()); }

    QPlainTextEdit* area() const { return qobject_cast<QPlainTextEdit*>(window->control(1000)); }
};

struct SendCase {
    const char* name;
    bool hex;
    const char* text;
    Bytes bytes;
};

class SendTest : public TerminalTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendTest, TheDtuGetsTheBytesOfTheSendEdit) {
    const SendCase& c = GetParam();
    enterDemo();
    setHexMode(c.hex);
    window->setControlText(1036, QString::fromLatin1(c.text));
    EXPECT_EQ(sentBy([&] { click(1037); }, c.bytes.size()), c.bytes);
    EXPECT_TRUE(boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SendTest,
    ::testing::Values(SendCase{"PairsWithBlanks", true, "7B 8B 00 0F", {0x7B, 0x8B, 0x00, 0x0F}},
                      SendCase{"LowerCaseWithoutBlanks", true, "7b8b", {0x7B, 0x8B}},
                      SendCase{"LoneLastDigitDropped", true, "7B 8", {0x7B}},
                      SendCase{"DigitBeforeBlankStops", true, "7B 8 C", {0x7B}},
                      SendCase{"NoHexIsAZeroByteWrite", true, "ZZ", {}},
                      SendCase{"EmptyIsAZeroByteWrite", true, "", {}},
                      SendCase{"TextWithoutTerminatorOrLineEnd", false, "abc", {0x61, 0x62, 0x63}},
                      SendCase{"TextIsNotConvertedFromHex", false, "7B", {0x37, 0x42}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TerminalTest, TextModeSendsTheGbkBytes) {
    enterDemo();
    window->setControlText(1036, FromUtf8("中文"));
    EXPECT_EQ(sentBy([&] { click(1037); }, 4), (Bytes{0xD6, 0xD0, 0xCE, 0xC4}));
}

// The send buffer is 512 bytes and so is the write slot: what fits goes out
// whole, what does not is refused whole with a box and nothing is sent.
TEST_F(TerminalTest, SendsUpToTheLimitAndRefusesMore) {
    enterDemo();
    struct Case {
        const char* what;
        bool hex;
        std::string text;
        std::size_t sent;  // 0: refused
        std::string_view box;
    };
    std::string pairs512;
    for (int i = 0; i < 512; ++i) pairs512 += "A5";
    const Case cases[] = {
        {"512 hex bytes", true, pairs512, 512, {}},
        {"513 hex bytes", true, pairs512 + "A5", 0, "发送数据超过512字节，请减少发送数据"},
        {"511 text bytes", false, std::string(511, 'x'), 511, {}},
        {"512 text bytes", false, std::string(512, 'x'), 0, "发送数据超过511字节，请减少发送数据"},
    };
    for (const Case& c : cases) {
        boxes.clear();
        setHexMode(c.hex);
        window->setControlText(1036, QString::fromStdString(c.text));
        if (c.sent > 0) {
            const Bytes got = sentBy([&] { click(1037); }, c.sent);
            EXPECT_EQ(got.size(), c.sent) << c.what;
            EXPECT_TRUE(boxes.empty()) << c.what;
            continue;
        }
        const std::uint64_t writes = window->session.line().engine().completedWrites();
        click(1037);
        ASSERT_EQ(boxes.size(), 1u) << c.what;
        EXPECT_EQ(boxes[0].text, FromUtf8(c.box)) << c.what;
        EXPECT_EQ(boxes[0].caption, FromUtf8("错误提示"));
        EXPECT_EQ(boxes[0].icon, CTarnwellDlg::MessageIcon::None);
        EXPECT_EQ(window->session.line().engine().completedWrites(), writes) << c.what;  // nothing was queued
    }
}

TEST_F(TerminalTest, SendWithoutAnOpenPortShowsTheBoxAndSendsNothing) {
    window->setTicked(1031, true);
    window->setControlText(1036, QStringLiteral("abc"));
    const std::string infoBefore = window->infoText;
    window->OnSend();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, FromUtf8(kPortNotOpen));
    EXPECT_EQ(boxes[0].caption, FromUtf8("错误提示"));
    EXPECT_EQ(boxes[0].icon, CTarnwellDlg::MessageIcon::None);
    EXPECT_EQ(window->session.line().engine().completedWrites(), 0u);
    EXPECT_EQ(window->sendText, "");  // no exchange ran
}

struct DisplayCase {
    const char* name;
    bool hex;
    Bytes bytes;
    const char* shown;     // UTF-8
    std::string infoText;  // GBK
};

class DisplayTest : public TerminalTest, public ::testing::WithParamInterface<DisplayCase> {};

TEST_P(DisplayTest, ReceivedBytesShowInTheInformationArea) {
    const DisplayCase& c = GetParam();
    enterDemo();
    setHexMode(c.hex);
    receive(c.bytes);
    EXPECT_EQ(shown(), FromUtf8(c.shown));
    EXPECT_EQ(window->infoText, c.infoText);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DisplayTest,
    ::testing::Values(
        DisplayCase{"HexRunsTogether", true, {0x31, 0x0D}, "310D", "310D"},
        DisplayCase{"HexUpperCase", true, {0x7B, 0x8B, 0x00, 0xAF}, "7B8B00AF", "7B8B00AF"},
        DisplayCase{"CharacterMode", false, {0x31, 0x0D}, "1", "1\r"},
        DisplayCase{"ZeroByteAddsNothing", false, {0x61, 0x00, 0x62}, "ab", "ab"},
        DisplayCase{"CrLfIsOneLineBreak", false, {0x61, 0x0D, 0x0A, 0x62}, "a\nb", "a\r\nb"},
        DisplayCase{"GbkCharacterFromTwoBytes", false, {0xD6, 0xD0, 0xCE, 0xC4}, "中文", "\xD6\xD0\xCE\xC4"},
        DisplayCase{"InvalidTrailShowsAReplacement", false, {0xD6, 0x20}, "\xEF\xBF\xBD ", "\xD6 "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TerminalTest, ALeadByteShowsNothingUntilItsTrailArrives) {
    enterDemo();
    receive({0x61, 0xD6});
    EXPECT_EQ(shown(), QStringLiteral("a"));
    receive({0xD0});
    EXPECT_EQ(shown(), FromUtf8("a中"));
    // Switching to hex gives up a lead byte that waits: it shows as a replacement.
    receive({0xCE});
    setHexMode(true);
    receive({0xC4});
    EXPECT_EQ(shown(), FromUtf8("a中\xEF\xBF\xBD"
                                "C4"));
}

TEST_F(TerminalTest, NothingShowsOutsideTheDemoState) {
    server.setFaults(Silent());
    pointAt(server);
    click(1027);  // waiting for the DTU, 1031 unticked
    waitForWorker();
    const QString before = window->controlText(1000);
    for (const bool hex : {false, true}) {
        setHexMode(hex);
        receive({0x31, 0x0D, 0x41});
        EXPECT_EQ(window->controlText(1000), before) << hex;
        EXPECT_EQ(window->infoText, "") << hex;
    }
}

// The area shows a long hex run in short lines, yet its text, which the save
// exchange copies, is the run exactly; typing into it goes on working.
TEST_F(TerminalTest, ALongRunIsExactInTheExchangeAndTheOperatorCanType) {
    window->show();
    enterDemo();
    setHexMode(true);
    Bytes bytes(3000);
    QString hex;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7);
        hex += QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
    }
    receive(bytes);
    ASSERT_TRUE(WaitFor([&] { return window->infoArea().queuedLength() == 0; }, kWaitMs));  // the flush timer
    EXPECT_GT(area()->document()->blockCount(), 6000 / window->infoArea().runLimit());
    EXPECT_EQ(shown(), hex);

    area()->setFocus();
    QTest::keyClicks(area(), QStringLiteral("ok"));
    receive({0x01});
    window->ExchangeFormData(true);
    const std::string expected =
        Utf16ToGbk(FromUtf8(kOpenedDemoShown).toStdU16String()) + hex.toStdString() + "ok01";
    EXPECT_EQ(window->infoText, expected);
}

TEST_F(TerminalTest, AutoSendRunsWithTheIntervalAsItStoodAndSendsOnEachTick) {
    enterDemo();
    window->setControlText(1035, QStringLiteral("250"));
    EXPECT_EQ(window->autoSendInterval, 250u);  // every change runs the exchange
    window->setControlText(1036, QStringLiteral("ab"));
    click(1034);
    EXPECT_TRUE(window->isTicked(1034));
    EXPECT_EQ(window->timerPeriod(kAutoSend), 250);

    for (int tick = 0; tick < 3; ++tick)
        EXPECT_EQ(sentBy([&] { window->OnTimerTick(kAutoSend); }, 2), (Bytes{0x61, 0x62}));
    // Each tick takes the edit and the hex mode as they stand.
    window->setControlText(1036, QStringLiteral("7B 8B"));
    setHexMode(true);
    EXPECT_EQ(sentBy([&] { window->OnTimerTick(kAutoSend); }, 2), (Bytes{0x7B, 0x8B}));

    // A new interval applies at the next start, not to the running timer.
    window->setControlText(1035, QStringLiteral("40"));
    EXPECT_EQ(window->timerPeriod(kAutoSend), 250);
    click(1034);
    EXPECT_EQ(window->timerPeriod(kAutoSend), 0);
    click(1034);
    EXPECT_EQ(window->timerPeriod(kAutoSend), 40);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(TerminalTest, AutoSendPeriodIsBoundedByTheTimer) {
    enterDemo();
    struct Case {
        const char* interval;
        int period;
    };
    for (const Case c :
         {Case{"0", 10}, Case{"9", 10}, Case{"2147483647", INT_MAX}, Case{"4294967295", INT_MAX}}) {
        window->setControlText(1035, QString::fromLatin1(c.interval));
        click(1034);
        EXPECT_EQ(window->timerPeriod(kAutoSend), c.period) << c.interval;
        click(1034);
        EXPECT_EQ(window->timerPeriod(kAutoSend), 0) << c.interval;
    }
}

// Every way auto-send stops: the box unticked, the demo state left, the port closed.
TEST_F(TerminalTest, AutoSendStopsEveryWayAndNoSendFollows) {
    struct Case {
        const char* what;
        std::function<void()> stop;
    };
    const Case cases[] = {
        {"untick", [this] { click(1034); }},
        {"demo state left", [this] { click(1031); }},
        {"port closed", [this] { click(1028); }},
    };
    for (const Case& c : cases) {
        window = std::make_unique<CTarnwellDlg>();
        CaptureBoxes(*window, boxes, dialogs);
        enterDemo();
        window->setControlText(1036, QStringLiteral("x"));
        click(1034);
        ASSERT_EQ(window->timerPeriod(kAutoSend), 1000) << c.what;
        c.stop();
        EXPECT_FALSE(window->isTicked(1034)) << c.what;
        EXPECT_EQ(window->timerPeriod(kAutoSend), 0) << c.what;
        const std::uint64_t writes = window->session.line().engine().completedWrites();
        window->OnTimerTick(kAutoSend);  // a tick already on its way
        EXPECT_EQ(window->session.line().engine().completedWrites(), writes) << c.what;
        EXPECT_TRUE(boxes.empty()) << c.what;
    }
}

TEST_F(TerminalTest, AutoSendDoesNotStartWithoutAnOpenPortOrOutsideTheDemoState) {
    // Port closed, demo state: the box, and the tick goes again.
    click(1031);
    window->enableControl(1034, true);  // the terminal controls stay disabled while the port is closed
    click(1034);
    EXPECT_FALSE(window->isTicked(1034));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, FromUtf8(kPortNotOpen));
    EXPECT_EQ(boxes[0].caption, FromUtf8("错误提示"));
    EXPECT_EQ(window->timerPeriod(kAutoSend), 0);

    // Port open, not in the demo state: unticked without a box.
    boxes.clear();
    window->setTicked(1031, false);
    server.setFaults(Silent());
    pointAt(server);
    click(1027);
    ASSERT_TRUE(window->session.portOpen());
    window->enableControl(1034, true);
    click(1034);
    EXPECT_FALSE(window->isTicked(1034));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(window->timerPeriod(kAutoSend), 0);
}

TEST_F(TerminalTest, ARefusedSendStopsAutoSendBeforeItsBox) {
    enterDemo();
    window->setControlText(1036, QString(600, QLatin1Char('x')));
    click(1034);
    ASSERT_EQ(window->timerPeriod(kAutoSend), 1000);
    window->OnTimerTick(kAutoSend);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, FromUtf8("发送数据超过511字节，请减少发送数据"));
    EXPECT_FALSE(window->isTicked(1034));
    EXPECT_EQ(window->timerPeriod(kAutoSend), 0);
}

TEST_F(TerminalTest, EmptyingTheIntervalPromptsAtOnceAndKeepsTheLastValue) {
    enterDemo();
    window->setControlText(1035, QStringLiteral("1500"));
    EXPECT_EQ(window->autoSendInterval, 1500u);
    EXPECT_TRUE(boxes.empty());
    window->setControlText(1035, QString());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, FromUtf8("请输入一个无符号整数。"));
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Quillmere"));
    EXPECT_EQ(boxes[0].icon, CTarnwellDlg::MessageIcon::Warning);
    EXPECT_EQ(window->autoSendInterval, 1500u);
}

// A reopen from the rate list that fails lets go of the device but loses
// nothing: the next auto-send tick says the port is not open, once, and the
// session is not closed as if the device had been pulled.
TEST_F(TerminalTest, AnAutoSendTickAfterAFailedReopenIsNoUnpluggedDevice) {
    enterDemo();
    window->setControlText(1036, QStringLiteral("AT"));
    click(1034);
    ASSERT_GT(window->timerPeriod(kAutoSend), 0);
    window->setControlText(1026, QStringLiteral("/dev/quillmere-no-such-port"));
    window->selectIndex(1068, 5);
    window->OnDemoRatePicked();
    EXPECT_FALSE(window->session.line().engine().IsOpen());
    window->OnTimerTick(kAutoSend);
    window->OnTimerTick(kAutoSend);
    EXPECT_EQ(count(kLost), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, FromUtf8(kPortNotOpen));
    EXPECT_EQ(window->timerPeriod(kAutoSend), 0);
    EXPECT_TRUE(window->session.portOpen());  // nothing changed but the stopped auto-send
    EXPECT_TRUE(enabled(1028));
}

// Emptying the interval while auto-send runs: one box for the edit, none for
// the ticks after it; a valid interval resumes them at their own period.
TEST_F(TerminalTest, AnEmptiedIntervalShowsOneBoxAndHoldsAutoSend) {
    enterDemo();
    window->setControlText(1036, QStringLiteral("AT"));
    window->setControlText(1035, QStringLiteral("20"));
    click(1034);
    ASSERT_EQ(window->timerPeriod(kAutoSend), 20);
    window->setControlText(1035, QString());
    for (int i = 0; i < 5; ++i) window->OnTimerTick(kAutoSend);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, FromUtf8("请输入一个无符号整数。"));
    EXPECT_EQ(window->timerPeriod(kAutoSend), 0);
    EXPECT_TRUE(window->isTicked(1034));
    window->setControlText(1035, QStringLiteral("300"));
    EXPECT_EQ(window->timerPeriod(kAutoSend), 20);  // the period it was started with
    EXPECT_EQ(boxes.size(), 1u);
}

// 0x6C in the demo state is shown like any byte, and is no announcement.
TEST_F(TerminalTest, TheAnnouncementByteInTheDemoStateIsShownOnly) {
    enterDemo();
    receive({0x6C});
    EXPECT_EQ(shown(), QStringLiteral("l"));
    EXPECT_EQ(count(kConnected), 0);
}

// The band as the operator meets it: shown from the window's menu entry, its
// controls clicked at the middle of where they stand.
class TerminalBandTest : public TerminalTest {
  protected:
    void showBand() {
        window->show();
        ASSERT_TRUE(WaitFor([&] { return window->isVisible(); }, kWaitMs));
        windowSize = window->size();
        window->terminalAction->trigger();
        ASSERT_TRUE(window->terminalAction->isChecked());
    }
    QWidget* widgetOf(const ControlDef* def) const {
        if (def->id != kNoId) return window->control(def->id);
        int unnumbered = 0;  // the builder names them static_1, static_2, ... in template order
        for (const ControlDef& c : MainDialogTemplate().controls) {
            unnumbered += c.id == kNoId ? 1 : 0;
            if (&c == def) break;
        }
        return window->findChild<QWidget*>(QStringLiteral("static_%1").arg(unnumbered),
                                           Qt::FindDirectChildrenOnly);
    }
    // What the window has at the middle of the control, which must be the control.
    QWidget* hitAtCentre(int id) const {
        const QWidget* target = window->control(id);
        QWidget* hit = window->childAt(target->geometry().center());
        return hit == target || target->isAncestorOf(hit) ? hit : nullptr;
    }
    void clickAtCentre(int id) {
        const QPoint centre = window->control(id)->geometry().center();
        QWidget* hit = hitAtCentre(id);
        ASSERT_NE(hit, nullptr) << id << " is covered";
        QTest::mouseClick(hit, Qt::LeftButton, {}, hit->mapFrom(window.get(), centre));
    }
    QSize windowSize;
};

TEST_F(TerminalBandTest, ControlsStandInsideTheWindowUncoveredClickableAndInTabOrder) {
    showBand();
    EXPECT_EQ(window->width(), windowSize.width());
    EXPECT_GT(window->height(), windowSize.height());
    QList<QWidget*> shown;
    for (QWidget* child : window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (child->isVisible()) shown.append(child);
    std::vector<QWidget*> focusable;
    for (const PlacedControl& placed : TerminalBandLayout().controls) {
        QWidget* w = widgetOf(placed.control);
        ASSERT_NE(w, nullptr);
        const std::string name = w->objectName().toStdString();
        EXPECT_TRUE(w->isVisible()) << name;
        EXPECT_TRUE(window->rect().contains(w->geometry())) << name;
        for (const QWidget* other : shown) {
            if (other == w || !other->geometry().intersects(w->geometry())) continue;
            const bool held =
                (qobject_cast<const QGroupBox*>(other) && other->geometry().contains(w->geometry())) ||
                (qobject_cast<const QGroupBox*>(w) && w->geometry().contains(other->geometry()));
            EXPECT_TRUE(held) << name << " overlaps " << other->objectName().toStdString();
        }
        if (w->focusPolicy() == Qt::NoFocus) continue;
        EXPECT_NE(hitAtCentre(placed.control->id), nullptr) << name << " is covered";
        focusable.push_back(w);
    }
    // Tab walks the band in its order: the focus chain, each control's inner widgets folded into it.
    std::vector<QWidget*> walked{focusable.front()};
    QWidget* w = focusable.front();
    for (int step = 0; step < 1000 && walked.size() < focusable.size(); ++step) {
        w = w->nextInFocusChain();
        QWidget* top = w;
        while (top->parentWidget() != nullptr && top->parentWidget() != window.get())
            top = top->parentWidget();
        if (top->isVisible() && top->focusPolicy() != Qt::NoFocus && top != walked.back())
            walked.push_back(top);
    }
    EXPECT_EQ(walked, focusable);

    window->terminalAction->trigger();
    EXPECT_EQ(window->size(), windowSize);
    for (const PlacedControl& placed : TerminalBandLayout().controls)
        EXPECT_FALSE(widgetOf(placed.control)->isVisible());
}

struct BandSendCase {
    const char* name;
    bool hex;
    bool enter;  // sent with Enter in the send edit instead of a click on 发送
    const char* typed;
    Bytes sent;
    Bytes answer;
    const char* shown;
};

class BandSendTest : public TerminalBandTest, public ::testing::WithParamInterface<BandSendCase> {};

TEST_P(BandSendTest, TypedTextGoesOutAndTheAnswerShows) {
    const BandSendCase& c = GetParam();
    showBand();
    enterDemo();
    if (c.hex) clickAtCentre(1033);
    EXPECT_EQ(window->isTicked(1033), c.hex);
    clickAtCentre(1036);
    QTest::keyClicks(window->control(1036), QString::fromLatin1(c.typed));
    QWidget* edit = window->control(1036);
    EXPECT_EQ(
        sentBy([&] { c.enter ? QTest::keyClick(edit, Qt::Key_Return) : clickAtCentre(1037); }, c.sent.size()),
        c.sent);
    receive(c.answer);
    EXPECT_EQ(shown(), QString::fromLatin1(c.shown));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BandSendTest,
    ::testing::Values(BandSendCase{"Characters", false, false, "AT", {0x41, 0x54}, {0x4F, 0x4B}, "OK"},
                      BandSendCase{"Hex", true, false, "7B 8B", {0x7B, 0x8B}, {0x31, 0x0D}, "310D"},
                      BandSendCase{"Enter", false, true, "AT", {0x41, 0x54}, {0x4F, 0x4B}, "OK"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TerminalBandTest, ARatePickedFromTheListReopensTheLineAndOneSetByTheProgramDoesNot) {
    showBand();
    enterDemo();
    ASSERT_EQ(server.lineRate(), 57600u);
    auto* list = qobject_cast<QComboBox*>(window->control(1068));
    ASSERT_NE(hitAtCentre(1068), nullptr);
    QTest::mouseClick(list, Qt::LeftButton, {}, QPoint(list->width() - 4, list->height() / 2));  // the arrow
    ASSERT_TRUE(WaitFor([&] { return list->view()->isVisible(); }, kWaitMs));
    // The entry under the pointer, taken with Enter (a click right after the
    // list opens is ignored for a double-click interval).
    QAbstractItemView* view = list->view();
    view->setCurrentIndex(list->model()->index(5, 0));  // "9600"
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(list->currentText(), QStringLiteral("9600"));
    EXPECT_TRUE(status().endsWith(QStringLiteral("波特率9600"))) << status().toStdString();
    EXPECT_TRUE(WaitFor([&] { return server.lineRate() == 9600u; }, kWaitMs)) << server.lineRate();

    window->selectIndex(1068, 10);
    EXPECT_TRUE(status().endsWith(QStringLiteral("波特率9600"))) << status().toStdString();
    EXPECT_EQ(server.lineRate(), 9600u);
}

// Typing leaves the list's old selection: the rate is the one the text names.
TEST_F(TerminalBandTest, ARateTypedIntoTheListReopensTheLineAtThatRate) {
    showBand();
    enterDemo();
    ASSERT_EQ(server.lineRate(), 57600u);
    auto* list = qobject_cast<QComboBox*>(window->control(1068));
    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), QStringLiteral("9600"));
    EXPECT_TRUE(status().endsWith(QStringLiteral("波特率9600"))) << status().toStdString();
    EXPECT_TRUE(WaitFor([&] { return server.lineRate() == 9600u; }, kWaitMs)) << server.lineRate();
}

TEST_F(TerminalBandTest, ClearDisplayEmptiesTheAreaAndItsText) {
    showBand();
    enterDemo();
    receive({0x61, 0x62});
    ASSERT_EQ(shown(), QStringLiteral("ab"));
    clickAtCentre(1038);
    EXPECT_EQ(window->controlText(1000), QString());
    EXPECT_EQ(window->infoText, "");
}

TEST_F(TerminalBandTest, AutoSendRunsFromItsBoxAndStopsWhenUnticked) {
    showBand();
    enterDemo();
    window->setControlText(1036, QStringLiteral("ab"));
    clickAtCentre(1034);
    EXPECT_EQ(window->timerPeriod(kAutoSend), 1000);
    EXPECT_EQ(sentBy([&] { window->OnTimerTick(kAutoSend); }, 2), (Bytes{0x61, 0x62}));
    clickAtCentre(1034);
    EXPECT_FALSE(window->isTicked(1034));
    EXPECT_EQ(window->timerPeriod(kAutoSend), 0);
}

}  // namespace
}  // namespace quill::test
