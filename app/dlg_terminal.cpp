// The demo-state terminal's display: received bytes shown in the information
// area. Sending and auto-send are the session core's. Everything runs on the
// user-interface thread; received bytes arrive one call per byte, in the
// order the line delivered them.
//
// A received byte costs the same however much the area holds: its piece is
// queued in the area's writer, which writes queued pieces together every few
// tens of milliseconds (and before anything reads the area).
#include <array>

#include "app/dialog_builder.h"
#include "app/tarnwell_dlg.h"

namespace quill {
namespace {

constexpr std::array<char, 16> kHexDigits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                             '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};

}  // namespace

void CTarnwellDlg::DisplayReceivedByte(std::uint8_t byte) {
    if (!isTicked(kConfigDoneBoxId)) return;
    InfoAppender& area = infoArea();
    if (isTicked(kHexModeBoxId)) {
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

}  // namespace quill
