// The session's line: the port the session holds and, during a search, the
// candidate ports, for every front end. The session's parts send and hold
// through it; what the line receives goes straight to the session, and only
// the session's conclusions reach the front end. A front end gives the line
// a way onto its own thread and, where it has one, an in-process device.
//
// Line is what the session's parts use; SessionLine is that line over the
// serial engine, and tests play one of their own. Owner's thread only: the
// engines' workers only post through `post`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "serial/serial_port.h"
#include "session/candidate_ports.h"

namespace quill {

// A port as the front end names it for an open.
struct LinePort {
    std::string devicePath;        // empty: the platform's device for portNumber
    std::uint32_t portNumber = 0;  // in the engine's notifications
    std::string name;              // as the status line names it
    bool simulated = false;        // the front end's in-process device
    friend bool operator==(const LinePort&, const LinePort&) = default;
};

// What the line reports to the session, on the owner's thread.
class LineEvents {
  public:
    virtual ~LineEvents() = default;
    virtual void onLineByte(std::uint8_t byte) = 0;
    // The device went away; the engine has closed it. Reported once.
    virtual void onLineLost() = 0;
    // A failed read or write on the line: the text of the "Application Error" box.
    virtual void onLineError(const std::string& text) = 0;
    virtual void onCandidateByte(std::size_t index, std::uint8_t byte) = 0;
    virtual void onCandidateLost(std::size_t index) = 0;
};

class Line {
  public:
    virtual ~Line() = default;
    virtual void listen(LineEvents& events) = 0;

    // ---- The session's port ----
    // Lets go of whatever is held, then opens port at rate (8N1, the engine's
    // write slot) and starts its worker. False when it could not be opened.
    virtual bool open(const LinePort& port, std::uint32_t rate) = 0;
    // After a failed open: the text of its box.
    virtual std::string openFailureText() const = 0;
    // Asks the worker to end; it closes the device.
    virtual void stop() = 0;
    // A device is held (false once the engine has let go of a vanished one).
    virtual bool held() const = 0;
    virtual bool send(std::span<const std::uint8_t> bytes) = 0;
    // The text without its terminator, which must fit the write slot as well.
    virtual bool sendText(const std::string& gbk) = 0;

    // ---- A search's candidates: index i is the i-th path given to beginSearch ----
    virtual void beginSearch(std::vector<std::string> paths) = 0;
    // Opened at the session's line settings with its worker started.
    virtual CandidateOpen openCandidate(std::size_t index) = 0;
    virtual void sendToCandidate(std::size_t index, std::uint8_t byte) = 0;
    // Returns once the device is closed: it is free for anyone at once.
    virtual void closeCandidate(std::size_t index) = 0;
    // The winner becomes the session's port, still open, known as `port`.
    // False when it went away meanwhile (it is closed then).
    virtual bool adoptCandidate(std::size_t index, const LinePort& port) = 0;
};

// An in-process device the front end offers as a port (the Windows window's
// simulated DTU): it notifies the owner as the engine does.
class LineDevice {
  public:
    virtual ~LineDevice() = default;
    virtual void open(PortOwner& owner, std::uint32_t portNumber, std::uint32_t writeBufferSize) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual bool sendBytes(std::span<const std::uint8_t> bytes) = 0;
    virtual bool sendText(const std::string& text) = 0;
};

// A listener on everything the session's port carries (the command line's trace).
class LineTap {
  public:
    virtual ~LineTap() = default;
    virtual void note(std::string_view text) = 0;
    virtual void sent(std::span<const std::uint8_t> bytes) = 0;
    virtual void received(std::uint8_t byte) = 0;
};

struct LineSetup {
    std::function<void(std::function<void()>)> post;  // onto the owner's thread, never inline
    LineDevice* device = nullptr;                     // opened for a LinePort marked simulated
    // The command line's failure text: the port named, with the system's words.
    bool failureNamesPort = false;
};

class SessionLine final : public Line, public PortOwner {
  public:
    explicit SessionLine(LineSetup setup);
    ~SessionLine() override;
    SessionLine(const SessionLine&) = delete;
    SessionLine& operator=(const SessionLine&) = delete;

    void listen(LineEvents& events) override { events_ = &events; }
    bool open(const LinePort& port, std::uint32_t rate) override;
    std::string openFailureText() const override;
    void stop() override;
    bool held() const override;
    bool send(std::span<const std::uint8_t> bytes) override;
    bool sendText(const std::string& gbk) override;
    void beginSearch(std::vector<std::string> paths) override;
    CandidateOpen openCandidate(std::size_t index) override { return candidates_.open(index); }
    void sendToCandidate(std::size_t index, std::uint8_t byte) override { candidates_.send(index, byte); }
    void closeCandidate(std::size_t index) override { candidates_.close(index); }
    bool adoptCandidate(std::size_t index, const LinePort& port) override;

    void setTap(LineTap* tap) { tap_ = tap; }
    // The port last opened (or tried) or adopted, held or not.
    const LinePort& port() const { return port_; }
    // The port whose device went away, until the next open, search or stop.
    const std::optional<LinePort>& lostPort() const { return lost_; }
    std::uint64_t bytesSent() const { return bytesSent_; }
    std::uint64_t bytesReceived() const { return bytesReceived_; }
    // Engines of a search still held (none once it has ended).
    std::size_t candidatesHeld() const { return candidates_.held(); }
    // The engine itself, for diagnostics and tests.
    CSerialPort& engine() { return engine_; }

    // ---- PortOwner: the notifications of the session's port (and the device) ----
    void postToOwner(std::function<void()> task) override { setup_.post(std::move(task)); }
    void onPortMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override;
    void onPortError(const std::string& text) override;
    void onPortLost(std::uint32_t portNumber) override;

  private:
    void letGo();
    void sent(std::span<const std::uint8_t> bytes);

    LineSetup setup_;
    LineEvents* events_ = nullptr;
    LineTap* tap_ = nullptr;
    LinePort port_;
    std::optional<LinePort> lost_;
    bool onDevice_ = false;  // the session's port is setup_.device
    std::optional<SerialPortError> openError_;
    std::uint64_t bytesSent_ = 0;
    std::uint64_t bytesReceived_ = 0;
    CSerialPort engine_;
    // Last: their workers stop before anything they reach is gone.
    CandidatePorts candidates_;
};

}  // namespace quill
