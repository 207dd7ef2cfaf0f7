#include "terminal/info_appender.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace quill {
namespace {

QTextCharFormat SoftBreakFormat() {
    QTextCharFormat format;
    format.setProperty(InfoAppender::kSoftBreakProperty, true);
    return format;
}

bool EndsInSoftBreak(const QTextBlock& block) {
    const QTextBlock next = block.next();
    return next.isValid() && next.charFormat().boolProperty(InfoAppender::kSoftBreakProperty);
}

bool IsOperatorInput(QEvent::Type type) {
    switch (type) {
        case QEvent::KeyPress:
        case QEvent::InputMethod:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Drop:
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
    }
}

}  // namespace

int DefaultRunLimit(const QPlainTextEdit& area) {
    const QFontMetricsF metrics(area.font());
    qreal digit = 1;
    for (const QChar c : QStringView(u"0123456789ABCDEF"))
        digit = std::max(digit, metrics.horizontalAdvance(c));
    const qreal margin = area.document()->documentMargin();
    const qreal width = area.contentsRect().width() - area.verticalScrollBar()->sizeHint().width() -
                        2 * margin - area.cursorWidth() - 1;
    const int fit = static_cast<int>(width / digit) & ~1;
    return std::clamp(fit, 16, 1024);
}

InfoAppender::InfoAppender(QPlainTextEdit& area, int runLimit)
    : area(area), limit(runLimit > 0 ? runLimit : DefaultRunLimit(area)) {
    flushTimer.setSingleShot(true);
    flushTimer.setInterval(kFlushDelayMs);
    connect(&flushTimer, &QTimer::timeout, this, &InfoAppender::flush);
    area.installEventFilter(this);
    area.viewport()->installEventFilter(this);
}

InfoAppender::~InfoAppender() {
    area.removeEventFilter(this);
    area.viewport()->removeEventFilter(this);
}

void InfoAppender::queue(QStringView text) {
    pending.reserve(pending.size() + text.size());
    for (const QChar c : text)
        if (c != QLatin1Char('\r') && !c.isNull()) pending.append(c);
    if (!pending.isEmpty()) scheduleFlush();
}

void InfoAppender::append(QStringView text) {
    queue(text);
    flush();
}

void InfoAppender::flush() {
    flushTimer.stop();
    if (pending.isEmpty()) return;
    QTextDocument* document = area.document();
    // Turning undo off drops the history, so nothing appended can be undone;
    // it also spares recording every insert.
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    const QTextCharFormat plain;
    const QTextCharFormat softBreak = SoftBreakFormat();
    qsizetype run = cursor.block().length() - 1;
    qsizetype start = 0;
    for (qsizetype i = 0; i < pending.size(); ++i) {
        if (pending.at(i) == QLatin1Char('\n')) {
            run = 0;
            continue;
        }
        if (run >= limit && !pending.at(i).isLowSurrogate()) {  // a pair stays on one line
            cursor.insertText(QStringView(pending).mid(start, i - start).toString(), plain);
            cursor.insertBlock(QTextBlockFormat(), softBreak);
            start = i;
            run = 0;
        }
        ++run;
    }
    cursor.insertText(QStringView(pending).mid(start).toString(), plain);
    cursor.endEditBlock();
    document->setUndoRedoEnabled(true);
    pending.resize(0);  // keeps the allocation for the next batch

    area.setTextCursor(cursor);
    area.ensureCursorVisible();
}

QString InfoAppender::text() {
    flush();
    QString text = area.toPlainText();
    // Leave out the separators of the soft breaks, moving the rest down once.
    QChar* data = text.data();
    qsizetype kept = 0;
    qsizetype from = 0;
    for (QTextBlock block = area.document()->begin(); block.isValid(); block = block.next()) {
        if (!EndsInSoftBreak(block)) continue;
        const qsizetype separator = block.position() + block.length() - 1;
        if (separator < from || separator >= text.size() || data[separator] != QLatin1Char('\n')) continue;
        std::copy(data + from, data + separator, data + kept);
        kept += separator - from;
        from = separator + 1;
    }
    if (from == 0) return text;
    std::copy(data + from, data + text.size(), data + kept);
    kept += text.size() - from;
    text.truncate(kept);
    return text;
}

void InfoAppender::setText(const QString& text) {
    flushTimer.stop();
    pending.resize(0);
    area.setPlainText(text);
}

bool InfoAppender::eventFilter(QObject* watched, QEvent* event) {
    if (IsOperatorInput(event->type())) {
        flush();
        // Typing next to a soft break must not make a soft break of a typed line feed.
        if (area.currentCharFormat().hasProperty(kSoftBreakProperty)) area.setCurrentCharFormat({});
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace quill
