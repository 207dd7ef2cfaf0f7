// The window's entries for fleet work, in its context menu before the about
// entry: save and load parameter files (also by dropping a .json file on the
// window), a check of the unit against a file, verification after a write,
// and the demo-state terminal shown on request. The file flows are form/'s
// (parameter_file_flow, check_file_flow): this file lends them the window's
// dialogs. The check and verification are the session core's.
// Window thread only.
#include <windows.h>
// After <windows.h>, whose types they use.
#include <commdlg.h>
#include <shellapi.h>

#include "form/check_file_flow.h"
#include "form/form_values.h"
#include "form/parameter_file_flow.h"
#include "win/dialog_template.h"
#include "win/tarnwell_dlg.h"

namespace quill::win {

std::wstring CTarnwellDlg::ChooseFile(bool save) {
    if (fileDialogHook) return fileDialogHook(save);
    // "参数文件 (*.json)" then its pattern, each ending in a zero, the list in a second one.
    std::wstring filter = Widen(kFileFilter);
    filter.push_back(L'\0');
    filter += L"*.json";
    filter.push_back(L'\0');
    std::wstring file(MAX_PATH * 4, L'\0');
    const std::wstring title = Widen(save ? kSaveFileText : kLoadFileText);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = title.c_str();
    dialog.lpstrDefExt = L"json";
    dialog.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                   (save ? OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen) return {};
    file.resize(wcslen(file.c_str()));
    return file;
}

void CTarnwellDlg::parameterFileBox(std::string_view text) {
    ShowMessageBox(Widen(text), Widen(kErrorCaption), BoxIcon::None);
}

void CTarnwellDlg::parameterFileReport(std::string_view text) {
    AppendInfo(Widen(text));
}

void CTarnwellDlg::OnCheckParameterFile() {
    if (const std::optional<FormValues> values = ChooseFileToCheck(*this)) session.OnCheckFile(*values);
}

void CTarnwellDlg::OnToggleVerify() {
    session.setVerifyAfterWrite(!session.verifyAfterWrite());
}

std::optional<INT_PTR> CTarnwellDlg::OnDropFiles(WPARAM wParam, LPARAM) {
    const auto drop = reinterpret_cast<HDROP>(wParam);
    // One parameter file at a time; anything else is not taken.
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
        std::wstring path(DragQueryFileW(drop, 0, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size())));
        if (IsParameterFilePath(Narrow(path))) LoadParameterFileFrom(path);
    }
    DragFinish(drop);
    return TRUE;
}

}  // namespace quill::win
