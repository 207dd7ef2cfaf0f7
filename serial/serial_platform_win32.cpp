// Windows side of the serial engine: a COM port opened for overlapped I/O,
// its line-event wait (WaitCommEvent) raced against the stop and write
// events, reads of what ClearCommError says is queued, and writes with a
// completion wait. Every call on the port goes through SerialApi() (see
// serial_win32_api.h).
//
// Nothing stays pending between two calls of this layer: a line-event wait
// that loses the race is cancelled and finished before WaitFirst returns, so
// one completion event per device serves the wait, the reads and the writes.
// A device that goes away makes its calls fail with one of a few codes
// (IsLossError); the engine then ends its worker and reports the loss once.
// A wait that fails is never retried here: it would only fail again at once.
#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cwctype>

#include "serial/mode_string.h"
#include "serial/serial_platform.h"
#include "serial/serial_win32_api.h"
#include "serial/wide_text_win32.h"

namespace quill::platform {
namespace {

HANDLE Handle(NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

NativeHandle Native(HANDLE handle) {
    return reinterpret_cast<NativeHandle>(handle);
}

int LastError() {
    return static_cast<int>(::GetLastError());
}

// The codes with which the calls on a port fail once its device has gone
// (unplugged, or the far end of a virtual port closed). ERROR_ACCESS_DENIED
// and ERROR_GEN_FAILURE are what several USB adapters' drivers give then.
// ERROR_OPERATION_ABORTED counts too: this layer cancels only transfers it
// waits for itself, so any other abort came from the system.
bool IsLossError(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_NOT_READY:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_BROKEN_PIPE:
        case ERROR_OPERATION_ABORTED:
        case ERROR_DEVICE_NOT_CONNECTED:
            return true;
        default:
            return false;
    }
}

// "COM12" typed without the device prefix opens only with it (above COM9
// the plain name is not found); every other path is used as given.
std::wstring DeviceName(const std::string& path) {
    std::wstring name = Widen(path);
    const bool plainCom =
        name.size() > 3 && ::_wcsnicmp(name.c_str(), L"COM", 3) == 0 &&
        std::all_of(name.begin() + 3, name.end(), [](wchar_t c) { return std::iswdigit(c); });
    return plainCom ? L"\\\\.\\" + name : name;
}

DCB EmptyDcb() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return dcb;
}

constexpr std::string_view kParities = "NOEMS";  // NOPARITY ... SPACEPARITY

// Cancels a transfer that lost the race and lets it finish, so that its
// record on the caller's stack is no longer in use; done gets what was
// transferred before the cancel.
void FinishTransfer(const Win32SerialApi& api, HANDLE device, OVERLAPPED& overlapped, DWORD& done) {
    api.cancelIoEx(device, &overlapped);
    api.getOverlappedResult(device, &overlapped, &done, TRUE);
}

// Ends a line-event wait that lost the race the same way. Setting the mask
// ends a pending wait on every driver (and under Wine, where CancelIoEx
// does not reach the wait).
void FinishWait(const Win32SerialApi& api, const Device& device, OVERLAPPED& overlapped) {
    const HANDLE handle = Handle(device.handle);
    // A device going away may refuse the mask and leave the wait pending:
    // cancel it, so the wait below ends.
    if (!api.setCommMask(handle, device.eventMask)) api.cancelIoEx(handle, &overlapped);
    DWORD ignored = 0;
    api.getOverlappedResult(handle, &overlapped, &ignored, TRUE);
}

// Stands for "stop was requested" among the results of AwaitTransfer.
constexpr DWORD kStopped = ERROR_CANCELLED;

// Waits for a pending transfer until it ends, the deadline passes or stop is
// signalled; a transfer that has not ended is cancelled and finished first.
// done gets what was transferred in any case; the result is 0, kStopped, or
// an error code (ERROR_TIMEOUT at the deadline).
DWORD AwaitTransfer(const Win32SerialApi& api, HANDLE device, OVERLAPPED& overlapped, const Event& stop,
                    std::chrono::steady_clock::time_point deadline, DWORD& done) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const DWORD leftMs = static_cast<DWORD>(std::clamp<long long>(left.count(), 0, INFINITE - 1));
    const std::array<HANDLE, 2> handles{Handle(stop.native()), overlapped.hEvent};
    const DWORD woke = ::WaitForMultipleObjects(2, handles.data(), FALSE, leftMs);
    if (woke == WAIT_OBJECT_0 + 1) {
        return api.getOverlappedResult(device, &overlapped, &done, FALSE) ? 0 : ::GetLastError();
    }
    const DWORD waitError = woke == WAIT_FAILED ? ::GetLastError() : 0;
    FinishTransfer(api, device, overlapped, done);
    if (woke == WAIT_OBJECT_0) return kStopped;
    if (woke == WAIT_TIMEOUT) return ERROR_TIMEOUT;
    return waitError;
}

}  // namespace

