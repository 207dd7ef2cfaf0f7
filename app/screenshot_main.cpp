// quillmere-screenshot OUT.png [about|read|terminal|search]: renders the main
// window (or the about box) offscreen and writes it as a PNG. "read" first
// opens the built-in simulated DTU, waits for it to announce itself and reads
// its parameters, so the picture shows a whole session; "terminal" shows the
// terminal band in the demo state after a send and some received text;
// "search" finds a simulated DTU among three simulated adapters through the
// list's search entry, "searching" shows that search before any answer;
// "check" checks the read unit against a parameter file that differs in one
// field; "history" shows the history dialog over a few records kept in a
// folder of its own. Used for the README's pictures.
#include <stdlib.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>
#include <QWindow>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/about_dlg.h"
#include "app/history_dlg.h"
#include "app/tarnwell_dlg.h"
#include "form/history_table.h"
#include "form/write_history.h"

namespace {

bool RenderTo(QWidget& widget, const char* path) {
    widget.show();
    // Let the window be laid out and painted before grabbing it.
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() &&
           (widget.windowHandle() == nullptr || !widget.windowHandle()->isExposed()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    const QPixmap picture = widget.grab();
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(path), "PNG")) {
        std::fprintf(stderr, "quillmere-screenshot: cannot write %s\n", path);
        return false;
    }
    std::printf("%s: %dx%d\n", path, picture.width(), picture.height());
    return true;
}

