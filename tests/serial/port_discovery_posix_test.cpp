// Port discovery on a made-up device folder.
#include "serial/port_discovery_posix.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace quill {
namespace {

TEST(FindSerialPorts, TakesAdaptersByIdWithTheirNameAndUsbAndAcmDevicesOnce) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("quillmere-ports-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "serial" / "by-id");
    for (const char* name :
         {"ttyUSB0", "ttyUSB1", "ttyUSB10", "ttyACM3", "ttyS0", "ttyAMA0", "null", "adapter9"})
        std::ofstream(root / name).put('x');
    fs::create_symlink("../../ttyUSB0", root / "serial" / "by-id" / "usb-A-if00-port0");   // found twice
    fs::create_symlink("../../adapter9", root / "serial" / "by-id" / "usb-B-if00-port0");  // other name
    fs::create_symlink("../../gone", root / "serial" / "by-id" / "usb-C-if00-port0");      // dangling
    fs::create_symlink("ttyUSB1", root / "ttyUSB7");  // a second name of one device

    const std::string r = fs::canonical(root).string();
    EXPECT_EQ(FindSerialPorts(root.string()), (std::vector<FoundPort>{
                                                  {r + "/adapter9", "usb-B-if00-port0"},
                                                  {r + "/ttyACM3", ""},
                                                  {r + "/ttyUSB0", "usb-A-if00-port0"},
                                                  {r + "/ttyUSB1", ""},
                                                  {r + "/ttyUSB10", ""},
                                              }));
    EXPECT_TRUE(FindSerialPorts((root / "missing").string()).empty());
    fs::remove_all(root);
}

// A built-in port counts only where sysfs names a UART behind it.
TEST(FindSerialPorts, TakesBuiltInPortsWithAUartOnly) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("quillmere-uart-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path dev = root / "dev", tty = root / "class-tty";
    fs::create_directories(dev);
    const std::pair<const char*, const char*> ports[] = {
        {"ttyS0", "4\n"},    // a 16550A
        {"ttyS1", "0\n"},    // no UART: the kernel's placeholder
        {"ttyS2", nullptr},  // no type at all
        {"ttyS3", "x\n"},    // unreadable
        {"ttyS12", "4"},     // two digits, no newline
        {"ttySAC0", "4"},    // not a ttyS<n> name
    };
    for (const auto& [name, type] : ports) {
        std::ofstream(dev / name).put('x');
        fs::create_directories(tty / name);
        if (type != nullptr) std::ofstream(tty / name / "type") << type;
    }
    const std::string d = fs::canonical(dev).string();
    EXPECT_EQ(FindSerialPorts(dev.string(), tty.string()),
              (std::vector<FoundPort>{{d + "/ttyS0", "", true}, {d + "/ttyS12", "", true}}));
    EXPECT_TRUE(FindSerialPorts(dev.string()).empty());  // no class folder: no built-in port
    fs::remove_all(root);
}

}  // namespace
}  // namespace quill
