#include "tests/serial/win32/fake_port.h"

#include <algorithm>
#include <cstring>

namespace quill::test {

using platform::SerialApi;
using platform::SystemSerialApi;

FakePort* FakePort::current = nullptr;

namespace {
const HANDLE kFakeHandle = reinterpret_cast<HANDLE>(std::intptr_t{0x4F50});
}

FakePort::FakePort() {
    current = this;
    // A port as another program may leave it: every kind of handshake on.
    state_.DCBlength = sizeof state_;
    state_.BaudRate = 9600;
    state_.ByteSize = 7;
    state_.Parity = EVENPARITY;
    state_.fParity = TRUE;
    state_.StopBits = TWOSTOPBITS;
    state_.fOutxCtsFlow = TRUE;
    state_.fOutxDsrFlow = TRUE;
    state_.fDsrSensitivity = TRUE;
    state_.fDtrControl = DTR_CONTROL_HANDSHAKE;
    state_.fRtsControl = RTS_CONTROL_HANDSHAKE;
    state_.fOutX = TRUE;
    state_.fInX = TRUE;
    state_.fAbortOnError = TRUE;
    state_.fErrorChar = TRUE;
    state_.fNull = TRUE;
    SerialApi() = platform::Win32SerialApi{
        &CreateFileFake,      &CloseHandleFake, &GetCommStateFake,        &SetCommStateFake,   &SetupCommFake,
        &SetCommTimeoutsFake, &SetCommMaskFake, &WaitCommEventFake,       &ClearCommErrorFake, &PurgeCommFake,
        &ReadFileFake,        &WriteFileFake,   &GetOverlappedResultFake, &CancelIoExFake,
    };
}

FakePort::~FakePort() {
    SerialApi() = SystemSerialApi();
    current = nullptr;
}

void FakePort::unplug(DWORD waitError, DWORD callError) {
    std::lock_guard guard(m_);
    gone_ = true;
    callError_ = callError;
    if (pendingLocked(wait_)) {
        *wait_.eventOut = waitError == 0 ? EV_ERR : 0;
        finishLocked(wait_, waitError, 0);
    }
}

void FakePort::receive(std::size_t count) {
    std::lock_guard guard(m_);
    queued_ += count;
    if (pendingLocked(wait_)) {
        *wait_.eventOut = EV_RXCHAR;
        finishLocked(wait_, 0, 0);
    }
}

void FakePort::completeWrite(DWORD error) {
    std::lock_guard guard(m_);
    if (pendingLocked(write_)) finishLocked(write_, error, error == 0 ? write_.requested : 0);
}

bool FakePort::waitForArmedWaits(std::uint64_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, timeout, [&] { return waitCalls_ >= count && pendingLocked(wait_); });
}

bool FakePort::waitForPendingWrite(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, timeout, [&] { return pendingLocked(write_); });
}

std::wstring FakePort::openedName() const {
    std::lock_guard guard(m_);
    return openedName_;
}

DCB FakePort::appliedState() const {
    std::lock_guard guard(m_);
    return state_;
}

COMMTIMEOUTS FakePort::appliedTimeouts() const {
    std::lock_guard guard(m_);
    return timeouts_;
}

DWORD FakePort::mask() const {
    std::lock_guard guard(m_);
    return mask_;
}

std::uint64_t FakePort::waitCalls() const {
    std::lock_guard guard(m_);
    return waitCalls_;
}

std::uint64_t FakePort::cancels() const {
    std::lock_guard guard(m_);
    return cancels_;
}

std::uint64_t FakePort::closes() const {
    std::lock_guard guard(m_);
    return closes_;
}

bool FakePort::anythingPending() const {
    std::lock_guard guard(m_);
    return pendingLocked(wait_) || pendingLocked(read_) || pendingLocked(write_);
}

void FakePort::startLocked(Operation& op, OVERLAPPED* record, DWORD requested) {
    op = Operation{};
    op.record = record;
    op.requested = requested;
    cv_.notify_all();
}

void FakePort::finishLocked(Operation& op, DWORD error, DWORD count) {
    op.done = true;
    op.error = error;
    op.count = count;
    ::SetEvent(op.record->hEvent);
    cv_.notify_all();
}

FakePort::Operation* FakePort::findLocked(const OVERLAPPED* record) {
    for (Operation* op : {&wait_, &read_, &write_}) {
        if (op->record != nullptr && op->record == record) return op;
    }
    return nullptr;
}

BOOL FakePort::failLocked() {
    ::SetLastError(callError_);
    return FALSE;
}

