#include "session/session_line.h"

#include <utility>

#include "form/open_failure.h"
#include "protocol/configure_request.h"
#include "protocol/wire.h"
#include "session/session_timers.h"

namespace quill {

SessionLine::SessionLine(LineSetup setup)
    : setup_(std::move(setup)),
      candidates_({setup_.post,
                   [this](std::size_t i, std::uint8_t byte) {
                       if (events_ != nullptr) events_->onCandidateByte(i, byte);
                   },
                   [this](std::size_t i) {
                       if (events_ != nullptr) events_->onCandidateLost(i);
                   }}) {}

SessionLine::~SessionLine() {
    // The in-process device outlives the line: nothing of it may reach here again.
    if (onDevice_ && setup_.device != nullptr) setup_.device->close();
}

void SessionLine::letGo() {
    engine_.RequestStop();
    if (onDevice_ && setup_.device != nullptr) setup_.device->close();
    onDevice_ = false;
}

bool SessionLine::open(const LinePort& port, std::uint32_t rate) {
    letGo();
    lost_.reset();
    openError_.reset();
    port_ = port;  // a failure names the port tried
    if (port.simulated) {
        if (setup_.device == nullptr) return false;
        setup_.device->open(*this, port.portNumber, transmitBufferSize);
        onDevice_ = true;
    } else {
        if (!engine_.OpenPort(this, port.portNumber, rate, kLineParity, kLineDataBits, kLineStopBits,
                              kLineEventMask, transmitBufferSize, port.devicePath)) {
            openError_ = engine_.lastOpenError();
            return false;
        }
        engine_.StartWorker();
    }
    if (tap_ != nullptr) tap_->note("opened " + port.name + " at " + std::to_string(rate) + " 8N1");
    return true;
}

std::string SessionLine::openFailureText() const {
    return setup_.failureNamesPort ? OpenFailureText(openError_, port_.name) : OpenFailureText(openError_);
}

void SessionLine::stop() {
    letGo();
    lost_.reset();
    openError_.reset();
    if (tap_ != nullptr) tap_->note("closed " + port_.name);
}

bool SessionLine::held() const {
    return onDevice_ ? setup_.device->isOpen() : engine_.IsOpen();
}

bool SessionLine::send(std::span<const std::uint8_t> bytes) {
    if (!held()) return false;
    if (!(onDevice_ ? setup_.device->sendBytes(bytes) : engine_.SendBytes(bytes))) return false;
    sent(bytes);
    return true;
}

bool SessionLine::sendText(const std::string& gbk) {
    if (!held()) return false;
    if (!(onDevice_ ? setup_.device->sendText(gbk) : engine_.SendText(gbk.c_str()))) return false;
    sent(std::span(reinterpret_cast<const std::uint8_t*>(gbk.data()), gbk.size()));
    return true;
}

void SessionLine::sent(std::span<const std::uint8_t> bytes) {
    bytesSent_ += bytes.size();
    if (tap_ != nullptr) tap_->sent(bytes);
}

void SessionLine::beginSearch(std::vector<std::string> paths) {
    lost_.reset();
    candidates_.reset(std::move(paths));
}

bool SessionLine::adoptCandidate(std::size_t index, const LinePort& port) {
    letGo();
    if (!candidates_.handOver(index, engine_, this, port.portNumber)) return false;
    port_ = port;
    if (tap_ != nullptr) tap_->note("found the DTU on " + port_.name);
    return true;
}

void SessionLine::onPortMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t /*lParam*/) {
    if (message != WM_PORT_RX_BYTE) return;
    const auto byte = static_cast<std::uint8_t>(wParam);
    ++bytesReceived_;
    if (tap_ != nullptr) tap_->received(byte);
    if (events_ != nullptr) events_->onLineByte(byte);
}

void SessionLine::onPortError(const std::string& text) {
    if (events_ != nullptr) events_->onLineError(text);
}

void SessionLine::onPortLost(std::uint32_t /*portNumber*/) {
    onDevice_ = onDevice_ && setup_.device->isOpen();
    lost_ = port_;
    if (tap_ != nullptr) tap_->note("port lost");
    if (events_ != nullptr) events_->onLineLost();
}

}  // namespace quill
