// What the operator is told after a port could not be opened, decided once
// for the windows' box and the command line. The windows' box keeps its one
// sentence; the command line, which has no form showing the port, names the
// port and the system's own words. Both add what the operator can do about
// this kind of failure. UTF-8; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "serial/serial_port_error.h"

namespace quill {

// The hint for a kind of failure the operator can act on; empty for the others.
std::string_view OpenFailureHint(SerialPortErrorKind kind);

// The window's box: "没有发现此串口或被占用", then the hint on a line of its own.
std::string OpenFailureText(const std::optional<SerialPortError>& error);

// The command line: "无法打开串口 <port>：<system text>", then the hint.
std::string OpenFailureText(const std::optional<SerialPortError>& error, std::string_view portName);

}  // namespace quill
