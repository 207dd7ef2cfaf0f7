// The demo-state terminal in the window: the band that shows its controls,
// and received bytes shown in the information area. Sending and auto-send are
// the session core's. Everything runs on the user-interface thread; received
// bytes arrive one call per byte, in the order the line delivered them.
//
// A received byte costs the same however much the area holds: its piece is
// queued in the area's writer, which writes queued pieces together every few
// tens of milliseconds (and before anything reads the area).
#include <QAction>

#include "app/dialog_builder.h"
#include "app/tarnwell_dlg.h"
#include "form/window_layout.h"

namespace quill {

void CTarnwellDlg::ShowTerminalControls(bool shown) {
    if (terminalAction != nullptr && terminalAction->isChecked() != shown) terminalAction->setChecked(shown);
    const DialogTemplate& layout = MainDialogTemplate();
    const DialogBaseUnits units = BaseUnitsFor(font());
    // The band's controls follow the last shown control in the tab order, in
    // the band's own order (some of them are created near the top).
    QWidget* previous = nullptr;
    for (std::size_t row = 0; row < rowWidgets.size(); ++row)
        if (layout.controls[row].shown && rowWidgets[row]->focusPolicy() != Qt::NoFocus)
            previous = rowWidgets[row];
    for (const PlacedControl& placed : TerminalBandLayout().controls) {
        QWidget* widget = rowWidgets[static_cast<std::size_t>(placed.control - layout.controls.data())];
        if (shown) PlaceControl(*widget, placed, units);
        widget->setVisible(shown);
        if (widget->focusPolicy() == Qt::NoFocus) continue;
        if (previous != nullptr) setTabOrder(previous, widget);
        previous = widget;
    }
    setFixedSize(MapDialogRect({0, 0, layout.width, MainClientHeight(shown)}, units).size());
}

void CTarnwellDlg::DisplayReceivedByte(std::uint8_t byte) {
    if (!isTicked(kConfigDoneBoxId)) return;
    const ReceivedPiece piece = ShowReceivedByte(receiveDecoder, byte, isTicked(kHexModeBoxId));
    InfoAppender& area = infoArea();
    for (std::size_t i = 0; i < piece.shownCount; ++i) area.queue(QChar(piece.shown[i]));
    infoText.append(piece.kept.data(), piece.keptCount);
}

}  // namespace quill
