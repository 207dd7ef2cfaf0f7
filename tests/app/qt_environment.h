// What the window tests share: one QApplication for the whole test program
// (offscreen unless told otherwise) and a wait on a condition with a deadline.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QInputMethodEvent>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "app/tarnwell_dlg.h"

namespace quill::test {

// Runs events until the condition holds or the deadline passes; returns the condition.
inline bool WaitFor(const std::function<bool()>& condition, int milliseconds = 5000) {
    const QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Types text as an input method commits it, the way Chinese is entered.
inline void TypeText(QWidget* widget, const QString& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QCoreApplication::sendEvent(widget, &event);
}

struct BoxCall {
    QString text;
    QString caption;
    CTarnwellDlg::MessageIcon icon;
};

// Takes the window's message boxes and modal dialogs instead of showing them.
inline void CaptureBoxes(CTarnwellDlg& window, std::vector<BoxCall>& boxes, std::vector<QString>& dialogs) {
    window.messageBoxHook = [&boxes](const QString& text, const QString& caption,
                                     CTarnwellDlg::MessageIcon icon) {
        boxes.push_back({text, caption, icon});
        return 0x400;  // OK
    };
    window.modalHook = [&dialogs](QDialog& dialog) {
        dialogs.push_back(dialog.windowTitle());
        return 1;
    };
}

}  // namespace quill::test
