// The demo-state terminal's display: received bytes shown in the information
// area. Sending and auto-send are the session core's. Everything runs on the
// user-interface thread; received bytes arrive one call per byte, in the
// order the line delivered them.
//
// A received byte costs the same however much the area holds: its piece is
// queued in the area's writer, which writes queued pieces together every few
// tens of milliseconds (and before anything reads the area).
#include "app/dialog_builder.h"
#include "app/tarnwell_dlg.h"

namespace quill {

void CTarnwellDlg::DisplayReceivedByte(std::uint8_t byte) {
    if (!isTicked(kConfigDoneBoxId)) return;
    const ReceivedPiece piece = ShowReceivedByte(receiveDecoder, byte, isTicked(kHexModeBoxId));
    InfoAppender& area = infoArea();
    for (std::size_t i = 0; i < piece.shownCount; ++i) area.queue(QChar(piece.shown[i]));
    infoText.append(piece.kept.data(), piece.keptCount);
}

}  // namespace quill
