// The udev monitor behind PortWatch on Linux. It listens to udev's own
// announcements rather than the kernel's, because udev sends them once the
// device node and its /dev/serial/by-id link exist: discovery run on a report
// sees the new adapter.
#include <libudev.h>

#include <cerrno>
#include <string_view>

#include "serial/port_watch.h"
#include "serial/serial_platform.h"

namespace quill {

struct PortWatch::Impl {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;

    ~Impl() {
        if (monitor != nullptr) udev_monitor_unref(monitor);
        if (context != nullptr) udev_unref(context);
    }
};

namespace {

PortWatchError Fault(PortWatchFault fault, int error) {
    return {fault, platform::ErrorText(error)};
}

}  // namespace

PortWatch::PortWatch() = default;
PortWatch::~PortWatch() = default;

std::optional<PortWatchError> PortWatch::Start(void* /*window*/) {
    if (impl) return std::nullopt;
    auto started = std::make_unique<Impl>();
    errno = 0;
    started->context = udev_new();
    if (started->context == nullptr) return Fault(PortWatchFault::Unavailable, errno != 0 ? errno : ENOSYS);
    started->monitor = udev_monitor_new_from_netlink(started->context, "udev");
    if (started->monitor == nullptr) return Fault(PortWatchFault::Unavailable, errno != 0 ? errno : ENOSYS);
    if (const int rc = udev_monitor_filter_add_match_subsystem_devtype(started->monitor, "tty", nullptr); rc < 0)
        return Fault(PortWatchFault::Refused, -rc);
    if (const int rc = udev_monitor_enable_receiving(started->monitor); rc < 0)
        return Fault(PortWatchFault::Refused, -rc);
    impl = std::move(started);
    return std::nullopt;
}

bool PortWatch::watching() const {
    return impl != nullptr;
}

int PortWatch::descriptor() const {
    return impl ? udev_monitor_get_fd(impl->monitor) : -1;
}

bool PortWatch::TakeReport(std::uintptr_t /*message*/, std::intptr_t /*data*/) {
    if (!impl) return false;
    bool changed = false;
    // The monitor's socket does not block: this ends when nothing waits. A
    // report it drops (another subsystem, a bad sender) ends the loop early;
    // the descriptor stays readable for the rest.
    while (udev_device* device = udev_monitor_receive_device(impl->monitor)) {
        const char* action = udev_device_get_action(device);
        const std::string_view what = action != nullptr ? action : "";
        // A "change" or "bind" leaves the set of ports as it was.
        if (what == "add" || what == "remove" || what == "move") changed = true;
        udev_device_unref(device);
    }
    return changed;
}

}  // namespace quill
