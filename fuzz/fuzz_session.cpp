// Fuzzes the session core with random sequences of events: operator
// commands, timer ticks, received bytes (random, or the simulated DTU's answer
// to what was last sent, cut anywhere) and device losses. After every event
// the invariants below must hold, whatever came before.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "protocol/frame.h"
#include "protocol/item_table.h"
#include "protocol/wire.h"
#include "session/session_controller.h"
#include "sim/simulated_dtu.h"
#include "terminal/send_request.h"
#include "tests/session/recording_host.h"

namespace {

using quill::SessionState;

class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    bool bit() { return (byte() & 1) != 0; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// The host, with the invariants that concern what the session asks of it.
class CheckingHost : public quill::test::RecordingHost {
  public:
    const quill::SessionController* session = nullptr;
    bool polling = false;  // inside a tick of the poll timer

    bool send(std::span<const std::uint8_t> bytes) override {
        // Nothing is sent while the port is closed.
        FUZZ_CHECK(holding && session->portOpen());
        // One request on the wire at a time: none goes out while an answer is awaited.
        const bool request = bytes.size() >= 16 && bytes[0] == quill::kFrameDelimiter &&
                             (bytes[1] == quill::Command::ReadRequest || bytes[1] == quill::Command::ResetRequest ||
                              bytes[1] == quill::Command::ConfigureRequest);
        if (request) FUZZ_CHECK(session->requests().awaited() == quill::Awaited::Nothing);
        // Polls only while waiting.
        if (polling) FUZZ_CHECK(session->state() == SessionState::WaitingForDtu);
        return RecordingHost::send(bytes);
    }
    bool sendText(const std::string& gbk) override {
        FUZZ_CHECK(holding && session->portOpen());
        return RecordingHost::sendText(gbk);
    }
    // Candidates are polled only by a running search, and only those it holds open.
    void sendToCandidate(std::size_t index, std::uint8_t byte) override {
        FUZZ_CHECK(session->state() == SessionState::Searching);
        FUZZ_CHECK(std::find(candidatesOpen.begin(), candidatesOpen.end(), index) != candidatesOpen.end());
        RecordingHost::sendToCandidate(index, byte);
    }
    // A found port that went away before the session took it is a loss too.
    int failedAdoptions = 0;
    bool adoptCandidate(std::size_t index, const quill::LinePort& port) override {
        const bool taken = RecordingHost::adoptCandidate(index, port);
        failedAdoptions += taken ? 0 : 1;
        return taken;
    }
};

bool Closed(SessionState state) {
    return state == SessionState::Closed || state == SessionState::DemoPortClosed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    CheckingHost host;
    quill::SessionController session(host, host);
    host.session = &session;
    quill::SimulatedDtu dtu;
    const auto items = quill::ItemTable();
    int losses = 0;
    if (in.bit()) session.setAnswerDeadline(5000);
    std::uint32_t tickedInterval = 0;  // the interval member when auto-send was last ticked

    while (!in.empty()) {
        const std::size_t boxesBefore = host.boxes.size();
        const std::uint8_t op = in.byte() % 17;
        switch (op) {
            case 0:
                host.opensSucceed = in.bit();
                session.OnOpenPort();
                break;
            case 1:
                session.OnClosePort();
                break;
            case 2:
                session.OnReadParameters();
                break;
            case 3: {
                const quill::ItemDef& item = items[in.byte() % items.size()];
                if (item.checkBoxId != 0) host.form.Field(item.type, std::string(in.byte() % 8, '1'));
                session.OnConfigure();
                break;
            }
            case 4:
                host.ticks[quill::kConfigDoneBoxId] = in.bit();
                session.OnConfigDone();
                break;
            case 5:
                session.OnReset();
                break;
            case 6:
                host.rateIndex = static_cast<int>(in.byte() % 13) - 1;
                host.opensSucceed = in.bit();
                session.OnDemoBaudChanged();
                break;
            case 7:
                host.ticks[quill::kHexModeBoxId] = in.bit();
                host.sendMember = std::string(static_cast<std::size_t>(in.byte()) * 5, '3');
                session.OnSend();
                break;
            case 8:
                host.ticks[quill::kAutoSendBoxId] = in.bit();
                tickedInterval = host.interval;
                session.OnAutoSend();
                break;
            case 9:
                host.formValid = in.bit();
                host.interval = in.byte();
                session.OnIntervalChanged();
                break;
            case 10: {
                static constexpr int kTimers[] = {quill::TIMER_AUTO_SEND, quill::TIMER_CONNECT_TIMEOUT,
                                                  quill::TIMER_DTU_POLL, quill::TIMER_ANSWER_DEADLINE,
                                                  quill::TIMER_LINE_QUIET};
                const int id = kTimers[in.byte() % 5];
                host.polling = id == quill::TIMER_DTU_POLL;
                session.OnTimerTick(id);
                host.polling = false;
                break;
            }
            case 11:
                for (int n = in.byte() % 8; n > 0; --n) session.OnPortByte(in.byte());
                break;
            case 12:
                // The device vanishes: the engine lets go of it and reports once.
                if (host.holding) {
                    host.holding = false;
                    ++losses;
                    session.OnPortLost();
                }
                break;
            case 13:
                // The DTU answers the last frame sent, possibly only in part.
                if (!host.sent.empty()) {
                    const std::vector<std::uint8_t> answer = dtu.feed(host.sent.back());
                    const std::size_t cut = answer.empty() ? 0 : in.byte() % (answer.size() + 1);
                    for (std::size_t i = 0; i < cut; ++i) session.OnPortByte(answer[i]);
                }
                break;
            case 14:
                host.ticks[quill::kConfigDoneBoxId] = in.bit();
                session.SyncConfigDone();
                break;
            case 15: {
                // 1027 with the search chosen, over up to three candidates, some busy.
                std::vector<std::string> candidates;
                host.candidateOpens.clear();
                for (std::size_t i = in.byte() % 4; i > 0; --i) {
                    if (in.bit()) host.candidateOpens[candidates.size()] = quill::CandidateOpen::Busy;
                    candidates.push_back("/dev/ttyUSB" + std::to_string(candidates.size()));
                }
                host.candidates = candidates;
                host.adoptSucceeds = in.bit();
                session.OnOpenPort();
                host.candidates.reset();
                break;
            }
            case 16: {
                const std::size_t index = in.byte() % 4;
                if (in.bit())
                    session.OnCandidateByte(index, in.bit() ? quill::kAnnounceByte : in.byte());
                else
                    session.OnCandidateLost(index);
                break;
            }
        }

        // At most one box for any one event.
        FUZZ_CHECK(host.boxes.size() <= boxesBefore + 1);
        // At most one loss report per loss.
        FUZZ_CHECK(host.count(quill::kPortLostText) <= losses + host.failedAdoptions);
        // The controls shown enabled are those of the state.
        FUZZ_CHECK(host.enableCalls == 0 || host.enables == quill::test::TypedEnables(session.state()));
        // Requests belong to the connected state (and resets to the demo state);
        // queued ones wait only for an awaited answer or a line still talking.
        const quill::RequestCycle& requests = session.requests();
        if (requests.writeInProgress()) FUZZ_CHECK(session.state() == SessionState::Connected);
        if (requests.queued() > 0)
            FUZZ_CHECK(requests.awaited() != quill::Awaited::Nothing || !requests.lineQuiet());
        if (Closed(session.state())) FUZZ_CHECK(requests.awaited() == quill::Awaited::Nothing);
        // Every request taken ends in exactly one verdict: it is awaited, queued, or concluded once.
        FUZZ_CHECK(requests.taken() - requests.concluded() ==
                   (requests.awaited() != quill::Awaited::Nothing ? 1u : 0u) + requests.queued());
        // Every answer awaited, and every request waiting for a quiet line, has its deadline running.
        if (requests.awaited() != quill::Awaited::Nothing || requests.queued() > 0)
            FUZZ_CHECK(host.running(quill::TIMER_ANSWER_DEADLINE));
        // Auto-send runs at the interval its box was ticked with, whatever 1035 says since.
        if (host.running(quill::TIMER_AUTO_SEND))
            FUZZ_CHECK(host.timers.at(quill::TIMER_AUTO_SEND) == quill::AutoSendPeriod(tickedInterval));
        // Only a running search holds candidates.
        if (session.state() != SessionState::Searching) FUZZ_CHECK(host.candidatesOpen.empty());
        // Polling and the time-out run only while waiting or searching; after a close nothing runs.
        if (session.state() == SessionState::Searching) {
            FUZZ_CHECK(host.running(quill::TIMER_CONNECT_TIMEOUT) && host.running(quill::TIMER_DTU_POLL));
        } else if (session.state() != SessionState::WaitingForDtu) {
            FUZZ_CHECK(!host.running(quill::TIMER_CONNECT_TIMEOUT) && !host.running(quill::TIMER_DTU_POLL));
        }
        if (Closed(session.state())) FUZZ_CHECK(host.timers.empty());
        // Auto-send runs only in the demo state with its box ticked.
        if (host.running(quill::TIMER_AUTO_SEND)) {
            FUZZ_CHECK(session.state() == SessionState::Demo && host.isTicked(quill::kAutoSendBoxId));
        }
        // The assembler never holds more than its buffer.
        FUZZ_CHECK(session.assembler().receiveCount() >= 0 &&
                   static_cast<std::size_t>(session.assembler().receiveCount()) <=
                       quill::ReceiveAssembler::kCapacity);
    }
    return 0;
}
