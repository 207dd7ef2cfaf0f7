// Rates outside the platform's table of standard line rates (POSIX layer only).
#pragma once

#include <cstdint>

namespace quill::platform {

// Sets input and output rate of an open terminal to any rate the driver takes; 0 or errno.
int SetCustomRate(int fd, std::uint32_t rate);
// The rate set by SetCustomRate, or 0 when the terminal runs at a standard rate.
std::uint32_t CustomRate(int fd);

}  // namespace quill::platform
