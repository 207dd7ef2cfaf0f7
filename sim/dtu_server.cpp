#include "sim/dtu_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace quill {
namespace {

constexpr std::size_t kChunk = 4096;
constexpr double kBitsPerByte = 10.0;  // start bit, 8 data bits, stop bit

// Milliseconds for poll() to wait until `at`: rounded up, at least 1, so the
// loop never wakes before a byte is due and never spins.
int WaitMs(std::chrono::steady_clock::duration left) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::clamp<long long>(ms, 1, 60'000));
}

// The shorter of two poll() timeouts, -1 standing for none.
int Sooner(int a, int b) {
    if (a < 0) return b;
    if (b < 0) return a;
    return std::min(a, b);
}

void MakeRaw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return;
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&t, B57600);
    ::cfsetospeed(&t, B57600);
    ::tcsetattr(fd, TCSANOW, &t);
}

std::uint32_t RateOf(speed_t code) {
    constexpr std::array<std::pair<speed_t, std::uint32_t>, 13> kRates{{
        {B300, 300},
        {B600, 600},
        {B1200, 1200},
        {B2400, 2400},
        {B4800, 4800},
        {B9600, 9600},
        {B19200, 19200},
        {B38400, 38400},
        {B57600, 57600},
        {B115200, 115200},
        {B230400, 230400},
        {B460800, 460800},
        {B921600, 921600},
    }};
    for (const auto& [c, rate] : kRates) {
        if (c == code) return rate;
    }
    return 0;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

DtuServer::DtuServer() = default;

DtuServer::~DtuServer() {
    stop();
}

bool DtuServer::start() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) return false;
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        ::close(master);
        return false;
    }
    std::array<char, 128> name{};
    if (::ptsname_r(master, name.data(), name.size()) != 0) {
        ::close(master);
        return false;
    }
    const int slave = ::open(name.data(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        ::close(master);
        return false;
    }
    MakeRaw(slave);  // no echo, no line editing until the tool sets its own mode
    return launch(master, slave, name.data());
}

bool DtuServer::startOnDevice(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    MakeRaw(fd);
    return launch(fd, -1, path);
}

bool DtuServer::launch(int lineFd, int toolSideFd, std::string path) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        ::close(lineFd);
        if (toolSideFd >= 0) ::close(toolSideFd);
        return false;
    }
    {
        std::lock_guard guard(m_);
        lineFd_ = lineFd;
        toolSideFd_ = toolSideFd;
        path_ = std::move(path);
    }
    thread_ = std::thread(&DtuServer::serve, this);
    return true;
}

void DtuServer::stop() {
    {
        std::lock_guard guard(m_);
        stopRequested_ = true;
    }
    changed();
    if (thread_.joinable()) thread_.join();
    std::lock_guard guard(m_);
    CloseFd(lineFd_);
    CloseFd(toolSideFd_);
    CloseFd(wakeFd_);
}

std::string DtuServer::devicePath() const {
    std::lock_guard guard(m_);
    return path_;
}

DtuItems DtuServer::items() const {
    std::lock_guard guard(m_);
    return dtu_.items();
}

void DtuServer::setItems(DtuItems items) {
    std::lock_guard guard(m_);
    dtu_.setItems(std::move(items));
}

DtuCounters DtuServer::counters() const {
    std::lock_guard guard(m_);
    return dtu_.counters();
}

void DtuServer::setFaults(const DtuFaults& faults) {
    std::lock_guard guard(m_);
    dtu_.faults() = faults;
}

void DtuServer::setAnswerDelay(std::chrono::milliseconds delay) {
    std::lock_guard guard(m_);
    delay_ = delay;
}

void DtuServer::setAnswerPieces(std::vector<std::size_t> cuts, std::chrono::milliseconds gap) {
    std::lock_guard guard(m_);
    std::sort(cuts.begin(), cuts.end());
    cuts_ = std::move(cuts);
    gap_ = gap;
}

void DtuServer::setFlood(bool on) {
    {
        std::lock_guard guard(m_);
        flood_ = on;
    }
    changed();
}

void DtuServer::setTalkAfterRead(bool on) {
    {
        std::lock_guard guard(m_);
        talkAfterRead_ = on;
        talking_ = talking_ && on;
    }
    changed();
}

void DtuServer::setReading(bool on) {
    {
        std::lock_guard guard(m_);
        reading_ = on;
    }
    changed();
}

void DtuServer::vanish() {
    {
        std::lock_guard guard(m_);
        vanishRequested_ = true;
    }
    changed();
}

void DtuServer::setWireRate(std::uint32_t bitsPerSecond) {
    {
        std::lock_guard guard(m_);
        wireRate_ = bitsPerSecond;
        // What is still to go continues from now at the new rate.
        burstStart_ = Clock::now();
        burstSent_ = 0;
    }
    changed();
}

std::uint32_t DtuServer::wireRate() const {
    std::lock_guard guard(m_);
    return wireRate_;
}

