// The window's entries for fleet work, in its context menu beside the about
// entry: save and load parameter files (also by dropping a .json file on the
// window), verification after a write, and the demo-state terminal shown on
// request. What a file holds and which fields it ticks is decided in form/;
// verification is the session core's. User-interface thread only.
#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QUrl>

#include "app/dialog_builder.h"
#include "app/tarnwell_dlg.h"
#include "form/form_values.h"
#include "form/parameter_fields.h"
#include "form/parameter_file.h"

namespace quill {
namespace {

bool IsParameterFile(const QUrl& url) {
    return url.isLocalFile() && url.toLocalFile().endsWith(QStringLiteral(".json"), Qt::CaseInsensitive);
}

}  // namespace

void CTarnwellDlg::addFleetActions() {
    auto entry = [this](std::string_view text, bool checkable, auto handler) {
        auto* action = new QAction(FromUtf8(text), this);
        action->setCheckable(checkable);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
        return action;
    };
    entry(kSaveFileText, false, [this] { OnSaveParameterFile(); });
    entry(kLoadFileText, false, [this] { OnLoadParameterFile(); });
    verifyAction = entry(kVerifyText, true, [this](bool on) { session.setVerifyAfterWrite(on); });
    terminalAction = entry(kTerminalText, true, [this](bool on) { ShowTerminalControls(on); });
    setAcceptDrops(true);
}

QString CTarnwellDlg::ChooseFile(bool save) {
    if (fileDialogHook) return fileDialogHook(save);
    const QString filter = FromUtf8(kFileFilter);
    return save ? QFileDialog::getSaveFileName(this, FromUtf8(kSaveFileText), QString(), filter)
                : QFileDialog::getOpenFileName(this, FromUtf8(kLoadFileText), QString(), filter);
}

void CTarnwellDlg::OnSaveParameterFile() {
    ExchangeFormData(true);
    const FormValues values = ValuesFromSnapshot(formSnapshot());
    const std::vector<const ParameterField*> fields = FieldsToSave(values);
    if (fields.empty()) {
        ShowMessageBox(FromUtf8(kNothingToSave), FromUtf8(kErrorCaption), MessageIcon::None);
        return;
    }
    QString path = ChooseFile(true);
    if (path.isEmpty()) return;
    if (!path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive)) path += QStringLiteral(".json");
    const std::string error = SaveParameterFile(path.toStdString(), values, fields);
    if (!error.empty()) {
        ShowMessageBox(FromUtf8(error), FromUtf8(kErrorCaption), MessageIcon::None);
        return;
    }
    AppendInfo(FromUtf8(kSavedPrefix) + path + QStringLiteral("\n\r\n\r"));
}

void CTarnwellDlg::OnLoadParameterFile() {
    const QString path = ChooseFile(false);
    if (!path.isEmpty()) LoadParameterFileFrom(path);
}

bool CTarnwellDlg::LoadParameterFileFrom(const QString& path) {
    const ParameterFileLoad load = LoadParameterFile(path.toStdString());
    if (!load.values) {
        ShowMessageBox(FromUtf8(ProblemsText(load.problems)), FromUtf8(kErrorCaption), MessageIcon::None);
        return false;
    }
    ShowFormValues(*this, *this, *load.values);
    AppendInfo(FromUtf8(kLoadedPrefix) + path + QStringLiteral("\n\r\n\r"));
    return true;
}

void CTarnwellDlg::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && IsParameterFile(urls.front())) event->acceptProposedAction();
}

void CTarnwellDlg::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !IsParameterFile(urls.front())) return;
    event->acceptProposedAction();
    LoadParameterFileFrom(urls.front().toLocalFile());
}

}  // namespace quill
