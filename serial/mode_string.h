// The mode string "baud=%d parity=%c data=%d stop=%d" that the engine composes
// for each open, parsed the same way on every platform; each platform's
// BuildLineSettings adds its own error code.
#pragma once

#include <string_view>

#include "serial/serial_platform.h"

namespace quill::platform {

// Fills rate, parity (upper case), data bits and stop bits; false, with
// settings unchanged, when the text is not exactly such a mode string.
bool ParseModeString(std::string_view mode, LineSettings& settings);

}  // namespace quill::platform