void DtuServer::setQuiet(bool quiet) {
    {
        std::lock_guard guard(m_);
        dtu_.setQuiet(quiet);
        if (quiet) std::erase_if(output_, [](const Piece& piece) { return piece.answer; });
    }
    changed();
}

void DtuServer::nextUnit() {
    {
        std::lock_guard guard(m_);
        dtu_.nextUnit();
    }
    changed();
}

std::uint32_t DtuServer::unit() const {
    std::lock_guard guard(m_);
    return dtu_.unit();
}

void DtuServer::send(std::vector<std::uint8_t> bytes) {
    {
        std::lock_guard guard(m_);
        output_.push_back(Piece{std::move(bytes), Clock::now()});
    }
    changed();
}

bool DtuServer::writeAsTool(std::span<const std::uint8_t> bytes) {
    std::lock_guard guard(m_);
    if (toolSideFd_ < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(toolSideFd_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool DtuServer::waitForToolInput(std::size_t count, std::chrono::milliseconds timeout) {
    int fd = -1;
    {
        std::lock_guard guard(m_);
        fd = toolSideFd_;
    }
    if (fd < 0) return false;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int queued = 0;
        if (::ioctl(fd, FIONREAD, &queued) == 0 && queued >= 0 && static_cast<std::size_t>(queued) >= count) {
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        // Readable comes a moment before the count shows it; poll returns at
        // once then, and the count is looked at again.
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 10)));
    }
}

std::uint32_t DtuServer::lineRate() const {
    std::lock_guard guard(m_);
    termios t{};
    if (toolSideFd_ < 0 || ::tcgetattr(toolSideFd_, &t) != 0) return 0;
    return RateOf(::cfgetospeed(&t));
}

std::vector<std::uint8_t> DtuServer::received() const {
    std::lock_guard guard(m_);
    const std::size_t keep = std::min(received_.size(), kReceivedWindow);
    return {received_.end() - static_cast<std::ptrdiff_t>(keep), received_.end()};
}

std::uint64_t DtuServer::receivedTotal() const {
    std::lock_guard guard(m_);
    return receivedTotal_;
}

std::uint64_t DtuServer::sentTotal() const {
    std::lock_guard guard(m_);
    return sentTotal_;
}

std::size_t DtuServer::unsentBytes() const {
    std::lock_guard guard(m_);
    std::size_t total = 0;
    for (const Piece& piece : output_) total += piece.bytes.size();
    return total;
}

std::uint64_t DtuServer::floodBytesSent() const {
    std::lock_guard guard(m_);
    return floodSent_;
}

bool DtuServer::vanished() const {
    std::lock_guard guard(m_);
    return vanished_;
}

bool DtuServer::waitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, timeout, pred);
}

void DtuServer::changed() {
    {
        std::lock_guard guard(m_);
        if (wakeFd_ >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
        }
    }
    cv_.notify_all();
}

void DtuServer::queueAnswer(std::vector<std::uint8_t> bytes) {
    // Called with m_ held. Behind any answer still queued: the line carries
    // one answer at a time, in the order of the requests.
    auto due = Clock::now() + delay_;
    std::size_t from = 0;
    for (const std::size_t cut : cuts_) {
        if (cut <= from || cut >= bytes.size()) continue;
        output_.push_back(Piece{{bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(cut)},
                                due,
                                true});
        due += gap_;
        from = cut;
    }
    output_.push_back(Piece{{bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end()}, due, true});
}

void DtuServer::keepReceived(std::span<const std::uint8_t> bytes) {
    // Called with m_ held. Trimmed only when twice the window is reached, so
    // each byte is moved at most once.
    received_.insert(received_.end(), bytes.begin(), bytes.end());
    receivedTotal_ += bytes.size();
    if (received_.size() >= 2 * kReceivedWindow) {
        received_.erase(received_.begin(), received_.end() - static_cast<std::ptrdiff_t>(kReceivedWindow));
    }
}

void DtuServer::beginBurst(Clock::time_point at) {
    // Called with m_ held. Bytes that follow the previous ones without a gap
    // continue its schedule; after a gap the schedule starts again.
    if (wireRate_ == 0 || at <= nextDue()) return;
    burstStart_ = at;
    burstSent_ = 0;
}

std::size_t DtuServer::dueBytes(Clock::time_point now) const {
    // Called with m_ held.
    if (wireRate_ == 0) return kChunk;
    if (now < burstStart_) return 0;
    const double elapsed = std::chrono::duration<double>(now - burstStart_).count();
    const auto dueCount = static_cast<std::uint64_t>(elapsed * wireRate_ / kBitsPerByte) + 1;
    if (dueCount <= burstSent_) return 0;
    return static_cast<std::size_t>(std::min<std::uint64_t>(dueCount - burstSent_, kChunk));
}

DtuServer::Clock::time_point DtuServer::nextDue() const {
    // Called with m_ held: when the next byte of the current burst may go out.
    if (wireRate_ == 0) return burstStart_;
    const std::chrono::duration<double> offset(static_cast<double>(burstSent_) * kBitsPerByte / wireRate_);
    return burstStart_ + std::chrono::duration_cast<Clock::duration>(offset);
}

