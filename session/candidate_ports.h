// The engines of a search for the DTU, one a candidate port, held by the
// session's line. They are opened at the session's line settings and
// their notifications come here, not to the front end's session engine:
// bytes and losses go to the search by candidate index, and a line error on a
// port that is only being tried shows no box. The winner's device goes to the
// session's own engine still open, so nothing happens on the line between
// the announcement and the session. Owner's thread only; the engines' workers
// only post through `post`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/serial_port.h"

namespace quill {

// Why a candidate could not be opened.
enum class CandidateOpen : std::uint8_t { Opened, Busy, NoPermission, Missing, Other };

class CandidatePorts final : public PortOwner {
  public:
    struct Handlers {
        std::function<void(std::function<void()>)> post;  // onto the owner's thread
        std::function<void(std::size_t, std::uint8_t)> byte;
        std::function<void(std::size_t)> lost;
    };

    explicit CandidatePorts(Handlers handlers) : handlers_(std::move(handlers)) {}
    ~CandidatePorts() override { ports_.clear(); }
    CandidatePorts(const CandidatePorts&) = delete;
    CandidatePorts& operator=(const CandidatePorts&) = delete;

    // Closes every engine held and takes the paths of a new search.
    void reset(std::vector<std::string> paths);
    CandidateOpen open(std::size_t index);
    void send(std::size_t index, std::uint8_t byte);
    // Returns once the device is closed: it is free for anyone else at once.
    void close(std::size_t index);
    // Moves candidate index's open device into session, whose worker is then
    // started; its notifications go to owner with portNumber. False when the
    // device went away meanwhile.
    bool handOver(std::size_t index, CSerialPort& session, PortOwner* owner, std::uint32_t portNumber);

    const std::string& path(std::size_t index) const { return paths_[index]; }
    // Engines still held (tests: none once a search has ended).
    std::size_t held() const;

    // ---- PortOwner ----
    void postToOwner(std::function<void()> task) override { handlers_.post(std::move(task)); }
    void onPortMessage(std::uint32_t message, std::uint32_t wParam, std::uint32_t lParam) override;
    void onPortError(const std::string&) override {}
    void onPortLost(std::uint32_t portNumber) override;

  private:
    Handlers handlers_;
    std::vector<std::string> paths_;
    // Last: their workers stop before anything they reach is gone.
    std::vector<std::unique_ptr<CSerialPort>> ports_;
};

}  // namespace quill
