// The window's entries for fleet work, in its context menu before the about
// entry: save and load parameter files (also by dropping a .json file on the
// window), verification after a write, and the demo-state terminal shown on
// request. What a file holds and which fields it ticks is decided in form/;
// verification is the session core's. Window thread only.
#include <windows.h>
// After <windows.h>, whose types they use.
#include <commdlg.h>
#include <shellapi.h>

#include <cwctype>

#include "form/form_values.h"
#include "form/parameter_fields.h"
#include "form/parameter_file.h"
#include "win/dialog_template.h"
#include "win/tarnwell_dlg.h"

namespace quill::win {
namespace {

bool EndsWithJson(std::wstring_view path) {
    if (path.size() < 5) return false;
    std::wstring tail(path.substr(path.size() - 5));
    for (wchar_t& c : tail) c = static_cast<wchar_t>(towlower(c));
    return tail == L".json";
}

}  // namespace

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

void CTarnwellDlg::OnSaveParameterFile() {
    ExchangeFormData(true);
    const FormValues values = ValuesFromSnapshot(formSnapshot());
    const std::vector<const ParameterField*> fields = FieldsToSave(values);
    if (fields.empty()) {
        ShowMessageBox(Widen(kNothingToSave), Widen(kErrorCaption), BoxIcon::None);
        return;
    }
    std::wstring path = ChooseFile(true);
    if (path.empty()) return;
    if (!EndsWithJson(path)) path += L".json";
    const std::string error = SaveParameterFile(Narrow(path), values, fields);
    if (!error.empty()) {
        ShowMessageBox(Widen(error), Widen(kErrorCaption), BoxIcon::None);
        return;
    }
    AppendInfo(Widen(kSavedPrefix) + path + L"\n\r\n\r");
}

void CTarnwellDlg::OnLoadParameterFile() {
    const std::wstring path = ChooseFile(false);
    if (!path.empty()) LoadParameterFileFrom(path);
}

bool CTarnwellDlg::LoadParameterFileFrom(const std::wstring& path) {
    const ParameterFileLoad load = LoadParameterFile(Narrow(path));
    if (!load.values) {
        ShowMessageBox(Widen(ProblemsText(load.problems)), Widen(kErrorCaption), BoxIcon::None);
        return false;
    }
    ShowFormValues(*this, *this, *load.values);
    AppendInfo(Widen(kLoadedPrefix) + path + L"\n\r\n\r");
    return true;
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
        if (EndsWithJson(path)) LoadParameterFileFrom(path);
    }
    DragFinish(drop);
    return TRUE;
}

}  // namespace quill::win