void DtuServer::serve() {
    std::array<std::uint8_t, kChunk> in{};
    std::array<std::uint8_t, kChunk> flood{};
    std::uint8_t floodNext = 0;
    // A pseudo-terminal may report room while a write still finds none; wait
    // a little instead of spinning on it.
    bool stalled = false;
    for (;;) {
        int line = -1;
        int wake = -1;
        short events = 0;
        int timeoutMs = -1;
        std::size_t allowed = 0;  // bytes that are due now
        {
            std::lock_guard guard(m_);
            if (stopRequested_) return;
            if (vanishRequested_ && !vanished_) {
                CloseFd(lineFd_);
                CloseFd(toolSideFd_);
                vanished_ = true;
                cv_.notify_all();
            }
            line = lineFd_;
            wake = wakeFd_;
            if (reading_) events |= POLLIN;
            const auto now = Clock::now();
            bool sending = false;
            if (!output_.empty()) {
                Piece& piece = output_.front();
                floodRunning_ = false;
                if (piece.notBefore <= now) {
                    if (!piece.started) beginBurst(piece.notBefore);
                    piece.started = true;
                    sending = true;
                } else {
                    timeoutMs = WaitMs(piece.notBefore - now);
                }
            } else if (flood_ || talking_) {
                if (!floodRunning_) beginBurst(now);
                floodRunning_ = true;
                sending = true;
            } else {
                floodRunning_ = false;
            }
            if (sending) {
                allowed = dueBytes(now);
                if (allowed > 0) {
                    events |= POLLOUT;
                } else {
                    timeoutMs = Sooner(timeoutMs, WaitMs(nextDue() - now));
                }
            }
            if (stalled && (events & POLLOUT) != 0) {
                events &= ~POLLOUT;
                timeoutMs = Sooner(timeoutMs, 5);
            }
            stalled = false;
        }
        std::array<pollfd, 2> fds{{{wake, POLLIN, 0}, {line, events, 0}}};
        const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
        if (ready < 0 && errno != EINTR) return;
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t value = 0;
            [[maybe_unused]] const auto n = ::read(wake, &value, sizeof value);
        }
        if (line < 0) continue;
        if ((fds[1].revents & POLLIN) != 0) {
            const ssize_t n = ::read(line, in.data(), in.size());
            if (n > 0) {
                std::lock_guard guard(m_);
                const auto bytes = std::span<const std::uint8_t>(in.data(), static_cast<std::size_t>(n));
                keepReceived(bytes);
                const std::uint64_t readsBefore = dtu_.counters().readRequests;
                auto answer = dtu_.feed(bytes);
                if (talkAfterRead_ && dtu_.counters().readRequests > readsBefore) {
                    answer.clear();
                    talking_ = true;
                }
                if (!answer.empty()) queueAnswer(std::move(answer));
                cv_.notify_all();
            }
        }
        if ((fds[1].revents & POLLOUT) != 0) {
            std::lock_guard guard(m_);
            // The queue may have changed since the poll (quiet, a new rate):
            // write no more than is due now.
            allowed = std::min(allowed, dueBytes(Clock::now()));
            if (allowed == 0) {
                // Nothing due after all; look again.
            } else if (!output_.empty() && output_.front().started) {
                Piece& piece = output_.front();
                const ssize_t n = ::write(line, piece.bytes.data(), std::min(piece.bytes.size(), allowed));
                if (n > 0) {
                    burstSent_ += static_cast<std::uint64_t>(n);
                    sentTotal_ += static_cast<std::uint64_t>(n);
                    piece.bytes.erase(piece.bytes.begin(), piece.bytes.begin() + n);
                    if (piece.bytes.empty()) output_.pop_front();
                    cv_.notify_all();
                } else {
                    stalled = true;
                }
            } else if (output_.empty() && (flood_ || talking_) && floodRunning_) {
                const std::size_t size = std::min(flood.size(), allowed);
                // The flood counts; a talking DTU says the same byte again and again.
                const std::uint8_t first = floodNext;
                for (std::size_t i = 0; i < size; ++i) flood[i] = flood_ ? floodNext++ : 0x00;
                const ssize_t n = ::write(line, flood.data(), size);
                if (n > 0) {
                    floodSent_ += static_cast<std::uint64_t>(n);
                    burstSent_ += static_cast<std::uint64_t>(n);
                    if (flood_) floodNext = static_cast<std::uint8_t>(first + n);
                } else {
                    floodNext = first;
                    stalled = true;
                }
            }
        }
        if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 &&
            (fds[1].revents & (POLLIN | POLLOUT)) == 0) {
            // A serial device that went away: nothing more to serve.
            std::lock_guard guard(m_);
            vanished_ = true;
            CloseFd(lineFd_);
            cv_.notify_all();
        }
    }
}

}  // namespace quill
