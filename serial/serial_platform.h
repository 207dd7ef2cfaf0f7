// The operating-system side of the serial engine: open a port exclusively,
// configure it, purge it, wait for the first of three events (stop, line
// event, write request), read and write with a completion wait, and turn an
// error code into text. One implementation file per platform, chosen by the
// build; the engine in serial_port.cpp sees only this interface.
// Every function reports failure as the platform's error code (0 = success),
// taken right where the call failed, so the engine can show it later.
// Called by the engine on the owner's thread (open, configure) and on the
// worker thread (wait, read, write); nothing here keeps shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "serial/serial_port_error.h"

namespace quill::platform {

using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kNoHandle = -1;

// An open port. The event mask lives here because not every platform keeps
// one in the driver.
struct Device {
    NativeHandle handle = kNoHandle;
    std::uint32_t eventMask = 0;
    // The completion event of asynchronous transfers where the platform uses
    // one (Windows); opened and closed with the device.
    NativeHandle ioEvent = kNoHandle;
    bool isOpen() const { return handle != kNoHandle; }
};

// A manual-reset event: stays signalled until reset.
class Event {
  public:
    Event() = default;
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    int create();  // not signalled afterwards; 0 or the error code
    bool exists() const { return handle_ != kNoHandle; }
    void set();
    void reset();
    bool isSet() const;
    void destroy();
    NativeHandle native() const { return handle_; }

  private:
    NativeHandle handle_ = kNoHandle;
};

// The line settings that a mode string "baud=%d parity=%c data=%d stop=%d" sets.
struct LineSettings {
    std::uint32_t rate = 0;
    char parity = 'N';  // N, O, E, M, S
    std::uint32_t dataBits = 8;
    std::uint32_t stopBits = 1;
    std::uint8_t eventChar = 0;
    bool rtsAsserted = false;
};

// All five time-outs of the port, in ms (the engine uses 1000 for each).
struct Timeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalPerByte = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalPerByte = 0;
    std::uint32_t writeTotalConstant = 0;
};

// The device name that port number n (1-based) stands for on this platform.
std::string PortDevicePath(std::uint32_t portNumber);

// Read and write, exclusive, existing device only. A port that another
// program holds fails with the platform's busy code.
struct OpenOutcome {
    Device device;
    int error = 0;
    bool noLineSettings = false;  // it opened, but is no serial port
};
OpenOutcome OpenDevice(const std::string& path);

// The one mapping of a failed open (OpenOutcome's error and noLineSettings,
// or an event that could not be made) to the engine's kind of failure and
// the system's text.
SerialPortError OpenError(int code, bool noLineSettings = false);
void CloseDevice(Device& device);  // leaves the device empty

int SetTimeouts(Device& device, const Timeouts& timeouts);
int SetEventMask(Device& device, std::uint32_t mask);
int GetEventMask(const Device& device, std::uint32_t& mask);
int GetLineSettings(const Device& device, LineSettings& settings);
// Parses "baud=%d parity=%c data=%d stop=%d" into settings; on failure
// nothing in settings changes.
int BuildLineSettings(std::string_view mode, LineSettings& settings);
int ApplyLineSettings(Device& device, const LineSettings& settings);
// Abort pending transfers and empty both queues.
int Purge(Device& device);
int InputQueueCount(const Device& device, std::uint32_t& count);

enum class WaitOutcome { Stop, LineEvent, Write, Failed };
// Waits without a time limit for the first of: stop signalled, the device
// readable (only when watchInput) or hung up, write signalled. The lowest wins
// when several are.
WaitOutcome WaitFirst(const Event& stop, const Device& device, const Event& write, bool watchInput);

struct TransferOutcome {
    std::size_t count = 0;
    int error = 0;         // 0, or the platform's code
    bool lost = false;     // the device has gone away (hang-up, unplugged)
    bool pending = false;  // the transfer had to wait for the line before it ended
};
// Reads what is waiting, up to out.size(), without blocking. count 0 with no
// error and not lost: nothing was there after all.
TransferOutcome ReadAvailable(Device& device, std::span<std::uint8_t> out);
// Writes all bytes, waiting for the line to take them until the deadline or
// until stop is signalled (then count tells how far it got).
TransferOutcome WriteAll(Device& device, std::span<const std::uint8_t> bytes, const Event& stop,
                         std::uint32_t timeoutMs);

// The platform's text for an error code.
std::string ErrorText(int error);

}  // namespace quill::platform
