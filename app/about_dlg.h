// The about box: the application's icon, name and version, and one button
// that closes it.
#pragma once

#include <QDialog>
#include <QIcon>

namespace quill {

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(const QIcon& icon, QWidget* parent = nullptr);
    ~CAboutDlg() override;
};

}  // namespace quill
