// The request side of the session: what has been asked of the DTU and what
// answer is awaited. The session controller routes operator commands,
// received bytes and the cycle's timer ticks here; everything runs on the
// front end's user-interface thread.
//
// Principles of operation:
// - One request on the wire at a time. The DTU's answers carry no request
//   number, so they can only be matched by order: while an answer is
//   awaited nothing else is sent. One value says what is awaited (nothing, a
//   read answer, the answer to configure frame i of n, the verification
//   read); the receive assembler is told the kind of that answer only.
// - A command that arrives while an answer is awaited waits in the queue, in
//   order, and goes out after that request's verdict. A read asked for while
//   a read (or the verification read) is awaited is served by that answer
//   (Joined), as is a read asked for while the same read already waits last
//   in the queue. A write is validated when it is asked for and written as a
//   write of its own when its turn comes.
// - Every request has an answer deadline counted from the moment it went
//   out; bytes that arrive do not push it back. At the deadline the request
//   ends with "<-DTU无应答" and the queue goes on. What the line carries after
//   a deadline (a late answer, a device that talks without end) is dropped,
//   and the next request goes out only once the line has been quiet for
//   kLineQuietMs; one that waits for a quiet line longer than its deadline
//   ends as unanswered too.
// - Every request ends in finish(): answered, refused, not handed to the
//   engine, the answer deadline, the port closed or lost, the state changed.
//   Each such end is the request's one verdict.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "protocol/configure_request.h"
#include "protocol/receive_assembler.h"
#include "session/session_host.h"
#include "session/session_line.h"
#include "session/session_timers.h"

namespace quill {


enum class Awaited : std::uint8_t {
    Nothing,
    ReadAnswer,       // after a read or reset request
    ConfigureAnswer,  // after configure frame frameIndex() of frameCount()
    VerifyRead,       // the read that checks a finished write
    CheckRead,        // the read that compares the unit with a parameter file
};

// How a request ended.
enum class RequestEnd : std::uint8_t {
    Answered,       // a complete answer that says success
    Failed,         // a complete answer that says failure, or one too large to hold
    NotHandedOver,  // the engine did not take the request
    PortClosed,     // closed by the operator, or lost
    StateChanged,   // the demo state began or ended, the line was reopened
    Deadline,       // no complete answer within the answer deadline
};

// What became of an operator's command.
enum class CommandStatus : std::uint8_t {
    Sent,     // on the wire now
    Held,     // in the queue, behind the request whose answer is awaited
    Joined,   // the read already awaited or queued will serve it
    Refused,  // see CommandRefusal
};
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
    RequestCycle(SessionHost& host, Line& line) : host_(host), line_(line) {}

    // A read (ReadRequest) or reset (ResetRequest) request.
    CommandResult askRead(std::uint8_t command);
    // A write in these frames, each sent after the one before it succeeded.
    CommandResult beginWrite(std::vector<ConfigureFrame> frames);
    // A read whose answer is compared with these frames (a parameter file as
    // a write would send it) by the read-back's rule; the form is left as it is.
    CommandResult askCheck(std::vector<ConfigureFrame> file);
    void onByte(std::uint8_t byte);
    // TIMER_ANSWER_DEADLINE and TIMER_LINE_QUIET.
    void onTimerTick(int timerId);
    // The session leaves the state its requests belong to: what is awaited
    // ends, and every queued request ends with it (a queued write says so).
    void endAll(RequestEnd why);

    // The rate of the line the requests go out on; sets the deadline.
    void setLineRate(std::uint32_t rate) { rateDeadlineMs_ = AnswerDeadlineMs(rate); }
    // A deadline of a front end's own (a slow DTU); 0 goes back to the line rate's.
    void setAnswerDeadline(int ms) { ownDeadlineMs_ = ms > 0 ? ms : 0; }
    int answerDeadline() const { return ownDeadlineMs_ > 0 ? ownDeadlineMs_ : rateDeadlineMs_; }
    void setVerifyAfterWrite(bool on) { verifyAfterWrite_ = on; }
    bool verifyAfterWrite() const { return verifyAfterWrite_; }

