// Puts a SimulatedDtu on a serial line: a pseudo-terminal that it creates
// (the tool opens devicePath()), or an existing serial device. One thread
// serves the line until stop(); every accessor is thread-safe. Tests wait for
// what the server observed with waitFor(), never by sleeping.
//
// What the server sends goes out at the wire rate it simulates (10 bits a
// byte), since a pseudo-terminal passes bytes on at once whatever rate the
// tool sets. Byte k of a burst is due at start + k * 10 / rate: the server
// writes whatever is due each time it wakes, so late wake-ups never add up.
// Answers go out one after another in the order of their requests; a request
// that arrives while an answer is going out is answered after it.
//
// POSIX only (pseudo-terminals, poll, eventfd); SimulatedDtu is the portable part.
//
// The server keeps the terminal side of its own pseudo-terminal open as well:
// without that, the terminal would hang up each time the tool closes the port,
// and bytes sent meanwhile would be lost rather than wait in the port's queue.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "sim/simulated_dtu.h"

namespace quill {

class DtuServer {
  public:
    static constexpr std::uint32_t kDefaultWireRate = 57600;
    // received() keeps the last this many bytes; receivedTotal() counts all.
    static constexpr std::size_t kReceivedWindow = 64 * 1024;

    DtuServer();
    ~DtuServer();
    DtuServer(const DtuServer&) = delete;
    DtuServer& operator=(const DtuServer&) = delete;

    // Creates a pseudo-terminal pair and starts serving its controlling side.
    bool start();
    // Serves an existing serial device (e.g. one end of a null-modem pair).
    bool startOnDevice(const std::string& path);
    void stop();
    // The path the tool opens; empty before start.
    std::string devicePath() const;

    // The DTU's state and fault knobs.
    DtuItems items() const;
    void setItems(DtuItems items);
    DtuCounters counters() const;
    void setFaults(const DtuFaults& faults);
    // Every answer waits this long before its first byte goes out.
    void setAnswerDelay(std::chrono::milliseconds delay);
    // Answers go out in pieces cut before these offsets, `gap` apart.
    void setAnswerPieces(std::vector<std::size_t> cuts, std::chrono::milliseconds gap);
    // While on, the server sends a counting byte stream as fast as the line takes it.
    void setFlood(bool on);
    // While on, a read request is not answered: the DTU talks without end
    // instead, 0x00 bytes as fast as the line takes them (no frame and no
    // announcement in them), until this is switched off.
    void setTalkAfterRead(bool on);
    // While paused, nothing is read from the line (bytes pile up in the kernel).
    void setReading(bool on);
    // Closes the line as an unplugged device would; the server then idles.
    void vanish();
    // Bits per second on the wire, 10 bits a byte; 0 sends as fast as the
    // line takes the bytes. Applies to answers, send() and the flood alike.
    void setWireRate(std::uint32_t bitsPerSecond);
    std::uint32_t wireRate() const;
    // While quiet the DTU takes nothing in and answers nothing; answers not
    // yet sent are dropped, as when a unit is taken off the line. Bytes given
    // to send() still go out.
    void setQuiet(bool quiet);
    // The next unit on the line: its own factory set and DTU id.
    void nextUnit();
    std::uint32_t unit() const;

    // Sends raw bytes to the tool, after any pending answer.
    void send(std::vector<std::uint8_t> bytes);
    // Writes into the line from the tool's side, as if the tool had sent
    // them (pseudo-terminal only). For tests that look at what reaches the DTU.
    bool writeAsTool(std::span<const std::uint8_t> bytes);
    // Waits until at least `count` bytes wait unread in the tool's input
    // queue (pseudo-terminal only).
    bool waitForToolInput(std::size_t count, std::chrono::milliseconds timeout);
    // The line rate the tool has set (pseudo-terminal only; 0 when unknown).
    std::uint32_t lineRate() const;

    // The last kReceivedWindow bytes received from the tool, and how many
    // came in all; bytes sent by the flood or a talking DTU; bytes of
    // answers and send() that went out, and those queued but not yet sent.
    std::vector<std::uint8_t> received() const;
    std::uint64_t receivedTotal() const;
    std::uint64_t sentTotal() const;
    std::size_t unsentBytes() const;
    std::uint64_t floodBytesSent() const;
    bool vanished() const;

    // Waits until pred() holds (checked whenever the server's state changes),
    // or until the timeout. pred may call the accessors above.
    bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout);

  private:
    using Clock = std::chrono::steady_clock;

    struct Piece {
        std::vector<std::uint8_t> bytes;
        Clock::time_point notBefore;
        bool answer = false;   // from the DTU (dropped when it goes quiet), not from send()
        bool started = false;  // its burst has begun
    };

    bool launch(int lineFd, int toolSideFd, std::string path);
    void serve();
    void queueAnswer(std::vector<std::uint8_t> bytes);
    void keepReceived(std::span<const std::uint8_t> bytes);
    void beginBurst(Clock::time_point at);
    std::size_t dueBytes(Clock::time_point now) const;
    Clock::time_point nextDue() const;
    void changed();

    mutable std::recursive_mutex m_;
    std::condition_variable_any cv_;
    SimulatedDtu dtu_;
    std::chrono::milliseconds delay_{0};
    std::vector<std::size_t> cuts_;
    std::chrono::milliseconds gap_{0};
    bool flood_ = false;
    bool talkAfterRead_ = false;
    bool talking_ = false;  // a read request has set the DTU talking
    bool reading_ = true;
    bool vanishRequested_ = false;
    bool vanished_ = false;
    bool stopRequested_ = false;
    std::deque<Piece> output_;
    std::vector<std::uint8_t> received_;  // up to twice the window, trimmed to it
    std::uint64_t receivedTotal_ = 0;
    std::uint64_t floodSent_ = 0;
    std::uint64_t sentTotal_ = 0;
    std::uint32_t wireRate_ = kDefaultWireRate;
    Clock::time_point burstStart_{};
    std::uint64_t burstSent_ = 0;  // bytes of the current burst written so far
    bool floodRunning_ = false;    // the flood's burst has begun
    std::string path_;

    int lineFd_ = -1;      // the side the DTU speaks on
    int toolSideFd_ = -1;  // our own descriptor of the tool's side (pseudo-terminal only)
    int wakeFd_ = -1;      // eventfd: state changed, look again
    std::thread thread_;
};

}  // namespace quill
