// The information area: every report of the session, the protocol and the
// demo-state terminal is appended here, always at the end, through one
// writer that keeps each append cheap however much text the area holds.
#include <QPlainTextEdit>

#include "app/tarnwell_dlg.h"
#include "form/binding_table.h"

namespace quill {

InfoAppender& CTarnwellDlg::infoArea() {
    if (!infoAppender)
        infoAppender = std::make_unique<InfoAppender>(*qobject_cast<QPlainTextEdit*>(control(kInfoAreaId)));
    return *infoAppender;
}

QString CTarnwellDlg::infoAreaText() const {
    if (infoAppender) return infoAppender->text();
    const auto* area = qobject_cast<const QPlainTextEdit*>(control(kInfoAreaId));
    return area != nullptr ? area->toPlainText() : QString();
}

void CTarnwellDlg::setInfoAreaText(const QString& text) {
    if (infoAppender) {
        infoAppender->setText(text);
    } else if (auto* area = qobject_cast<QPlainTextEdit*>(control(kInfoAreaId))) {
        area->setPlainText(text);
    }
}

void CTarnwellDlg::AppendInfo(const QString& text) {
    // Reports are written at once; received bytes queued before them go first.
    infoArea().append(text);
}

}  // namespace quill
