// Saving and loading a parameter file from a window, decided once for every
// window: what a save writes, the file name it ends up with, and what the
// operator is told after a save or a load. The window lends its dialogs
// through ParameterFileWindow and keeps nothing of the flow. UTF-8 texts and
// paths; the window's thread.
#pragma once

#include <string>
#include <string_view>

#include "form/form_values.h"

namespace quill {

class ParameterFileWindow {
  public:
    virtual ~ParameterFileWindow() = default;
    // The form's values as they stand, its members saved from the controls first.
    virtual FormValues parameterFileValues() = 0;
    // The file dialog's answer; empty when the operator cancelled it.
    virtual std::string chooseParameterFile(bool save) = 0;
    // Ticks and fills exactly the fields of a loaded file.
    virtual void showParameterFileValues(const FormValues& values) = 0;
    // The "错误提示" box, without an icon.
    virtual void parameterFileBox(std::string_view text) = 0;
    // A report in the information area.
    virtual void parameterFileReport(std::string_view text) = 0;
};

// A parameter file's name: ends in ".json", in any case.
bool IsParameterFilePath(std::string_view path);

// The ticked fields (none ticked: every field that holds a value) to a file
// the operator chooses, ".json" added when missing. Reports the path saved,
// or says in a box why nothing was.
void SaveParameterFileFlow(ParameterFileWindow& window);

// A file the operator chooses, loaded as LoadParameterFileFlow does.
void LoadChosenParameterFileFlow(ParameterFileWindow& window);

// Every problem in one box and the form untouched, or exactly the file's
// fields ticked and filled and the path reported. True when it loaded.
bool LoadParameterFileFlow(ParameterFileWindow& window, const std::string& path);

}  // namespace quill
