// The serial port engine: one CSerialPort connects the tool to one serial
// port. The owner (the main window) opens it, starts its worker, queues
// writes and asks it to stop, all on the owner's thread. The worker thread
// owns the device while it runs: it waits for the first of stop request,
// received data and write request (in that priority), reads everything that
// is waiting in one call and hands it to the owner as one batch, and writes
// the single pending-write slot.
//
// What crosses between the two threads:
// - the write slot (writeBuffer, pendingWriteLength), under `lock`;
// - the stop request (an event the worker waits on) and the hand-off's
//   stopping flag, which frees a worker that waits for the owner;
// - workerAlive and deviceHeld, atomic;
// - the hand-off of each batch: the worker posts one task to the owner's
//   thread and waits on its own condition until the task has run, or until a
//   stop is requested. It never blocks on the owner's thread, so a stop
//   requested from inside a handler cannot dead-lock. A task that runs after
//   a stop (or after the engine is gone) does nothing: it only touches the
//   shared hand-off state it holds.
// No Qt here; the owner interface is all the engine knows of the window.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "serial/serial_platform.h"

namespace quill {

// WM_USER and the EV_ bits are Windows' own names and values. Where
// <windows.h> came first they are its macros, with the same values, and are
// used as they are.
#ifdef WM_USER
static_assert(WM_USER == 0x400);
#else
inline constexpr std::uint32_t WM_USER = 0x400;
#endif
inline constexpr std::uint32_t WM_PORT_BREAK = 0x401, WM_PORT_CTS = 0x402, WM_PORT_LINE_ERROR = 0x404,
                               WM_PORT_RING = 0x405, WM_PORT_RX_BYTE = 0x407, WM_PORT_EVENT_CHAR = 0x408;
#ifdef EV_RXCHAR
static_assert(EV_RXCHAR == 0x0001 && EV_RXFLAG == 0x0002 && EV_CTS == 0x0008 && EV_BREAK == 0x0040 &&
              EV_ERR == 0x0080 && EV_RING == 0x0100);
#else
inline constexpr std::uint32_t EV_RXCHAR = 0x0001, EV_RXFLAG = 0x0002, EV_CTS = 0x0008, EV_BREAK = 0x0040,
                               EV_ERR = 0x0080, EV_RING = 0x0100;
#endif

// The window that owns the engine. The engine never calls a handler on its worker thread.
class PortOwner {
  public:
    virtual ~PortOwner() = default;
    // Worker thread: arrange for `task` to run soon on the owner's thread (a queued call); never run it
    // inline.
    virtual void postToOwner(std::function<void()> task) = 0;
    // Owner thread: one notification, e.g. WM_PORT_RX_BYTE with the byte as wParam and portNumber as lParam.
    virtual void onPortMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) = 0;
    // Owner thread: show the modal "Application Error" box with this text; returns once it is closed.
    virtual void onPortError(const std::string& text) = 0;
    // Owner thread: the device disappeared; the engine has closed it and its worker has ended. Reported
    // once.
    virtual void onPortLost(std::uint32_t portNumber) = 0;
};

// The text of the "Application Error" box. Composed whole, however long the
// platform's text is.
std::string ComposeErrorText(std::string_view operation, std::string_view platformText,
                             std::uint32_t portNumber);

// Bytes read in one call and handed over as one batch at most.
inline constexpr std::size_t kReadBatchSize = 4096;

class CSerialPort {
  public:
    CSerialPort();
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // devicePath empty: the platform's device for portNumber (PortDevicePath). Otherwise the path is
    // opened as given. Stops a running worker first. False only when the device could not be opened.
    bool OpenPort(PortOwner* owner, std::uint32_t portNumber, std::uint32_t rate, char parity,
                  std::uint32_t dataBits, std::uint32_t stopBits, std::uint32_t eventMask,
                  std::uint32_t writeBufferSize, const std::string& devicePath = {});
    // True when the worker was started; false when no device is open or a worker already runs.
    bool StartWorker();
    // Takes over the device `from` holds open, with its line settings, as if this engine had opened it:
    // from's worker ends without closing it, what it had read and not handed over is dropped, and from
    // is left closed. Notifications then go to newOwner with newPortNumber. Start the worker after.
    // False (this engine closed) when from no longer holds a device.
    bool TakeOver(CSerialPort& from, PortOwner* newOwner, std::uint32_t newPortNumber);
    // Queue bytes for the worker to write; a request replaces one the worker has not taken yet.
    // A request longer than the write buffer is refused whole (false): a cut frame would reach the
    // device as a different, shorter command.
    bool SendBytes(const std::uint8_t* bytes, std::uint32_t length);
    bool SendBytes(std::span<const std::uint8_t> bytes);
    // The text without its terminator; refused (false) when longer than the write buffer less one.
    bool SendText(const char* text);
    // Asks the worker to end; returns at once. The worker closes the device.
    void RequestStop();
    bool IsOpen() const;
    // Why the last open failed; nothing after a successful one.
    std::optional<SerialPortError> lastOpenError() const;
    // Write requests the worker has carried out since construction (diagnostics and tests).
    std::uint64_t completedWrites() const;
    // Waits until completedWrites() reaches count, or the timeout; true when it did.
    bool waitForWrites(std::uint64_t count, std::chrono::milliseconds timeout) const;

  private:
    struct HandOff;
    struct Batch;

    void workerMain(std::shared_ptr<HandOff> handOff);
    // False when the device has gone away.
    bool drainInput(const std::shared_ptr<HandOff>& handOff);
    bool flushPendingWrite(const std::shared_ptr<HandOff>& handOff);
    void endWorkerAfterLoss(const std::shared_ptr<HandOff>& handOff);
    // Posts work to the owner's thread and waits until it ran; false when a stop came first.
    bool runOnOwner(const std::shared_ptr<HandOff>& handOff, std::function<void()> work);
    void reportError(const char* operation, int error);
    void reportErrorFromWorker(const std::shared_ptr<HandOff>& handOff, const char* operation, int error);
    void stopWorker();
    void closeDevice();

    std::uint32_t pendingWriteLength = 0;
    platform::Device device;
    std::thread worker;
    mutable std::recursive_mutex lock;
    std::atomic<bool> workerAlive{false};
    std::atomic<bool> deviceHeld{false};
    // Set while TakeOver stops this worker: the device outlives it.
    std::atomic<bool> keepDeviceOnStop{false};
    platform::Event writeRequest;
    platform::Event stopRequest;
    platform::Timeouts timeouts;
    platform::LineSettings lineSettings;
    PortOwner* owner = nullptr;
    std::uint32_t portNumber = 0;
    std::vector<std::uint8_t> writeBuffer;
    std::uint32_t eventMask = 0;
    std::uint32_t writeBufferSize = 0;
    std::optional<SerialPortError> openError;
    std::shared_ptr<HandOff> handOff;  // the running (or last) worker's
    std::uint64_t writeCount = 0;      // under writeCountMutex
    mutable std::mutex writeCountMutex;
    mutable std::condition_variable writeCountChanged;
};

}  // namespace quill
