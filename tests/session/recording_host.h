// A session host and line that record every call and play the port from the test:
// opens succeed or fail as told, what is sent is kept frame by frame, timers
// are a map the test ticks by hand. For the controller's tests and fuzzer.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "protocol/item_table.h"
#include "session/session_controller.h"
#include "tests/protocol/form_snapshot_fake.h"

namespace quill::test {

struct BoxRecord {
    std::string text;
    std::string caption;
};

// The enabled controls of each state, typed out rather than taken from the
// code under test.
inline ControlEnables TypedEnables(SessionState state) {
    switch (state) {
        case SessionState::Closed:
        case SessionState::DemoPortClosed:
            return {.openPort = true};
        case SessionState::WaitingForDtu:
        case SessionState::Searching:
            return {.closePort = true};
        case SessionState::Connected:
            return {.closePort = true, .readParameters = true, .configure = true};
        case SessionState::Demo:
            return {.closePort = true, .reset = true, .terminal = true};
    }
    return {.openPort = true, .closePort = true, .readParameters = true, .configure = true, .reset = true};
}

class RecordingHost : public SessionHost, public Line {
  public:
    // ---- How the test sets the scene ----
    bool opensSucceed = true;
    std::string portName = "com1";
    bool formValid = true;  // what saveForm reports (the interval edit)
    std::string sendMember;
    std::uint32_t interval = 1000;
    int rateIndex = 9;
    MapFormSnapshot form;
    std::map<int, bool> ticks;
    // A search is chosen when this holds its candidates; each opens as told (Opened by default).
    std::optional<std::vector<std::string>> candidates;
    std::map<std::size_t, CandidateOpen> candidateOpens;
    bool adoptSucceeds = true;

    // ---- What the session did ----
    std::vector<std::uint32_t> openRates;
    int stops = 0;
    bool holding = false;  // the line holds a device
    std::vector<std::vector<std::uint8_t>> sent;
    std::map<int, int> timers;  // running timers: id -> period
    std::vector<std::string> info;
    std::vector<BoxRecord> boxes;
    std::string status;
    ControlEnables enables;
    int enableCalls = 0;
    std::vector<std::uint8_t> displayed;
    std::vector<std::uint8_t> filledTypes;
    std::vector<SessionOutcome> outcomes;
    int saves = 0;
    std::vector<std::size_t> candidatesOpen;  // held by the search, in the order opened
    std::vector<std::pair<std::size_t, std::uint8_t>> candidateSent;
    std::optional<std::size_t> adopted;
    std::vector<std::string> searched;  // the candidates of the search begun last
    std::vector<std::string> found;     // the winners the front end was told of
    std::vector<LinePort> opened;       // every port an open was asked for
    struct Written {
        WriteVerdict verdict;
        ReadBack readBack;
        std::vector<std::uint8_t> unwritten;
        std::vector<std::uint8_t> differing;
        std::string dtuId;
        std::size_t frames;
    };
    std::vector<Written> writes;

    // ---- The line ----
    void listen(LineEvents&) override {}  // the test delivers bytes to the session itself
    bool open(const LinePort& port, std::uint32_t rate) override {
        openRates.push_back(rate);
        opened.push_back(port);
        holding = opensSucceed;  // the engine stops a running worker before it opens
        return opensSucceed;
    }
    bool held() const override { return holding; }
    std::string openFailureText() const override { return "没有发现此串口或被占用"; }
    void stop() override {
        ++stops;
        holding = false;
    }
    bool send(std::span<const std::uint8_t> bytes) override {
        if (!holding || bytes.size() > transmitBufferSize) return false;
        sent.emplace_back(bytes.begin(), bytes.end());
        return true;
    }
    bool sendText(const std::string& gbk) override {
        if (!holding || gbk.size() >= transmitBufferSize) return false;
        sent.emplace_back(gbk.begin(), gbk.end());
        return true;
    }
    void beginSearch(std::vector<std::string> paths) override { searched = std::move(paths); }
    CandidateOpen openCandidate(std::size_t index) override {
        const auto it = candidateOpens.find(index);
        const CandidateOpen result = it == candidateOpens.end() ? CandidateOpen::Opened : it->second;
        if (result == CandidateOpen::Opened) candidatesOpen.push_back(index);
        return result;
    }
    void sendToCandidate(std::size_t index, std::uint8_t byte) override {
        candidateSent.emplace_back(index, byte);
    }
    void closeCandidate(std::size_t index) override { std::erase(candidatesOpen, index); }
    bool adoptCandidate(std::size_t index, const LinePort&) override {
        std::erase(candidatesOpen, index);
        if (!adoptSucceeds) return false;
        adopted = index;
        holding = true;
        return true;
    }

    // ---- The host ----
    ChosenPort chosenPort() override {
        if (!candidates) return {ChosenPort::Kind::Port, {{}, 1, portName}, {}};
        ChosenPort search{ChosenPort::Kind::Search, {}, {}};
        for (const std::string& path : *candidates) search.candidates.push_back({path, 1, path});
        return search;
    }
    void portFound(const LinePort& port) override { found.push_back(port.name); }
    void startTimerById(int timerId, int periodMs) override { timers[timerId] = periodMs; }
    void stopTimerById(int timerId) override { timers.erase(timerId); }
    void appendInfo(std::string_view utf8) override { info.emplace_back(utf8); }
    void showBox(std::string_view text, std::string_view caption, BoxIcon) override {
        boxes.push_back({std::string(text), std::string(caption)});
    }
    void setStatusText(std::string_view utf8) override { status = utf8; }
    void applyEnables(const ControlEnables& e) override {
        enables = e;
        ++enableCalls;
    }
    void displayReceivedByte(std::uint8_t byte) override { displayed.push_back(byte); }
    void applyItemUpdate(const ItemUpdate& update) override { filledTypes.push_back(update.type); }
    bool isTicked(int id) const override {
        const auto it = ticks.find(id);
        return it != ticks.end() && it->second;
    }
    void setTicked(int id, bool ticked) override { ticks[id] = ticked; }
    int demoRateIndex() const override { return rateIndex; }
    void selectDemoRate(int index) override { rateIndex = index; }
    bool saveForm() override {
        ++saves;
        return formValid;
    }
    FormMembersView formMembers() override { return {form, sendMember, interval}; }
    void sessionOutcome(SessionOutcome outcome) override { outcomes.push_back(outcome); }
    void writeConcluded(const WriteReport& r) override {
        writes.push_back({r.verdict, r.readBack, {r.unwritten.begin(), r.unwritten.end()},
                          {r.differing.begin(), r.differing.end()}, std::string(r.dtuId), r.frames.size()});
    }
    bool running(int timerId) const { return timers.count(timerId) != 0; }
    int count(std::string_view text) const {
        int n = 0;
        for (const std::string& line : info) n += line == text;
        return n;
    }
};

}  // namespace quill::test