// Opens the simulated DTU through the real engine, polls until it announces
// itself and reads its parameter set, as an operator would.
bool WaitFor(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(5000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool ReadFromSimulator(quill::CTarnwellDlg& window) {
    const auto& waitFor = WaitFor;
    window.selectIndex(quill::kPortListId, window.simulatorEntry());
    window.OnOpenPort();
    if (!window.session.portOpen()) return false;
    window.OnTimerTick(quill::TIMER_DTU_POLL);
    if (!waitFor([&] { return window.session.dtuConnected(); })) return false;
    window.OnReadParameters();
    const QString done = QString::fromUtf8("读取参数成功");
    return waitFor([&] { return window.infoAreaText().contains(done); });
}

// The terminal band in the demo state on the simulated DTU: one line sent,
// what the DTU's serial side says shown as characters.
bool TerminalWithSimulator(quill::CTarnwellDlg& window) {
    window.ShowTerminalControls(true);
    window.selectIndex(quill::kPortListId, window.simulatorEntry());
    window.setTicked(quill::kConfigDoneBoxId, true);
    window.OnOpenPort();
    if (!window.session.portOpen() || window.simulator() == nullptr) return false;
    window.setControlText(quill::kSendEditId, QStringLiteral("AT+CSQ"));
    window.OnSend();
    // The worker drops what waits on the line when it starts; after its first
    // write, bytes from the DTU are kept.
    if (!WaitFor([&] { return window.session.line().engine().completedWrites() > 0; })) return false;
    const std::string answer = "+CSQ: 23,99\r\nOK\r\n";
    window.simulator()->send(std::vector<std::uint8_t>(answer.begin(), answer.end()));
    return WaitFor([&] { return window.infoAreaText().contains(QStringLiteral("OK")); });
}

// Three simulated adapters, the second with a DTU behind it, searched by the
// list's search entry; found unless the picture is of the search going on.
bool SearchAmongSimulators(quill::CTarnwellDlg& window, std::vector<std::unique_ptr<quill::DtuServer>>& lines,
                           bool untilFound) {
    std::vector<quill::FoundPort> found;
    for (int i = 0; i < 3; ++i) {
        lines.push_back(std::make_unique<quill::DtuServer>());
        quill::DtuFaults faults;
        faults.noAnnouncement = i != 1;
        lines.back()->setFaults(faults);
        if (!lines.back()->start()) return false;
        found.push_back({lines.back()->devicePath(), "sim-adapter-" + std::to_string(i)});
    }
    window.findPorts = [found] { return found; };
    window.FillPortList(found);
    window.selectIndex(quill::kPortListId, window.simulatorEntry() - 1);
    window.OnOpenPort();
    if (!untilFound) return window.session.state() == quill::SessionState::Searching;
    window.OnTimerTick(quill::TIMER_DTU_POLL);
    return WaitFor([&] { return window.session.dtuConnected(); });
}

// After a read, a file that names the station otherwise and the SMS centre as it is.
bool CheckAgainstFile(quill::CTarnwellDlg& window, const QString& folder) {
    if (!ReadFromSimulator(window)) return false;
    const QString path = folder + QStringLiteral("/station.json");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(R"({"format": "quillmere-parameters", "version": 1,
        "fields": {"stationName": "城西开关站", "smsCentreNumber": "+8613800100500"}})");
    file.close();
    window.fileDialogHook = [path](bool) { return path; };
    window.OnCheckParameterFile();
    const QString verdict = QString::fromUtf8("核对结果");
    return WaitFor([&] { return window.infoAreaText().contains(verdict); });
}

// Three writes as the history keeps them, in a data folder of the picture's own.
bool WriteSampleHistory(const QString& folder) {
    ::setenv("XDG_DATA_HOME", folder.toLocal8Bit().constData(), 1);
    const std::vector<quill::HistoryRecord> records{
        {"2026-12-09T08:02:11+08:00",
         "window",
         "模拟DTU",
         "13912345678",
         {{"站名", "城东变电站"}},
         "written",
         "passed",
         {},
         {}},
        {"2026-12-09T10:15:40+08:00",
         "provision",
         "/dev/ttyUSB0",
         "13912345679",
         {{"DTU编号", "13912345679"},
          {"站名", "城西开关站"},
          {"短信中心号码", "+8613800100500"},
          {"数据通道", "1"}},
         "written",
         "differs",
         {"数据通道"},
         {}},
        {"2026-12-10T09:30:05+08:00",
         "write",
         "/dev/ttyUSB1",
         "",
         {{"站名", "北郊站"}},
         "no-answer",
         "none",
         {},
         {}},
    };
    for (const quill::HistoryRecord& record : records)
        if (!quill::AppendHistoryLine(quill::DefaultHistoryPath(), quill::HistoryLine(record)).empty())
            return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool about = argc == 3 && std::strcmp(argv[2], "about") == 0;
    const bool read = argc == 3 && std::strcmp(argv[2], "read") == 0;
    const bool terminal = argc == 3 && std::strcmp(argv[2], "terminal") == 0;
    const bool search = argc == 3 && std::strcmp(argv[2], "search") == 0;
    const bool searching = argc == 3 && std::strcmp(argv[2], "searching") == 0;
    const bool check = argc == 3 && std::strcmp(argv[2], "check") == 0;
    const bool history = argc == 3 && std::strcmp(argv[2], "history") == 0;
    if (argc < 2 || argc > 3 ||
        (argc == 3 && !about && !read && !terminal && !search && !searching && !check && !history)) {
        std::fprintf(
            stderr,
            "usage: quillmere-screenshot OUT.png [about|read|terminal|search|searching|check|history]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // Declared before the window: the window closes its port before a line vanishes.
    std::vector<std::unique_ptr<quill::DtuServer>> lines;
    quill::CTarnwellDlg window;
    if (about) {
        quill::CAboutDlg about(window.appIcon, &window);
        return RenderTo(about, argv[1]) ? 0 : 1;
    }
    if (history) {
        const QTemporaryDir folder;
        if (!folder.isValid() || !WriteSampleHistory(folder.path())) return 1;
        quill::CHistoryDlg dialog(quill::HistoryTableOf(quill::ReadHistory(quill::DefaultHistoryPath())),
                                  &window);
        return RenderTo(dialog, argv[1]) ? 0 : 1;
    }
    window.show();
    const QTemporaryDir checkFolder;
    if (check && !CheckAgainstFile(window, checkFolder.path())) {
        std::fprintf(stderr, "quillmere-screenshot: the check did not conclude\n");
        return 1;
    }
    if (read && !ReadFromSimulator(window)) {
        std::fprintf(stderr, "quillmere-screenshot: the simulated DTU did not answer\n");
        return 1;
    }
    if (terminal && !TerminalWithSimulator(window)) {
        std::fprintf(stderr, "quillmere-screenshot: the simulated DTU's line did not work\n");
        return 1;
    }
    if ((search || searching) && !SearchAmongSimulators(window, lines, search)) {
        std::fprintf(stderr, "quillmere-screenshot: the search did not find the simulated DTU\n");
        return 1;
    }
    return RenderTo(window, argv[1]) ? 0 : 1;
}
