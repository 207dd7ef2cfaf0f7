// The information area: every report of the session, the protocol and the
// demo-state terminal is appended here, always at the end.
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

#include "app/tarnwell_dlg.h"
#include "form/binding_table.h"

namespace quill {

void CTarnwellDlg::AppendInfo(const QString& text) {
    auto* area = qobject_cast<QPlainTextEdit*>(control(kInfoAreaId));
    if (area == nullptr) return;
    // Messages end in "\n\r\n\r"; a carriage return would show as a box, and
    // the line feeds alone already break the lines.
    QString piece = text;
    piece.remove(QLatin1Char('\r'));
    piece.remove(QChar(u'\0'));

    QTextCursor end(area->document());
    end.movePosition(QTextCursor::End);
    end.insertText(piece);
    // The caret follows the new text and the operator's selection is dropped;
    // the append cannot be undone, so the undo history starts afresh.
    area->setTextCursor(end);
    area->document()->clearUndoRedoStacks();
    area->ensureCursorVisible();
}

}  // namespace quill
