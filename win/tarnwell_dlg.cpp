#include "win/tarnwell_dlg.h"

#include <commctrl.h>
#include <initguid.h>
#include <objbase.h>
#include <oleacc.h>
#include <shellapi.h>

#include <algorithm>

#include "form/check_file_flow.h"
#include "form/parameter_fields.h"
#include "win/dialog_template.h"
#include "win/message_map.h"

namespace quill::win {
namespace {

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

// The main window: caption, system menu and minimise box, fixed frame,
// centred, in the task bar.
constexpr DialogFrame kMainFrame{
    WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_CENTER, WS_EX_APPWINDOW};
constexpr DialogFrame kAboutFrame{WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER, 0};

// Labels and check boxes whose text background lets the window show through.
constexpr std::array<int, 32> kTransparentTextIds{
    1031, 1053, 1054, 1055, 1052, 1056, 1057, 1058, 1059, 1060, 1061, kNoId, 1001, 1003, 1005, 1045,
    1007, 1047, 1009, 1011, 1013, 1024, 1069, 1041, 1039, 1033, 1034, 1021,  1064, 1062, 1075, 1077};

// Assistive tools announce each value control by its field's label, as the
// Qt window names them. A value control has no caption of its own and its
// check box is no label the system would borrow a name from, so the name is
// given through the accessibility runtime's property annotation. Where the
// runtime does not offer it (Wine answers E_NOTIMPL) the controls keep the
// system's own naming.
void NameValueControls(const CTarnwellDlg& window) {
    IAccPropServices* services = nullptr;
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                reinterpret_cast<void**>(&services))))
        return;
    for (const ParameterField& field : ParameterFields()) {
        const std::wstring name = Widen(field.accessibleLabel);
        for (const int id : field.valueIds())
            if (HWND control = window.control(id))
                services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                         PROPID_ACC_NAME, name.c_str());
    }
    services->Release();
}

// The main window's template as created: only the rows shown from the start.
DialogTemplate ShownFromStart() {
    static const std::vector<ControlDef> rows = [] {
        std::vector<ControlDef> shown;
        for (const ControlDef& row : MainDialogTemplate().controls)
            if (row.shown) shown.push_back(row);
        return shown;
    }();
    DialogTemplate layout = MainDialogTemplate();
    layout.controls = rows;
    return layout;
}

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(hwnd, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

CTarnwellDlg::CTarnwellDlg() = default;

CTarnwellDlg::~CTarnwellDlg() {
    if (window != nullptr) DestroyWindow(window);
    // Only once the controls it named are gone.
    if (comInitialized) CoUninitialize();
    // The session (and its line) goes before postLock and postTarget: the
    // line's workers are joined while the lock they post under still exists.
}

bool CTarnwellDlg::Create() {
    modal = false;
    if (!createWindow()) return false;
    ShowWindow(window, SW_SHOW);
    return true;
}

INT_PTR CTarnwellDlg::DoModal() {
    modal = true;
    storeUncreatedControls();
    dialogTemplate = BuildDialogTemplate(ShownFromStart(), kMainFrame, kAppIconId);
    return DialogBoxIndirectParamW(Instance(), reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()),
                                   nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CTarnwellDlg::createWindow() {
    storeUncreatedControls();
    dialogTemplate = BuildDialogTemplate(ShownFromStart(), kMainFrame, kAppIconId);
    return CreateDialogIndirectParamW(Instance(), reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate.data()),
                                      nullptr, DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CTarnwellDlg::storeUncreatedControls() {
    stored.clear();
    bandCreated = false;
    bandControls.clear();
    for (const ControlDef& row : MainDialogTemplate().controls) {
        if (row.shown || row.id == kNoId) continue;
        StoredControl& item = stored[row.id];
        item.row = &row;
        item.enabled = row.enabled;
        const bool edits = row.kind == ControlKind::Edit || row.kind == ControlKind::MultiLineEdit ||
                           row.kind == ControlKind::ComboBox;
        if (!edits) item.text = Widen(row.caption);
    }
}

INT_PTR CALLBACK CTarnwellDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CTarnwellDlg*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->window = hwnd;
        {
            const std::lock_guard<std::mutex> guard(self->postLock);
            self->postTarget = hwnd;
        }
        self->OnInitDialog();
        return TRUE;  // the dialog manager focuses the first control that takes it
    }
    auto* self = reinterpret_cast<CTarnwellDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr) return FALSE;
    if (message == WM_DESTROY) {
        self->OnDestroy();
        return FALSE;
    }
    return self->handleMessage(message, wParam, lParam);
}

