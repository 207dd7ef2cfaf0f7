#include "cli/port_finder.h"

#include <algorithm>

#include "protocol/configure_request.h"
#include "serial/search_candidates.h"
#include "session/session_controller.h"

namespace quill::cli {
namespace {

CandidateOpen CandidateFault(const std::optional<SerialPortError>& error) {
    switch (error ? error->kind : SerialPortErrorKind::Other) {
        case SerialPortErrorKind::Busy:
            return CandidateOpen::Busy;
        case SerialPortErrorKind::NoPermission:
            return CandidateOpen::NoPermission;
        case SerialPortErrorKind::Missing:
            return CandidateOpen::Missing;
        case SerialPortErrorKind::NotASerialPort:
        case SerialPortErrorKind::Other:
            break;
    }
    return CandidateOpen::Other;
}

std::function<std::vector<std::string>()> candidateSource;

}  // namespace

void SetSearchCandidateSource(std::function<std::vector<std::string>()> source) {
    candidateSource = std::move(source);
}

std::vector<std::string> SearchCandidatePaths() {
    if (candidateSource) return candidateSource();
    std::vector<std::string> paths;
    for (const FoundPort& port : SearchCandidates(FindSerialPorts())) paths.push_back(port.path);
    return paths;
}

PortFinder::PortFinder(Console& console) : console_(console) {
    loop_.setTimerHandler([this](int timerId) { search_.OnTimerTick(timerId); });
}

PortFinder::~PortFinder() {
    search_.cancel();
    ports_.clear();
}

void PortFinder::begin(std::vector<std::string> candidates) {
    search_.cancel();
    paths_ = candidates;
    ports_.clear();
    ports_.resize(paths_.size());
    ended_.reset();
    foundPath_.clear();
    search_.start(std::move(candidates));
}

SearchEnd PortFinder::run(const std::function<bool()>& stop) {
    loop_.runUntil([&] { return ended_.has_value() || stop(); }, EventLoop::Clock::time_point::max());
    if (!ended_) search_.cancel();
    if (const std::optional<std::size_t> found = search_.foundIndex(); found && *ended_ == SearchEnd::Found) {
        foundPath_ = paths_[*found];
        ports_[*found].reset();  // opened again by the session, as if chosen
    }
    return *ended_;
}

std::size_t PortFinder::enginesHeld() const {
    return static_cast<std::size_t>(std::count_if(ports_.begin(), ports_.end(),
                                                  [](const auto& port) { return port != nullptr; }));
}

CandidateOpen PortFinder::openCandidate(std::size_t index) {
    auto port = std::make_unique<CSerialPort>();
    if (!port->OpenPort(this, static_cast<std::uint32_t>(index + 1), BaudTable[kSessionRateIndex], kLineParity,
                        kLineDataBits, kLineStopBits, kLineEventMask, transmitBufferSize, paths_[index]))
        return CandidateFault(port->lastOpenError());
    port->StartWorker();
    ports_[index] = std::move(port);
    return CandidateOpen::Opened;
}

void PortFinder::sendToCandidate(std::size_t index, std::uint8_t byte) {
    if (ports_[index]) ports_[index]->SendBytes(&byte, 1);
}

void PortFinder::closeCandidate(std::size_t index) {
    ports_[index].reset();  // stops the worker, which closes the device
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

void PortFinder::onPortMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
    if (message == WM_PORT_RX_BYTE && lParam >= 1) search_.OnPortByte(lParam - 1, static_cast<std::uint8_t>(wParam));
}

void PortFinder::onPortLost(std::uint32_t portNumber) {
    if (portNumber >= 1) search_.OnPortLost(portNumber - 1);
}

}  // namespace quill::cli
