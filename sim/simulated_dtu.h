// A simulated DTU, seen from the DTU's side of the line: feed it the bytes the
// tool sent, get back the bytes the DTU answers. Pure (no I/O, no threads);
// DtuServer puts it on a pseudo-terminal. Used by the tests, the benchmark
// and the quillmere-sim executable.
//
// Behaviour:
// - Poll byte 0x37 outside a frame: answered with 0x6C every time (unless the
//   announcement is switched off). A real DTU in configuration mode keeps
//   announcing, and the tool must find it again after it reopens the port;
//   the tool stops polling once it has seen the announcement.
// - ReadRequest (7B 0B, 16 bytes): a ReadAnswer (0x8B) with the whole set in
//   ascending type order.
// - ConfigureRequest (0x0C, length field honoured): every item is checked
//   (known type, well formed, fixed-width values of their width, device text
//   of even length); then all are stored and 7B 8C 00 10 ... 7B (16 bytes) is
//   answered. Otherwise nothing is stored and 7B 8C 01 10 ... 7B is answered:
//   the tool judges byte 2 only.
// - ResetRequest (0x0F, 16 bytes): the unit's factory set is restored and answered
//   with a ReadAnswer of it, which is how the tool takes the answer anyway.
// - Other bytes outside a frame, and frames with an unknown command, are
//   dropped; a request frame that does not end in 0x7B where it should is
//   dropped (a configure request gets the failure answer).
// - While quiet, every byte is ignored and nothing is answered, as if the
//   unit were off the line; a frame begun before is forgotten.
// - Units: the DTU starts as unit 1 with the factory set. nextUnit() puts the
//   next unit on the line: the factory set again, under a DTU id of its own,
//   so that a provisioning run sees one unit after another.
//
// Portable: no platform headers here or in the implementation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/wire.h"

namespace quill {

using DtuItems = std::map<std::uint8_t, std::vector<std::uint8_t>>;

// The longest request frame the simulated DTU takes in.
inline constexpr std::size_t kDtuReceiveLimit = 4096;

// Faults in what the DTU answers. Timing faults (delay, pieces, vanishing,
// flood) belong to DtuServer.
struct DtuFaults {
    bool noAnnouncement = false;
    std::size_t garbageBeforeFrame = 0;        // bytes before each answer frame (never 0x7B or 0x6C)
    std::optional<std::uint8_t> wrongCommand;  // replaces the command byte of each answer frame
    std::optional<std::uint16_t> lyingLength;  // written into the length field of each answer frame
    std::size_t oversizeTo = 0;                // read answers padded with type-6 items to at least this
    bool storeNothing = false;  // a valid configure request is answered success, nothing stored
};

struct DtuCounters {
    std::uint64_t receivedBytes = 0;
    std::uint64_t pollBytes = 0;
    std::uint64_t announcements = 0;
    std::uint64_t readRequests = 0;
    std::uint64_t configureRequests = 0;
    std::uint64_t configuresAccepted = 0;  // answered with success (stored or not)
    std::uint64_t resetRequests = 0;
    std::uint64_t malformedFrames = 0;
    std::uint64_t ignoredBytes = 0;  // received while quiet
};

class SimulatedDtu {
  public:
    SimulatedDtu();  // holds the factory set
    explicit SimulatedDtu(DtuItems items);

    // The DTU's answer to these received bytes (possibly none).
    std::vector<std::uint8_t> feed(std::span<const std::uint8_t> received);

    const DtuItems& items() const { return items_; }
    void setItems(DtuItems items) { items_ = std::move(items); }
    DtuFaults& faults() { return faults_; }
    const DtuCounters& counters() const { return counters_; }

    // While quiet the DTU neither takes in nor answers anything.
    void setQuiet(bool quiet);
    bool quiet() const { return quiet_; }
    // The next unit comes on the line with its own factory set; faults,
    // counters and the quiet switch stay as they are.
    void nextUnit();
    std::uint32_t unit() const { return unit_; }

    // A realistic set for every field of the item table (GBK and UCS-2 texts
    // included); numbered fields without text hold the single byte 0x00.
    // Each unit's set differs from the others' in its DTU id only.
    static DtuItems FactoryItems(std::uint32_t unit = 1);
    // The DTU id a unit leaves the factory with: unit 1 has 20240517001,
    // unit 2 has 20240517002, and so on.
    static std::string FactoryDtuId(std::uint32_t unit);

  private:
    void handleFrame(std::vector<std::uint8_t>& out);
    void answerRead(std::vector<std::uint8_t>& out);
    void answerConfigure(bool accepted, std::vector<std::uint8_t>& out);
    bool storeConfiguration();
    void emitFrame(std::vector<std::uint8_t> frame, std::vector<std::uint8_t>& out) const;

    std::uint32_t unit_ = 1;
    bool quiet_ = false;
    DtuItems items_;
    DtuFaults faults_;
    DtuCounters counters_;
    std::vector<std::uint8_t> frame_;  // the request being collected; empty between frames
};

}  // namespace quill