INT_PTR CTarnwellDlg::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) return dispatchCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    for (const MessageEntry& entry : MessageMap()) {
        if (entry.message != message || entry.messageHandler == nullptr) continue;
        const std::optional<INT_PTR> result = (this->*entry.messageHandler)(wParam, lParam);
        return result.value_or(FALSE);
    }
    return FALSE;
}

bool CTarnwellDlg::dispatchCommand(int id, int code) {
    // The exchange itself changes texts; their notifications are not the operator's.
    if (exchangeRunning) return false;
    for (const MessageEntry& entry : MessageMap()) {
        if (entry.message != WM_COMMAND || entry.code != code) continue;
        const bool fieldBox = entry.id == kEveryFieldCheckBox && FindFieldByCheckBox(id) != nullptr;
        if (entry.id != id && !fieldBox) continue;
        if (entry.handler != nullptr)
            (this->*entry.handler)();
        else
            (this->*entry.controlHandler)(id);
        return true;
    }
    return false;
}

void CTarnwellDlg::OnInitDialog() {
    // The lists take their entries from the layout, none selected yet.
    for (const ControlDef& def : MainDialogTemplate().controls) {
        if (def.kind != ControlKind::ComboBox || control(def.id) == nullptr) continue;
        for (const std::string_view item : def.items)
            SendMessageW(control(def.id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
    }
    // The information area holds a whole session's reports, beyond the edit's default 32K characters.
    SendMessageW(control(kInfoAreaId), EM_SETLIMITTEXT, 0, 0);
    ExchangeFormData(false);

    if (HMENU systemMenu = GetSystemMenu(window, FALSE); systemMenu != nullptr && !kAboutMenuText.empty()) {
        AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(systemMenu, MF_STRING, ID_SYS_ABOUT, Widen(kAboutMenuText).c_str());
    }

    bigIcon = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    smallIcon =
        static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));

    setControlText(kStatusLineId, L"Quillmere");
    InitPortList();
    selectIndex(kPortListId, 0);
    StartPortWatch();
    selectIndex(kDemoRateListId, 9);

    // The two title labels are never shown, so they have no window to give a font to.
    // No tool is registered with any tool-tip, so none is created: it would show nothing.
    ::SetTimer(window, kAfterFirstPaintTimer, 0, nullptr);
    DragAcceptFiles(window, TRUE);  // a parameter file dropped on the window is loaded
}

void CTarnwellDlg::OnFirstPaintDone() {
    ::KillTimer(window, kAfterFirstPaintTimer);
    if (comInitialized) return;
    // The accessibility runtime's annotation of the controls' names is a COM service.
    comInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    NameValueControls(*this);
}

void CTarnwellDlg::OnDestroy() {
    ::KillTimer(window, kAfterFirstPaintTimer);
    {
        // After this no post reaches the queue, so the drain below finds every task left.
        const std::lock_guard<std::mutex> guard(postLock);
        postTarget = nullptr;
    }
    // Tasks the worker posted and the window will not run any more.
    MSG pending;
    while (PeekMessageW(&pending, window, WM_PORT_TASK, WM_PORT_TASK, PM_REMOVE))
        delete reinterpret_cast<std::function<void()>*>(pending.lParam);
    for (const auto& [timerId, period] : timerPeriods) ::KillTimer(window, static_cast<UINT_PTR>(timerId));
    timerPeriods.clear();
    // The window goes; the engine stops its worker and closes the port without a word.
    session.line().stop();
    SetWindowLongPtrW(window, DWLP_USER, 0);
    window = nullptr;
    for (HICON icon : {bigIcon, smallIcon})
        if (icon != nullptr) DestroyIcon(icon);
    bigIcon = smallIcon = nullptr;
}

void CTarnwellDlg::OnCancel() {
    // The close command and Esc end the window; Enter (IDOK) has no handler and does nothing.
    if (modal)
        EndDialog(window, IDCANCEL);
    else
        DestroyWindow(window);
}

// ---- Controls ---------------------------------------------------------------------

HWND CTarnwellDlg::control(int id) const {
    return window != nullptr && id != kNoId ? GetDlgItem(window, id) : nullptr;
}

