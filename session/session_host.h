// The session core's side of its front ends: what a front end carries out
// for the session (SessionHost), and the values they exchange. Every call
// runs on the front end's user-interface thread and is carried out before it
// returns.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "form/control_ids.h"
#include "form/port_choice.h"
#include "protocol/configure_request.h"
#include "protocol/read_answer.h"
#include "session/session_line.h"

namespace quill {

// The enabled state of the session's controls in one state.
struct ControlEnables {
    bool openPort = false;        // 1027
    bool closePort = false;       // 1028
    bool readParameters = false;  // 1029
    bool configure = false;       // 1030
    bool reset = false;           // 1032
    bool terminal = false;        // kTerminalControls
    friend bool operator==(const ControlEnables&, const ControlEnables&) = default;
};

// Each control that ControlEnables covers, by id, with whether it is enabled:
// what a front end applies, control by control.
struct ControlEnable {
    int id;
    bool enabled;
};
inline constexpr std::size_t kEnabledControlCount = 5 + std::size(kTerminalControls);
std::array<ControlEnable, kEnabledControlCount> ControlEnableStates(const ControlEnables& enables);

enum class BoxIcon : std::uint8_t { None, Information, Warning, Error };

// What a front end that runs without an operator (the command line) waits for.
enum class SessionOutcome : std::uint8_t {
    Connected,
    TimedOut,
    Lost,
    ReadSucceeded,
    ReadFailed,
    ConfigureSucceeded,  // the last frame of a write was taken
    ConfigureFailed,     // a frame was refused (or its answer malformed)
    VerifyPassed,
    VerifyFailed,
    VerifyNotRead,  // the read-back after a write failed: nothing was compared
    NoAnswer,  // a request's answer did not come within the answer deadline
};

// How a write that went out ended, for the record of writes.
enum class WriteVerdict : std::uint8_t {
    Written,   // every frame taken
    Refused,   // a frame refused, or its answer malformed
    NoAnswer,  // a frame's answer did not come within the deadline
    CutOff,    // the port closed or was lost, or the state changed, before the last answer
};
enum class ReadBack : std::uint8_t {
    None,      // not asked for (or the write was not taken)
    Passed,    // every written field holds what was written
    Differs,   // see differing
    NotRead,   // the read-back failed: nothing was compared
    NoAnswer,  // the read-back's answer did not come within the deadline
};
struct WriteReport {
    std::span<const ConfigureFrame> frames;  // the write as asked, frame by frame
    WriteVerdict verdict = WriteVerdict::Written;
    ReadBack readBack = ReadBack::None;
    std::span<const std::uint8_t> unwritten;  // item types the DTU may lack
    std::span<const std::uint8_t> differing;  // item types the read-back shows otherwise
    std::string_view dtuId;                   // from the unit's last read before the write, else its read-back
};

// What an open opens, as the front end's port list (or --port) says.
struct ChosenPort {
    enum class Kind : std::uint8_t { None, Port, Search } kind = Kind::None;
    LinePort port;                     // Port
    std::vector<LinePort> candidates;  // Search: the ports to try, in order
};

// A window's search: the candidates among the found ports, each named and
// numbered as its port list shows it.
ChosenPort SearchChoice(std::span<const PortListEntry> entries, const std::vector<FoundPort>& found);

// The form's members the session reads: the form as the configure request
// reads it, the send edit's member (GBK) and the auto-send interval member.
struct FormMembersView {
    const FormSnapshot& snapshot;
    const std::string& sendText;
    std::uint32_t autoSendInterval;
};

// The front end, as the session sees it: the operator's side only (the line
// is the session's own). Every call is carried out before it returns.
class SessionHost {
  public:
    virtual ~SessionHost() = default;

    // ---- The port the operator chose ----
    // What an open opens: the port chosen, the search (the list's
    // "自动查找DTU", --port auto), or nothing that can be opened.
    virtual ChosenPort chosenPort() = 0;
    // The search's winner is the session's port: the front end shows it as
    // chosen, so that a reopen (the demo rate, 1027 after a close) opens it again.
    virtual void portFound(const LinePort& port) = 0;

    // ---- Timers: periodic until stopped; starting a running timer restarts it ----
    virtual void startTimerById(int timerId, int periodMs) = 0;
    virtual void stopTimerById(int timerId) = 0;

    // ---- What the operator sees ----
    virtual void appendInfo(std::string_view utf8) = 0;
    virtual void showBox(std::string_view textUtf8, std::string_view captionUtf8, BoxIcon icon) = 0;
    virtual void setStatusText(std::string_view utf8) = 0;
    virtual void applyEnables(const ControlEnables& enables) = 0;
    // The demo-state display of one received byte (hex or character, as 1033 says).
    virtual void displayReceivedByte(std::uint8_t byte) = 0;
    // One item of a read answer into the form, then the form's members follow.
    virtual void applyItemUpdate(const ItemUpdate& update) = 0;

    // ---- The form ----
    virtual bool isTicked(int checkBoxId) const = 0;
    virtual void setTicked(int checkBoxId, bool ticked) = 0;
    // The demo rate list 1068: its selected index (-1 none), and selecting one.
    virtual int demoRateIndex() const = 0;
    virtual void selectDemoRate(int index) = 0;
    // The save-direction exchange: every bound control into its member. False
    // when the interval is not an unsigned number (the front end has told the
    // operator; members after it are untouched).
    virtual bool saveForm() = 0;
    // The members as the last saveForm left them.
    virtual FormMembersView formMembers() = 0;

    // ---- For front ends without an operator; the window ignores it ----
    virtual void sessionOutcome(SessionOutcome /*outcome*/) {}
    // A write that went out has ended (after its read-back, when one was asked for).
    virtual void writeConcluded(const WriteReport& /*report*/) {}
};

}  // namespace quill