Win32SerialApi SystemSerialApi() {
    return Win32SerialApi{
        &::CreateFileW,     &::CloseHandle, &::GetCommState,        &::SetCommState,   &::SetupComm,
        &::SetCommTimeouts, &::SetCommMask, &::WaitCommEvent,       &::ClearCommError, &::PurgeComm,
        &::ReadFile,        &::WriteFile,   &::GetOverlappedResult, &::CancelIoEx,
    };
}

Win32SerialApi& SerialApi() {
    static Win32SerialApi api = SystemSerialApi();
    return api;
}

Event::~Event() {
    destroy();
}

int Event::create() {
    if (exists()) {
        reset();
        return 0;
    }
    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) return LastError();
    handle_ = Native(event);
    return 0;
}

void Event::set() {
    if (exists()) ::SetEvent(Handle(handle_));
}

void Event::reset() {
    if (exists()) ::ResetEvent(Handle(handle_));
}

bool Event::isSet() const {
    return exists() && ::WaitForSingleObject(Handle(handle_), 0) == WAIT_OBJECT_0;
}

void Event::destroy() {
    if (!exists()) return;
    ::CloseHandle(Handle(handle_));
    handle_ = kNoHandle;
}

std::string PortDevicePath(std::uint32_t portNumber) {
    return "\\\\.\\COM" + std::to_string(portNumber);
}

OpenOutcome OpenDevice(const std::string& path) {
    const Win32SerialApi& api = SerialApi();
    OpenOutcome out;
    const std::wstring name = DeviceName(path);
    // No sharing: a port that another program holds fails with ERROR_ACCESS_DENIED.
    const HANDLE device = api.createFile(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        out.error = LastError();
        return out;
    }
    // Anything that has no line settings is no serial port.
    DCB dcb = EmptyDcb();
    if (!api.getCommState(device, &dcb)) {
        out.error = LastError();
        out.noLineSettings = true;
        api.closeHandle(device);
        return out;
    }
    const HANDLE ioEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (ioEvent == nullptr) {
        out.error = LastError();
        api.closeHandle(device);
        return out;
    }
    // Queue sizes are advice that some drivers do not take; the port works
    // with the driver's own either way.
    api.setupComm(device, 4096, 4096);
    out.device.handle = Native(device);
    out.device.ioEvent = Native(ioEvent);
    return out;
}

SerialPortError OpenError(int code, bool noLineSettings) {
    SerialPortError error{SerialPortErrorKind::Other, ErrorText(code)};
    if (noLineSettings) {
        error.kind = SerialPortErrorKind::NotASerialPort;
        return error;
    }
    switch (static_cast<DWORD>(code)) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            error.kind = SerialPortErrorKind::Missing;
            break;
        // A COM port opened without sharing refuses every second open this
        // way, so on this platform it means busy, not a lack of rights.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            error.kind = SerialPortErrorKind::Busy;
            break;
        default:
            break;
    }
    return error;
}

void CloseDevice(Device& device) {
    if (!device.isOpen()) return;
    SerialApi().closeHandle(Handle(device.handle));
    if (device.ioEvent != kNoHandle) ::CloseHandle(Handle(device.ioEvent));
    device = Device{};
}

int SetTimeouts(Device& device, const Timeouts& timeouts) {
    COMMTIMEOUTS values{timeouts.readInterval, timeouts.readTotalPerByte, timeouts.readTotalConstant,
                        timeouts.writeTotalPerByte, timeouts.writeTotalConstant};
    return SerialApi().setCommTimeouts(Handle(device.handle), &values) ? 0 : LastError();
}

