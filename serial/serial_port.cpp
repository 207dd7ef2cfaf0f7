#include "serial/serial_port.h"

#include <algorithm>
#include <condition_variable>
#include <limits>
#include <utility>

namespace quill {

// Shared by the engine, its worker and every task posted to the owner; a task
// may outlive the engine, so it holds this and never the engine.
struct CSerialPort::HandOff {
    std::mutex m;
    std::condition_variable cv;
    std::atomic<bool> stopping{false};
    std::uint64_t posted = 0;
    std::uint64_t handled = 0;

    void stop() {
        {
            std::lock_guard guard(m);
            stopping = true;
        }
        cv.notify_all();
    }
};

namespace {

constexpr std::uint32_t kTimeoutMs = 1000;
constexpr std::uint8_t kEventChar = 'q';

// The line messages raised after each line-event wake-up, in this order, when
// their bit is in the mask.
struct LineMessage {
    std::uint32_t bit;
    std::uint32_t message;
};
constexpr LineMessage kLineMessages[] = {
    {EV_CTS, WM_PORT_CTS},   {EV_BREAK, WM_PORT_BREAK},       {EV_ERR, WM_PORT_LINE_ERROR},
    {EV_RING, WM_PORT_RING}, {EV_RXFLAG, WM_PORT_EVENT_CHAR},
};

std::uint32_t WriteTimeoutMs(const platform::Timeouts& t, std::size_t length) {
    const std::uint64_t total = std::uint64_t{t.writeTotalPerByte} * length + t.writeTotalConstant;
    constexpr std::uint64_t kDay = 24ULL * 3600 * 1000;
    return static_cast<std::uint32_t>(std::min(total, kDay));
}

}  // namespace

std::string ComposeErrorText(std::string_view operation, std::string_view platformText,
                             std::uint32_t portNumber) {
    std::string text = "WARNING:  ";
    text.append(operation);
    text.append(" Failed with the following error: \n");
    text.append(platformText);
    text.append("\nPort: ");
    text.append(std::to_string(portNumber));
    text.append("\n");
    return text;
}

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort() {
    stopWorker();
    closeDevice();
}

bool CSerialPort::OpenPort(PortOwner* newOwner, std::uint32_t newPortNumber, std::uint32_t rate, char parity,
                           std::uint32_t dataBits, std::uint32_t stopBits, std::uint32_t newEventMask,
                           std::uint32_t newWriteBufferSize, const std::string& devicePath) {
    stopWorker();

    // A pending send request and an earlier stop request are discarded here.
    for (platform::Event* event : {&writeRequest, &stopRequest}) {
        if (const int error = event->create(); error != 0) {
            openError = platform::OpenError(error);
            return false;
        }
    }

    owner = newOwner;
    writeBuffer.assign(newWriteBufferSize, 0);
    pendingWriteLength = 0;
    portNumber = newPortNumber;
    writeBufferSize = newWriteBufferSize;
    eventMask = newEventMask;

    std::lock_guard guard(lock);
    closeDevice();

    const std::string path = devicePath.empty() ? platform::PortDevicePath(portNumber) : devicePath;
    std::string mode = "baud=" + std::to_string(rate) + " parity=";
    mode.push_back(parity);
    mode += " data=" + std::to_string(dataBits) + " stop=" + std::to_string(stopBits);

    platform::OpenOutcome opened = platform::OpenDevice(path);
    if (opened.error != 0) {
        openError =
            platform::OpenError(opened.error, opened.noLineSettings);  // no box: the caller reports it
        return false;
    }
    openError.reset();
    device = opened.device;
    deviceHeld = true;

    // A failed step skips the later ones; the port is purged and stays open.
    timeouts = platform::Timeouts{kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs};
    if (const int error = platform::SetTimeouts(device, timeouts); error != 0) {
        reportError("SetCommTimeouts()", error);
    } else if (const int error = platform::SetEventMask(device, eventMask); error != 0) {
        reportError("SetCommMask()", error);
    } else if (const int error = platform::GetLineSettings(device, lineSettings); error != 0) {
        reportError("GetCommState()", error);
    } else {
        lineSettings.eventChar = kEventChar;
        lineSettings.rtsAsserted = true;
        if (const int error = platform::BuildLineSettings(mode, lineSettings); error != 0) {
            reportError("BuildCommDCB()", error);
        } else if (const int error = platform::ApplyLineSettings(device, lineSettings); error != 0) {
            reportError("SetCommState()", error);
        }
    }
    platform::Purge(device);
    return true;
}

bool CSerialPort::StartWorker() {
    if (workerAlive) return false;
    if (worker.joinable()) worker.join();  // a worker that ended on its own
    if (!deviceHeld) return false;
    handOff = std::make_shared<HandOff>();
    workerAlive = true;  // true from the moment StartWorker returns
    worker = std::thread(&CSerialPort::workerMain, this, handOff);
    return true;
}

bool CSerialPort::TakeOver(CSerialPort& from, PortOwner* newOwner, std::uint32_t newPortNumber) {
    if (&from == this) return false;
    stopWorker();
    from.keepDeviceOnStop = true;
    from.stopWorker();
    from.keepDeviceOnStop = false;
    for (platform::Event* event : {&writeRequest, &stopRequest}) {
        if (const int error = event->create(); error != 0) {
            openError = platform::OpenError(error);
            return false;
        }
    }
    std::scoped_lock guard(lock, from.lock);
    closeDevice();
    if (!from.deviceHeld) return false;  // it went away before the worker ended
    device = std::exchange(from.device, platform::Device{});
    from.deviceHeld = false;
    deviceHeld = true;
    openError.reset();
    owner = newOwner;
    portNumber = newPortNumber;
    timeouts = from.timeouts;
    lineSettings = from.lineSettings;
    eventMask = from.eventMask;
    writeBufferSize = from.writeBufferSize;
    writeBuffer.assign(writeBufferSize, 0);
    pendingWriteLength = 0;
    return true;
}

bool CSerialPort::SendBytes(const std::uint8_t* bytes, std::uint32_t length) {
    if (length > 0 && bytes == nullptr) return false;
    if (!writeRequest.exists()) return false;  // never opened: no slot
    std::lock_guard guard(lock);
    if (length > writeBuffer.size()) return false;
    std::copy_n(bytes, length, writeBuffer.begin());
    pendingWriteLength = length;
    writeRequest.set();
    return true;
}

bool CSerialPort::SendBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) return false;
    return SendBytes(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

bool CSerialPort::SendText(const char* text) {
    if (text == nullptr) return false;
    const std::string_view view(text);
    std::lock_guard guard(lock);
    // The slot keeps the terminator too.
    if (view.size() >= writeBuffer.size()) return false;
    return SendBytes(reinterpret_cast<const std::uint8_t*>(view.data()),
                     static_cast<std::uint32_t>(view.size()));
}

void CSerialPort::RequestStop() {
    stopRequest.set();
    if (handOff) handOff->stop();
}

bool CSerialPort::IsOpen() const {
    return deviceHeld;
}

std::optional<SerialPortError> CSerialPort::lastOpenError() const {
    return openError;
}

std::uint64_t CSerialPort::completedWrites() const {
    std::lock_guard guard(writeCountMutex);
    return writeCount;
}

bool CSerialPort::waitForWrites(std::uint64_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock wait(writeCountMutex);
    return writeCountChanged.wait_for(wait, timeout, [&] { return writeCount >= count; });
}

void CSerialPort::stopWorker() {
    RequestStop();
    // The worker cannot be waiting for this thread: the hand-off gives up on stop.
    if (worker.joinable()) worker.join();
}

void CSerialPort::closeDevice() {
    std::lock_guard guard(lock);
    platform::CloseDevice(device);
    deviceHeld = false;
}

void CSerialPort::workerMain(std::shared_ptr<HandOff> hand) {
    {
        std::lock_guard guard(lock);
        if (device.isOpen()) platform::Purge(device);
    }
    // Without EV_RXCHAR nothing would take the input away, so it is not watched.
    const bool watchInput = (eventMask & EV_RXCHAR) != 0;
    for (;;) {
        switch (platform::WaitFirst(stopRequest, device, writeRequest, watchInput)) {
            case platform::WaitOutcome::Stop:
                if (!keepDeviceOnStop) closeDevice();
                workerAlive = false;
                return;
            case platform::WaitOutcome::LineEvent:
                if (!drainInput(hand)) return endWorkerAfterLoss(hand);
                break;
            case platform::WaitOutcome::Write:
                if (!flushPendingWrite(hand)) return endWorkerAfterLoss(hand);
                break;
            case platform::WaitOutcome::Failed:
                // A wait that cannot wait would only spin.
                return endWorkerAfterLoss(hand);
        }
    }
}

bool CSerialPort::drainInput(const std::shared_ptr<HandOff>& hand) {
    std::vector<std::uint8_t> bytes(kReadBatchSize);
    platform::TransferOutcome got;
    {
        std::lock_guard guard(lock);
        got = platform::ReadAvailable(device, bytes);
    }
    if (got.lost) return false;
    // A read that had to wait for its completion names that wait.
    if (got.error != 0)
        reportErrorFromWorker(hand, got.pending ? "GetOverlappedResults() in ReadFile()" : "ReadFile()",
                              got.error);
    bytes.resize(got.count);

    std::uint32_t mask = 0;
    platform::GetEventMask(device, mask);
    std::vector<std::uint32_t> messages;
    for (const LineMessage& line : kLineMessages) {
        if ((mask & line.bit) != 0) messages.push_back(line.message);
    }
    if (bytes.empty() && messages.empty()) return true;

    PortOwner* target = owner;
    const std::uint32_t port = portNumber;
    HandOff* h = hand.get();  // kept alive by the task that runs this
    runOnOwner(hand, [h, target, port, bytes = std::move(bytes), messages = std::move(messages)] {
        for (const std::uint8_t b : bytes) {
            if (h->stopping) return;  // a handler closed or reopened the port
            target->onPortMessage(WM_PORT_RX_BYTE, b, port);
        }
        for (const std::uint32_t message : messages) {
            if (h->stopping) return;
            target->onPortMessage(message, 0, port);
        }
    });
    return true;
}

bool CSerialPort::flushPendingWrite(const std::shared_ptr<HandOff>& hand) {
    writeRequest.reset();
    platform::TransferOutcome put;
    {
        std::lock_guard guard(lock);
        // Every write first discards what was received but not read and what is still unsent.
        platform::Purge(device);
        const std::size_t length = std::min<std::size_t>(pendingWriteLength, writeBuffer.size());
        put = platform::WriteAll(device, std::span<const std::uint8_t>(writeBuffer.data(), length),
                                 stopRequest, WriteTimeoutMs(timeouts, length));
    }
    {
        std::lock_guard guard(writeCountMutex);
        ++writeCount;
    }
    writeCountChanged.notify_all();
    if (put.lost) return false;
    // A write that failed while waiting for completion is not reported.
    if (put.error != 0 && !put.pending) reportErrorFromWorker(hand, "WriteFile()", put.error);
    return true;
}

void CSerialPort::endWorkerAfterLoss(const std::shared_ptr<HandOff>& hand) {
    PortOwner* target = owner;
    const std::uint32_t port = portNumber;
    closeDevice();
    workerAlive = false;
    if (target == nullptr) return;
    // Not waited for: the worker is done. A stop requested meanwhile means the
    // owner has closed the port itself and needs no report.
    target->postToOwner([hand, target, port] {
        if (hand->stopping) return;
        target->onPortLost(port);
    });
}

bool CSerialPort::runOnOwner(const std::shared_ptr<HandOff>& hand, std::function<void()> work) {
    PortOwner* target = owner;
    if (target == nullptr) return true;
    std::uint64_t id = 0;
    {
        std::lock_guard guard(hand->m);
        if (hand->stopping) return false;
        id = ++hand->posted;
    }
    target->postToOwner([hand, id, work = std::move(work)] {
        if (hand->stopping) return;  // stale: the worker has stopped waiting for it
        work();
        {
            std::lock_guard guard(hand->m);
            hand->handled = std::max(hand->handled, id);
        }
        hand->cv.notify_all();
    });
    std::unique_lock wait(hand->m);
    hand->cv.wait(wait, [&] { return hand->stopping || hand->handled >= id; });
    return !hand->stopping;
}

void CSerialPort::reportError(const char* operation, int error) {
    const std::string text = ComposeErrorText(operation, platform::ErrorText(error), portNumber);
    if (owner != nullptr) owner->onPortError(text);
}

void CSerialPort::reportErrorFromWorker(const std::shared_ptr<HandOff>& hand, const char* operation,
                                        int error) {
    PortOwner* target = owner;
    std::string text = ComposeErrorText(operation, platform::ErrorText(error), portNumber);
    // Nothing is read, written or stopped while the box is open, unless a stop is requested.
    runOnOwner(hand, [target, text = std::move(text)] { target->onPortError(text); });
}

}  // namespace quill
