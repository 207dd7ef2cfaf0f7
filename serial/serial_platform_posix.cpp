// POSIX side of the serial engine: termios, poll and eventfd.
// Exclusive open takes a non-blocking flock as well as TIOCEXCL, because
// TIOCEXCL does not stop a second open by root. Reads run with VMIN=1 and
// O_NONBLOCK so that "no data" is EAGAIN and read() == 0 means hang-up.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "serial/mode_string.h"
#include "serial/serial_platform.h"
#include "serial/serial_rate.h"

namespace quill::platform {
namespace {

struct SpeedEntry {
    std::uint32_t rate;
    speed_t code;
};

constexpr std::array<SpeedEntry, 23> kSpeeds{{
    {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
}};

std::optional<speed_t> SpeedCode(std::uint32_t rate) {
    for (const auto& entry : kSpeeds) {
        if (entry.rate == rate) return entry.code;
    }
    return std::nullopt;
}

std::uint32_t SpeedRate(speed_t code) {
    for (const auto& entry : kSpeeds) {
        if (entry.code == code) return entry.rate;
    }
    return 0;
}

int Fd(const Device& device) {
    return static_cast<int>(device.handle);
}

bool IsLossError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

}  // namespace

Event::~Event() {
    destroy();
}

int Event::create() {
    if (exists()) {
        reset();
        return 0;
    }
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) return errno;
    handle_ = fd;
    return 0;
}

void Event::set() {
    if (!exists()) return;
    const std::uint64_t one = 1;
    // A full counter (never reached here) still leaves the event readable.
    [[maybe_unused]] const auto n = ::write(static_cast<int>(handle_), &one, sizeof one);
}

void Event::reset() {
    if (!exists()) return;
    std::uint64_t value = 0;
    [[maybe_unused]] const auto n = ::read(static_cast<int>(handle_), &value, sizeof value);
}

bool Event::isSet() const {
    if (!exists()) return false;
    pollfd p{static_cast<int>(handle_), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

void Event::destroy() {
    if (!exists()) return;
    ::close(static_cast<int>(handle_));
    handle_ = kNoHandle;
}

std::string PortDevicePath(std::uint32_t portNumber) {
    // COM1 is the first on-board port, /dev/ttyS0.
    return "/dev/ttyS" + std::to_string(portNumber == 0 ? 0 : portNumber - 1);
}

OpenOutcome OpenDevice(const std::string& path) {
    OpenOutcome out;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        out.error = errno;
        return out;
    }
    if (!::isatty(fd)) {
        out.error = ENOTTY;
        out.noLineSettings = true;
        ::close(fd);
        return out;
    }
    // The lock comes first: a failed open must not leave our TIOCEXCL on a
    // port that another program holds.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        out.error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return out;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        out.error = errno;
        ::close(fd);
        return out;
    }
    out.device.handle = fd;
    return out;
}

SerialPortError OpenError(int code, bool noLineSettings) {
    SerialPortError error{SerialPortErrorKind::Other, ErrorText(code)};
    if (noLineSettings) {
        error.kind = SerialPortErrorKind::NotASerialPort;
        return error;
    }
    switch (code) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            error.kind = SerialPortErrorKind::Missing;
            break;
        case EBUSY:
            error.kind = SerialPortErrorKind::Busy;
            break;
        case EACCES:
        case EPERM:
            error.kind = SerialPortErrorKind::NoPermission;
            break;
        default:
            break;
    }
    return error;
}

void CloseDevice(Device& device) {
    if (!device.isOpen()) return;
    const int fd = Fd(device);
    // The exclusive flag belongs to the terminal, not to this descriptor: it
    // would outlive the close while anyone else keeps the terminal open.
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    device = Device{};
}

int SetTimeouts(Device& device, const Timeouts&) {
    // Reads never block here and writes wait with their own deadline, so the
    // values need no driver setting; a valid terminal is all that is checked.
    termios t{};
    return ::tcgetattr(Fd(device), &t) == 0 ? 0 : errno;
}

int SetEventMask(Device& device, std::uint32_t mask) {
    if (!device.isOpen()) return EBADF;
    device.eventMask = mask;
    return 0;
}

int GetEventMask(const Device& device, std::uint32_t& mask) {
    if (!device.isOpen()) return EBADF;
    mask = device.eventMask;
    return 0;
}

int GetLineSettings(const Device& device, LineSettings& settings) {
    termios t{};
    if (::tcgetattr(Fd(device), &t) != 0) return errno;
    settings.rate = SpeedRate(::cfgetospeed(&t));
    if (settings.rate == 0) settings.rate = CustomRate(Fd(device));
    switch (t.c_cflag & CSIZE) {
        case CS5:
            settings.dataBits = 5;
            break;
        case CS6:
            settings.dataBits = 6;
            break;
        case CS7:
            settings.dataBits = 7;
            break;
        default:
            settings.dataBits = 8;
            break;
    }
    settings.stopBits = (t.c_cflag & CSTOPB) != 0 ? 2 : 1;
    if ((t.c_cflag & PARENB) == 0) {
        settings.parity = 'N';
    } else if ((t.c_cflag & CMSPAR) != 0) {
        settings.parity = (t.c_cflag & PARODD) != 0 ? 'M' : 'S';
    } else {
        settings.parity = (t.c_cflag & PARODD) != 0 ? 'O' : 'E';
    }
    int lines = 0;
    settings.rtsAsserted = ::ioctl(Fd(device), TIOCMGET, &lines) == 0 && (lines & TIOCM_RTS) != 0;
    return 0;
}

