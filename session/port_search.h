// Finding the DTU by itself: every candidate port is opened at once and
// polled at the session's cadence; the first that answers with the
// announcement wins and every other is closed at once. Used before a session
// starts, by a front end that was asked to find the port (the window's
// "自动查找DTU" entry, the command line's --port auto).
//
// Principles of operation:
// - Inputs are events: start (with the candidates' names), a timer tick, a
//   byte from candidate i, candidate i lost, cancel.
// - Outputs are calls on a PortSearchHost, carried out at once and in order:
//   open, poll or close candidate i, start or stop a timer, report.
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

#include "protocol/wire.h"

namespace quill {

// Why a candidate could not be opened.
enum class CandidateOpen : std::uint8_t { Opened, Busy, NoPermission, Missing, Other };

enum class SearchEnd : std::uint8_t {
    Found,       // foundIndex() holds the winner: still open, and now the front end's to use or close
    TimedOut,    // no announcement within the connect time-out; every port closed
    NoneOpened,  // not one candidate could be opened
    Cancelled,   // the operator or the command line stopped it; every port closed
    NoneLeft,    // every candidate went away
};

class PortSearchHost {
  public:
    virtual ~PortSearchHost() = default;
    // Opens candidate i at the session's line settings (57600 8N1) and starts its worker.
    virtual CandidateOpen openCandidate(std::size_t index) = 0;
    virtual void sendToCandidate(std::size_t index, std::uint8_t byte) = 0;
    virtual void closeCandidate(std::size_t index) = 0;
    // Candidate i announced a DTU: the front end makes it its port, still
    // open. False when it went away meanwhile (it is closed then).
    virtual bool takeCandidate(std::size_t index) = 0;
    // Periodic until stopped; starting a running timer restarts it.
    virtual void startTimerById(int timerId, int periodMs) = 0;
    virtual void stopTimerById(int timerId) = 0;
    virtual void appendInfo(std::string_view utf8) = 0;
    virtual void setStatusText(std::string_view utf8) = 0;
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
    explicit PortSearch(PortSearchHost& host) : host_(host) {}

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

    PortSearchHost& host_;
    std::vector<Candidate> candidates_;
    bool running_ = false;
    std::optional<std::size_t> found_;
    std::uint64_t ticks_ = 0;
};

}  // namespace quill
