#include "form/parameter_file_flow.h"

#include <algorithm>
#include <vector>

#include "form/parameter_file.h"
#include "form/window_texts.h"

namespace quill {
namespace {

constexpr std::string_view kSuffix = ".json";
constexpr std::string_view kReportEnd = "\n\r\n\r";

std::string Report(std::string_view prefix, std::string_view path) {
    std::string text(prefix);
    text += path;
    text += kReportEnd;
    return text;
}

}  // namespace

bool IsParameterFilePath(std::string_view path) {
    if (path.size() < kSuffix.size()) return false;
    const std::string_view tail = path.substr(path.size() - kSuffix.size());
    return std::equal(tail.begin(), tail.end(), kSuffix.begin(), [](char c, char suffix) {
        return (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == suffix;
    });
}

void SaveParameterFileFlow(ParameterFileWindow& window) {
    const FormValues values = window.parameterFileValues();
    const std::vector<const ParameterField*> fields = FieldsToSave(values);
    if (fields.empty()) {
        window.parameterFileBox(kNothingToSave);
        return;
    }
    std::string path = window.chooseParameterFile(true);
    if (path.empty()) return;
    if (!IsParameterFilePath(path)) path += kSuffix;
    if (const std::string error = SaveParameterFile(path, values, fields); !error.empty()) {
        window.parameterFileBox(error);
        return;
    }
    window.parameterFileReport(Report(kSavedPrefix, path));
}

void LoadChosenParameterFileFlow(ParameterFileWindow& window) {
    if (const std::string path = window.chooseParameterFile(false); !path.empty())
        LoadParameterFileFlow(window, path);
}

bool LoadParameterFileFlow(ParameterFileWindow& window, const std::string& path) {
    const ParameterFileLoad load = LoadParameterFile(path);
    if (!load.values) {
        window.parameterFileBox(ProblemsText(load.problems));
        return false;
    }
    window.showParameterFileValues(*load.values);
    window.parameterFileReport(Report(kLoadedPrefix, path));
    return true;
}

}  // namespace quill
