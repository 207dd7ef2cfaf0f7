// Finding the DTU by itself: every candidate port is opened at once and
// polled at the session's cadence; the first that answers with the
// announcement wins and every other is closed at once. Used before a session
// starts, by a front end that was asked to find the port (the window's
// "自动查找DTU" entry, the command line's --port auto).
//
// Principles of operation:
// - Inputs are events: start (with the candidates' names), a timer tick, a
//   byte from candidate i, candidate i lost, cancel.
// - Outputs are calls on the session's line (open, poll or close candidate
//   i), on its host (start or stop a timer, report) and on its owner (take
//   the winner, the end), carried out at once and in order.
// - Nothing here shows a box: a busy or refusing port is named once in the
//   information area and skipped; a port that vanishes is dropped silently.
// - Noise is not an announcement. A device that chatters may well send the
//   letter 'l' (0x6C); a port counts the byte as the announcement only when
//   it was polled and has sent nothing else since the poll period before
//   the last one.
// - The winner is taken (the front end makes it its port) before the others
//   close: one that vanishes as it is taken drops out, and the search goes
//   on with the rest. A search left without a port ends at once.
// - Runs on the front end's user-interface thread, like the session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session/session_host.h"
#include "session/session_line.h"

#include "protocol/wire.h"

namespace quill {

enum class SearchEnd : std::uint8_t {
    Found,       // foundIndex() holds the winner: still open, and now the front end's to use or close
    TimedOut,    // no announcement within the connect time-out; every port closed
    NoneOpened,  // not one candidate could be opened
    Cancelled,   // the operator or the command line stopped it; every port closed
    NoneLeft,    // every candidate went away
};

// Who ran the search: the session, which takes the winner and follows its end.
class SearchOwner {
  public:
    virtual ~SearchOwner() = default;
    // Candidate i announced a DTU: it becomes the session's port, still
    // open. False when it went away meanwhile (it is closed then).
    virtual bool takeCandidate(std::size_t index) = 0;
    virtual void searchEnded(SearchEnd end) = 0;
};

inline constexpr std::string_view kSearchStatusText = "当前状态：正在查找DTU";

// "<-正在查找DTU：3个串口...\n\r\n\r" and the other reports, by port name.
std::string SearchStartedText(std::size_t portCount);
std::string SearchSkippedText(std::string_view port, CandidateOpen why);
std::string SearchNoiseText(std::string_view port);
std::string SearchFoundText(std::string_view port);
std::string SearchNoneOpenedText();

class PortSearch {
  public:
    PortSearch(SessionHost& host, Line& line, SearchOwner& owner) : host_(host), line_(line), owner_(owner) {}

    // Opens every candidate, then polls those that opened. Ends at once
    // (NoneOpened) when none did. A search still running is cancelled first.
    void start(std::vector<std::string> candidates);
    // Stops a running search: timers stopped, every port closed. Does nothing
    // once the search has ended (a winner belongs to the front end).
    void cancel();

    // Timers 5 (poll) and 2 (time-out); other ids are not the search's.
    void OnTimerTick(int timerId);
    void OnPortByte(std::size_t index, std::uint8_t byte);
    void OnPortLost(std::size_t index);

    bool running() const { return running_; }
    std::optional<std::size_t> foundIndex() const { return found_; }
    // Candidates the search holds open (none once it has ended).
    std::size_t openCount() const;

  private:
    struct Candidate {
        std::string name;
        bool open = false;
        bool polled = false;
        bool noiseReported = false;
        // The poll period (count of ticks so far) in which it last sent noise.
        std::optional<std::uint64_t> noisePeriod;
    };

    void finish(SearchEnd end);
    void endIfNoneLeft();
    void closeAllBut(std::optional<std::size_t> keep);
    bool quietLongEnough(const Candidate& candidate) const;

    SessionHost& host_;
    Line& line_;
    SearchOwner& owner_;
    std::vector<Candidate> candidates_;
    bool running_ = false;
    std::optional<std::size_t> found_;
    std::uint64_t ticks_ = 0;
};

}  // namespace quill
