// The command line's host for the search for the DTU (--port auto): one
// serial engine per candidate, all owned by one event loop, each engine's
// notifications told apart by its port number (candidate index + 1). The
// search decides; this class opens, polls and closes. A closed candidate's
// engine is destroyed at once, so its device is free again when the call
// returns: the session that follows can open the winner as if it had been
// chosen. Caller's thread only; the serial workers only post to the loop.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/console_host.h"
#include "cli/event_loop.h"
#include "serial/serial_port.h"
#include "session/port_search.h"

namespace quill::cli {

// The candidates of this machine, as a search tries them: the discovered
// ports that are candidates, or what a source set below gives.
std::vector<std::string> SearchCandidatePaths();
// Replaces the discovery (tests hand the search their pseudo-terminals); an
// empty function restores it.
void SetSearchCandidateSource(std::function<std::vector<std::string>()> source);

class PortFinder final : public PortSearchHost, public PortOwner {
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

    // ---- PortOwner ----
    void postToOwner(std::function<void()> task) override { loop_.post(std::move(task)); }
    void onPortMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override;
    // A line error on a port that is only being tried is no reason for a message.
    void onPortError(const std::string&) override {}
    void onPortLost(std::uint32_t portNumber) override;

  private:
    EventLoop loop_;
    Console& console_;
    PortSearch search_{*this};
    std::optional<SearchEnd> ended_;
    std::string foundPath_;
    std::vector<std::string> paths_;
    // Last: their workers stop before anything they reach is gone.
    std::vector<std::unique_ptr<CSerialPort>> ports_;
};

}  // namespace quill::cli