CTarnwellDlg::StoredControl* CTarnwellDlg::storedControl(int id) {
    const auto it = stored.find(id);
    return it != stored.end() ? &it->second : nullptr;
}

const CTarnwellDlg::StoredControl* CTarnwellDlg::storedControl(int id) const {
    const auto it = stored.find(id);
    return it != stored.end() ? &it->second : nullptr;
}

bool CTarnwellDlg::isTicked(int id) const {
    if (const StoredControl* item = storedControl(id)) return item->ticked;
    const HWND box = control(id);
    return box != nullptr && SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CTarnwellDlg::setTicked(int id, bool ticked) {
    if (StoredControl* item = storedControl(id)) item->ticked = ticked;
    if (HWND box = control(id)) SendMessageW(box, BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
    // The config-done box is the session's demo flag, also when set without its click.
    if (id == kConfigDoneBoxId) session.SyncConfigDone();
}

void CTarnwellDlg::enableControl(int id, bool enable) {
    if (StoredControl* item = storedControl(id)) item->enabled = enable;
    if (HWND item = control(id)) EnableWindow(item, enable ? TRUE : FALSE);
}

bool CTarnwellDlg::isEnabled(int id) const {
    if (const StoredControl* item = storedControl(id)) return item->enabled;
    const HWND item = control(id);
    return item != nullptr && IsWindowEnabled(item);
}

void CTarnwellDlg::setControlText(int id, std::wstring_view text) {
    if (StoredControl* item = storedControl(id)) item->text = text;
    if (HWND item = control(id)) SetWindowTextW(item, std::wstring(text).c_str());
}

std::wstring CTarnwellDlg::controlText(int id) const {
    if (const StoredControl* item = storedControl(id)) return item->text;
    const HWND item = control(id);
    if (item == nullptr) return {};
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    const int length = GetWindowTextW(item, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(length, 0)));
    return text;
}

void CTarnwellDlg::selectIndex(int id, int index) {
    if (StoredControl* item = storedControl(id)) {
        // As a list does: the selected entry's text stands in its edit field.
        const int count = static_cast<int>(item->row->items.size());
        item->selected = index >= 0 && index < count ? index : -1;
        item->text = item->selected >= 0 ? Widen(item->row->items[static_cast<std::size_t>(index)]) : L"";
        return;
    }
    const HWND list = control(id);
    if (list == nullptr) return;
    const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
    SendMessageW(list, CB_SETCURSEL, index >= 0 && index < count ? index : -1, 0);
}

int CTarnwellDlg::selectedIndex(int id) const {
    if (const StoredControl* item = storedControl(id)) return item->selected;
    const HWND list = control(id);
    return list != nullptr ? static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0)) : -1;
}

int CTarnwellDlg::listCount(int id) const {
    if (const StoredControl* item = storedControl(id)) return static_cast<int>(item->row->items.size());
    const HWND list = control(id);
    return list != nullptr ? static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0)) : 0;
}

std::wstring CTarnwellDlg::listItem(int id, int index) const {
    if (const StoredControl* item = storedControl(id))
        return index >= 0 && static_cast<std::size_t>(index) < item->row->items.size()
                   ? Widen(item->row->items[static_cast<std::size_t>(index)])
                   : std::wstring();
    const HWND list = control(id);
    if (list == nullptr) return {};
    const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::wstring CTarnwellDlg::windowCaption() const {
    if (window == nullptr) return {};
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        std::max(GetWindowTextW(window, text.data(), static_cast<int>(text.size())), 0)));
    return text;
}

// ---- Information area ---------------------------------------------------------------

void CTarnwellDlg::AppendInfo(std::wstring_view text) {
    showReceived();  // a report follows the bytes received before it
    appendToArea(text);
}

void CTarnwellDlg::showReceived() {
    if (receivedPending.empty()) return;
    const std::wstring pending = std::move(receivedPending);
    receivedPending.clear();
    appendToArea(pending);
}

std::optional<INT_PTR> CTarnwellDlg::OnShowReceived(WPARAM, LPARAM) {
    showReceivedPosted = false;
    showReceived();
    return TRUE;
}

