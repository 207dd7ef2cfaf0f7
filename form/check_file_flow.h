// The context menu's "与参数文件核对…", decided once for every window: the
// file is chosen and validated exactly as a load does it, but its values go
// to the session's check instead of into the form. The window lends its
// dialogs through ParameterFileWindow. The window's thread.
#pragma once

#include <optional>

#include "form/control_ids.h"
#include "form/form_values.h"
#include "form/parameter_file_flow.h"

namespace quill {

// A check reads the unit, so the entry is offered exactly when the read
// button is: each window enables the entry with this control.
inline constexpr int kCheckFileEntryFollows = kReadButtonId;

// The values of a file the operator chooses; nullopt when the dialog was
// cancelled or the file has problems (all of them shown in one box). The form
// is left as it is either way.
std::optional<FormValues> ChooseFileToCheck(ParameterFileWindow& window);

}  // namespace quill
