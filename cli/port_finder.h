// The command line's host for the search for the DTU (--port auto): the
// candidates' engines, their notifications run on one event loop. The search
// decides; this class opens, polls and closes. A closed candidate's engine is
// destroyed at once, so its device is free again when the call returns: the
// session that follows can open the winner as if it had been chosen. Caller's
// thread only; the serial workers only post to the loop.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/console_host.h"
#include "cli/event_loop.h"
#include "session/candidate_ports.h"
#include "session/port_search.h"

namespace quill::cli {

// The candidates of this machine, as a search tries them: the discovered
// ports that are candidates, or what a source set below gives.
std::vector<std::string> SearchCandidatePaths();
// Replaces the discovery (tests hand the search their pseudo-terminals); an
// empty function restores it.
void SetSearchCandidateSource(std::function<std::vector<std::string>()> source);

class PortFinder final : public PortSearchHost {
  public:
    explicit PortFinder(Console& console);
    ~PortFinder() override;
    PortFinder(const PortFinder&) = delete;
    PortFinder& operator=(const PortFinder&) = delete;

    EventLoop& loop() { return loop_; }
    PortSearch& search() { return search_; }

    // Opens the candidates and starts polling them.
    void begin(std::vector<std::string> candidates);
    // Runs the loop until the search begun ends or stop() holds (then it is
    // cancelled). After Found the winner is closed again and named by
    // foundPath().
    SearchEnd run(const std::function<bool()>& stop);
    const std::string& foundPath() const { return foundPath_; }
    // The search's last end; nullopt while one runs or before the first.
    std::optional<SearchEnd> ended() const { return ended_; }
    // Engines of candidates still held (tests: every one closed).
    std::size_t enginesHeld() const;

    // ---- PortSearchHost ----
    CandidateOpen openCandidate(std::size_t index) override;
    void sendToCandidate(std::size_t index, std::uint8_t byte) override;
    void closeCandidate(std::size_t index) override;
    void startTimerById(int timerId, int periodMs) override;
    void stopTimerById(int timerId) override;
    void appendInfo(std::string_view utf8) override;
    void setStatusText(std::string_view) override {}
    void searchEnded(SearchEnd end) override { ended_ = end; }

  private:
    EventLoop loop_;
    Console& console_;
    PortSearch search_{*this};
    std::optional<SearchEnd> ended_;
    std::string foundPath_;
    // Last: their workers stop before anything they reach is gone.
    CandidatePorts candidates_{{[this](std::function<void()> task) { loop_.post(std::move(task)); },
                                [this](std::size_t i, std::uint8_t byte) { search_.OnPortByte(i, byte); },
                                [this](std::size_t i) { search_.OnPortLost(i); }}};
};

}  // namespace quill::cli
