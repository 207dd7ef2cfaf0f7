#include "session/auto_send.h"

#include "session/session_texts.h"
#include "terminal/send_request.h"

namespace quill {

void AutoSend::stop() {
    if (host_.isTicked(kAutoSendBoxId)) host_.setTicked(kAutoSendBoxId, false);
    host_.stopTimerById(TIMER_AUTO_SEND);
    suspended_ = false;
}

void AutoSend::suspend() {
    host_.stopTimerById(TIMER_AUTO_SEND);
    suspended_ = true;
}

void AutoSend::onBox(bool demo) {
    if (!host_.isTicked(kAutoSendBoxId)) {
        host_.stopTimerById(TIMER_AUTO_SEND);
        suspended_ = false;
        return;
    }
    if (!line_.held()) {
        stop();
        host_.showBox(kPortNotOpenText, kErrorCaption, BoxIcon::None);
        return;
    }
    if (!demo) {
        stop();
        return;
    }
    // The member as it stands: this click runs no exchange first.
    period_ = AutoSendPeriod(host_.formMembers().autoSendInterval);
    host_.startTimerById(TIMER_AUTO_SEND, period_);
    suspended_ = false;
}

// The running period never follows 1035: a text being retyped passes
// through values nobody meant ("5" on the way to "500"). Auto-send only
// waits while the text is no number, and resumes at its own period.
void AutoSend::onIntervalChanged(bool running) {
    const bool valid = host_.saveForm();
    if (!running) return;
    if (!valid) {
        suspend();
    } else if (suspended_) {
        host_.startTimerById(TIMER_AUTO_SEND, period_);
        suspended_ = false;
    }
}

void AutoSend::onTick() {
    if (suspended_) {  // a tick left over from before the interval went bad
        host_.stopTimerById(TIMER_AUTO_SEND);
        return;
    }
    send(true);
}

void AutoSend::send(bool fromTick) {
    auto refuse = [this](std::string_view text) {
        // A refused send would be refused again at every tick, each with its
        // own modal box; auto-send stops before the box is shown.
        if (host_.isTicked(kAutoSendBoxId)) stop();
        host_.showBox(text, kErrorCaption, BoxIcon::None);
    };
    if (!line_.held()) {
        refuse(kPortNotOpenText);
        return;
    }
    const bool formValid = host_.saveForm();
    if (fromTick && !formValid) {
        // The interval is no number: the operator has been told once; the
        // ticks wait for a valid one instead of telling again every period.
        suspend();
        return;
    }
    if (host_.isTicked(kHexModeBoxId)) {
        const HexSend hex = BuildHexSend(host_.formMembers().sendText);
        if (hex.refusal != SendRefusal::None) {
            refuse(RefusalText(hex.refusal));
            return;
        }
        line_.send(hex.bytes());  // also when no byte was converted
        return;
    }
    const std::string& text = host_.formMembers().sendText;
    if (const SendRefusal refusal = CheckTextSend(text); refusal != SendRefusal::None) {
        refuse(RefusalText(refusal));
        return;
    }
    line_.sendText(text);
}

}  // namespace quill
