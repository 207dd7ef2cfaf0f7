#include "form/check_file_flow.h"

#include <string>

#include "form/parameter_file.h"

namespace quill {

std::optional<FormValues> ChooseFileToCheck(ParameterFileWindow& window) {
    const std::string path = window.chooseParameterFile(false);
    if (path.empty()) return std::nullopt;
    ParameterFileLoad load = LoadParameterFile(path);
    if (!load.values) window.parameterFileBox(ProblemsText(load.problems));
    return std::move(load.values);
}

}  // namespace quill
