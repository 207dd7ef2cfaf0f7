// PortWatch on Windows: the window registers for arrivals and removals of
// the COM-port device interface class, and the system sends it
// WM_DEVICECHANGE. Ports that come without that interface (some virtual
// ports) are still announced to every top-level window as a port broadcast;
// both count.
#include <windows.h>
#include <dbt.h>

#include "serial/port_watch.h"
#include "serial/serial_platform.h"

namespace quill {
namespace {

// The COM-port device interface class (GUID_DEVINTERFACE_COMPORT), spelt out
// so that no header needs INITGUID.
constexpr GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

}  // namespace

struct PortWatch::Impl {
    HDEVNOTIFY registration = nullptr;

    ~Impl() {
        if (registration != nullptr) UnregisterDeviceNotification(registration);
    }
};

PortWatch::PortWatch() = default;
PortWatch::~PortWatch() = default;

std::optional<PortWatchError> PortWatch::Start(void* window) {
    if (impl) return std::nullopt;
    if (window == nullptr) return PortWatchError{PortWatchFault::Unavailable, platform::ErrorText(ERROR_INVALID_WINDOW_HANDLE)};
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kComPortInterface;
    auto started = std::make_unique<Impl>();
    started->registration = RegisterDeviceNotificationW(static_cast<HWND>(window), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (started->registration == nullptr)
        return PortWatchError{PortWatchFault::Refused, platform::ErrorText(static_cast<int>(GetLastError()))};
    impl = std::move(started);
    return std::nullopt;
}

bool PortWatch::watching() const {
    return impl != nullptr;
}

int PortWatch::descriptor() const {
    return -1;
}

bool PortWatch::TakeReport(std::uintptr_t message, std::intptr_t data) {
    if (message != DBT_DEVICEARRIVAL && message != DBT_DEVICEREMOVECOMPLETE) return false;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header == nullptr) return false;
    if (header->dbch_devicetype == DBT_DEVTYP_PORT) return true;
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W))
        return false;
    const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(data);
    return IsEqualGUID(device->dbcc_classguid, kComPortInterface) != FALSE;
}

}  // namespace quill
