// Tells a window when serial adapters are plugged in or pulled out, so that
// its port list can look again (FindSerialPorts). Nothing polls: on Linux the
// udev monitor's descriptor goes on the window's event loop (a socket
// notifier) and becomes readable when udev has set up or taken down a tty; on
// Windows the window registers for the COM-port interface class and receives
// WM_DEVICECHANGE. One implementation file per platform (port_watch_posix.cpp,
// port_watch_win32.cpp). The window's thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quill {

enum class PortWatchFault {
    Unavailable,  // the system offers no such reports here (no udev, no notification service)
    Refused,      // it offers them but would not start them for us
};

struct PortWatchError {
    PortWatchFault fault = PortWatchFault::Unavailable;
    std::string text;  // the system's own words
};

class PortWatch {
  public:
    PortWatch();
    ~PortWatch();  // stops watching
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // Starts watching. window: the HWND that is to receive WM_DEVICECHANGE
    // (Windows); unused on Linux. A second start while watching does nothing.
    std::optional<PortWatchError> Start(void* window);
    bool watching() const;

    // Linux: the descriptor that becomes readable when a report waits; -1
    // when not watching, and on Windows, where reports come as messages.
    int descriptor() const;

    // Takes the waiting reports and says whether a serial port came or went.
    // Linux: reads every report that waits (message and data unused).
    // Windows: the WM_DEVICECHANGE's wParam and lParam.
    bool TakeReport(std::uintptr_t message = 0, std::intptr_t data = 0);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace quill
