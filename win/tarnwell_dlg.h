// The native Windows main window: one dialog that the system's dialog manager
// builds from the layout table (win/dialog_template.h), the value members of
// the form, the information area, and the translation between Win32 messages
// and the session core (session/), which makes every decision.
//
// Principles of operation:
// - Every message the window handles goes through one table (message_map.cpp):
//   WM_COMMAND by control id and notification code, WM_TIMER, the posted
//   owner message of the serial engine, and the shell's messages.
// - The serial engine's worker posts its notifications as WM_PORT_TASK
//   messages carrying the task; they run on the window's thread, in order.
// - Every message box goes through ShowMessageBox and every modal dialog
//   through RunModal, so tests can take them instead of showing them.
// - Only controls that can be shown get a window: the rows shown from the
//   start are in the dialog template, the terminal band's rows are created
//   when the band is first opened, and the rest are never created. A control
//   without a window keeps its text, tick, selection and enabled state in
//   `stored`, where the form's exchange and the session read and write it.
// Everything runs on the thread that created the window; only postToOwner is
// called from the serial worker.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "form/binding_table.h"
#include "form/form_exchange.h"
#include "form/parameter_file_flow.h"
#include "form/port_choice.h"
#include "form/window_layout.h"
#include "form/window_texts.h"
#include "serial/port_discovery.h"
#include "serial/port_watch.h"
#include "serial/wide_text_win32.h"
#include "session/session_controller.h"
#include "session/write_record.h"
#include "terminal/gbk_stream_decoder.h"
#include "win/simulated_line.h"

