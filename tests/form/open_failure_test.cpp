#include "form/open_failure.h"

#include <gtest/gtest.h>

namespace quill {
namespace {

constexpr std::string_view kPermission =
    "没有访问权限：请把当前用户加入 dialout 组（sudo usermod -aG dialout $USER），然后重新登录。";

TEST(OpenFailureText, TheSentenceOrThePortThenTheHintOfTheKind) {
    using K = SerialPortErrorKind;
    struct Case {
        std::optional<SerialPortError> error;
        std::string window;
        std::string commandLine;
    };
    const std::string busyHint = "\n串口已被其他程序占用。";
    const std::string permissionHint = "\n" + std::string(kPermission);
    const Case cases[] = {
        {SerialPortError{K::Missing, "No such file or directory"}, "没有发现此串口或被占用",
         "无法打开串口 /dev/ttyUSB0：No such file or directory"},
        {SerialPortError{K::Busy, "Device or resource busy"}, "没有发现此串口或被占用" + busyHint,
         "无法打开串口 /dev/ttyUSB0：Device or resource busy" + busyHint},
        {SerialPortError{K::NoPermission, "Permission denied"}, "没有发现此串口或被占用" + permissionHint,
         "无法打开串口 /dev/ttyUSB0：Permission denied" + permissionHint},
        {SerialPortError{K::NotASerialPort, "Inappropriate ioctl for device"}, "没有发现此串口或被占用",
         "无法打开串口 /dev/ttyUSB0：Inappropriate ioctl for device"},
        {SerialPortError{K::Other, "Is a directory"}, "没有发现此串口或被占用",
         "无法打开串口 /dev/ttyUSB0：Is a directory"},
        // No open was tried (nothing chosen): the sentence alone.
        {std::nullopt, "没有发现此串口或被占用", "无法打开串口 /dev/ttyUSB0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OpenFailureText(c.error), c.window);
        EXPECT_EQ(OpenFailureText(c.error, "/dev/ttyUSB0"), c.commandLine);
    }
}

}  // namespace
}  // namespace quill
