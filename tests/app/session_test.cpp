// Session control through the real window, the real serial engine and a
// simulated DTU on a pseudo-terminal: open, poll, connect, time-out, close,
// the demo state, byte routing, a vanished device and the port list.
#include <unistd.h>

#include <QComboBox>
#include <QLineEdit>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

#include "serial/port_discovery_posix.h"
#include "session_fixture.h"

namespace quill::test {
namespace {

constexpr std::array<int, 8> kTerminalControls{1033, 1034, 1035, 1036, 1037, 1061, 1066, 1067};

QString OpenStatus(const std::string& name, int rate) {
    return FromUtf8("当前状态：串口") + QString::fromStdString(name) + FromUtf8("已打开,波特率") +
           QString::number(rate);
}

TEST_F(SessionTest, OpensAt57600PollsOncePerTickAndConnectsOnTheAnnouncement) {
    server.setFaults(Silent());
    window->selectIndex(1068, 3);
    pointAt(server);
    click(1027);
    ASSERT_TRUE(window->session.portOpen());
    EXPECT_EQ(window->selectedIndex(1068), 9);
    EXPECT_EQ(server.lineRate(), 57600u);
    EXPECT_EQ(status(), OpenStatus(server.devicePath(), 57600));
    EXPECT_EQ(count(kOpenedWait), 1);
    EXPECT_FALSE(enabled(1027));
    EXPECT_TRUE(enabled(1028));
    EXPECT_FALSE(enabled(1029));
    EXPECT_FALSE(enabled(1030));
    EXPECT_EQ(window->timerPeriod(kPoll), 400);
    EXPECT_EQ(window->timerPeriod(kTimeout), 40000);

    for (std::size_t polls = 1; polls <= 3; ++polls) {
        window->OnTimerTick(kPoll);
        ASSERT_TRUE(waitReceived(polls));
    }
    EXPECT_EQ(received(), std::vector<std::uint8_t>(3, 0x37));

    server.setFaults({});
    window->OnTimerTick(kPoll);
    ASSERT_TRUE(waitCount(kConnected));
    EXPECT_TRUE(window->session.dtuConnected());
    EXPECT_TRUE(enabled(1029));
    EXPECT_TRUE(enabled(1030));
    EXPECT_EQ(window->timerPeriod(kPoll), 0);
    EXPECT_EQ(window->timerPeriod(kTimeout), 0);

    // Ticks that come after the announcement send nothing and report nothing:
    // the read request is the next thing on the line.
    window->OnTimerTick(kPoll);
    window->OnTimerTick(kTimeout);
    click(1029);
    EXPECT_TRUE(window->session.assembler().readPending());
    std::vector<std::uint8_t> expected(4, 0x37);
    const auto read = RequestFrame(0x0B);
    expected.insert(expected.end(), read.begin(), read.end());
    ASSERT_TRUE(waitReceived(expected.size()));
    EXPECT_EQ(received(), expected);
    ASSERT_TRUE(waitCount(kReadOk));
    EXPECT_EQ(count(kConnected), 1);
    EXPECT_EQ(count(kTimedOut), 0);
}

TEST_F(SessionTest, TimeOutReportsOnceThenClosesThePort) {
    server.setFaults(Silent());
    pointAt(server);
    click(1027);
    ASSERT_EQ(window->timerPeriod(kTimeout), 40000);
    window->OnTimerTick(kPoll);
    ASSERT_TRUE(waitReceived(1));

    window->OnTimerTick(kTimeout);
    EXPECT_EQ(count(kTimedOut), 1);
    EXPECT_EQ(count(kClosed), 1);
    const QString info = window->controlText(1000);
    EXPECT_LT(info.indexOf(FromUtf8("<-连接DTU超时")), info.indexOf(FromUtf8("<-关闭串口成功")));
    EXPECT_FALSE(window->session.portOpen());
    EXPECT_EQ(window->timerPeriod(kPoll), 0);
    EXPECT_EQ(window->timerPeriod(kTimeout), 0);
    EXPECT_EQ(status(), FromUtf8("当前状态：串口已关闭"));
    EXPECT_TRUE(enabled(1027));
    EXPECT_FALSE(enabled(1028));

    // Late ticks of both timers change nothing.
    window->OnTimerTick(kTimeout);
    window->OnTimerTick(kPoll);
    EXPECT_EQ(count(kTimedOut), 1);
    EXPECT_EQ(count(kClosed), 1);
    EXPECT_EQ(window->timerPeriod(kPoll), 0);
    EXPECT_EQ(received(), std::vector<std::uint8_t>{0x37});
}

TEST_F(SessionTest, FailedOpenShowsTheBoxAndLeavesOpenEnabled) {
    for (const char* path : {"/dev/quillmere-no-such-port", "/etc/hostname"}) {  // missing; no terminal
        boxes.clear();
        window->setControlText(1026, QString::fromUtf8(path));
        click(1027);
        ASSERT_EQ(boxes.size(), 1u) << path;
        EXPECT_EQ(boxes[0].text, FromUtf8("没有发现此串口或被占用"));
        EXPECT_EQ(boxes[0].caption, FromUtf8("错误提示"));
        EXPECT_FALSE(window->session.portOpen());
        EXPECT_TRUE(enabled(1027));
        EXPECT_FALSE(enabled(1028));
        EXPECT_EQ(window->timerPeriod(kPoll), 0);
        EXPECT_EQ(count(kOpenedWait), 0);
    }
}

// What the engine says about a failed open reaches the box; an empty field
// with nothing selected opens nothing (no port 0, and not com1 either).
TEST_F(SessionTest, AFailedOpenExplainsWhatTheEngineFound) {
    struct Unused : PortOwner {
        void postToOwner(std::function<void()>) override {}
        void onPortMessage(std::uint32_t, std::uint32_t, std::uint32_t) override {}
        void onPortError(const std::string&) override {}
        void onPortLost(std::uint32_t) override {}
    } owner;
    CSerialPort holder;  // another program's hold on the port; no worker
    ASSERT_TRUE(holder.OpenPort(&owner, 1, 57600, 'N', 8, 1, EV_RXCHAR, 512, server.devicePath()));
    const QString sentence = FromUtf8("没有发现此串口或被占用");
    struct Case {
        QString typed;
        QString box;
    };
    const Case cases[] = {
        {QString::fromStdString(server.devicePath()), sentence + FromUtf8("\n串口已被其他程序占用。")},
        {QString(), sentence},
    };
    for (const Case& c : cases) {
        boxes.clear();
        window->selectIndex(1026, -1);
        window->setControlText(1026, c.typed);
        click(1027);
        ASSERT_EQ(boxes.size(), 1u) << c.typed.toStdString();
        EXPECT_EQ(boxes[0].text, c.box);
        EXPECT_FALSE(window->session.portOpen());
        EXPECT_EQ(status(), QStringLiteral("Quillmere"));
    }
}

// Closing from each open state: the same close sequence; the flags the close
// leaves alone keep their values, and the next open works.
struct CloseCase {
    const char* name;
    bool connected;
    bool demo;
};

void PrintTo(const CloseCase& c, std::ostream* os) {
    *os << c.name;
}

class CloseFrom : public SessionTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseFrom, RunsTheCloseSequence) {
    const CloseCase& c = GetParam();
    if (!c.connected) server.setFaults(Silent());
    pointAt(server);
    click(1027);
    if (c.connected) {
        window->OnTimerTick(kPoll);
        ASSERT_TRUE(waitCount(kConnected));
    }
    if (c.demo) {
        click(1031);
        ASSERT_TRUE(enabled(1034));
        click(1034);  // timed auto-send runs
        ASSERT_TRUE(window->isTicked(1034));
        ASSERT_GT(window->timerPeriod(kAutoSend), 0);
    }

