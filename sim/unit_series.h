// Units one after another on one line, as a technician swaps them on one
// cable: once a unit has answered a configure request with success and the
// tool has then sent nothing but polls for `rest`, the unit is taken off the
// line (it answers nothing) until a polling tool has seen it go, and the next
// unit, with its own factory set and DTU id, takes its place.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "sim/dtu_server.h"

namespace quill {

struct UnitSeriesTimes {
    // Nothing but polls for this long: the tool is done with the unit. A
    // window sends nothing after a write; provision polls to see it go.
    std::chrono::milliseconds rest{2500};
    // Off the line until this many polls went unanswered, longer than a tool
    // waits to see a unit go (8 polls of 400 ms: 3.2 s) ...
    std::uint64_t unansweredPolls = 8;
    // ... or, when nothing polls at all, for this long.
    std::chrono::milliseconds awayUnpolled{3000};
};

// Serves `units` units; `configured(k)` is called once unit k is done.
// False when `stopRequested` said so (it is asked every 200 ms).
bool ServeUnits(DtuServer& server, std::uint64_t units, const UnitSeriesTimes& times,
                const std::function<bool()>& stopRequested, const std::function<void(std::uint64_t)>& configured);

}  // namespace quill
