// The Win32 calls that the serial layer makes on a port, as one table of
// function pointers. The product always runs with the system's functions;
// tests put fakes in for what no test machine can show (a port held by
// another program, a device that vanishes mid-wait, a driver's time-out) and
// restore the table afterwards. Change it only while no worker runs.
#pragma once

#include <windows.h>

namespace quill::platform {

struct Win32SerialApi {
    decltype(&::CreateFileW) createFile;
    decltype(&::CloseHandle) closeHandle;
    decltype(&::GetCommState) getCommState;
    decltype(&::SetCommState) setCommState;
    decltype(&::SetupComm) setupComm;
    decltype(&::SetCommTimeouts) setCommTimeouts;
    decltype(&::SetCommMask) setCommMask;
    decltype(&::WaitCommEvent) waitCommEvent;
    decltype(&::ClearCommError) clearCommError;
    decltype(&::PurgeComm) purgeComm;
    decltype(&::ReadFile) readFile;
    decltype(&::WriteFile) writeFile;
    decltype(&::GetOverlappedResult) getOverlappedResult;
    decltype(&::CancelIoEx) cancelIoEx;
};

// The system's functions.
Win32SerialApi SystemSerialApi();
// The table in use.
Win32SerialApi& SerialApi();

}  // namespace quill::platform