BOOL FakePort::endTransferLocked(Ending ending, DWORD count, LPDWORD transferred, Operation& op,
                                 OVERLAPPED* record) {
    DWORD error = 0;
    DWORD done = 0;
    switch (ending) {
        case Ending::Complete:
            done = count;
            break;
        case Ending::TimeoutWine:
            error = ERROR_TIMEOUT;
            break;
        case Ending::TimeoutWindows:
            break;
        case Ending::Fail:
            error = failure;
            break;
        case Ending::Hang:
            startLocked(op, record, count);
            ::SetLastError(ERROR_IO_PENDING);
            return FALSE;
    }
    if (asynchronous) {
        startLocked(op, record, count);
        finishLocked(op, error, done);
        ::SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    *transferred = done;
    if (error != 0) {
        ::SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

HANDLE WINAPI FakePort::CreateFileFake(LPCWSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                       HANDLE) {
    FakePort& port = *current;
    std::lock_guard guard(port.m_);
    port.openedName_ = name;
    if (port.openError != 0) {
        ::SetLastError(port.openError);
        return INVALID_HANDLE_VALUE;
    }
    return kFakeHandle;
}

BOOL WINAPI FakePort::CloseHandleFake(HANDLE) {
    FakePort& port = *current;
    std::lock_guard guard(port.m_);
    ++port.closes_;
    return TRUE;
}

BOOL WINAPI FakePort::GetCommStateFake(HANDLE, LPDCB dcb) {
    FakePort& port = *current;
    std::lock_guard guard(port.m_);
    if (port.gone_) return port.failLocked();
    if (port.commStateError != 0) {
        ::SetLastError(port.commStateError);
        return FALSE;
    }
    *dcb = port.state_;
    return TRUE;
}

BOOL WINAPI FakePort::SetCommStateFake(HANDLE, LPDCB dcb) {
    FakePort& port = *current;
    std::lock_guard guard(port.m_);
    if (port.gone_) return port.failLocked();
    port.state_ = *dcb;
    return TRUE;
}

BOOL WINAPI FakePort::SetupCommFake(HANDLE, DWORD, DWORD) {
    return TRUE;
}

BOOL WINAPI FakePort::SetCommTimeoutsFake(HANDLE, LPCOMMTIMEOUTS timeouts) {
    FakePort& port = *current;
    std::lock_guard guard(port.m_);
    if (port.gone_) return port.failLocked();
    port.timeouts_ = *timeouts;
    return TRUE;
}

BOOL WINAPI FakePort::SetCommMaskFake(HANDLE, DWORD mask) {
    FakePort& port = *current;
    std::lock_guard guard(port.m_);
    if (port.gone_) return port.failLocked();
    if (port.maskError != 0) {
        ::SetLastError(port.maskError);
        return FALSE;
    }
    port.mask_ = mask;
    // A new mask ends a pending wait, with no event.
    if (port.pendingLocked(port.wait_)) {
        *port.wait_.eventOut = 0;
        port.finishLocked(port.wait_, 0, 0);
    }
    return TRUE;
}

BOOL WINAPI FakePort::WaitCommEventFake(HANDLE, LPDWORD occurred, LPOVERLAPPED record) {
    FakePort& port = *current;
    std::function<void()> hook;
    {
        std::lock_guard guard(port.m_);
        ++port.waitCalls_;
        port.cv_.notify_all();
        if (port.gone_) return port.failLocked();
        if (port.mask_ == 0 || port.pendingLocked(port.wait_)) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (port.eventForQueued && port.queued_ > 0) {
            *occurred = EV_RXCHAR;
            return TRUE;
        }
        port.startLocked(port.wait_, record, 0);
        port.wait_.eventOut = occurred;
        hook = port.onArm;
    }
    if (hook) hook();
    ::SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

BOOL WINAPI FakePort::ClearCommErrorFake(HANDLE, LPDWORD errors, LPCOMSTAT status) {
    FakePort& port = *current;
    std::lock_guard guard(port.m_);
    if (port.gone_) return port.failLocked();
    if (errors != nullptr) *errors = 0;
    if (status != nullptr) {
        *status = COMSTAT{};
        status->cbInQue = static_cast<DWORD>(port.queued_);
    }
    return TRUE;
}

BOOL WINAPI FakePort::PurgeCommFake(HANDLE, DWORD) {
    FakePort& port = *current;
    std::lock_guard guard(port.m_);
    if (port.gone_) return port.failLocked();
    port.queued_ = 0;
    for (Operation* op : {&port.read_, &port.write_}) {
        if (port.pendingLocked(*op)) port.finishLocked(*op, ERROR_OPERATION_ABORTED, 0);
    }
    return TRUE;
}

BOOL WINAPI FakePort::ReadFileFake(HANDLE, LPVOID buffer, DWORD length, LPDWORD got, LPOVERLAPPED record) {
    FakePort& port = *current;
    std::lock_guard guard(port.m_);
    if (port.gone_) return port.failLocked();
    const DWORD count = static_cast<DWORD>(std::min<std::size_t>(length, port.queued_));
    if (port.readEnding == Ending::Complete) {
        std::memset(buffer, 0xA5, count);
        port.queued_ -= count;
    }
    return port.endTransferLocked(port.readEnding, count, got, port.read_, record);
}

BOOL WINAPI FakePort::WriteFileFake(HANDLE, LPCVOID, DWORD length, LPDWORD put, LPOVERLAPPED record) {
    FakePort& port = *current;
    std::lock_guard guard(port.m_);
    if (port.gone_) return port.failLocked();
    return port.endTransferLocked(port.writeEnding, length, put, port.write_, record);
}

BOOL WINAPI FakePort::GetOverlappedResultFake(HANDLE, LPOVERLAPPED record, LPDWORD transferred, BOOL wait) {
    FakePort& port = *current;
    std::unique_lock lock(port.m_);
    Operation* op = port.findLocked(record);
    if (op == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!op->done && !wait) {
        ::SetLastError(ERROR_IO_INCOMPLETE);
        return FALSE;
    }
    port.cv_.wait(lock, [&] { return op->done; });
    *transferred = op->count;
    const DWORD error = op->error;
    op->record = nullptr;  // retired: the record may be used again
    if (error != 0) {
        ::SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FakePort::CancelIoExFake(HANDLE, LPOVERLAPPED record) {
    FakePort& port = *current;
    std::lock_guard guard(port.m_);
    ++port.cancels_;
    bool found = false;
    for (Operation* op : {&port.wait_, &port.read_, &port.write_}) {
        if (port.pendingLocked(*op) && (record == nullptr || op->record == record)) {
            port.finishLocked(*op, ERROR_OPERATION_ABORTED, 0);
            found = true;
        }
    }
    if (!found) ::SetLastError(ERROR_NOT_FOUND);
    return found ? TRUE : FALSE;
}

}  // namespace quill::test
