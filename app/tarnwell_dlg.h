// The main window: one fixed dialog built from the layout table, the value
// members of the form, the information area and the handlers of the window's
// events. Everything here runs on the user-interface thread.
//
// Members and handlers that other parts of the window add live in the marked
// sections below, with their code in session_host.cpp, dlg_terminal.cpp,
// form_exchange.cpp and dlg_parameter_file.cpp and their rows in
// message_map.cpp. The value members and the exchange itself are the form's
// (form/form_exchange.h).
#pragma once

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "form/binding_table.h"
#include "form/form_exchange.h"
#include "form/parameter_file_flow.h"
#include "form/port_choice.h"
#include "form/window_texts.h"
#include "protocol/configure_request.h"
#include "serial/port_discovery.h"
#include "serial/port_watch.h"
#include "session/session_controller.h"
#include "session/write_record.h"
#include "sim/dtu_server.h"
#include "terminal/gbk_stream_decoder.h"
#include "terminal/info_appender.h"

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QTimerEvent;

namespace quill {

class CTarnwellDlg : public QDialog,
                     public FormMembers,
                     private SessionHost,
                     private FormControls,
                     private ParameterFileWindow {
    Q_OBJECT

  public:
    explicit CTarnwellDlg(QWidget* parent = nullptr);
    ~CTarnwellDlg() override;

    // ---- Controls by identifier -------------------------------------------
    // nullptr for an identifier the window does not have.
    QWidget* control(int id) const;
    bool isTicked(int id) const override;
    // Sets the tick without raising the click handler.
    void setTicked(int id, bool ticked) override;
    void enableControl(int id, bool enable) override;
    // Edits, labels, buttons, and a list's edit field.
    void setControlText(int id, const QString& text);
    QString controlText(int id) const;
    // An index outside the list leaves nothing selected.
    void selectIndex(int id, int index) override;
    // -1 when nothing is selected or the control is no list.
    int selectedIndex(int id) const override;

    // ---- Form data ----------------------------------------------------------
    // Save direction (true): every bound control's text into its member; false
    // when the interval is no unsigned number (the operator has been told, and
    // the members after it are untouched). Load direction (false): every member
    // into its control; always true. Control notifications are not handled
    // while it runs.
    bool ExchangeFormData(bool saveAndValidate) { return ExchangeForm(*this, *this, saveAndValidate); }

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

    // ---- Session handlers: the session core decides (session/) -------------
    // The operator's own open, close or choice of port: a lost port is no longer waited for.
    void OnOpenPort() {  // 1027
        session.ForgetReturn();
        session.OnOpenPort();
    }
    void OnClosePort() {  // 1028
        session.ForgetReturn();
        session.OnClosePort();
    }
    void OnPortPicked() { session.ForgetReturn(); }  // 1026
    void OnReadParameters() { session.OnReadParameters(); }    // 1029
    void OnConfigure() { session.OnConfigure(); }              // 1030
    void OnConfigDone() { session.OnConfigDone(); }            // 1031
    void OnReset() { session.OnReset(); }                      // 1032
    // 1068: an entry picked, its text edited; both reopen the line at the rate named.
    void OnDemoRatePicked() { OnDemoRateChanged(RateListChange::Picked); }
    void OnDemoRateTyped() { OnDemoRateChanged(RateListChange::Typed); }
    void OnDemoRateChanged(RateListChange change) {
        demoRateChange = change;
        session.OnDemoBaudChanged();
    }
    void OnSend() { session.OnSend(); }                        // 1037
    void OnAutoSend() { session.OnAutoSend(); }                // 1034
    void OnIntervalChanged() { session.OnIntervalChanged(); }  // 1035's text changed
    void OnTimerTick(int timerId) { session.OnTimerTick(timerId); }

    // Window timers by identifier, periodic until killed; starting a running
    // timer restarts it with the new period.
    void SetTimer(int timerId, int milliseconds);
    void KillTimer(int timerId);
    // The period of a running timer; 0 when it is not running.
    int timerPeriod(int timerId) const;

    // The line's way onto this thread: a queued call, never run inline; any thread.
    void postToOwner(std::function<void()> task);

    // The port list's entry for the simulated DTU; -1 before the window has one.
    int simulatorEntry() const { return simulatorListEntry; }
    // The simulated DTU behind that entry, once it has been opened; else nullptr.
    DtuServer* simulator() const { return builtInSimulator.get(); }
    // Refills the port list: com1..com10, these ports, the simulated DTU.
    void FillPortList(std::span<const FoundPort> found);

    // ---- The port list following adapters (port_follow.cpp) -----------------
    // Where the list finds the ports after com10: this machine's, unless a
    // test sets its own.
    std::function<std::vector<FoundPort>()> findPorts = [] { return FindSerialPorts(); };
    // Finds the ports again and lets the list follow, keeping the choice; run
    // on each report of the port watch that a port came or went.
    void OnPortsChanged();

    // ---- Demo-state terminal display (dlg_terminal.cpp) ----------------------
    // In demo state (1031 ticked) shows a received byte in the information
    // area, "%02X" in hex mode (1033), else as a character, and appends the
    // same piece to infoText.
    void DisplayReceivedByte(std::uint8_t byte);
    // The information area's writer (created at the first use); AppendInfo,
    // the received-byte display and every read or replacement of control
    // 1000's text go through it.
    InfoAppender& infoArea();
    QString infoAreaText() const;
    void setInfoAreaText(const QString& text);

    // ---- Fleet work (dlg_parameter_file.cpp) ---------------------------------
    // Context-menu entries: save the ticked fields (none ticked: every field
    // that holds a value) to a parameter file; load one (every problem in one
    // box, or exactly its fields ticked and filled); check the unit against a
    // file (chosen and validated as a load, the form untouched; offered when
    // a read is); the history of writes in a dialog; verification after a
    // write; the demo-state controls shown or hidden.
    void OnSaveParameterFile();
    void OnLoadParameterFile();
    void OnCheckParameterFile();
    void OnShowHistory();
    bool LoadParameterFileFrom(const QString& path);
    // The terminal band (dlg_terminal.cpp): shown, the window grows by the
    // band below its bottom row and the terminal's controls stand in it; hidden,
    // the window has its template's size again.
    void ShowTerminalControls(bool shown);
    // Every file dialog goes through here; set by tests to answer instead
    // (true: a file to save to). An empty path is a cancelled dialog.
    QString ChooseFile(bool save);
    std::function<QString(bool save)> fileDialogHook;
    QAction* checkFileAction = nullptr;
    QAction* verifyAction = nullptr;
    QAction* terminalAction = nullptr;

  protected:
    void timerEvent(QTimerEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // ---- What the parameter-file flows ask of the window (ParameterFileWindow)
    // The dialogs and reports first, then the form's side.
    void parameterFileBox(std::string_view text) override;
    void parameterFileReport(std::string_view text) override;
    std::string chooseParameterFile(bool save) override;
    FormValues parameterFileValues() override;
    void showParameterFileValues(const FormValues& values) override;

    // ---- What the session asks of the window (SessionHost) --------------------
    ChosenPort chosenPort() override;
    void portFound(const LinePort& port) override;
    void startTimerById(int timerId, int periodMs) override { SetTimer(timerId, periodMs); }
    void stopTimerById(int timerId) override { KillTimer(timerId); }
    void appendInfo(std::string_view utf8) override;
    void writeConcluded(const WriteReport& report) override;
    void showBox(std::string_view textUtf8, std::string_view captionUtf8, BoxIcon icon) override;
    void setStatusText(std::string_view utf8) override;
    void applyEnables(const ControlEnables& enables) override;
    void displayReceivedByte(std::uint8_t byte) override { DisplayReceivedByte(byte); }
    void applyItemUpdate(const ItemUpdate& update) override { ApplyItemUpdate(*this, *this, update); }
    int demoRateIndex() const override;
    void selectDemoRate(int index) override;
    bool saveForm() override { return ExchangeFormData(true); }
    FormMembersView formMembers() override { return {snapshot, sendText, autoSendInterval}; }
    void sessionOutcome(SessionOutcome outcome) override;

    std::unique_ptr<InfoAppender> infoAppender;
    GbkStreamDecoder receiveDecoder;  // character mode: a lead byte waits for its trail
    ControlsFormSnapshot snapshot{*this, *this};

  public:
    // ---- Members ------------------------------------------------------------
  private:
    // The simulated DTU behind the port list's entry, once opened. Declared
    // before the session so that it outlives the session's line: the port
    // closes first, and the worker never sees its terminal vanish while the
    // window is going away.
    std::unique_ptr<DtuServer> builtInSimulator;

  public:
    // The session's state, decisions and line; one per window, so every test starts from zero.
    SessionController session{
        *this, LineSetup{.post = [this](std::function<void()> task) { postToOwner(std::move(task)); }}};
    QIcon appIcon;

  private:
    void OnInitDialog();
    void addFleetActions();
    // The port list (session_host.cpp).
    void InitPortList();
    // Starts following adapters (port_follow.cpp); without udev the list
    // stays as it was found at start.
    void StartPortWatch();
    PortWatch portWatch;
    std::vector<FoundPort> shownPorts;  // the found ports the list offers, in order
    WriteHistory writeHistory;
    struct WindowTimer {
        int qtId;
        int period;
    };
    std::map<int, WindowTimer> windowTimers;  // by window timer id
    int simulatorListEntry = -1;
    std::vector<PortListEntry> portEntries;      // what the port list shows, in order
    RateListChange demoRateChange = RateListChange::Picked;  // how 1068 last changed
    void connectMessageMap();

    std::unordered_map<int, QWidget*> controls;
    std::vector<QWidget*> rowWidgets;  // every control in template order
    // The exchange's view of the controls.
    std::string controlTextGbk(int id) const override;
    void setControlTextGbk(int id, std::string_view gbk) override;
    void refuseUnsigned(int id) override;
    QFont titleFont;    // label 1053
    QFont captionFont;  // label 1054
    QAction* aboutAction = nullptr;
};

}  // namespace quill
