#include "session/port_search.h"

#include <algorithm>

#include "session/session_timers.h"
#include "session/session_texts.h"

namespace quill {

std::string SearchStartedText(std::size_t portCount) {
    return "<-正在查找DTU，共" + std::to_string(portCount) + "个串口...\n\r\n\r";
}

std::string SearchSkippedText(std::string_view port, CandidateOpen why) {
    std::string_view reason = "无法打开";
    switch (why) {
        case CandidateOpen::Busy:
            reason = "被占用";
            break;
        case CandidateOpen::NoPermission:
            reason = "没有访问权限";
            break;
        case CandidateOpen::Missing:
            reason = "不存在";
            break;
        case CandidateOpen::Opened:
        case CandidateOpen::Other:
            break;
    }
    return "<-串口" + std::string(port) + std::string(reason) + "，已跳过\n\r\n\r";
}

std::string SearchNoiseText(std::string_view port) {
    return "<-串口" + std::string(port) + "收到的不是DTU的应答，继续查找\n\r\n\r";
}

std::string SearchFoundText(std::string_view port) {
    return "<-在串口" + std::string(port) + "上找到DTU\n\r\n\r";
}

std::string SearchNoneOpenedText() {
    return "<-没有可以打开的串口，无法查找DTU\n\r\n\r";
}

void PortSearch::start(std::vector<std::string> candidates) {
    cancel();
    candidates_.clear();
    for (std::string& name : candidates) candidates_.push_back({std::move(name), false, false, false, std::nullopt});
    found_.reset();
    ticks_ = 0;
    running_ = true;
    for (std::size_t i = 0; i < candidates_.size(); ++i) {
        const CandidateOpen opened = line_.openCandidate(i);
        candidates_[i].open = opened == CandidateOpen::Opened;
        if (!candidates_[i].open) host_.appendInfo(SearchSkippedText(candidates_[i].name, opened));
    }
    if (openCount() == 0) {
        host_.appendInfo(SearchNoneOpenedText());
        finish(SearchEnd::NoneOpened);
        return;
    }
    host_.setStatusText(kSearchStatusText);
    host_.appendInfo(SearchStartedText(openCount()));
    host_.startTimerById(TIMER_DTU_POLL, kPollPeriodMs);
    host_.startTimerById(TIMER_CONNECT_TIMEOUT, kConnectTimeoutMs);
}

void PortSearch::cancel() {
    if (!running_) return;
    closeAllBut(std::nullopt);
    host_.appendInfo(kClosedText);
    host_.setStatusText(kStatusClosedText);
    finish(SearchEnd::Cancelled);
}

void PortSearch::OnTimerTick(int timerId) {
    if (!running_) return;  // a tick already queued when the search ended
    if (timerId == TIMER_DTU_POLL) {
        ++ticks_;
        for (std::size_t i = 0; i < candidates_.size(); ++i) {
            if (!candidates_[i].open) continue;
            line_.sendToCandidate(i, kPollByte);
            candidates_[i].polled = true;
        }
    } else if (timerId == TIMER_CONNECT_TIMEOUT) {
        // As the session's own wait ends: the time-out, then the close.
        host_.appendInfo(kTimedOutText);
        closeAllBut(std::nullopt);
        host_.appendInfo(kClosedText);
        host_.setStatusText(kStatusClosedText);
        finish(SearchEnd::TimedOut);
    }
}

void PortSearch::OnPortByte(std::size_t index, std::uint8_t byte) {
    // Bytes that were on their way when a port was closed or the search ended.
    if (!running_ || index >= candidates_.size() || !candidates_[index].open) return;
    Candidate& candidate = candidates_[index];
    if (byte == kAnnounceByte && candidate.polled && quietLongEnough(candidate)) {
        candidate.open = false;  // the front end's now, or gone
        if (!owner_.takeCandidate(index)) {
            endIfNoneLeft();
            return;
        }
        found_ = index;
        closeAllBut(index);
        host_.appendInfo(SearchFoundText(candidate.name));
        finish(SearchEnd::Found);
        return;
    }
    candidate.noisePeriod = ticks_;
    if (!candidate.noiseReported) {
        candidate.noiseReported = true;
        host_.appendInfo(SearchNoiseText(candidate.name));
    }
}

void PortSearch::OnPortLost(std::size_t index) {
    if (!running_ || index >= candidates_.size() || !candidates_[index].open) return;
    // The engine has let go of the device already; closing again stops nothing that runs.
    candidates_[index].open = false;
    line_.closeCandidate(index);
    endIfNoneLeft();
}

// Nothing is left to poll: the search ends as a close does, not after the time-out.
void PortSearch::endIfNoneLeft() {
    if (!running_ || openCount() > 0) return;
    host_.appendInfo(kClosedText);
    host_.setStatusText(kStatusClosedText);
    finish(SearchEnd::NoneLeft);
}

std::size_t PortSearch::openCount() const {
    return static_cast<std::size_t>(
        std::count_if(candidates_.begin(), candidates_.end(), [](const Candidate& c) { return c.open; }));
}

void PortSearch::finish(SearchEnd end) {
    running_ = false;
    host_.stopTimerById(TIMER_DTU_POLL);
    host_.stopTimerById(TIMER_CONNECT_TIMEOUT);
    owner_.searchEnded(end);
}

void PortSearch::closeAllBut(std::optional<std::size_t> keep) {
    for (std::size_t i = 0; i < candidates_.size(); ++i) {
        if (!candidates_[i].open || keep == i) continue;
        candidates_[i].open = false;
        line_.closeCandidate(i);
    }
}

// Noise in this period or the one before rules the announcement out: a
// chattering device's 'l' is not a DTU's answer to a poll.
bool PortSearch::quietLongEnough(const Candidate& candidate) const {
    return !candidate.noisePeriod || *candidate.noisePeriod + 2 <= ticks_;
}

}  // namespace quill
