// How fast the demo-state terminal shows received bytes, and how quickly the
// window answers a click meanwhile. A simulated DTU floods a pseudo-terminal
// with a counting byte stream (00 01 02 ... FF 00 ...); the real serial engine
// hands every byte to the real window (offscreen), which shows it in hex mode.
//
// Reported: bytes per second shown in windows of 1 MB of bytes (2 MB of
// text) that start at 10 KB, 1 MB and 10 MB of text in the information area
// (median and lowest over the rounds); the delay of a
// mouse click on the help button, requested from another thread every 20 ms,
// from the request to the click's handler; and whether every byte arrived, in order.
//
// BENCH_NO_CLICKS=1 leaves the clicks out.
//
// Usage: bench_terminal_display [MB of text per round, default 13] [rounds, default 3]
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPushButton>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "app/tarnwell_dlg.h"
#include "sim/dtu_server.h"

namespace {

using quill::CTarnwellDlg;
using quill::DtuServer;
using Clock = std::chrono::steady_clock;

constexpr qint64 kWindowBytes = 1024 * 1024;  // bytes per measured window (2 MB of hex text)
constexpr qint64 kKB = 1024;
constexpr qint64 kMB = 1024 * 1024;
constexpr std::uint8_t kMarker = 0x55;

struct Sample {
    qint64 ns;
    qint64 bytes;  // bytes handled by the window so far
};

// Posts a click on the help button every 20 ms and collects how long each
// took to reach its handler.
class ClickProbe {
  public:
    explicit ClickProbe(CTarnwellDlg& window) : window(window), button(window.control(1043)) {
        at = QPointF(button->width() / 2.0, button->height() / 2.0);
        globalAt = button->mapToGlobal(at);
        window.messageBoxHook = [this](const QString&, const QString&, CTarnwellDlg::MessageIcon) {
            const auto posted = Clock::time_point(Clock::duration(postedAt.load()));
            delays.push_back(std::chrono::duration<double, std::milli>(Clock::now() - posted).count());
            ++answered;
            return 0x400;
        };
    }
    ~ClickProbe() {
        stop();
        window.messageBoxHook = nullptr;
    }
    void start() {
        running = true;
        poster = std::thread([this] { run(); });
    }
    // Stops posting and lets the clicks already posted arrive.
    void stop() {
        running = false;
        if (poster.joinable()) poster.join();
        const QDeadlineTimer deadline(5000);
        while (answered < posted && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    int unanswered() const { return posted - answered; }

    std::vector<double> delays;  // ms, on the window thread only

  private:
    void run() {
        auto next = Clock::now();
        while (running) {
            next += std::chrono::milliseconds(20);
            std::this_thread::sleep_until(next);  // paces the load; nothing here waits for an event
            if (answered < posted) continue;      // one click at a time, so each delay is its own
            postedAt = Clock::now().time_since_epoch().count();
            ++posted;
            // The click is made on the window's thread (input events belong
            // there); its delay counts from this post.
            QMetaObject::invokeMethod(
                button, [this] { click(); }, Qt::QueuedConnection);
        }
    }

    void click() {
        QMouseEvent press(QEvent::MouseButtonPress, at, globalAt, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(button, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, globalAt, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(button, &release);
    }

    CTarnwellDlg& window;
    QWidget* button;
    QPointF at;
    QPointF globalAt;
    std::thread poster;
    std::atomic<bool> running{false};
    std::atomic<int> posted{0};
    std::atomic<int> answered{0};
    std::atomic<Clock::rep> postedAt{0};
};

// Bytes per second between the samples where the handled count crosses
// `from` and `from + kWindowBytes`.
double RateFrom(const std::vector<Sample>& samples, qint64 from) {
    const auto first =
        std::find_if(samples.begin(), samples.end(), [&](const Sample& s) { return s.bytes >= from; });
    const auto last =
        std::find_if(first, samples.end(), [&](const Sample& s) { return s.bytes >= from + kWindowBytes; });
    if (first == samples.end() || last == samples.end() || last->ns == first->ns) return 0;
    return double(last->bytes - first->bytes) * 1e9 / double(last->ns - first->ns);
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * double(values.size())))];
}

// The shown hex after `prefix` characters is 00 01 02 ... with no gap.
bool CountingRun(const QString& text, qsizetype prefix, qint64 expectedBytes) {
    if (text.size() - prefix != 2 * expectedBytes) return false;
    int expected = 0;
    for (qsizetype i = prefix; i + 1 < text.size(); i += 2) {
        const int value = text.mid(i, 2).toInt(nullptr, 16);
        if (value != expected) return false;
        expected = (expected + 1) & 0xFF;
    }
    return true;
}

struct Round {
    std::vector<Sample> samples;
    std::vector<double> clickDelays;
    int unanswered = 0;
    qint64 sent = 0;
    qint64 handled = 0;
    qsizetype prefix = 0;
    bool complete = false;
    double exchangeMs = 0;  // one save exchange with the full area
};

// One flood from an empty information area until it holds `totalText` characters.
bool RunRound(qint64 totalText, Round& round) {
    DtuServer server;
    if (!server.start()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return false;
    }
    quill::DtuFaults silent;
    silent.noAnnouncement = true;
    server.setFaults(silent);

    CTarnwellDlg window;
    window.show();
    window.setControlText(1026, QString::fromStdString(server.devicePath()));
    window.setTicked(1031, true);  // demo state
    window.setTicked(1033, true);  // hex mode
    window.OnOpenPort();
    if (!window.session.portOpen()) {
        std::fprintf(stderr, "the port did not open\n");
        return false;
    }
    const auto handled = [&] { return static_cast<qint64>(window.session.line().bytesReceived()); };
    // The worker discards what waits on the line when it starts; the flood
    // begins once a marker byte has come through, and the area then holds the
    // opening report and the marker.
    for (int tries = 0; handled() == 0 && tries < 50; ++tries) {
        server.send({kMarker});
        const QDeadlineTimer through(100);
        while (handled() == 0 && !through.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const QDeadlineTimer settle(50);  // a marker sent before one that came through may still be on its way
    while (!settle.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 base = handled();
    if (base == 0) {
        std::fprintf(stderr, "no byte came through\n");
        return false;
    }
    round.prefix = window.controlText(1000).size();
    ClickProbe probe(window);

    round.samples.reserve(1 << 20);
    const auto flooded = [&] { return handled() - base; };
    const qint64 targetBytes = (totalText - round.prefix) / 2;
    QElapsedTimer clock;
    clock.start();
    if (qEnvironmentVariableIsEmpty("BENCH_NO_CLICKS")) probe.start();
    server.setWireRate(0);  // the display's own limit, not the line's
    server.setFlood(true);
    while (flooded() < targetBytes) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        round.samples.push_back({clock.nsecsElapsed(), flooded()});
    }
    server.setFlood(false);
    // What is still on the line arrives; reading the text writes what is queued.
    const QDeadlineTimer drain(5000);
    while (!drain.hasExpired() && flooded() < static_cast<qint64>(server.floodBytesSent()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    probe.stop();
    round.clickDelays = probe.delays;
    round.unanswered = probe.unanswered();
    round.sent = static_cast<qint64>(server.floodBytesSent());
    round.handled = flooded();
    const QString shown = window.controlText(1000);  // the whole text, as the save exchange reads it
    QElapsedTimer exchange;
    exchange.start();
    window.ExchangeFormData(true);  // what every Send runs first
    round.exchangeMs = double(exchange.nsecsElapsed()) / 1e6;
    round.complete = round.handled == round.sent && CountingRun(shown, round.prefix, round.handled);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 totalText = (argc > 1 ? std::atoll(argv[1]) : 13) * kMB;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    constexpr qint64 kStarts[] = {10 * kKB, 1 * kMB, 10 * kMB};

    std::vector<std::vector<double>> rates(std::size(kStarts));
    std::vector<double> delays;
    bool allComplete = true;
    for (int r = 0; r < rounds; ++r) {
        Round round;
        if (!RunRound(totalText, round)) return 1;
        const double seconds = double(round.samples.back().ns) / 1e9;
        std::printf(
            "round %d: %lld bytes sent, %lld shown, %.2f s, average %.0f bytes/s, every byte in order: %s, "
            "one save exchange %.0f ms\n",
            r + 1, static_cast<long long>(round.sent), static_cast<long long>(round.handled), seconds,
            double(round.samples.back().bytes) / seconds, round.complete ? "yes" : "NO", round.exchangeMs);
        for (std::size_t i = 0; i < std::size(kStarts); ++i)
            rates[i].push_back(RateFrom(round.samples, std::max<qint64>(0, (kStarts[i] - round.prefix) / 2)));
        delays.insert(delays.end(), round.clickDelays.begin(), round.clickDelays.end());
        allComplete = allComplete && round.complete && round.unanswered == 0;
    }

    std::printf("\n%-34s %12s %12s %12s\n", "text in the area (window of bytes)", "median B/s", "lowest B/s",
                "goal 115200");
    for (std::size_t i = 0; i < std::size(kStarts); ++i) {
        const double lowest = *std::min_element(rates[i].begin(), rates[i].end());
        std::printf("%8lld KB (+%lld KB of bytes)      %12.0f %12.0f %12s\n",
                    static_cast<long long>(kStarts[i] / kKB), static_cast<long long>(kWindowBytes / kKB),
                    Percentile(rates[i], 0.5), lowest, lowest >= 115200 ? "met" : "MISSED");
    }
    std::printf("click delay over %zu clicks: median %.1f ms, p99 %.1f ms, worst %.1f ms (goal 100 ms: %s)\n",
                delays.size(), Percentile(delays, 0.5), Percentile(delays, 0.99), Percentile(delays, 1.0),
                Percentile(delays, 1.0) <= 100 ? "met" : "MISSED");
    return allComplete ? 0 : 2;
}