int SetEventMask(Device& device, std::uint32_t mask) {
    if (!SerialApi().setCommMask(Handle(device.handle), mask)) return LastError();
    device.eventMask = mask;
    return 0;
}

int GetEventMask(const Device& device, std::uint32_t& mask) {
    if (!device.isOpen()) return ERROR_INVALID_HANDLE;
    mask = device.eventMask;
    return 0;
}

int GetLineSettings(const Device& device, LineSettings& settings) {
    DCB dcb = EmptyDcb();
    if (!SerialApi().getCommState(Handle(device.handle), &dcb)) return LastError();
    settings.rate = dcb.BaudRate;
    settings.parity = dcb.Parity < kParities.size() ? kParities[dcb.Parity] : 'N';
    settings.dataBits = dcb.ByteSize;
    settings.stopBits = dcb.StopBits == ONESTOPBIT ? 1 : 2;
    settings.eventChar = static_cast<std::uint8_t>(dcb.EvtChar);
    settings.rtsAsserted = dcb.fRtsControl == RTS_CONTROL_ENABLE;
    return 0;
}

int BuildLineSettings(std::string_view mode, LineSettings& settings) {
    return ParseModeString(mode, settings) ? 0 : ERROR_INVALID_PARAMETER;
}

int ApplyLineSettings(Device& device, const LineSettings& settings) {
    // No serial line runs faster; a larger number is a mistake, not a rate.
    constexpr std::uint32_t kFastestRate = 4000000;
    const std::size_t parity = kParities.find(settings.parity);
    if (settings.rate > kFastestRate || parity == std::string_view::npos) return ERROR_INVALID_PARAMETER;
    const Win32SerialApi& api = SerialApi();
    const HANDLE handle = Handle(device.handle);
    DCB dcb = EmptyDcb();
    if (!api.getCommState(handle, &dcb)) return LastError();
    dcb.BaudRate = settings.rate;
    dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
    dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.Parity = static_cast<BYTE>(parity);
    dcb.fParity = parity != 0;
    dcb.fBinary = TRUE;
    // The DTU's line has no handshake of any kind: no CTS/DSR flow, no
    // XON/XOFF, DTR raised and left alone; errors must not stop the port.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fRtsControl = settings.rtsAsserted ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.EvtChar = static_cast<char>(settings.eventChar);
    return api.setCommState(handle, &dcb) ? 0 : LastError();
}

int Purge(Device& device) {
    constexpr DWORD kAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
    return SerialApi().purgeComm(Handle(device.handle), kAll) ? 0 : LastError();
}

int InputQueueCount(const Device& device, std::uint32_t& count) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!SerialApi().clearCommError(Handle(device.handle), &errors, &status)) return LastError();
    count = status.cbInQue;
    return 0;
}

WaitOutcome WaitFirst(const Event& stop, const Device& device, const Event& write, bool watchInput) {
    if (stop.isSet()) return WaitOutcome::Stop;
    const Win32SerialApi& api = SerialApi();
    const HANDLE handle = Handle(device.handle);
    OVERLAPPED overlapped{};
    overlapped.hEvent = Handle(device.ioEvent);
    DWORD occurred = 0;
    bool armed = false;
    if (device.isOpen() && device.eventMask != 0) {
        ::ResetEvent(overlapped.hEvent);
        if (api.waitCommEvent(handle, &occurred, &overlapped)) return WaitOutcome::LineEvent;
        if (::GetLastError() != ERROR_IO_PENDING) return WaitOutcome::Failed;
        armed = true;
    }
    if (armed && watchInput) {
        // Bytes that came before the wait was armed raise no event of their own.
        DWORD errors = 0;
        COMSTAT status{};
        const bool known = api.clearCommError(handle, &errors, &status) != FALSE;
        if (!known || status.cbInQue > 0) {
            FinishWait(api, device, overlapped);
            if (stop.isSet()) return WaitOutcome::Stop;
            // A port whose status cannot be read cannot be waited on.
            return known ? WaitOutcome::LineEvent : WaitOutcome::Failed;
        }
    }
    // The order is the priority: stop, the line, a write request.
    std::array<HANDLE, 3> handles{};
    DWORD count = 0;
    handles[count++] = Handle(stop.native());
    const DWORD lineIndex = armed ? count : MAXDWORD;
    if (armed) handles[count++] = overlapped.hEvent;
    const DWORD writeIndex = count;
    handles[count++] = Handle(write.native());
    const DWORD woke = ::WaitForMultipleObjects(count, handles.data(), FALSE, INFINITE);
    if (armed && woke == WAIT_OBJECT_0 + lineIndex) {
        DWORD ignored = 0;
        // A wait that ends in an error saw no event: the device is gone or cannot wait.
        return api.getOverlappedResult(handle, &overlapped, &ignored, FALSE) ? WaitOutcome::LineEvent
                                                                             : WaitOutcome::Failed;
    }
    if (armed) FinishWait(api, device, overlapped);
    if (woke == WAIT_OBJECT_0) return WaitOutcome::Stop;
    if (woke == WAIT_OBJECT_0 + writeIndex) return WaitOutcome::Write;
    return WaitOutcome::Failed;
}

