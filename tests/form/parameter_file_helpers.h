// What the parameter file tests share: printing, a field by name, a file
// around some fields, whole-file reads and writes, a sample form.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "form/parameter_file.h"
#include "protocol/text_codec.h"

namespace quill {

inline void PrintTo(const ParameterFileProblem& p, std::ostream* os) {
    *os << "{\"" << p.label << "\", \"" << p.message << "\"}";
}

// The ticked or filled fields, for failure output.
inline void PrintTo(const FormValues& values, std::ostream* os) {
    for (const ParameterField& f : ParameterFields())
        if (values[f].ticked || values.holdsValue(f))
            *os << f.name() << (values[f].ticked ? "[x]=" : "[ ]=") << DisplayText(values, f) << "; ";
}

namespace test {

namespace fs = std::filesystem;
using Problems = std::vector<ParameterFileProblem>;

inline const ParameterField& Field(std::string_view name) {
    for (const ParameterField& f : ParameterFields())
        if (f.name() == name) return f;
    ADD_FAILURE() << "no field " << name;
    return ParameterFields().front();
}

inline std::string File(std::string_view fields) {
    return std::string(R"({"format": "quillmere-parameters", "version": 1, "fields": {)") +
           std::string(fields) + "}}";
}

inline std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteAll(const fs::path& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A form with a value of each kind, only those fields ticked.
inline FormValues SampleForm() {
    FormValues values;
    values[Field("stationName")] = {true, Utf8ToGbk("城东变电站"), {}};
    values[Field("messageBody1Address")] = {true, "1001", {}};
    values[Field("superUserPassword")] = {true, "123456", {}};
    values[Field("customHeartbeat")] = {true, "AA BB", {}};
    values[Field("numberedField9")] = {true, "", {}};
    values[Field("transferMode")] = {true, {}, {1, -1, -1, -1, -1}};
    values[Field("serialSettings")] = {true, {}, {5, 0, 0, 2, 4}};
    return values;
}

}  // namespace test
}  // namespace quill
