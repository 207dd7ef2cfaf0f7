// The request side of the session: what has been asked of the DTU and what
// answer is awaited. The session controller routes operator commands,
// received bytes and the answer deadline's ticks here; everything runs on
// the front end's user-interface thread.
//
// Principles of operation:
// - One value says what is awaited (nothing, a read answer, the answer to
//   configure frame i of n, the verification read). The receive assembler
//   is told the kind of that answer and nothing else.
// - A read or reset asked for while a write still has frames to send waits
//   in a queue and goes out, in order, after the write's verdict (and its
//   verification): sent in between, its answer and the next frame's would
//   cross.
// - Otherwise a request goes out at once and takes the place of whatever
//   answer is awaited (the operator asks again, or for something else); a
//   read during the verification serves the verification.
// - Every request ends in finish(): answered, refused, not handed to the
//   engine, replaced, the port closed or lost, the state changed, or the
//   answer deadline passed.
// - The answer deadline is the front end's choice: off (the windows wait as
//   long as it takes), or the longest silence allowed while an answer is
//   awaited (TIMER_ANSWER_DEADLINE, restarted at every received byte).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "protocol/configure_request.h"
#include "protocol/receive_assembler.h"
#include "session/session_host.h"

namespace quill {

inline constexpr int TIMER_ANSWER_DEADLINE = 6;

enum class Awaited : std::uint8_t {
    Nothing,
    ReadAnswer,       // after a read or reset request
    ConfigureAnswer,  // after configure frame frameIndex() of frameCount()
    VerifyRead,       // the read that checks a finished write
};

// How a request ended.
enum class RequestEnd : std::uint8_t {
    Answered,       // a complete answer that says success
    Failed,         // a complete answer that says failure
    NotHandedOver,  // the engine did not take the request
    Replaced,       // a new request took its place
    PortClosed,     // closed by the operator, or lost
    StateChanged,   // the demo state began or ended
    Deadline,       // no byte within the answer deadline
};

// What became of an operator's command.
enum class CommandStatus : std::uint8_t { Sent, Held, Refused };
enum class CommandRefusal : std::uint8_t {
    None,
    NotNow,         // its control is not enabled in this state
    FormInvalid,    // a field failed its check; the box has said which
    NotHandedOver,  // the engine did not take it (no device)
};
struct CommandResult {
    CommandStatus status = CommandStatus::Sent;
    CommandRefusal refusal = CommandRefusal::None;
    friend bool operator==(const CommandResult&, const CommandResult&) = default;
};

class RequestCycle {
  public:
    explicit RequestCycle(SessionHost& host) : host_(host) {}

    // A read (ReadRequest) or reset (ResetRequest) request.
    CommandResult askRead(std::uint8_t command);
    // A write in these frames, each sent after the one before it succeeded.
    CommandResult beginWrite(std::vector<ConfigureFrame> frames);
    void onByte(std::uint8_t byte);
    void onDeadlineTick();
    // The session leaves the state its requests belong to: what is awaited
    // ends, and held requests are dropped.
    void endAll(RequestEnd why);

    // 0: no deadline; otherwise the longest silence while an answer is awaited.
    void setAnswerDeadline(int ms) { deadlineMs_ = ms; }
    int answerDeadline() const { return deadlineMs_; }
    void setVerifyAfterWrite(bool on) { verifyAfterWrite_ = on; }
    bool verifyAfterWrite() const { return verifyAfterWrite_; }

    Awaited awaited() const { return awaited_; }
    bool writeInProgress() const { return !frames_.empty(); }
    std::size_t frameIndex() const { return frame_; }
    std::size_t frameCount() const { return frames_.size(); }
    // Frames of the write not yet sent (after the one awaiting its answer).
    std::size_t framesLeft() const;
    // Held read (ReadRequest) and reset (ResetRequest) commands, in order.
    const std::deque<std::uint8_t>& held() const { return held_; }
    const ReceiveAssembler& assembler() const { return assembler_; }
    // Item types of the last write that were not written; empty after a full write.
    const std::vector<std::uint8_t>& unwrittenTypes() const { return unwritten_; }
    // Item types of the last verification that differ (empty when it passed).
    const std::vector<std::uint8_t>& mismatchedTypes() const { return mismatched_; }

  private:
    bool handOver(std::span<const std::uint8_t> bytes);
    bool issueRead(Awaited kind, std::uint8_t command);
    bool sendFrame(std::size_t index);
    void await(Awaited kind);
    void finish(RequestEnd how, std::span<const std::uint8_t> answer = {});
    void endRead(RequestEnd how, std::span<const std::uint8_t> answer);
    void endFrame(RequestEnd how);
    void endVerify(RequestEnd how, std::span<const std::uint8_t> answer);
    void writeNotDone(RequestEnd how, std::size_t firstUnsent);
    void applyReadAnswer(std::span<const std::uint8_t> answer);
    void sendHeld();

    SessionHost& host_;
    Awaited awaited_ = Awaited::Nothing;
    ReceiveAssembler assembler_;
    // The write in progress (and then under verification); frame_ is the
    // one whose answer is awaited.
    std::vector<ConfigureFrame> frames_;
    std::size_t frame_ = 0;
    std::deque<std::uint8_t> held_;
    std::vector<std::uint8_t> unwritten_;
    std::vector<std::uint8_t> mismatched_;
    bool verifyAfterWrite_ = false;
    int deadlineMs_ = 0;
};

}  // namespace quill
