// <windows.h> for the window's files. The serial engine's header names its
// notifications and line events as the platform does (WM_USER, EV_RXCHAR),
// which <windows.h> defines as macros; the engine's header therefore comes
// first, and every file of the window includes <windows.h> through here.
#pragma once

#include "serial/serial_port.h"

#include <windows.h>
