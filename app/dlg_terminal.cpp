// The demo-state terminal of the main window: received bytes shown in the
// information area, the send button, timed auto-send and its interval edit.
// Everything runs on the user-interface thread; received bytes arrive through
// OnPortByte, one call per byte, in the order the line delivered them.
//
// A received byte costs the same however much the area holds: its piece is
// queued in the area's writer, which writes queued pieces together every few
// tens of milliseconds (and before anything reads the area).
#include <array>

#include "app/dialog_builder.h"
#include "app/tarnwell_dlg.h"
#include "terminal/send_request.h"

namespace quill {
namespace {

constexpr int kDemoStateBox = 1031;
constexpr int kHexModeBox = 1033;
constexpr int kAutoSendBox = 1034;
constexpr std::string_view kPortNotOpen = "串口没有打开，请打开串口";

constexpr std::array<char, 16> kHexDigits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                             '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};

}  // namespace

void CTarnwellDlg::DisplayReceivedByte(std::uint8_t byte) {
    if (!isTicked(kDemoStateBox)) return;
    InfoAppender& area = infoArea();
    if (isTicked(kHexModeBox)) {
        // "%02X": two upper-case digits, so consecutive bytes run together.
        const char piece[2] = {kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]};
        // A lead byte held from character mode will get no trail byte now.
        if (const DecodedPiece dropped = receiveDecoder.abandon(); !dropped.empty())
            area.queue(QChar(dropped.units[0]));
        area.queue(QLatin1Char(piece[0]));
        area.queue(QLatin1Char(piece[1]));
        infoText.append(piece, sizeof piece);
        return;
    }
    // "%c": the byte itself; a zero byte makes an empty piece.
    const DecodedPiece shown = receiveDecoder.feed(byte);
    for (std::size_t i = 0; i < shown.count; ++i) area.queue(QChar(shown.units[i]));
    if (byte != 0) infoText.push_back(static_cast<char>(byte));
}

void CTarnwellDlg::OnSend() {
    auto refuse = [this](std::string_view text) {
        // A refused send would be refused again at every tick, each with its
        // own modal box; auto-send stops before the box is shown.
        if (isTicked(kAutoSendBox)) StopAutoSend();
        ShowMessageBox(FromUtf8(text), FromUtf8(kErrorCaption), MessageIcon::None);
    };
    if (!serialPort.IsOpen()) {
        refuse(kPortNotOpen);
        return;
    }
    ExchangeFormData(true);
    if (isTicked(kHexModeBox)) {
        const HexSend send = BuildHexSend(sendText);
        if (send.refusal != SendRefusal::None) {
            refuse(RefusalText(send.refusal));
            return;
        }
        serialPort.SendBytes(send.bytes());  // also when no byte was converted
        return;
    }
    if (const SendRefusal refusal = CheckTextSend(sendText); refusal != SendRefusal::None) {
        refuse(RefusalText(refusal));
        return;
    }
    serialPort.SendText(sendText.c_str());
}

void CTarnwellDlg::OnAutoSend() {
    if (!isTicked(kAutoSendBox)) {
        KillTimer(TIMER_AUTO_SEND);
        return;
    }
    if (!serialPort.IsOpen()) {
        setTicked(kAutoSendBox, false);
        ShowMessageBox(FromUtf8(kPortNotOpen), FromUtf8(kErrorCaption), MessageIcon::None);
        return;
    }
    if (isTicked(kDemoStateBox)) {
        // The member as it stands: this click runs no exchange first.
        SetTimer(TIMER_AUTO_SEND, AutoSendPeriod(autoSendInterval));
        return;
    }
    setTicked(kAutoSendBox, false);
}

void CTarnwellDlg::OnIntervalChanged() {
    ExchangeFormData(true);
}

void CTarnwellDlg::StopAutoSend() {
    setTicked(kAutoSendBox, false);
    KillTimer(TIMER_AUTO_SEND);
}

}  // namespace quill
