#include "app/about_dlg.h"

#include <QPushButton>

#include "app/dialog_builder.h"
#include "form/window_layout.h"

namespace quill {

CAboutDlg::CAboutDlg(const QIcon& icon, QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const auto controls = BuildDialog(*this, AboutDialogTemplate(), icon);
    setWindowIcon(icon);
    if (const auto it = controls.find(1); it != controls.end())
        if (auto* ok = qobject_cast<QPushButton*>(it->second))
            connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;

}  // namespace quill
