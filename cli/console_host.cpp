#include "cli/console_host.h"

#include "cli/platform.h"
#include "serial/search_candidates.h"

namespace quill::cli {
namespace {

// The port's number in the engine's notifications; one port per command.
constexpr std::uint32_t kPortNumber = 1;

std::function<std::vector<std::string>()> candidateSource;

}  // namespace

void SetSearchCandidateSource(std::function<std::vector<std::string>()> source) {
    candidateSource = std::move(source);
}

std::vector<std::string> SearchCandidatePaths() {
    if (candidateSource) return candidateSource();
    return quill::SearchCandidatePaths(FindSerialPorts());
}

std::vector<std::string_view> ReportLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.starts_with("<-")) line.remove_prefix(2);
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// ---- Console -------------------------------------------------------------------

void Console::message(std::string_view text) {
    endProgress();
    err_ << text << '\n';
    err_.flush();
}

void Console::progress(std::string_view text) {
    if (!terminal_) return;
    err_ << "\r\x1b[K" << text;
    err_.flush();
    progressShown_ = true;
}

void Console::endProgress() {
    if (!progressShown_) return;
    err_ << "\r\x1b[K";
    err_.flush();
    progressShown_ = false;
}

// ---- Host ------------------------------------------------------------------------

ConsoleHost::ConsoleHost(EventLoop& loop, std::string portPath, Console& console, Trace* trace)
    : ConsoleHost(loop, EventLoop::kDefaultOwner, std::move(portPath), console, trace) {}

ConsoleHost::ConsoleHost(EventLoop& loop, EventLoop::TimerOwner timerOwner, std::string portPath,
                         Console& console, Trace* trace)
    : loop_(loop),
      timerOwner_(timerOwner),
      portPath_(std::move(portPath)),
      console_(console),
      trace_(trace),
      session_(*this, LineSetup{.post = [&loop](std::function<void()> task) { loop.post(std::move(task)); },
                                .failureNamesPort = true}) {
    loop_.setTimerHandler(timerOwner_, [this](int timerId) { session_.OnTimerTick(timerId); });
    session_.line().setTap(trace_);
}

ConsoleHost::~ConsoleHost() {
    // The loop may go on for other hosts: nothing of this one may tick again.
    loop_.releaseTimerOwner(timerOwner_);
}

std::optional<SessionOutcome> ConsoleHost::takeOutcome() {
    if (outcomes_.empty()) return std::nullopt;
    const SessionOutcome outcome = outcomes_.front();
    outcomes_.pop_front();
    return outcome;
}

ChosenPort ConsoleHost::chosenPort() {
    if (portPath_ != kAutoPort) return {ChosenPort::Kind::Port, LinePort{portPath_, kPortNumber, portPath_}, {}};
    ChosenPort search{ChosenPort::Kind::Search, {}, {}};
    for (std::string& path : SearchCandidatePaths()) search.candidates.push_back({path, kPortNumber, path});
    return search;
}

void ConsoleHost::startTimerById(int timerId, int periodMs) {
    loop_.startTimer(timerOwner_, timerId, std::chrono::milliseconds(periodMs));
}

void ConsoleHost::stopTimerById(int timerId) {
    loop_.stopTimer(timerOwner_, timerId);
}

void ConsoleHost::appendInfo(std::string_view utf8) {
    if (trace_ != nullptr)
        for (const std::string_view line : ReportLines(utf8)) trace_->note(line);
    if (!reportsShown_) return;
    for (const std::string_view line : ReportLines(utf8)) console_.message(line);
}

void ConsoleHost::showBox(std::string_view textUtf8, std::string_view /*captionUtf8*/, BoxIcon /*icon*/) {
    if (boxesShown_) console_.message("错误：" + std::string(textUtf8));
}

void ConsoleHost::applyItemUpdate(const ItemUpdate& update) {
    readTypes_.push_back(update.type);
    readFills_.push_back(update);
    ApplyItemUpdates(std::span<const ItemUpdate>(&update, 1), form_);
}

bool ConsoleHost::isTicked(int checkBoxId) const {
    const ParameterField* field = FindFieldByCheckBox(checkBoxId);
    return field != nullptr && form_[*field].ticked;  // the terminal's boxes stay unticked
}

void ConsoleHost::setTicked(int checkBoxId, bool ticked) {
    if (const ParameterField* field = FindFieldByCheckBox(checkBoxId)) form_[*field].ticked = ticked;
}

void ConsoleHost::writeConcluded(const WriteReport& report) {
    if (history_ == nullptr) return;
    if (const std::optional<std::string> failed =
            history_->append(WriteRecordOf(report, frontEnd_, portPath_, showSecrets_)))
        console_.message("警告：" + *failed);
}

}  // namespace quill::cli
