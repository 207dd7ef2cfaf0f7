#include "session/candidate_ports.h"

#include <algorithm>

#include "protocol/configure_request.h"
#include "protocol/wire.h"
#include "session/session_timers.h"

namespace quill {
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

}  // namespace

void CandidatePorts::reset(std::vector<std::string> paths) {
    ports_.clear();
    paths_ = std::move(paths);
    ports_.resize(paths_.size());
}

// Notifications carry index + 1: a port number of 0 would name no port.
CandidateOpen CandidatePorts::open(std::size_t index) {
    auto port = std::make_unique<CSerialPort>();
    if (!port->OpenPort(this, static_cast<std::uint32_t>(index + 1), BaudTable[kSessionRateIndex],
                        kLineParity, kLineDataBits, kLineStopBits, kLineEventMask, transmitBufferSize,
                        paths_[index]))
        return CandidateFault(port->lastOpenError());
    port->StartWorker();
    ports_[index] = std::move(port);
    return CandidateOpen::Opened;
}

void CandidatePorts::send(std::size_t index, std::uint8_t byte) {
    if (index < ports_.size() && ports_[index]) ports_[index]->SendBytes(&byte, 1);
}

void CandidatePorts::close(std::size_t index) {
    if (index < ports_.size()) ports_[index].reset();  // stops the worker, which closes the device
}

bool CandidatePorts::handOver(std::size_t index, CSerialPort& session, PortOwner* owner,
                              std::uint32_t portNumber) {
    if (index >= ports_.size() || !ports_[index]) return false;
    const bool taken = session.TakeOver(*ports_[index], owner, portNumber);
    ports_[index].reset();
    if (taken) session.StartWorker();
    return taken;
}

std::size_t CandidatePorts::held() const {
    return static_cast<std::size_t>(
        std::count_if(ports_.begin(), ports_.end(), [](const auto& port) { return port != nullptr; }));
}

void CandidatePorts::onPortMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) {
    if (message == WM_PORT_RX_BYTE && lParam >= 1 && lParam <= ports_.size())
        handlers_.byte(lParam - 1, static_cast<std::uint8_t>(wParam));
}

void CandidatePorts::onPortLost(std::uint32_t portNumber) {
    if (portNumber >= 1 && portNumber <= ports_.size()) handlers_.lost(portNumber - 1);
}

}  // namespace quill
