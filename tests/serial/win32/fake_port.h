// A stand-in for one COM port's driver, put into the serial layer's table of
// Win32 calls for as long as it lives. It shows what no test machine can:
// a port that another program holds, a device that vanishes while the
// worker waits, a driver's time-outs in the Windows and the Wine flavour.
// Asynchronous operations stay pending until the test (or a cancel, or a
// change of the event mask) completes them, as a driver would.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "serial/serial_win32_api.h"

namespace quill::test {

class FakePort {
  public:
    // How the driver ends a read or a write: with every byte asked for
    // (reads: what is queued), with a time-out as Wine reports it
    // (ERROR_TIMEOUT) or as Windows does (success, nothing transferred), with
    // `failure`, or not until the test, a cancel or a purge ends it.
    enum class Ending { Complete, TimeoutWine, TimeoutWindows, Fail, Hang };

    FakePort();
    ~FakePort();
    FakePort(const FakePort&) = delete;
    FakePort& operator=(const FakePort&) = delete;

    // Knobs; set them before the calls they shape.
    DWORD openError = 0;         // CreateFileW fails with this
    DWORD commStateError = 0;    // GetCommState fails with this
    bool eventForQueued = true;  // a wait armed with bytes queued ends at once (Wine); false: Windows
    Ending readEnding = Ending::Complete;
    Ending writeEnding = Ending::Complete;
    bool asynchronous = false;        // reads and writes end through ERROR_IO_PENDING
    DWORD failure = ERROR_NOT_READY;  // for Ending::Fail
    DWORD maskError = 0;              // SetCommMask fails with this and leaves a pending wait as it is
    std::function<void()> onArm;      // runs inside WaitCommEvent after a wait went pending

    // The device goes away: a pending wait ends with waitError (0: the wait
    // reports an event as if a line state changed), and from then on every
    // call on the port fails with callError.
    void unplug(DWORD waitError, DWORD callError);
    // Bytes arrive in the input queue; a pending wait ends with EV_RXCHAR.
    void receive(std::size_t count);
    // Ends a pending write with this error (0: all bytes written).
    void completeWrite(DWORD error);

    bool waitForArmedWaits(std::uint64_t count, std::chrono::milliseconds timeout);
    bool waitForPendingWrite(std::chrono::milliseconds timeout);

    // What the layer did.
    std::wstring openedName() const;
    DCB appliedState() const;
    COMMTIMEOUTS appliedTimeouts() const;
    DWORD mask() const;
    std::uint64_t waitCalls() const;
    std::uint64_t cancels() const;
    std::uint64_t closes() const;
    bool anythingPending() const;

  private:
    struct Operation {
        OVERLAPPED* record = nullptr;
        bool done = false;
        DWORD error = 0;
        DWORD count = 0;
        DWORD requested = 0;
        DWORD* eventOut = nullptr;  // a wait's result mask
    };

    static FakePort* current;
    static HANDLE WINAPI CreateFileFake(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    static BOOL WINAPI CloseHandleFake(HANDLE);
    static BOOL WINAPI GetCommStateFake(HANDLE, LPDCB);
    static BOOL WINAPI SetCommStateFake(HANDLE, LPDCB);
    static BOOL WINAPI SetupCommFake(HANDLE, DWORD, DWORD);
    static BOOL WINAPI SetCommTimeoutsFake(HANDLE, LPCOMMTIMEOUTS);
    static BOOL WINAPI SetCommMaskFake(HANDLE, DWORD);
    static BOOL WINAPI WaitCommEventFake(HANDLE, LPDWORD, LPOVERLAPPED);
    static BOOL WINAPI ClearCommErrorFake(HANDLE, LPDWORD, LPCOMSTAT);
    static BOOL WINAPI PurgeCommFake(HANDLE, DWORD);
    static BOOL WINAPI ReadFileFake(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    static BOOL WINAPI WriteFileFake(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    static BOOL WINAPI GetOverlappedResultFake(HANDLE, LPOVERLAPPED, LPDWORD, BOOL);
    static BOOL WINAPI CancelIoExFake(HANDLE, LPOVERLAPPED);

    // Under m_.
    void startLocked(Operation& op, OVERLAPPED* record, DWORD requested);
    void finishLocked(Operation& op, DWORD error, DWORD count);
    bool pendingLocked(const Operation& op) const { return op.record != nullptr && !op.done; }
    Operation* findLocked(const OVERLAPPED* record);
    // Ends a read or write as `ending` says; the result of the Win32 call.
    BOOL endTransferLocked(Ending ending, DWORD count, LPDWORD transferred, Operation& op,
                           OVERLAPPED* record);
    BOOL failLocked();  // the call fails as calls on a vanished device do

    mutable std::mutex m_;
    std::condition_variable cv_;
    bool gone_ = false;
    DWORD callError_ = 0;
    std::size_t queued_ = 0;
    std::wstring openedName_;
    DCB state_{};
    COMMTIMEOUTS timeouts_{};
    DWORD mask_ = 0;
    Operation wait_;
    Operation read_;
    Operation write_;
    std::uint64_t waitCalls_ = 0;
    std::uint64_t cancels_ = 0;
    std::uint64_t closes_ = 0;
};

}  // namespace quill::test
