// Units one after another on one line, as a technician swaps them on one
// cable: once a unit has answered a configure request with success and the
// tool has then sent nothing but polls for `rest`, the next unit, with its
// own factory set and DTU id, takes its place. A tool that polls (provision
// looks for the unit to go) first sees the unit leave: it answers nothing
// until that many polls went unanswered. A tool that sends nothing meets the
// next unit at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "sim/dtu_server.h"

namespace quill {

struct UnitSeriesTimes {
    // Nothing but polls for this long: the tool is done with the unit.
    std::chrono::milliseconds rest{2500};
    // Off the line for a polling tool until this many polls went unanswered:
    // longer than a tool waits to see a unit go (8 polls of 400 ms: 3.2 s).
    std::uint64_t unansweredPolls = 8;
};

// Serves `units` units; `configured(k)` is called once unit k is done.
// False when `stopRequested` said so (it is asked every 200 ms).
bool ServeUnits(DtuServer& server, std::uint64_t units, const UnitSeriesTimes& times,
                const std::function<bool()>& stopRequested, const std::function<void(std::uint64_t)>& configured);

}  // namespace quill
