// For tests that need a port held by another program, and that check a port
// was let go: an owner that never starts a worker, and a probe that opens the
// device exclusively.
#pragma once

#include <string>

#include "serial/serial_platform.h"
#include "serial/serial_port.h"

namespace quill::test {

// The other program that holds a port busy: it opens the device and never starts a worker.
class IdleOwner : public PortOwner {
  public:
    void postToOwner(std::function<void()>) override {}
    void onPortMessage(std::uint32_t, std::uint32_t, std::uint32_t) override {}
    void onPortError(const std::string&) override {}
    void onPortLost(std::uint32_t) override {}
};

// Opening the device exclusively succeeds: nothing holds it any more.
inline bool DeviceFree(const std::string& path) {
    platform::OpenOutcome opened = platform::OpenDevice(path);
    if (!opened.device.isOpen()) return false;
    platform::CloseDevice(opened.device);
    return true;
}

}  // namespace quill::test