void CTarnwellDlg::appendToArea(std::wstring_view text) {
    // The edit breaks lines at CR LF only: each line feed becomes one, carriage returns go.
    std::wstring shown;
    shown.reserve(text.size() + 8);
    for (const wchar_t c : text) {
        if (c == L'\n')
            shown += L"\r\n";
        else if (c != L'\r' && c != L'\0')
            shown += c;
    }
    const HWND area = control(kInfoAreaId);
    if (area == nullptr || shown.empty()) return;
    const WPARAM end = static_cast<WPARAM>(GetWindowTextLengthW(area));
    SendMessageW(area, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(area, EM_SCROLLCARET, 0, 0);
    SendMessageW(area, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(shown.c_str()));
}

// ---- Boxes and dialogs ----------------------------------------------------------------

int CTarnwellDlg::ShowMessageBox(std::wstring_view text, std::wstring_view caption, BoxIcon icon) {
    if (messageBoxHook) return messageBoxHook(std::wstring(text), std::wstring(caption), icon);
    static constexpr UINT kIcons[] = {0, MB_ICONINFORMATION, MB_ICONWARNING, MB_ICONERROR};
    return MessageBoxW(window, std::wstring(text).c_str(), std::wstring(caption).c_str(),
                       MB_OK | kIcons[static_cast<int>(icon)]);
}

INT_PTR CTarnwellDlg::RunModal(const DialogTemplate& layout, DLGPROC procedure, LPARAM param) {
    if (modalHook) return modalHook(layout);
    const std::vector<std::uint32_t> bytes = BuildDialogTemplate(layout, kAboutFrame, kAppIconId);
    return DialogBoxIndirectParamW(Instance(), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), window,
                                   procedure != nullptr ? procedure : AboutProc, param);
}

// ---- Shell handlers ---------------------------------------------------------------------

void CTarnwellDlg::OnSysCommandAbout() {
    RunModal(AboutDialogTemplate());
}

std::optional<INT_PTR> CTarnwellDlg::OnSysCommand(WPARAM wParam, LPARAM) {
    if ((static_cast<unsigned>(wParam) & ~0xFu) != ID_SYS_ABOUT) return std::nullopt;
    OnSysCommandAbout();
    return TRUE;
}

std::vector<MenuEntry> CTarnwellDlg::contextMenuEntries() const {
    return {{kMenuSaveFile, Widen(kSaveFileText)},
            {kMenuLoadFile, Widen(kLoadFileText)},
            {kMenuCheckFile, Widen(kCheckFileText), false, isEnabled(kCheckFileEntryFollows)},
            {kMenuHistory, Widen(kHistoryText)},
            {kMenuVerify, Widen(kVerifyText), session.verifyAfterWrite()},
            {kMenuTerminal, Widen(kTerminalText), terminalShown},
            {0, {}},
            {kMenuAbout, Widen(kAboutMenuText)}};
}

std::optional<INT_PTR> CTarnwellDlg::OnContextMenu(WPARAM, LPARAM lParam) {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return std::nullopt;
    for (const MenuEntry& entry : contextMenuEntries()) {
        if (entry.command == 0)
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuW(menu,
                        MF_STRING | (entry.checked ? MF_CHECKED : MF_UNCHECKED) |
                            (entry.enabled ? MF_ENABLED : MF_GRAYED),
                        static_cast<UINT_PTR>(entry.command), entry.text.c_str());
    }
    POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (lParam == -1) {  // from the keyboard: at the window's top left corner
        at = {0, 0};
        ClientToScreen(window, &at);
    }
    const int command = static_cast<int>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, window, nullptr));
    DestroyMenu(menu);
    if (command != 0) dispatchCommand(command, 0);
    return TRUE;
}

std::optional<INT_PTR> CTarnwellDlg::OnPaint(WPARAM, LPARAM) {
    if (!IsIconic(window)) return std::nullopt;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(window, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, bigIcon);
    EndPaint(window, &paint);
    return TRUE;
}

std::optional<INT_PTR> CTarnwellDlg::OnQueryDragIcon(WPARAM, LPARAM) {
    return reinterpret_cast<INT_PTR>(bigIcon);
}

std::optional<INT_PTR> CTarnwellDlg::OnCtlColorStatic(WPARAM wParam, LPARAM lParam) {
    const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
    if (std::find(kTransparentTextIds.begin(), kTransparentTextIds.end(), id) == kTransparentTextIds.end())
        return std::nullopt;
    SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

void CTarnwellDlg::OnHelp() {
    ShowMessageBox(Widen(kHelpText), Widen(kHelpCaption), BoxIcon::None);
}

void CTarnwellDlg::OnClearDisplay() {
    receivedPending.clear();
    infoText.clear();
    ExchangeFormData(false);
}

}  // namespace quill::win
