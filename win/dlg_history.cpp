// The history of writes as a read-only list, newest first, in a modal dialog
// built from an in-memory template like every dialog of the window: a close
// button and the note below the list come from the template, the list view
// (report view, which the template's predefined classes do not name) is
// created over its rectangle when the dialog starts. The rows are form/'s
// (history_table.h). Window thread only.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <commctrl.h>

#include <array>
#include <functional>

#include "form/history_table.h"
#include "form/write_history.h"
#include "win/tarnwell_dlg.h"

namespace quill::win {
namespace {

constexpr int kMargin = 7;
constexpr int kListWidth = [] {
    int width = 0;
    for (const HistoryColumn& column : kHistoryColumns) width += column.width;
    return width + 4;  // the list's border
}();
constexpr DialogRect kListRect{kMargin, kMargin, kListWidth, 170};
constexpr int kDialogWidth = kListWidth + 2 * kMargin;
constexpr int kButtonWidth = 50;

const DialogTemplate& HistoryDialogTemplate() {
    static const std::array<ControlDef, 2> rows{{
        {kHistoryNoteId,
         ControlKind::Static,
         "",
         {kMargin, kListRect.bottom() + 7, 300, 10},
         true,
         true,
         {},
         false},
        {IDOK,
         ControlKind::DefaultButton,
         kHistoryCloseText,
         {kDialogWidth - kMargin - kButtonWidth, kListRect.bottom() + 5, kButtonWidth, 14},
         true,
         true,
         {},
         false},
    }};
    static const DialogTemplate dialog{kHistoryCaption,
                                       kDialogWidth,
                                       kListRect.bottom() + 26,
                                       AboutDialogTemplate().fontFace,
                                       AboutDialogTemplate().pointSize,
                                       rows};
    return dialog;
}

struct HistoryDialog {
    const HistoryTable* table;
    const std::function<void(HWND)>* shown;
};

LRESULT SendTo(HWND control, UINT message, WPARAM wParam, const void* lParam) {
    return SendMessageW(control, message, wParam, reinterpret_cast<LPARAM>(lParam));
}

void FillList(HWND dialog, const HistoryTable& table) {
    RECT at{kListRect.x, kListRect.y, kListRect.right(), kListRect.bottom()};
    MapDialogRect(dialog, &at);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL |
                                    LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                                at.left, at.top, at.right - at.left, at.bottom - at.top, dialog,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kHistoryListId)),
                                GetModuleHandleW(nullptr), nullptr);
    if (list == nullptr) return;
    SendMessageW(list, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    // The tab order: the list first, then the button.
    SetWindowPos(list, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    for (std::size_t column = 0; column < kHistoryColumnCount; ++column) {
        RECT width{0, 0, kHistoryColumns[column].width, 0};
        MapDialogRect(dialog, &width);
        std::wstring title = Widen(kHistoryColumns[column].title);
        LVCOLUMNW def{};
        def.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        def.cx = width.right;
        def.pszText = title.data();
        def.iSubItem = static_cast<int>(column);
        SendTo(list, LVM_INSERTCOLUMNW, column, &def);
    }
    for (std::size_t row = 0; row < table.rows.size(); ++row) {
        for (std::size_t column = 0; column < kHistoryColumnCount; ++column) {
            std::wstring text = Widen(table.rows[row][column]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(row);
            item.iSubItem = static_cast<int>(column);
            item.pszText = text.data();
            SendTo(list, column == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, row, &item);
        }
    }
    SetDlgItemTextW(dialog, kHistoryNoteId, Widen(table.note).c_str());
}

INT_PTR CALLBACK HistoryProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const auto* history = reinterpret_cast<const HistoryDialog*>(lParam);
            FillList(dialog, *history->table);
            if (*history->shown) (*history->shown)(dialog);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

void CTarnwellDlg::OnShowHistory() {
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&classes);
    const HistoryTable table = HistoryTableOf(ReadHistory(DefaultHistoryPath()));
    const HistoryDialog history{&table, &dialogShownHook};
    RunModal(HistoryDialogTemplate(), HistoryProc, reinterpret_cast<LPARAM>(&history));
}

}  // namespace quill::win
