// Why a port could not be opened, in words every front end can act on
// without knowing the platform: each platform file turns its own codes into
// one of these kinds in exactly one function, and keeps the system's own
// text for a box. Nothing above serial/ sees a platform code.
#pragma once

#include <string>

namespace quill {

enum class SerialPortErrorKind {
    Missing,         // no such device
    Busy,            // another program holds it
    NoPermission,    // the system refuses this user
    NotASerialPort,  // something that has no line settings
    Other,
};

struct SerialPortError {
    SerialPortErrorKind kind = SerialPortErrorKind::Other;
    std::string text;  // the platform's own message, for a box or a log
    friend bool operator==(const SerialPortError&, const SerialPortError&) = default;
};

}  // namespace quill
