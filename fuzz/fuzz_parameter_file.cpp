// Arbitrary text into the parameter file reader. Whatever the input, the
// reader either loads values or reports problems, never both nor neither;
// and what it loads, written back out, loads again to the same values.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "form/parameter_file.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const quill::ParameterFileLoad loaded = quill::ParseParameterFile(text);
    FUZZ_CHECK(loaded.values.has_value() == loaded.problems.empty());
    for (const quill::ParameterFileProblem& problem : loaded.problems) FUZZ_CHECK(!problem.message.empty());
    if (!loaded.values) return 0;

    const quill::FormValues& values = *loaded.values;
    const std::string again = quill::FormatParameterFile(values, quill::FieldsToSave(values));
    const quill::ParameterFileLoad reloaded = quill::ParseParameterFile(again);
    FUZZ_CHECK(reloaded.problems.empty());
    FUZZ_CHECK(reloaded.values.has_value() && *reloaded.values == values);
    FUZZ_CHECK(quill::FormatParameterFile(*reloaded.values, quill::FieldsToSave(*reloaded.values)) == again);
    return 0;
}
