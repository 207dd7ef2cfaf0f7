// The demo state's sending: one send by hand (1037) and timed auto-send
// (1034, TIMER_AUTO_SEND). The session controller routes the commands and
// ticks here once it has checked that they belong to the demo state; this
// class decides what is sent and when auto-send runs. User-interface thread.
#pragma once

#include "session/session_host.h"
#include "session/session_line.h"
#include "session/session_timers.h"

namespace quill {

class AutoSend {
  public:
    AutoSend(SessionHost& host, Line& line) : host_(host), line_(line) {}

    // 1034 changed its tick (read from the host); demo: the session is in the demo state.
    void onBox(bool demo);
    // 1035's text changed; running: the demo state with 1034 ticked.
    void onIntervalChanged(bool running);
    // A tick of TIMER_AUTO_SEND in the demo state, 1034 ticked, the port held.
    void onTick();
    // The contents of the send edit, once; fromTick: for auto-send.
    void send(bool fromTick);
    // Unticks 1034 and stops the timer.
    void stop();

    bool suspended() const { return suspended_; }
    // The period auto-send was started with (ms); it runs at this period until stopped.
    int period() const { return period_; }

  private:
    void suspend();

    SessionHost& host_;
    Line& line_;
    // Waiting for a valid interval before it ticks again.
    bool suspended_ = false;
    int period_ = 0;
};

}  // namespace quill