    Awaited awaited() const { return awaited_; }
    bool writeInProgress() const {
        return awaited_ == Awaited::ConfigureAnswer || awaited_ == Awaited::VerifyRead;
    }
    std::size_t frameIndex() const { return frame_; }
    std::size_t frameCount() const { return frames_.size(); }
    // Frames of the write not yet sent (after the one awaiting its answer).
    std::size_t framesLeft() const;
    // Requests waiting for their turn.
    std::size_t queued() const { return queue_.size(); }
    // Requests taken (sent or queued) and requests that have had their
    // verdict: the difference is the one awaited and those queued.
    std::uint64_t taken() const { return taken_; }
    std::uint64_t concluded() const { return concluded_; }
    // What arrives is dropped until the line has been quiet (after a deadline).
    bool lineQuiet() const { return lineQuiet_; }
    const ReceiveAssembler& assembler() const { return assembler_; }
    // Item types of the last write that were not written; empty after a full write.
    const std::vector<std::uint8_t>& unwrittenTypes() const { return unwritten_; }
    // Item types of the last verification that differ (empty when it passed).
    const std::vector<std::uint8_t>& mismatchedTypes() const { return mismatched_; }
    // A new unit on the line (a wait for the DTU): the DTU id the last read
    // answer gave, which writes are recorded under, is forgotten.
    void forgetUnit() { dtuId_.clear(); }

  private:
    struct Request {
        std::uint8_t command = 0;            // a read or reset; 0 for a write
        std::vector<ConfigureFrame> frames;  // a write, or the file a check compares with
        bool check = false;
        bool write() const { return !check && !frames.empty(); }
    };

    bool idle() const { return awaited_ == Awaited::Nothing && lineQuiet_; }
    bool handOver(std::span<const std::uint8_t> bytes);
    bool start(Request& request);
    bool sendFrame(std::size_t index);
    void await(Awaited kind);
    void finish(RequestEnd how, std::span<const std::uint8_t> answer = {});
    void endRead(RequestEnd how, std::span<const std::uint8_t> answer);
    void endFrame(RequestEnd how);
    void endVerify(RequestEnd how, std::span<const std::uint8_t> answer);
    void endCheck(RequestEnd how, std::span<const std::uint8_t> answer);
    CommandResult take(Request request);
    void writeNotDone(RequestEnd how, std::size_t firstUnsent, bool wentOut = true);
    void reportWrite(WriteVerdict verdict, ReadBack readBack);
    void noteDtuId(std::span<const std::uint8_t> answer);
    void endUnsent(Request& request, RequestEnd how);
    void applyReadAnswer(std::span<const std::uint8_t> answer);
    void lineDirty();
    void conclude() { ++concluded_; }
    void sendNext();

    SessionHost& host_;
    Line& line_;
    Awaited awaited_ = Awaited::Nothing;
    ReceiveAssembler assembler_;
    // The write in progress (and then under verification); frame_ is the
    // one whose answer is awaited.
    std::vector<ConfigureFrame> frames_;
    std::size_t frame_ = 0;
    std::deque<Request> queue_;
    // The head of the queue waits for a quiet line; the deadline timer counts its wait.
    bool headWaits_ = false;
    bool lineQuiet_ = true;
    std::vector<std::uint8_t> unwritten_;
    std::vector<std::uint8_t> mismatched_;
    std::vector<ConfigureFrame> checked_;  // the file the awaited check compares with
    std::string dtuId_;
    std::string writtenDtuId_;
    bool verifyAfterWrite_ = false;
    std::uint64_t taken_ = 0;
    std::uint64_t concluded_ = 0;
    // The read or reset command whose answer is awaited.
    std::uint8_t command_ = 0;
    int rateDeadlineMs_ = AnswerDeadlineMs(57600);
    int ownDeadlineMs_ = 0;
};

}  // namespace quill