int BuildLineSettings(std::string_view mode, LineSettings& settings) {
    return ParseModeString(mode, settings) ? 0 : EINVAL;
}

int ApplyLineSettings(Device& device, const LineSettings& settings) {
    const int fd = Fd(device);
    // A rate without a standard code is set after the rest (any code will do meanwhile).
    const std::optional<speed_t> standard = SpeedCode(settings.rate);
    // No serial line runs faster; a larger number is a mistake, not a rate.
    constexpr std::uint32_t kFastestRate = 4000000;
    if (!standard && settings.rate > kFastestRate) return EINVAL;
    const speed_t speed = standard.value_or(B38400);
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return errno;
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    constexpr std::array<tcflag_t, 4> kSizes{CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[settings.dataBits - 5];
    if (settings.stopBits == 2) t.c_cflag |= CSTOPB;
    switch (settings.parity) {
        case 'O':
            t.c_cflag |= PARENB | PARODD;
            break;
        case 'E':
            t.c_cflag |= PARENB;
            break;
        case 'M':
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case 'S':
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;  // with O_NONBLOCK: EAGAIN when empty, 0 only at hang-up
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0) return errno;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) return errno;
    if (!standard) {
        if (const int error = SetCustomRate(fd, settings.rate); error != 0) return error;
    }
    if (settings.rtsAsserted) {
        int rts = TIOCM_RTS;
        // Pseudo-terminals have no modem lines; that is no failure.
        if (::ioctl(fd, TIOCMBIS, &rts) != 0 && errno != ENOTTY && errno != EINVAL) return errno;
    }
    return 0;
}

int Purge(Device& device) {
    return ::tcflush(Fd(device), TCIOFLUSH) == 0 ? 0 : errno;
}

int InputQueueCount(const Device& device, std::uint32_t& count) {
    int n = 0;
    if (::ioctl(Fd(device), FIONREAD, &n) != 0) return errno;
    count = n < 0 ? 0 : static_cast<std::uint32_t>(n);
    return 0;
}

WaitOutcome WaitFirst(const Event& stop, const Device& device, const Event& write, bool watchInput) {
    // Hang-up and error are reported even with no events asked for.
    const short input = watchInput ? POLLIN : 0;
    std::array<pollfd, 3> fds{{
        {static_cast<int>(stop.native()), POLLIN, 0},
        {Fd(device), input, 0},
        {static_cast<int>(write.native()), POLLIN, 0},
    }};
    for (;;) {
        const int n = ::poll(fds.data(), fds.size(), -1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return WaitOutcome::Failed;
        // Hang-up and error count as a line event: the read that follows finds out.
        if (fds[0].revents != 0) return WaitOutcome::Stop;
        if (fds[1].revents != 0) return WaitOutcome::LineEvent;
        if (fds[2].revents != 0) return WaitOutcome::Write;
    }
}

TransferOutcome ReadAvailable(Device& device, std::span<std::uint8_t> out) {
    TransferOutcome result;
    if (out.empty()) return result;
    for (;;) {
        const ssize_t n = ::read(Fd(device), out.data(), out.size());
        if (n > 0) {
            result.count = static_cast<std::size_t>(n);
            return result;
        }
        if (n == 0) {
            result.lost = true;
            return result;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return result;
        result.error = errno;
        result.lost = IsLossError(errno);
        return result;
    }
}

TransferOutcome WriteAll(Device& device, std::span<const std::uint8_t> bytes, const Event& stop,
                         std::uint32_t timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    TransferOutcome result;
    const int fd = Fd(device);
    while (result.count < bytes.size()) {
        const auto rest = bytes.subspan(result.count);
        const ssize_t n = ::write(fd, rest.data(), rest.size());
        if (n > 0) {
            result.count += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            result.error = errno;
            result.lost = IsLossError(errno);
            return result;
        }
        result.pending = true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            result.error = ETIMEDOUT;
            return result;
        }
        std::array<pollfd, 2> fds{{
            {static_cast<int>(stop.native()), POLLIN, 0},
            {fd, POLLOUT, 0},
        }};
        const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            result.error = errno;
            return result;
        }
        if (fds[0].revents != 0) return result;  // stop requested: give up quietly
        if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            result.error = EIO;
            result.lost = true;
            return result;
        }
    }
    return result;
}

std::string ErrorText(int error) {
    std::array<char, 256> buffer{};
    // The GNU variant may return a static text instead of filling the buffer.
    const char* text = ::strerror_r(error, buffer.data(), buffer.size());
    return text != nullptr ? std::string(text) : std::string("Unknown error ") + std::to_string(error);
}

}  // namespace quill::platform
