// The window's entries for fleet work, in its context menu beside the about
// entry: save and load parameter files (also by dropping a .json file on the
// window), a check of the unit against a file, the history of writes,
// verification after a write, and the demo-state terminal shown on request.
// The file flows and the history's rows are form/'s (parameter_file_flow,
// check_file_flow, history_table): this file lends them the window's dialogs.
// The check and verification are the session core's.
// User-interface thread only.
#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QUrl>

#include "app/dialog_builder.h"
#include "app/history_dlg.h"
#include "app/tarnwell_dlg.h"
#include "form/check_file_flow.h"
#include "form/form_values.h"
#include "form/history_table.h"
#include "form/parameter_file_flow.h"

namespace quill {
namespace {

bool IsParameterFile(const QUrl& url) {
    return url.isLocalFile() && IsParameterFilePath(url.toLocalFile().toStdString());
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
    checkFileAction = entry(kCheckFileText, false, [this] { OnCheckParameterFile(); });
    if (const QWidget* follows = control(kCheckFileEntryFollows))
        checkFileAction->setEnabled(follows->isEnabled());
    entry(kHistoryText, false, [this] { OnShowHistory(); });
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

FormValues CTarnwellDlg::parameterFileValues() {
    ExchangeFormData(true);
    return ValuesFromSnapshot(snapshot);
}

std::string CTarnwellDlg::chooseParameterFile(bool save) {
    return ChooseFile(save).toStdString();
}

void CTarnwellDlg::showParameterFileValues(const FormValues& values) {
    ShowFormValues(*this, *this, values);
}

void CTarnwellDlg::parameterFileBox(std::string_view text) {
    ShowMessageBox(FromUtf8(text), FromUtf8(kErrorCaption), MessageIcon::None);
}

void CTarnwellDlg::parameterFileReport(std::string_view text) {
    AppendInfo(FromUtf8(text));
}

void CTarnwellDlg::OnSaveParameterFile() {
    SaveParameterFileFlow(*this);
}

void CTarnwellDlg::OnLoadParameterFile() {
    LoadChosenParameterFileFlow(*this);
}

void CTarnwellDlg::OnCheckParameterFile() {
    if (const std::optional<FormValues> values = ChooseFileToCheck(*this)) session.OnCheckFile(*values);
}

void CTarnwellDlg::OnShowHistory() {
    CHistoryDlg history(HistoryTableOf(ReadHistory(DefaultHistoryPath())), this);
    RunModal(history);
}

bool CTarnwellDlg::LoadParameterFileFrom(const QString& path) {
    return LoadParameterFileFlow(*this, path.toStdString());
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
