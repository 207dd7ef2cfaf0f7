// Which WM_DEVICECHANGE reports PortWatch counts as a port coming or going.
#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include "serial/port_watch.h"

namespace quill {
namespace {

// GUID_DEVINTERFACE_COMPORT, typed from the system's definition.
constexpr GUID kComPort = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
// GUID_DEVINTERFACE_DISK: a device that is no port.
constexpr GUID kDisk = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

TEST(PortWatch, CountsArrivalsAndRemovalsOfPortsOnly) {
    DEV_BROADCAST_DEVICEINTERFACE_W comPort{};
    comPort.dbcc_size = sizeof(comPort);
    comPort.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    comPort.dbcc_classguid = kComPort;
    DEV_BROADCAST_DEVICEINTERFACE_W disk = comPort;
    disk.dbcc_classguid = kDisk;
    DEV_BROADCAST_PORT_W portBroadcast{};
    portBroadcast.dbcp_size = sizeof(portBroadcast);
    portBroadcast.dbcp_devicetype = DBT_DEVTYP_PORT;
    DEV_BROADCAST_HDR volume{};
    volume.dbch_size = sizeof(DEV_BROADCAST_VOLUME);
    volume.dbch_devicetype = DBT_DEVTYP_VOLUME;
    DEV_BROADCAST_HDR shortInterface{};  // claims the interface type without room for its class
    shortInterface.dbch_size = sizeof(shortInterface);
    shortInterface.dbch_devicetype = DBT_DEVTYP_DEVICEINTERFACE;

    struct Case {
        const char* what;
        WPARAM message;
        const void* data;
        bool counts;
    };
    const Case cases[] = {
        {"COM-port interface arrives", DBT_DEVICEARRIVAL, &comPort, true},
        {"COM-port interface removed", DBT_DEVICEREMOVECOMPLETE, &comPort, true},
        {"port broadcast arrives", DBT_DEVICEARRIVAL, &portBroadcast, true},
        {"port broadcast removed", DBT_DEVICEREMOVECOMPLETE, &portBroadcast, true},
        {"removal only asked for", DBT_DEVICEQUERYREMOVE, &comPort, false},
        {"device tree changed", DBT_DEVNODES_CHANGED, nullptr, false},
        {"arrival without data", DBT_DEVICEARRIVAL, nullptr, false},
        {"disk arrives", DBT_DEVICEARRIVAL, &disk, false},
        {"volume arrives", DBT_DEVICEARRIVAL, &volume, false},
        {"truncated interface", DBT_DEVICEARRIVAL, &shortInterface, false},
    };
    PortWatch watch;  // the reading needs no registration
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(watch.TakeReport(c.message, reinterpret_cast<std::intptr_t>(c.data)), c.counts);
    }
}

}  // namespace
}  // namespace quill