    click(1028);
    EXPECT_EQ(count(kClosed), 1);
    EXPECT_FALSE(window->session.portOpen());
    EXPECT_EQ(status(), FromUtf8("当前状态：串口已关闭"));
    EXPECT_TRUE(enabled(1027));
    for (const int id : {1028, 1029, 1030, 1032}) EXPECT_FALSE(enabled(id)) << id;
    for (const int id : kTerminalControls) EXPECT_FALSE(enabled(id)) << id;
    for (const int id : {kPoll, kTimeout, kAutoSend}) EXPECT_EQ(window->timerPeriod(id), 0) << id;
    EXPECT_FALSE(window->isTicked(1034));
    EXPECT_EQ(window->isTicked(1031), c.demo);
    EXPECT_EQ(window->session.dtuConnected(), c.connected);
    EXPECT_EQ(window->session.state(), c.demo ? SessionState::DemoPortClosed : SessionState::Closed);

    window->OnTimerTick(kTimeout);  // never a time-out after a close
    window->OnTimerTick(kAutoSend);
    EXPECT_EQ(count(kTimedOut), 0);
    EXPECT_EQ(window->timerPeriod(kPoll), 0);

    click(1027);
    ASSERT_TRUE(window->session.portOpen());
    if (c.demo) {
        EXPECT_EQ(count(kOpenedDemo), 1);
    } else {
        EXPECT_EQ(count(kOpenedWait), 2);
        EXPECT_FALSE(window->session.dtuConnected());  // cleared before the DTU can be found again
    }
}

INSTANTIATE_TEST_SUITE_P(States, CloseFrom,
                         ::testing::Values(CloseCase{"WaitingForDtu", false, false},
                                           CloseCase{"Connected", true, false},
                                           CloseCase{"Demo", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, DemoStateStopsThePollKeepsTheRateAndLeavingItWaitsAgainAt57600) {
    server.setFaults(Silent());
    pointAt(server);
    click(1027);
    window->OnTimerTick(kPoll);
    ASSERT_TRUE(waitReceived(1));

    click(1031);
    EXPECT_EQ(count(kDemoEntered), 1);
    EXPECT_EQ(window->timerPeriod(kPoll), 0);
    EXPECT_EQ(window->timerPeriod(kTimeout), 0);
    EXPECT_FALSE(enabled(1029));
    EXPECT_FALSE(enabled(1030));
    EXPECT_TRUE(enabled(1032));
    for (const int id : kTerminalControls) EXPECT_TRUE(enabled(id)) << id;
    EXPECT_EQ(server.lineRate(), 57600u);

    // A poll tick left over sends nothing: the reset request comes next.
    window->OnTimerTick(kPoll);
    click(1032);
    EXPECT_TRUE(window->session.assembler().readPending());
    std::vector<std::uint8_t> expected{0x37};
    const auto reset = RequestFrame(0x0F);
    expected.insert(expected.end(), reset.begin(), reset.end());
    ASSERT_TRUE(waitReceived(expected.size()));
    EXPECT_EQ(received(), expected);
    ASSERT_TRUE(waitCount(kReadOk));  // the reset's answer is taken as a read answer

    window->selectIndex(1068, 5);
    window->OnDemoRatePicked();
    EXPECT_EQ(server.lineRate(), 9600u);
    EXPECT_EQ(status(), OpenStatus(server.devicePath(), 9600));

    click(1031);  // leave the demo state
    EXPECT_EQ(count(kReconnect), 1);
    EXPECT_EQ(window->selectedIndex(1068), 9);
    EXPECT_EQ(server.lineRate(), 57600u);
    EXPECT_EQ(status(), OpenStatus(server.devicePath(), 57600));
    EXPECT_EQ(window->timerPeriod(kPoll), 400);
    EXPECT_EQ(window->timerPeriod(kTimeout), 40000);
    EXPECT_FALSE(window->session.dtuConnected());
    EXPECT_FALSE(enabled(1032));
    for (const int id : kTerminalControls) EXPECT_FALSE(enabled(id)) << id;

    server.setFaults({});
    window->OnTimerTick(kPoll);
    ASSERT_TRUE(waitCount(kConnected));
}

TEST_F(SessionTest, DemoWithThePortClosedOpensAtTheDemoRate) {
    click(1031);
    EXPECT_EQ(count(kDemoPortClosed), 1);
    EXPECT_FALSE(enabled(1029));
    EXPECT_FALSE(enabled(1030));

    window->selectIndex(1068, 5);
    pointAt(server);
    click(1027);
    ASSERT_TRUE(window->session.portOpen());
    EXPECT_EQ(count(kOpenedDemo), 1);
    EXPECT_EQ(count(kOpenedWait), 0);
    EXPECT_EQ(server.lineRate(), 9600u);
    EXPECT_EQ(window->selectedIndex(1068), 5);
    EXPECT_EQ(window->timerPeriod(kPoll), 0);
    EXPECT_TRUE(enabled(1032));
    for (const int id : kTerminalControls) EXPECT_TRUE(enabled(id)) << id;

    // The operator edits the rate list's text; no selection stands for 57600.
    auto* rates = qobject_cast<QComboBox*>(window->control(1068));
    window->selectIndex(1068, 10);
    emit rates->lineEdit()->textEdited(QStringLiteral("115200"));
    EXPECT_EQ(server.lineRate(), 115200u);
    window->selectIndex(1068, -1);
    emit rates->lineEdit()->textEdited(QString());
    EXPECT_EQ(server.lineRate(), 57600u);

    click(1028);
    const int reports = static_cast<int>(window->controlText(1000).count(QStringLiteral("<-")));
    click(1031);  // Demo, port closed -> Closed
    EXPECT_FALSE(enabled(1029));
    EXPECT_FALSE(enabled(1030));
    EXPECT_EQ(window->timerPeriod(kPoll), 0);
    EXPECT_EQ(window->controlText(1000).count(QStringLiteral("<-")), reports);
}

TEST_F(SessionTest, LeavingDemoStartsAWaitEvenWhenTheReopenFails) {
    connectDtu();
    click(1031);
    window->setControlText(1026, QStringLiteral("/dev/quillmere-no-such-port"));
    click(1031);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(count(kReconnect), 0);
    EXPECT_TRUE(window->session.portOpen());
    EXPECT_FALSE(window->session.dtuConnected());
    EXPECT_EQ(window->timerPeriod(kPoll), 400);
    EXPECT_EQ(window->timerPeriod(kTimeout), 40000);

    window->OnTimerTick(kTimeout);
    EXPECT_EQ(count(kTimedOut), 1);
    EXPECT_EQ(count(kClosed), 1);
    EXPECT_FALSE(window->session.portOpen());
}

// The announcement byte is only an announcement while the session waits;
// once connected or in the demo state it is data for the assembler. The DTU
// does not listen, so the only answer is the one the test sends: a read
// answer of six bytes whose fifth is 0x6C.
class AnnouncementByte : public SessionTest, public ::testing::WithParamInterface<bool> {};

TEST_P(AnnouncementByte, GoesToTheAssemblerOnceConnected) {
    const bool demo = GetParam();
    if (demo) {  // straight from the wait, where the byte would otherwise announce the DTU
        openQuiet();
        click(1031);
    } else {
        connectQuiet();
    }
    const std::uint64_t writes = window->session.line().engine().completedWrites();
    click(demo ? 1032 : 1029);
    ASSERT_TRUE(window->session.assembler().readPending());
    sendAfterWrites(writes + 1, {0x7B, 0x8B, 0x00, 0x06, 0x6C, 0x7B}, &quiet);
    ASSERT_TRUE(waitCount(kReadOk));
    EXPECT_FALSE(window->session.assembler().readPending());
    EXPECT_EQ(count(kConnected), demo ? 0 : 1);
    EXPECT_EQ(window->session.dtuConnected(), !demo);
}

INSTANTIATE_TEST_SUITE_P(ConnectedOrDemo, AnnouncementByte, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Demo" : "Connected"); });

TEST_F(SessionTest, OtherBytesWhileWaitingAreDroppedAndTheAnnouncementStillCounts) {
    server.setFaults(Silent());
    pointAt(server);
    click(1027);
    window->OnTimerTick(kPoll);
    sendAfterWrites(1, {0x41, 0x7B, 0x8B, 0x00, 0x05, 0x7B});
    ASSERT_TRUE(WaitFor([&] { return window->session.line().bytesReceived() == 6; }, kWaitMs));
    EXPECT_EQ(count(kReadOk), 0);
    EXPECT_EQ(window->session.assembler().receiveCount(), 0);
    EXPECT_FALSE(window->session.dtuConnected());
    sendAfterWrites(1, {0x6C});
    ASSERT_TRUE(waitCount(kConnected));
}

TEST_F(SessionTest, VanishedDeviceClosesTheSessionOnceAndTheNextOpenWorks) {
    connectDtu();
    server.vanish();
    ASSERT_TRUE(waitCount(kLost));
    EXPECT_FALSE(window->session.portOpen());
    EXPECT_EQ(status(), FromUtf8("当前状态：串口已关闭"));
    EXPECT_TRUE(enabled(1027));
    for (const int id : {1028, 1029, 1030}) EXPECT_FALSE(enabled(id)) << id;
    EXPECT_EQ(count(kClosed), 0);
    EXPECT_TRUE(boxes.empty());

    DtuServer replacement;
    ASSERT_TRUE(replacement.start());
    pointAt(replacement);
    click(1027);
    ASSERT_TRUE(window->session.portOpen());
    window->OnTimerTick(kPoll);
    ASSERT_TRUE(waitCount(kConnected, 2));
    EXPECT_EQ(count(kLost), 1);
    window.reset();  // before the replacement's terminal goes away
}

// The entry of a port pulled out while its session runs stays until the session has let it go.
TEST_F(SessionTest, APulledPortsEntryGoesWhenItsSessionEnds) {
    std::vector<FoundPort> system{{server.devicePath(), "pty"}};
    window->findPorts = [&] { return system; };
    window->OnPortsChanged();
    auto* list = qobject_cast<QComboBox*>(window->control(1026));
    window->selectIndex(1026, 10);
    connectDtu();
    system.clear();
    window->OnPortsChanged();  // the system's report of the removal comes first
    EXPECT_EQ(list->itemText(10), QString::fromStdString(server.devicePath() + " pty"));
    server.vanish();
    ASSERT_TRUE(waitCount(kLost));
    EXPECT_EQ(list->itemText(10), FromUtf8("自动查找DTU"));
}

// The pulled adapter comes back under its name (on another device path, as
// after a replug): the window opens it again once and waits for the DTU; the
// operator's own choice of port in between cancels that.
TEST_F(SessionTest, APulledAdapterThatComesBackIsOpenedAgainUnlessAnotherPortWasChosen) {
    for (const bool chooseAnother : {false, true}) {
        SCOPED_TRACE(chooseAnother);
        DtuServer unit;
        ASSERT_TRUE(unit.start());
        std::vector<FoundPort> system{{unit.devicePath(), "usb-Acme_A1-if00-port0"}};
        window->findPorts = [&] { return system; };
        window->OnPortsChanged();
        window->selectIndex(1026, 10);
        click(1027);
        window->OnTimerTick(kPoll);
        ASSERT_TRUE(waitCount(kConnected, chooseAnother ? 2 : 1));
        const int lost = count(kLost);
        system.clear();
        unit.vanish();
        ASSERT_TRUE(waitCount(kLost, lost + 1));
        if (chooseAnother) window->OnPortPicked();

        DtuServer back;
        ASSERT_TRUE(back.start());
        system = {{back.devicePath(), "usb-Acme_A1-if00-port0"}};
        window->OnPortsChanged();
        EXPECT_EQ(window->session.portOpen(), !chooseAnother);
        if (!chooseAnother) {
            EXPECT_EQ(window->controlText(1026).toStdString(), back.devicePath() + " usb-Acme_A1-if00-port0");
            EXPECT_TRUE(window->controlText(1000).contains(FromUtf8("已重新接入，重新打开")));
            window->OnTimerTick(kPoll);
            ASSERT_TRUE(waitCount(kConnected, 2));
            window->OnPortsChanged();  // once: a later report opens nothing again
            click(1028);
        }
        EXPECT_FALSE(window->session.portOpen());
    }
}

TEST_F(SessionTest, PortListOffersTheSearchAndTheSimulatedDtuAfterThePorts) {
    auto* list = qobject_cast<QComboBox*>(window->control(1026));
    ASSERT_NE(list, nullptr);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(list->itemText(i), QStringLiteral("com%1").arg(i + 1));
    EXPECT_EQ(window->simulatorEntry(), list->count() - 1);
    EXPECT_EQ(list->itemText(window->simulatorEntry()), FromUtf8("模拟DTU（无需硬件）"));
    EXPECT_EQ(list->itemText(window->simulatorEntry() - 1), FromUtf8("自动查找DTU"));
    const std::vector<FoundPort> found = FindSerialPorts();
    const auto builtIn =
        std::count_if(found.begin(), found.end(), [](const FoundPort& p) { return p.builtInUart; });
    EXPECT_EQ(list->count(), 12 + static_cast<int>(found.size() - static_cast<std::size_t>(builtIn)));

    window->selectIndex(1026, window->simulatorEntry());
    click(1027);
    ASSERT_TRUE(window->session.portOpen());
    ASSERT_NE(window->simulator(), nullptr);
    EXPECT_EQ(status(), FromUtf8("当前状态：串口模拟DTU已打开,波特率57600"));
    window->OnTimerTick(kPoll);
    ASSERT_TRUE(waitCount(kConnected));
    click(1029);
    ASSERT_TRUE(waitCount(kReadOk));
    EXPECT_EQ(window->controlText(1044), FromUtf8("城东变电站"));
    EXPECT_EQ(window->simulator()->counters().readRequests, 1u);
}

// The list takes the machine's ports as the one discovery finds them: in the
// order people count, an adapter once however many names lead to it.
TEST_F(SessionTest, PortListShowsTheDiscoveredPortsInOrderEachOnce) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("quillmere-dev-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "serial" / "by-id");
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0"}) std::ofstream(root / name).put('x');
    fs::create_symlink("../../ttyUSB2", root / "serial" / "by-id" / "usb-A-if00-port0");
    // Reached through a second name for the folder, as /dev/serial often is.
    fs::create_symlink(root, root.string() + "-link");
    window->FillPortList(FindSerialPorts(root.string() + "-link"));

    auto* list = qobject_cast<QComboBox*>(window->control(1026));
    ASSERT_NE(list, nullptr);
    const QString r = QString::fromStdString(fs::canonical(root).string());
    QStringList shown;
    for (int i = 10; i < list->count(); ++i) shown << list->itemText(i);
    EXPECT_EQ(shown, (QStringList{r + "/ttyACM0", r + "/ttyUSB2 usb-A-if00-port0", r + "/ttyUSB10",
                                  FromUtf8("自动查找DTU"), FromUtf8("模拟DTU（无需硬件）")}));
    EXPECT_EQ(window->simulatorEntry(), 14);
    fs::remove(root.string() + "-link");
    fs::remove_all(root);
}

TEST_F(SessionTest, EngineTasksRunLaterOnTheWindowThreadAndNeverAfterTheWindow) {
    bool ran = false;
    QThread* ranOn = nullptr;
    std::thread worker([&] {
        window->postToOwner([&] {
            ranOn = QThread::currentThread();
            ran = true;
        });
    });
    worker.join();
    EXPECT_FALSE(ran);
    ASSERT_TRUE(WaitFor([&] { return ran; }, kWaitMs));
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());

    // A line error is the window's "Application Error" box.
    window->session.line().onPortError("WARNING:  ReadFile() Failed");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Application Error"));
    EXPECT_EQ(boxes[0].icon, CTarnwellDlg::MessageIcon::Error);

    bool late = false;
    window->postToOwner([&] { late = true; });
    window.reset();
    QCoreApplication::processEvents();
    EXPECT_FALSE(late);
}

// Tried as a new user would at a slow line (960 bytes/s): press read, press
// it again while the answer is still arriving. The tail of the first answer
// comes first, then the second answer: the second is taken.
TEST_F(SessionTest, ReadPressedAgainWhileTheAnswerArrivesTakesTheSecondAnswer) {
    server.setWireRate(9600);
    connectDtu();
    click(1029);
    ASSERT_TRUE(server.waitFor([&] { return server.sentTotal() > 200; }, std::chrono::milliseconds(kWaitMs)));
    click(1029);
    ASSERT_TRUE(waitCount(kReadOk));
    ASSERT_TRUE(
        server.waitFor([&] { return server.unsentBytes() == 0; }, std::chrono::milliseconds(kWaitMs)));
    EXPECT_TRUE(WaitFor([&] { return !window->session.assembler().readPending(); }, kWaitMs));
    EXPECT_EQ(count(kReadFailed), 0);
    EXPECT_EQ(count(kReadOk), 1);
    EXPECT_EQ(window->controlText(1044), FromUtf8("城东变电站"));
}

}  // namespace
}  // namespace quill::test
