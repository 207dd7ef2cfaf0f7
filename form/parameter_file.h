// Parameter files: a set of field values kept as UTF-8 JSON, so that one
// configuration can be written to a fleet of DTUs and files diff well.
//
//   {"format": "quillmere-parameters", "version": 1,
//    "fields": {"stationName": "城东变电站", "transferMode": "协议传输",
//               "serialSettings": {"baudRate": "9600", "dataBits": "8", ...}}}
//
// Keys are the item table's field names, values what the form shows: an
// edit's text, a list's entry ("" for no selection), for the serial settings
// an object with the five lists' entries. Loading checks every field by the
// configure button's own rules and reports every problem at once; a file with
// any problem loads nothing. Saving replaces the file atomically, fields in
// item table order. Used by the window and the command line; any thread.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "form/form_values.h"
#include "form/parameter_fields.h"

namespace quill {

inline constexpr std::string_view kParameterFileFormat = "quillmere-parameters";
inline constexpr int kParameterFileVersion = 1;
inline constexpr std::size_t kMaxParameterFileSize = 1024 * 1024;

// Keys of the serial settings' object, in the order of the lists 1016..1020.
inline constexpr std::array<std::string_view, kSerialListCount> kSerialListKeys{
    "baudRate", "dataBits", "stopBits", "parity", "flowControl"};

// One thing wrong with a file. label: the field's label as the form shows it
// ("消息体1 名称", "波特率"), the key when it names no field, or empty for the
// file as a whole. Both UTF-8.
struct ParameterFileProblem {
    std::string label;
    std::string message;
    friend bool operator==(const ParameterFileProblem&, const ParameterFileProblem&) = default;
};

struct ParameterFileLoad {
    std::optional<FormValues> values;  // exactly the file's fields ticked and filled; nullopt on any problem
    std::vector<ParameterFileProblem> problems;
};

// The file at path (at most kMaxParameterFileSize bytes).
ParameterFileLoad LoadParameterFile(const std::string& path);
// The problems of a refused file, one "label：message" a line, for a box.
std::string ProblemsText(const std::vector<ParameterFileProblem>& problems);
// A file's text (at most kMaxParameterFileSize bytes, from wherever it came).
ParameterFileLoad ParseParameterFile(std::string_view text);

// The fields a save writes by default: the ticked ones; with none ticked,
// every field that holds a value. Item table order.
std::vector<const ParameterField*> FieldsToSave(const FormValues& values);

// The file's text for these fields (item table order whatever the order given).
std::string FormatParameterFile(const FormValues& values, const std::vector<const ParameterField*>& fields);

// Writes FormatParameterFile atomically to path. Returns the message of a
// failure (UTF-8, naming the path), empty on success.
std::string SaveParameterFile(const std::string& path, const FormValues& values,
                              const std::vector<const ParameterField*>& fields);

}  // namespace quill
