// The udev monitor against a mock device tree: a tty adapter plugged in,
// touched and pulled out, with its uevents. Runs under umockdev-wrapper, which
// redirects /sys, /dev and udev's socket into the test bed (no root needed).
#include <glib-object.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <umockdev.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>

#include "serial/port_discovery.h"
#include "serial/port_watch.h"

namespace quill {
namespace {

// True once the descriptor can be read, false after five seconds of nothing.
bool ReadableWithin(int descriptor) {
    pollfd entry{descriptor, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (::poll(&entry, 1, static_cast<int>(left.count()) + 1) > 0) return true;
    }
    return false;
}

TEST(PortWatch, ReportsAnAdapterComingAndGoingAndDiscoveryFollows) {
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload == nullptr || std::string_view(preload).find("libumockdev-preload") == std::string_view::npos)
        GTEST_SKIP() << "needs umockdev-wrapper";
    UMockdevTestbed* bed = umockdev_testbed_new();
    PortWatch watch;
    ASSERT_FALSE(watch.Start(nullptr).has_value());
    ASSERT_GE(watch.descriptor(), 0);

    // A USB adapter as udev has it set up when it announces it: the device,
    // its node and its by-id link. Adding it sends its "add".
    const char* syspath = "/sys/devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB47/tty/ttyUSB47";
    ASSERT_TRUE(umockdev_testbed_add_from_string(bed,
                                                 "P: /devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB47/tty/ttyUSB47\n"
                                                 "N: ttyUSB47=00\n"
                                                 "S: serial/by-id/usb-Bench_Adapter-if00-port0\n"
                                                 "E: DEVNAME=/dev/ttyUSB47\n"
                                                 "E: SUBSYSTEM=tty\n"
                                                 "E: MAJOR=188\n"
                                                 "E: MINOR=47\n"
                                                 "A: dev=188:47\n",
                                                 nullptr));
    const FoundPort adapter{"/dev/ttyUSB47", "usb-Bench_Adapter-if00-port0"};

    struct Step {
        const char* action;  // sent by the test; none for the add
        bool portsChanged;   // what TakeReport says
        bool listed;         // whether discovery finds the adapter afterwards
    };
    // A "remove" goes out while the device is still in the bed (umockdev
    // reads its properties); discovery runs after it is gone.
    for (const Step& step : {Step{nullptr, true, true}, Step{"change", false, true}, Step{"remove", true, false}}) {
        SCOPED_TRACE(step.action != nullptr ? step.action : "add");
        if (step.action != nullptr) umockdev_testbed_uevent(bed, syspath, step.action);
        if (step.action != nullptr && std::string_view(step.action) == "remove")
            umockdev_testbed_remove_device(bed, syspath);
        ASSERT_TRUE(ReadableWithin(watch.descriptor()));
        EXPECT_EQ(watch.TakeReport(), step.portsChanged);
        const std::vector<FoundPort> found = FindSerialPorts();
        EXPECT_EQ(std::find(found.begin(), found.end(), adapter) != found.end(), step.listed);
    }
    EXPECT_FALSE(watch.TakeReport());  // nothing more waits

    g_object_unref(bed);
}

}  // namespace
}  // namespace quill