namespace quill::win {

// The serial engine's posted notification: lParam owns a std::function<void()>.
inline constexpr UINT WM_PORT_TASK = WM_APP + 0x10;
// Shows the received bytes gathered since it was posted.
inline constexpr UINT WM_SHOW_RECEIVED = WM_APP + 0x11;
// The window's icon (resource 131).
inline constexpr int kAppIconId = 131;
// Commands of the window's context menu.
inline constexpr int kMenuAbout = 0x9001;
inline constexpr int kMenuSaveFile = 0x9002;
inline constexpr int kMenuLoadFile = 0x9003;
inline constexpr int kMenuVerify = 0x9004;
inline constexpr int kMenuTerminal = 0x9005;
inline constexpr int kMenuCheckFile = 0x9006;
inline constexpr int kMenuHistory = 0x9007;
// The history dialog's list view (report view), created over the template.
inline constexpr int kHistoryListId = 100;
inline constexpr int kHistoryNoteId = 101;

// One entry of the window's context menu; command 0 is a separator.
struct MenuEntry {
    int command = 0;
    std::wstring text;
    bool checked = false;
    bool enabled = true;
};

class CTarnwellDlg : public FormMembers,
                     private SessionHost,
                     private FormControls,
                     private ParameterFileWindow {
  public:
    CTarnwellDlg();
    ~CTarnwellDlg() override;
    CTarnwellDlg(const CTarnwellDlg&) = delete;
    CTarnwellDlg& operator=(const CTarnwellDlg&) = delete;

    // Where the port list looks for ports beyond com10 (the system's, unless
    // a test sets its own before Create).
    std::function<std::vector<FoundPort>()> findPorts = FindSerialPorts;

    // A window without its own modal loop (tests, the picture): created and
    // shown; the caller pumps messages. False when the system refused it.
    bool Create();
    // The application's window: runs its modal loop until it is closed.
    INT_PTR DoModal();
    HWND hwnd() const { return window; }

    // ---- Controls by identifier ---------------------------------------------
    HWND control(int id) const;
    bool isTicked(int id) const override;
    // Sets the tick without raising the click handler.
    void setTicked(int id, bool ticked) override;
    void enableControl(int id, bool enable) override;
    bool isEnabled(int id) const;
    // Edits, labels, buttons, and a list's edit field.
    void setControlText(int id, std::wstring_view text);
    std::wstring controlText(int id) const;
    // An index outside the list leaves nothing selected.
    void selectIndex(int id, int index) override;
    int selectedIndex(int id) const override;
    int listCount(int id) const;
    std::wstring listItem(int id, int index) const;
    std::wstring windowCaption() const;

    // ---- Form data ------------------------------------------------------------
    // Save direction (true): every bound control's text into its GBK member;
    // false when the interval is no unsigned number (the operator has been
    // told; the members after it are untouched). Load direction (false): every
    // member into its control. Control notifications are not handled meanwhile.
    bool ExchangeFormData(bool saveAndValidate) {
        showReceived();  // the area's text is bound: it holds every byte shown so far
        return ExchangeForm(*this, *this, saveAndValidate);
    }

    // ---- Information area -----------------------------------------------------
    // Appends at the end and scrolls there, wherever the operator's caret is.
    // A line feed starts a new line; carriage returns and zero characters show
    // nothing, so "\n\r\n\r" ends a report with one empty line.
    void AppendInfo(std::wstring_view text);

    // ---- Modal boxes and dialogs ----------------------------------------------
    // Every message box of the window: one OK button. Returns the button pressed.
    int ShowMessageBox(std::wstring_view text, std::wstring_view caption, BoxIcon icon);
    // Every modal dialog the window opens (the about box, the history); runs
    // `procedure` (the about box's when null) with `param`; returns its result.
    INT_PTR RunModal(const DialogTemplate& layout, DLGPROC procedure = nullptr, LPARAM param = 0);
    // Set by tests to take a box or dialog instead of showing it.
    std::function<int(const std::wstring& text, const std::wstring& caption, BoxIcon icon)> messageBoxHook;
    std::function<INT_PTR(const DialogTemplate& layout)> modalHook;
    // Called with a shown dialog once it is filled (the history): tests read
    // its controls and close it, the picture is taken.
    std::function<void(HWND dialog)> dialogShownHook;

    // ---- Handlers (their rows are in message_map.cpp) ------------------------
    void OnSysCommandAbout();
    void OnHelp();
    void OnClearDisplay();
    void OnFieldCheckBox(int checkBoxId);
    void OnDataChannelChanged() {}
    void OnCancel();
    // The operator's own open, close or choice of port: a lost port is no longer waited for.
    void OnOpenPort() {
        session.ForgetReturn();
        session.OnOpenPort();
    }
    void OnClosePort() {
        session.ForgetReturn();
        session.OnClosePort();
    }
    void OnPortPicked() { session.ForgetReturn(); }
    void OnReadParameters() { session.OnReadParameters(); }
    void OnConfigure() { session.OnConfigure(); }
    void OnConfigDone() { session.OnConfigDone(); }
    void OnReset() { session.OnReset(); }
    // The demo rate list: an entry picked, or text typed into its field.
    void OnDemoRatePicked() { OnDemoRateChanged(RateListChange::Picked); }
    void OnDemoRateTyped() { OnDemoRateChanged(RateListChange::Typed); }
    void OnDemoRateChanged(RateListChange change);
    void OnSend() { session.OnSend(); }
    void OnAutoSend() { session.OnAutoSend(); }
    void OnIntervalChanged() { session.OnIntervalChanged(); }
    void OnTimerTick(int timerId) { session.OnTimerTick(timerId); }
    // Message-level handlers: the result of the dialog procedure, or nullopt
    // for the dialog manager's own handling.
    std::optional<INT_PTR> OnTimerMessage(WPARAM wParam, LPARAM lParam);
    // What the first paint need not wait for (COM, the value controls'
    // accessible names) runs at this one-shot timer: the system hands out
    // WM_TIMER only once nothing is left to paint. Clear of the session's ids.
    static constexpr UINT_PTR kAfterFirstPaintTimer = 100;
    void OnFirstPaintDone();
    bool comStarted() const { return comInitialized; }
    std::optional<INT_PTR> OnPortTask(WPARAM wParam, LPARAM lParam);
    std::optional<INT_PTR> OnShowReceived(WPARAM wParam, LPARAM lParam);
    // A COM port came or went (WM_DEVICECHANGE): the list follows (port_follow.cpp).
    std::optional<INT_PTR> OnDeviceChange(WPARAM wParam, LPARAM lParam);
    // Finds the ports again and lets the list follow, keeping the choice.
    void OnPortsChanged();
    std::optional<INT_PTR> OnSysCommand(WPARAM wParam, LPARAM lParam);
    std::optional<INT_PTR> OnContextMenu(WPARAM wParam, LPARAM lParam);
    std::optional<INT_PTR> OnPaint(WPARAM wParam, LPARAM lParam);
    std::optional<INT_PTR> OnQueryDragIcon(WPARAM wParam, LPARAM lParam);
    std::optional<INT_PTR> OnCtlColorStatic(WPARAM wParam, LPARAM lParam);

    // ---- Window timers by identifier ------------------------------------------
    void SetTimer(int timerId, int milliseconds);
    void KillTimer(int timerId);
    // The period of a running timer; 0 when it is not running.
    int timerPeriod(int timerId) const;

    // ---- The line's way onto this thread (any thread; dropped once the window is gone)
    void postToOwner(std::function<void()> task);

    // The port list's entry of the simulated DTU; -1 before the list is filled.
    int simulatorEntry() const { return simulatorListEntry; }
    SimulatedLine& simulatedLine() { return simulated; }
    // The context menu as it stands, for tests.
    std::vector<MenuEntry> contextMenuEntries() const;

    // ---- Fleet work (dlg_parameter_file.cpp, dlg_history.cpp) -------------------
    // Save the ticked fields (none ticked: every field that holds a value) to a
    // parameter file; load one (every problem in one box, or exactly its fields
    // ticked and filled); check the unit against one; the history of writes;
    // verification after a write; the demo-state controls shown or hidden.
    void OnSaveParameterFile() { SaveParameterFileFlow(*this); }
    void OnLoadParameterFile() { LoadChosenParameterFileFlow(*this); }
    // The unit checked against a file chosen and validated as a load is; the
    // form untouched. Offered while a read is (form/check_file_flow.h).
    void OnCheckParameterFile();
    // The history of writes in a dialog with a list view (dlg_history.cpp).
    void OnShowHistory();
    bool LoadParameterFileFrom(const std::wstring& path) {
        return LoadParameterFileFlow(*this, Narrow(path));
    }
    void OnToggleVerify();
    void OnToggleTerminal();
    void ShowTerminalControls(bool shown);
    bool terminalControlsShown() const { return terminalShown; }
    // The client area's height in dialog units: the layout's, plus the band while it is shown.
    int clientHeightUnits() const;
    std::optional<INT_PTR> OnDropFiles(WPARAM wParam, LPARAM lParam);
    // Every file dialog goes through here; set by tests to answer instead
    // (true: a file to save to). An empty path is a cancelled dialog.
    std::wstring ChooseFile(bool save);
    std::function<std::wstring(bool save)> fileDialogHook;

    // ---- Members ----------------------------------------------------------------
  private:
    // Where the line's workers post; cleared, under the lock, before the
    // window goes. Declared before the session, so they outlive its line's
    // workers: a loss found while the window closes still posts under this lock.
    std::mutex postLock;
    HWND postTarget = nullptr;
    bool comInitialized = false;  // by this window, which ends it too

    // The port list's simulated DTU, a device of the session's line: it outlives the line.
    SimulatedLine simulated;

  public:
    // The session's state, decisions and line.
    SessionController session{
        *this, LineSetup{.post = [this](std::function<void()> task) { postToOwner(std::move(task)); },
                         .device = &simulated}};

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool dispatchCommand(int id, int code);
    void OnInitDialog();
    void OnDestroy();
    void InitPortList();
    bool createWindow();
    // The controls that have no window at the start, with their start states.
    void storeUncreatedControls();
    // Creates the terminal band's controls (hidden) from their stored states.
    void createTerminalBand();
    void fitClientHeight(int heightUnits);

    // A control without a window, as the exchange and the session see it.
    struct StoredControl {
        const ControlDef* row = nullptr;
        std::wstring text;
        bool ticked = false;
        int selected = -1;
        bool enabled = true;
    };
    StoredControl* storedControl(int id);
    const StoredControl* storedControl(int id) const;
    // Refills the port list: com1..com10, these ports, the simulated DTU.
    void FillPortList(std::span<const FoundPort> found);
    // Following adapters (port_follow.cpp): registered at start, and the
    // list found again on each report that a COM port came or went.
    void StartPortWatch();
    void displayReceivedByte(std::uint8_t byte) override;
    // Appends the received bytes not yet shown to the information area.
    void showReceived();
    void appendToArea(std::wstring_view text);

    // What the parameter-file flows ask of the window.
    FormValues parameterFileValues() override {
        ExchangeFormData(true);
        return ValuesFromSnapshot(snapshot);
    }
    std::string chooseParameterFile(bool save) override { return Narrow(ChooseFile(save)); }
    void showParameterFileValues(const FormValues& values) override { ShowFormValues(*this, *this, values); }
    void parameterFileBox(std::string_view text) override;
    void parameterFileReport(std::string_view text) override;

    // What the session asks of the window.
    ChosenPort chosenPort() override;
    void portFound(const LinePort& port) override;
    void startTimerById(int timerId, int periodMs) override { SetTimer(timerId, periodMs); }
    void stopTimerById(int timerId) override { KillTimer(timerId); }
    void appendInfo(std::string_view utf8) override;
    void writeConcluded(const WriteReport& report) override;
    void showBox(std::string_view textUtf8, std::string_view captionUtf8, BoxIcon icon) override;
    void setStatusText(std::string_view utf8) override;
    void applyEnables(const ControlEnables& enables) override;
    void applyItemUpdate(const ItemUpdate& update) override { ApplyItemUpdate(*this, *this, update); }
    int demoRateIndex() const override;
    void selectDemoRate(int index) override;
    bool saveForm() override { return ExchangeFormData(true); }
    FormMembersView formMembers() override { return {snapshot, sendText, autoSendInterval}; }
    void sessionOutcome(SessionOutcome outcome) override;
    // The exchange's view of the controls.
    std::string controlTextGbk(int id) const override;
    void setControlTextGbk(int id, std::string_view gbk) override;
    void refuseUnsigned(int id) override;

    HWND window = nullptr;
    bool modal = false;
    bool terminalShown = false;
    bool bandCreated = false;
    RateListChange demoRateChange = RateListChange::Picked;  // how 1068 last changed
    std::vector<HWND> bandControls;       // the terminal band's controls, once created
    std::map<int, StoredControl> stored;  // by id, controls that have no window
    int simulatorListEntry = -1;
    std::vector<PortListEntry> portEntries;      // what the port list shows, in order
    std::vector<FoundPort> shownPorts;           // the found ports the list was made from
    PortWatch portWatch;
    WriteHistory writeHistory;
    std::map<int, int> timerPeriods;  // running window timers by id
    GbkStreamDecoder receiveDecoder;
    // Received bytes wait here until the messages queued before them are done,
    // so a burst reaches the information area in one append, not one per byte.
    std::wstring receivedPending;
    bool showReceivedPosted = false;
    ControlsFormSnapshot snapshot{*this, *this};
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    std::vector<std::uint32_t> dialogTemplate;
};

}  // namespace quill::win
