// The history of writes as a read-only table, newest first, with one button
// that closes it. The rows are form/'s (history_table.h); this dialog only
// shows them. User-interface thread only.
#pragma once

#include <QDialog>

#include "form/history_table.h"

class QLabel;
class QTableWidget;

namespace quill {

class CHistoryDlg : public QDialog {
    Q_OBJECT

  public:
    CHistoryDlg(const HistoryTable& table, QWidget* parent = nullptr);
    ~CHistoryDlg() override;

    QTableWidget* historyTable() const { return tableWidget; }
    QLabel* noteLabel() const { return note; }

  private:
    QTableWidget* tableWidget = nullptr;
    QLabel* note = nullptr;
};

}  // namespace quill
