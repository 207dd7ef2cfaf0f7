// The writer of the information area: appends text at the end of the
// multi-line edit at the same cost per character whether the area holds 1 KB
// or 10 MB, on one line or many. Used by the main window on the
// user-interface thread, for its reports and for every received byte shown in
// the demo state.
//
// Principles of operation:
// - Received bytes are queued and written together at the next flush, at most
//   kFlushDelayMs after the first queued character, or earlier whenever the
//   area is read, replaced or touched by the operator (a key, an input-method
//   commit, a mouse press, a drop), so that every reader and every edit sees
//   all text appended before it, in order.
// - A run of characters without a line feed is cut every runLimit() characters
//   by a soft break: a line break of the display that is not part of the text.
//   It keeps each paragraph of the edit short, so an append lays out one short
//   paragraph instead of a line that grows without end. A soft break is a
//   paragraph separator whose character format carries kSoftBreakProperty;
//   text() leaves it out. Deleting it (the operator's backspace) joins the two
//   lines again and changes no character of the text.
// - Carriage returns and zero characters show nothing and are not written; a
//   line feed starts a new line, so CR LF gives one line break.
// - Each flush leaves the caret after the last character with no selection,
//   scrolls it into view, and starts the undo history afresh (an append
//   cannot be undone). Text the operator typed stays where it was typed.
#pragma once

#include <QObject>
#include <QString>
#include <QStringView>
#include <QTextFormat>
#include <QTimer>

class QPlainTextEdit;

namespace quill {

class InfoAppender : public QObject {
  public:
    static constexpr int kFlushDelayMs = 30;
    static constexpr int kSoftBreakProperty = QTextFormat::UserProperty + 0x51;

    // runLimit 0: as many hex digits as one line of the area shows (at least 16).
    explicit InfoAppender(QPlainTextEdit& area, int runLimit = 0);
    ~InfoAppender() override;
    InfoAppender(const InfoAppender&) = delete;
    InfoAppender& operator=(const InfoAppender&) = delete;

    // Queues text for the end of the area; written at the next flush.
    void queue(QChar c) {
        if (c == QLatin1Char('\r') || c.isNull()) return;
        pending.append(c);
        scheduleFlush();
    }
    void queue(QStringView text);
    // Writes queued text and then this text now.
    void append(QStringView text);
    // Writes the queued text now.
    void flush();
    // The whole text of the area, queued text included, without soft breaks.
    QString text();
    // Replaces the whole text; queued text is dropped.
    void setText(const QString& text);

    int runLimit() const { return limit; }
    qsizetype queuedLength() const { return pending.size(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void scheduleFlush() {
        if (!flushTimer.isActive()) flushTimer.start();
    }

    QPlainTextEdit& area;
    int limit;
    QString pending;
    QTimer flushTimer;
};

// The run limit for an area: the hex digits that fit one line, even, 16 to 1024.
int DefaultRunLimit(const QPlainTextEdit& area);

}  // namespace quill
