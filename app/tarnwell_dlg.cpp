#include "app/tarnwell_dlg.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>

#include "app/about_dlg.h"
#include "app/dialog_builder.h"
#include "app/message_map.h"
#include "form/check_file_flow.h"
#include "form/parameter_fields.h"
#include "form/window_layout.h"

namespace quill {

CTarnwellDlg::CTarnwellDlg(QWidget* parent) : QDialog(parent), appIcon(MakeAppIcon()) {
    // A fixed dialog with a minimise box and no maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    controls = BuildDialog(*this, MainDialogTemplate(), appIcon, &rowWidgets);
    connectMessageMap();
    OnInitDialog();
}

CTarnwellDlg::~CTarnwellDlg() = default;

void CTarnwellDlg::OnInitDialog() {
    ExchangeFormData(false);

    // The about entry. The window manager owns the window menu here, so the
    // entry sits at the end of the window's own context menu, after a
    // separator, and raises the same system command.
    addFleetActions();  // parameter files, verification, the terminal; the about entry stays last
    if (!kAboutMenuText.empty()) {
        auto* separator = new QAction(this);
        separator->setSeparator(true);
        addAction(separator);
        aboutAction = new QAction(FromUtf8(kAboutMenuText), this);
        connect(aboutAction, &QAction::triggered, this, [this] { OnSysCommand(ID_SYS_ABOUT); });
        addAction(aboutAction);
        setContextMenuPolicy(Qt::ActionsContextMenu);
    }

    setWindowIcon(appIcon);
    setControlText(kStatusLineId, QStringLiteral("Quillmere"));
    InitPortList();  // devices of this machine and the simulated DTU after com10
    selectIndex(kPortListId, 0);
    StartPortWatch();
    selectIndex(kDemoRateListId, static_cast<int>(kSessionRateIndex));

    // Title and caption fonts of the two labels that stay hidden.
    titleFont = QFont(QStringLiteral("Arial"));
    titleFont.setStyleHint(QFont::SansSerif);
    titleFont.setPixelSize(23);
    titleFont.setBold(true);
    titleFont.setUnderline(true);
    captionFont = titleFont;
    captionFont.setPixelSize(15);
    captionFont.setUnderline(false);
    control(1053)->setFont(titleFont);
    control(1054)->setFont(captionFont);
    // Qt shows a tool tip only for a widget that has one; none has, so no
    // relay and no tool-tip control are needed.
}

void CTarnwellDlg::connectMessageMap() {
    for (const MessageEntry& entry : MessageMap()) {
        auto dispatch = [this, entry](int id) {
            if (exchangeRunning) return;  // the exchange itself changes texts
            if (entry.handler != nullptr)
                (this->*entry.handler)();
            else
                (this->*entry.controlHandler)(id);
        };
        auto bind = [&](int id) {
            QWidget* widget = control(id);
            if (widget == nullptr) return;
            switch (entry.event) {
                case Event::Clicked:
                    if (auto* button = qobject_cast<QAbstractButton*>(widget))
                        connect(button, &QAbstractButton::clicked, this, [dispatch, id] { dispatch(id); });
                    break;
                case Event::TextChanged:
                    if (auto* edit = qobject_cast<QLineEdit*>(widget))
                        connect(edit, &QLineEdit::textChanged, this, [dispatch, id] { dispatch(id); });
                    break;
                case Event::ListEditChanged:
                    if (auto* list = qobject_cast<QComboBox*>(widget); list != nullptr && list->lineEdit())
                        connect(list->lineEdit(), &QLineEdit::textEdited, this,
                                [dispatch, id] { dispatch(id); });
                    break;
                case Event::EnterPressed:
                    if (auto* edit = qobject_cast<QLineEdit*>(widget))
                        connect(edit, &QLineEdit::returnPressed, this, [dispatch, id] { dispatch(id); });
                    break;
                case Event::ListPicked:
                    if (auto* list = qobject_cast<QComboBox*>(widget))
                        connect(list, &QComboBox::activated, this, [dispatch, id] { dispatch(id); });
                    break;
            }
        };
        if (entry.controlId == kEveryFieldCheckBox) {
            for (const ParameterField& field : ParameterFields()) bind(field.checkBoxId());
        } else {
            bind(entry.controlId);
        }
    }
}

QWidget* CTarnwellDlg::control(int id) const {
    const auto it = controls.find(id);
    return it != controls.end() ? it->second : nullptr;
}

bool CTarnwellDlg::isTicked(int id) const {
    const auto* button = qobject_cast<const QAbstractButton*>(control(id));
    return button != nullptr && button->isChecked();
}

void CTarnwellDlg::setTicked(int id, bool ticked) {
    if (auto* button = qobject_cast<QAbstractButton*>(control(id))) button->setChecked(ticked);
    // The config-done box is the session's demo flag, also when set without its click.
    if (id == kConfigDoneBoxId) session.SyncConfigDone();
}

void CTarnwellDlg::enableControl(int id, bool enable) {
    if (QWidget* widget = control(id)) widget->setEnabled(enable);
    if (id == kCheckFileEntryFollows && checkFileAction != nullptr) checkFileAction->setEnabled(enable);
}

void CTarnwellDlg::setControlText(int id, const QString& text) {
    QWidget* widget = control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        edit->setText(text);
    else if (auto* area = qobject_cast<QPlainTextEdit*>(widget))
        id == kInfoAreaId ? setInfoAreaText(text) : area->setPlainText(text);  // drops queued text
    else if (auto* list = qobject_cast<QComboBox*>(widget))
        list->setEditText(text);
    else if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(text);
}

QString CTarnwellDlg::controlText(int id) const {
    const QWidget* widget = control(id);
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
    if (const auto* area = qobject_cast<const QPlainTextEdit*>(widget))
        return id == kInfoAreaId ? infoAreaText() : area->toPlainText();  // queued text included
    if (const auto* list = qobject_cast<const QComboBox*>(widget)) return list->currentText();
    if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    return {};
}

void CTarnwellDlg::selectIndex(int id, int index) {
    auto* list = qobject_cast<QComboBox*>(control(id));
    if (list == nullptr) return;
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

int CTarnwellDlg::selectedIndex(int id) const {
    const auto* list = qobject_cast<const QComboBox*>(control(id));
    return list != nullptr ? list->currentIndex() : -1;
}

int CTarnwellDlg::ShowMessageBox(const QString& text, const QString& caption, MessageIcon icon) {
    if (messageBoxHook) return messageBoxHook(text, caption, icon);
    static constexpr QMessageBox::Icon kIcons[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                                   QMessageBox::Warning, QMessageBox::Critical};
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));  // a label breaks lines at line feeds only
    QMessageBox box(kIcons[static_cast<int>(icon)], caption, shown, QMessageBox::Ok, this);
    return box.exec();
}

int CTarnwellDlg::RunModal(QDialog& dialog) {
    if (modalHook) return modalHook(dialog);
    return dialog.exec();
}

void CTarnwellDlg::OnSysCommand(unsigned id) {
    if ((id & ~0xFu) != ID_SYS_ABOUT) return;
    CAboutDlg about(appIcon, this);
    RunModal(about);
}

void CTarnwellDlg::OnHelp() {
    ShowMessageBox(FromUtf8(kHelpText), FromUtf8(kHelpCaption), MessageIcon::None);
}

void CTarnwellDlg::OnClearDisplay() {
    infoText.clear();
    ExchangeFormData(false);
}

}  // namespace quill
