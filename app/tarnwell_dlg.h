// The main window: one fixed dialog built from the layout table, the value
// members of the form, the information area and the handlers of the window's
// events. Everything here runs on the user-interface thread.
//
// Members and handlers that other parts of the window add live in the marked
// sections below, with their code in dlg_session.cpp, dlg_terminal.cpp and
// dlg_parameters.cpp and their rows in message_map.cpp.
#pragma once

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "form/binding_table.h"

class QAction;

namespace quill {

// The system command of the about entry; the low four bits are the platform's.
inline constexpr unsigned ID_SYS_ABOUT = 0x10;
// The about entry's text (string 101).
inline constexpr std::string_view kAboutMenuText = "关于 Quillmere(&A)...";
inline constexpr std::string_view kHelpCaption = "帮  助";
inline constexpr std::string_view kHelpText =
    "操作步骤:\r\n"
    "  1、选择好DTU连接到的电脑上的串口，给DTU上电。\r\n"
    "  2、然后点打开串口按钮，等待DTU连接上来。\r\n"
    "  3、DTU连接上后，上面的信息框中会有提示。\r\n"
    "  4、点读取参数可以读取DTU当前的参数。\r\n"
    "  5、如果要配置某一个参数，先选中相应参数前的选择框，然后输入正确的参数，再点击配置参数。";
inline constexpr std::string_view kUnsignedPrompt = "请输入一个无符号整数。";
inline constexpr std::string_view kErrorCaption = "错误提示";

class CTarnwellDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CTarnwellDlg(QWidget* parent = nullptr);
    ~CTarnwellDlg() override;

    // ---- Controls by identifier -------------------------------------------
    // nullptr for an identifier the window does not have.
    QWidget* control(int id) const;
    bool isTicked(int id) const;
    // Sets the tick without raising the click handler.
    void setTicked(int id, bool ticked);
    void enableControl(int id, bool enable);
    // Edits, labels, buttons, and a list's edit field.
    void setControlText(int id, const QString& text);
    QString controlText(int id) const;
    // An index outside the list leaves nothing selected.
    void selectIndex(int id, int index);
    // -1 when nothing is selected or the control is no list.
    int selectedIndex(int id) const;

    // ---- Form data ----------------------------------------------------------
    // Save direction (true): every bound control's text into its member; false
    // when the interval is no unsigned number (the operator has been told, and
    // the members after it are untouched). Load direction (false): every member
    // into its control; always true. Control notifications are not handled
    // while it runs.
    bool ExchangeFormData(bool saveAndValidate);
    // The GBK member bound to an edit; an empty string for an unbound control.
    const std::string& member(int controlId) const;

    // ---- Information area ---------------------------------------------------
    // Appends at the end, wherever the operator's caret or selection is, and
    // scrolls there. A line feed starts a new line; carriage returns and zero
    // characters show nothing, so "\n\r\n\r" ends a message with one empty line.
    void AppendInfo(const QString& text);

    // ---- Modal boxes ----------------------------------------------------------
    enum class MessageIcon { None, Information, Warning, Error };
    // Every modal message box of the window goes through here: one OK button.
    // Returns the button pressed (QMessageBox::Ok).
    int ShowMessageBox(const QString& text, const QString& caption, MessageIcon icon);
    // Every modal dialog the window opens goes through here; returns its result.
    int RunModal(QDialog& dialog);
    // Set by tests to take the box or dialog instead of showing it.
    std::function<int(const QString& text, const QString& caption, MessageIcon icon)> messageBoxHook;
    std::function<int(QDialog& dialog)> modalHook;

    // ---- Window shell handlers ----------------------------------------------
    // A system command; the about entry's (ID_SYS_ABOUT, any low four bits)
    // opens the about box. The window manager handles every other command itself.
    void OnSysCommand(unsigned id);
    void OnHelp();
    void OnClearDisplay();

    // ---- Parameter form handlers --------------------------------------------
    // Click on any parameter check box: saves the form, then enables its value
    // control(s) when ticked and disables them when not.
    void OnFieldCheckBox(int checkBoxId);
    // The data channel edit reports its changes; nothing is done with them.
    void OnDataChannelChanged();

    // ---- Session control handlers (dlg_session.cpp) --------------------------

    // ---- Demo-state terminal handlers (dlg_terminal.cpp) ---------------------

    // ---- Parameter read-back and write handlers (dlg_parameters.cpp) ---------

    // ---- Members ------------------------------------------------------------
    // (the serial engine, serialPort, is declared first, here)
    bool portOpen = false;
    std::string infoText;                   // GBK, bound to 1000
    std::string sendText;                   // GBK, bound to 1036
    std::uint32_t autoSendInterval = 1000;  // ms, bound to 1035
    QIcon appIcon;

  private:
    void OnInitDialog();
    void connectMessageMap();
    std::string* boundText(int controlId);

    std::unordered_map<int, QWidget*> controls;
    // GBK members of the bound edits, by position in the exchange order;
    // 1000 and 1036 use infoText and sendText instead.
    std::array<std::string, kBindingCount> fieldText;
    bool exchangeRunning = false;
    QFont titleFont;    // label 1053
    QFont captionFont;  // label 1054
    QAction* aboutAction = nullptr;
};

}  // namespace quill