TransferOutcome ReadAvailable(Device& device, std::span<std::uint8_t> out) {
    TransferOutcome result;
    if (out.empty()) return result;
    const Win32SerialApi& api = SerialApi();
    const HANDLE handle = Handle(device.handle);
    DWORD errors = 0;
    COMSTAT status{};
    DWORD error = 0;
    if (!api.clearCommError(handle, &errors, &status)) {
        error = ::GetLastError();
        result.error = static_cast<int>(error);
        result.lost = IsLossError(error);
        return result;
    }
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(status.cbInQue, out.size()));
    if (wanted == 0) return result;
    OVERLAPPED overlapped{};
    overlapped.hEvent = Handle(device.ioEvent);
    ::ResetEvent(overlapped.hEvent);
    DWORD got = 0;
    if (!api.readFile(handle, out.data(), wanted, &got, &overlapped)) {
        error = ::GetLastError();
        if (error == ERROR_IO_PENDING) {
            result.pending = true;
            error = api.getOverlappedResult(handle, &overlapped, &got, TRUE) ? 0 : ::GetLastError();
        }
    }
    result.count = std::min<std::size_t>(got, wanted);
    // The driver's read time-out: Windows ends the read short, Wine fails it
    // with ERROR_TIMEOUT. Either way what came is all there is.
    if (error == 0 || error == ERROR_TIMEOUT) return result;
    result.error = static_cast<int>(error);
    result.lost = IsLossError(error);
    return result;
}

TransferOutcome WriteAll(Device& device, std::span<const std::uint8_t> bytes, const Event& stop,
                         std::uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const Win32SerialApi& api = SerialApi();
    const HANDLE handle = Handle(device.handle);
    TransferOutcome result;
    while (result.count < bytes.size()) {
        const auto rest = bytes.subspan(result.count);
        const DWORD length = static_cast<DWORD>(std::min<std::size_t>(rest.size(), MAXDWORD));
        OVERLAPPED overlapped{};
        overlapped.hEvent = Handle(device.ioEvent);
        ::ResetEvent(overlapped.hEvent);
        DWORD put = 0;
        DWORD error = 0;
        if (!api.writeFile(handle, rest.data(), length, &put, &overlapped)) {
            error = ::GetLastError();
            if (error == ERROR_IO_PENDING) {
                result.pending = true;
                error = AwaitTransfer(api, handle, overlapped, stop, deadline, put);
            }
        }
        result.count += std::min(put, length);
        if (error == kStopped) return result;  // stop requested: give up quietly
        // The driver's write time-out: Windows ends the write short (here:
        // with nothing written), Wine fails it with ERROR_TIMEOUT.
        if (error == ERROR_TIMEOUT || (error == 0 && put == 0)) {
            result.error = ERROR_TIMEOUT;
            result.pending = true;
            return result;
        }
        if (error != 0) {
            result.error = static_cast<int>(error);
            result.lost = IsLossError(error);
            return result;
        }
    }
    return result;
}

std::string ErrorText(int error) {
    wchar_t* text = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length =
        ::FormatMessageW(flags, nullptr, static_cast<DWORD>(error), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                         reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = length > 0 && text != nullptr ? Narrow(std::wstring_view(text, length)) : std::string();
    if (text != nullptr) ::LocalFree(text);
    // The table's texts end in a line break; the composed box text has its own.
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    return out.empty() ? "Unknown error " + std::to_string(error) : out;
}

}  // namespace quill::platform
