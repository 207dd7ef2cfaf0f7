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
// - ResetRequest (0x0F, 16 bytes): the factory set is restored and answered
//   with a ReadAnswer of it, which is how the tool takes the answer anyway.
// - Other bytes outside a frame, and frames with an unknown command, are
//   dropped; a request frame that does not end in 0x7B where it should is
//   dropped (a configure request gets the failure answer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "protocol/session.h"

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
};

struct DtuCounters {
    std::uint64_t receivedBytes = 0;
    std::uint64_t pollBytes = 0;
    std::uint64_t announcements = 0;
    std::uint64_t readRequests = 0;
    std::uint64_t configureRequests = 0;
    std::uint64_t resetRequests = 0;
    std::uint64_t malformedFrames = 0;
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

    // A realistic set for every field of the item table (GBK and UCS-2 texts
    // included); numbered fields without text hold the single byte 0x00.
    static DtuItems FactoryItems();

  private:
    void handleFrame(std::vector<std::uint8_t>& out);
    void answerRead(std::vector<std::uint8_t>& out);
    void answerConfigure(bool accepted, std::vector<std::uint8_t>& out);
    bool storeConfiguration();
    void emitFrame(std::vector<std::uint8_t> frame, std::vector<std::uint8_t>& out) const;

    DtuItems items_;
    DtuFaults faults_;
    DtuCounters counters_;
    std::vector<std::uint8_t> frame_;  // the request being collected; empty between frames
};

}  // namespace quill
