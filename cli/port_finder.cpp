#include "cli/port_finder.h"

#include "serial/search_candidates.h"

namespace quill::cli {
namespace {

std::function<std::vector<std::string>()> candidateSource;

}  // namespace

void SetSearchCandidateSource(std::function<std::vector<std::string>()> source) {
    candidateSource = std::move(source);
}

std::vector<std::string> SearchCandidatePaths() {
    if (candidateSource) return candidateSource();
    return quill::SearchCandidatePaths(FindSerialPorts());
}

PortFinder::PortFinder(Console& console) : console_(console) {
    loop_.setTimerHandler([this](int timerId) { search_.OnTimerTick(timerId); });
}

PortFinder::~PortFinder() {
    search_.cancel();
}

void PortFinder::begin(std::vector<std::string> candidates) {
    search_.cancel();
    candidates_.reset(candidates);
    ended_.reset();
    foundPath_.clear();
    search_.start(std::move(candidates));
}

SearchEnd PortFinder::run(const std::function<bool()>& stop) {
    loop_.runUntil([&] { return ended_.has_value() || stop(); }, EventLoop::Clock::time_point::max());
    if (!ended_) search_.cancel();
    if (const std::optional<std::size_t> found = search_.foundIndex(); found && *ended_ == SearchEnd::Found) {
        foundPath_ = candidates_.path(*found);
        candidates_.close(*found);  // opened again by the session, as if chosen
    }
    return *ended_;
}

std::size_t PortFinder::enginesHeld() const {
    return candidates_.held();
}

CandidateOpen PortFinder::openCandidate(std::size_t index) {
    return candidates_.open(index);
}

void PortFinder::sendToCandidate(std::size_t index, std::uint8_t byte) {
    candidates_.send(index, byte);
}

void PortFinder::closeCandidate(std::size_t index) {
    candidates_.close(index);
}

void PortFinder::startTimerById(int timerId, int periodMs) {
    loop_.startTimer(timerId, std::chrono::milliseconds(periodMs));
}

void PortFinder::stopTimerById(int timerId) {
    loop_.stopTimer(timerId);
}

void PortFinder::appendInfo(std::string_view utf8) {
    for (const std::string_view line : ReportLines(utf8)) console_.message(line);
}

}  // namespace quill::cli
