// Line rates that have no B-constant in <termios.h> (14400 among the rates the
// tool offers) are set through the kernel's termios2 interface. Its header
// clashes with <termios.h>, so it lives in a file of its own.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>

#include "serial/serial_rate.h"

namespace quill::platform {

int SetCustomRate(int fd, std::uint32_t rate) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    return ::ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

std::uint32_t CustomRate(int fd) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return 0;
    return (t.c_cflag & CBAUD) == BOTHER ? t.c_ospeed : 0;
}

}  // namespace quill::platform
