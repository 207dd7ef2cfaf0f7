/* Test-only LD_PRELOAD library for running the Windows serial tests under
 * Wine against a Linux pseudo-terminal. Wine's line-event wait polls the
 * modem lines (TIOCMGET); a pseudo-terminal has none, the ioctl fails, and
 * Wine ends every wait at once with ERROR_OPERATION_ABORTED. This library
 * answers the four modem-line requests on pseudo-terminals with fixed lines
 * (DTR, RTS, CTS, DSR and carrier up) and passes everything else on. Once
 * the other end has closed, the query fails with EIO, as it does for a USB
 * adapter that was pulled, so a pending wait ends as it would on Windows.
 * It is never part of the product. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

typedef int (*IoctlFn)(int, unsigned long, ...);

/* Unix98 pseudo-terminal slaves have the major numbers 136 to 143. */
static int IsPseudoTerminal(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
    static IoctlFn next;
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (next == 0) next = (IoctlFn)dlsym(RTLD_NEXT, "ioctl");
    if ((request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC) &&
        IsPseudoTerminal(fd)) {
        struct pollfd line = {fd, 0, 0};
        if (poll(&line, 1, 0) == 1 && (line.revents & POLLHUP) != 0) {
            errno = EIO;
            return -1;
        }
        if (request == TIOCMGET) *(int*)arg = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        return 0;
    }
    return next(fd, request, arg);
}
