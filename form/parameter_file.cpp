#include "form/parameter_file.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>

#include "form/file_access.h"
#include "form/window_layout.h"
#include "protocol/configure_request.h"
#include "protocol/text_codec.h"

namespace quill {
namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr std::string_view kNotJson = "参数文件不是有效的JSON";
constexpr std::string_view kNotObject = "参数文件应是一个JSON对象";
constexpr std::string_view kWrongFormat = "不是Quillmere参数文件（format应为\"quillmere-parameters\"）";
constexpr std::string_view kWrongVersion = "不支持的参数文件版本（version应为1）";
constexpr std::string_view kNoFields = "缺少参数（fields应是一个JSON对象）";
constexpr std::string_view kUnknownKey = "未知的键";
constexpr std::string_view kUnknownField = "没有这个参数";
constexpr std::string_view kDuplicateKey = "重复出现";
constexpr std::string_view kNotText = "值应为文本（用双引号括起）";
constexpr std::string_view kNotSerialObject =
    "值应为一个JSON对象，含baudRate、dataBits、stopBits、parity、flowControl";
constexpr std::string_view kMissingEntry = "缺少此项";
constexpr std::string_view kNotGbk = "含有GBK无法表示的字符";
constexpr std::string_view kUnreadable = "无法读取参数文件：";
constexpr std::string_view kTooLarge = "参数文件过大（最多1 MiB）";
constexpr std::string_view kUnsaved = "无法保存参数文件：";

// The hidden labels that name the five serial lists, in list order.
constexpr std::array<int, kSerialListCount> kSerialLabelIds{1056, 1057, 1058, 1059, 1060};

std::string SerialListLabel(std::size_t position) {
    const ControlDef* label = FindControl(kSerialLabelIds[position]);
    return label != nullptr ? std::string(label->caption) : std::string(kSerialListKeys[position]);
}

// Walks the text once for what the tree cannot tell: where the syntax fails,
// and keys that appear twice in one object (the tree keeps only the last).
class SyntaxCheck {
  public:
    using Number = Json::number_integer_t;
    using Unsigned = Json::number_unsigned_t;
    using Float = Json::number_float_t;

    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(Number) { return true; }
    bool number_unsigned(Unsigned) { return true; }
    bool number_float(Float, const std::string&) { return true; }
    bool string(std::string&) { return true; }
    bool binary(Json::binary_t&) { return true; }
    bool start_object(std::size_t) {
        keys.emplace_back();
        return true;
    }
    bool key(std::string& key) {
        if (!keys.back().insert(key).second) duplicates.push_back(key);
        return true;
    }
    bool end_object() {
        keys.pop_back();
        return true;
    }
    bool start_array(std::size_t) { return true; }
    bool end_array() { return true; }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) {
        errorPosition = position;
        return false;
    }

    std::vector<std::set<std::string>> keys;
    std::vector<std::string> duplicates;
    std::optional<std::size_t> errorPosition;
};

std::string WhereInText(std::string_view text, std::size_t position) {
    const std::size_t end = std::min(position > 0 ? position - 1 : 0, text.size());
    const std::string_view before = text.substr(0, end);
    const auto line = 1 + std::count(before.begin(), before.end(), '\n');
    const auto lastBreak = before.find_last_of('\n');
    const std::size_t column = lastBreak == std::string_view::npos ? end + 1 : end - lastBreak;
    return "（第" + std::to_string(line) + "行第" + std::to_string(column) + "列）";
}

std::string NoSuchEntry(const std::string& caption, std::span<const std::string_view> entries) {
    std::string message = "没有这个选项：“" + caption + "”，可选：";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) message += "、";
        message += entries[i];
    }
    return message;
}

// Reads one list entry: "" selects nothing, else the entry's index.
std::optional<int> EntryIndex(const Json& value, int listId, const std::string& label,
                              std::vector<ParameterFileProblem>& problems) {
    if (!value.is_string()) {
        problems.push_back({label, std::string(kNotText)});
        return std::nullopt;
    }
    const std::string& caption = value.get_ref<const std::string&>();
    if (caption.empty()) return -1;
    const auto entries = ListEntries(listId);
    const auto it = std::find(entries.begin(), entries.end(), caption);
    if (it == entries.end()) {
        problems.push_back({label, NoSuchEntry(caption, entries)});
        return std::nullopt;
    }
    return static_cast<int>(it - entries.begin());
}

// The field's state from its value in the file; nullopt after adding the
// problems that keep it from being read.
std::optional<FieldState> ReadField(const ParameterField& field, const Json& value,
                                    std::vector<ParameterFileProblem>& problems) {
    FieldState state;
    state.ticked = true;
    const std::string& label = field.accessibleLabel;
    switch (field.kind) {
        case FieldKind::Text: {
            if (!value.is_string()) {
                problems.push_back({label, std::string(kNotText)});
                return std::nullopt;
            }
            const std::string& utf8 = value.get_ref<const std::string&>();
            state.text = Utf8ToGbk(utf8);
            if (GbkToUtf8(state.text) != utf8) {
                problems.push_back({label, std::string(kNotGbk)});
                return std::nullopt;
            }
            return state;
        }
        case FieldKind::List: {
            const auto index = EntryIndex(value, field.valueIds()[0], label, problems);
            if (!index) return std::nullopt;
            state.indices[0] = *index;
            return state;
        }
        case FieldKind::SerialLists:
            break;
    }
    if (!value.is_object()) {
        problems.push_back({label, std::string(kNotSerialObject)});
        return std::nullopt;
    }
    bool readable = true;
    for (const auto& [key, entry] : value.items())
        if (std::find(kSerialListKeys.begin(), kSerialListKeys.end(), key) == kSerialListKeys.end()) {
            problems.push_back({key, std::string(kUnknownKey)});
            readable = false;
        }
    for (std::size_t i = 0; i < kSerialListCount; ++i) {
        const std::string listLabel = SerialListLabel(i);
        const auto it = value.find(std::string(kSerialListKeys[i]));
        if (it == value.end()) {
            problems.push_back({listLabel, std::string(kMissingEntry)});
            readable = false;
            continue;
        }
        const auto index = EntryIndex(*it, field.valueIds()[i], listLabel, problems);
        if (!index) {
            readable = false;
            continue;
        }
        state.indices[i] = *index;
    }
    if (!readable) return std::nullopt;
    return state;
}

std::string EntryCaption(const FieldState& state, std::size_t position, int listId) {
    const int index = state.indices[position];
    const auto entries = ListEntries(listId);
    return index >= 0 && static_cast<std::size_t>(index) < entries.size()
               ? std::string(entries[static_cast<std::size_t>(index)])
               : std::string();
}

OrderedJson FileValue(const ParameterField& field, const FieldState& state) {
    switch (field.kind) {
        case FieldKind::Text:
            return GbkToUtf8(state.text);
        case FieldKind::List:
            return EntryCaption(state, 0, field.valueIds()[0]);
        case FieldKind::SerialLists:
            break;
    }
    OrderedJson lists = OrderedJson::object();
    for (std::size_t i = 0; i < kSerialListCount; ++i)
        lists[std::string(kSerialListKeys[i])] = EntryCaption(state, i, field.valueIds()[i]);
    return lists;
}

}  // namespace

ParameterFileLoad ParseParameterFile(std::string_view text) {
    ParameterFileLoad result;
    auto& problems = result.problems;
    if (text.size() > kMaxParameterFileSize) {
        problems.push_back({{}, std::string(kTooLarge)});
        return result;
    }
    SyntaxCheck syntax;
    Json::sax_parse(text.begin(), text.end(), &syntax);
    if (syntax.errorPosition) {
        problems.push_back({{}, std::string(kNotJson) + WhereInText(text, *syntax.errorPosition)});
        return result;
    }
    for (const std::string& key : syntax.duplicates) problems.push_back({key, std::string(kDuplicateKey)});

    const Json root = Json::parse(text.begin(), text.end(), nullptr, false);
    if (root.is_discarded()) {
        problems.push_back({{}, std::string(kNotJson)});
        return result;
    }
    if (!root.is_object()) {
        problems.push_back({{}, std::string(kNotObject)});
        return result;
    }
    for (const auto& [key, value] : root.items())
        if (key != "format" && key != "version" && key != "fields")
            problems.push_back({key, std::string(kUnknownKey)});
    // Another format or version may mean other things by its fields: those are not looked at.
    const auto format = root.find("format");
    if (format == root.end() || !format->is_string() ||
        format->get_ref<const std::string&>() != kParameterFileFormat) {
        problems.push_back({"format", std::string(kWrongFormat)});
        return result;
    }
    const auto version = root.find("version");
    if (version == root.end() || !version->is_number_integer() || *version != kParameterFileVersion) {
        problems.push_back({"version", std::string(kWrongVersion)});
        return result;
    }
    const auto fields = root.find("fields");
    if (fields == root.end() || !fields->is_object()) {
        problems.push_back({"fields", std::string(kNoFields)});
        return result;
    }

    for (const auto& entry : fields->items()) {
        const std::string& key = entry.key();
        if (std::none_of(ParameterFields().begin(), ParameterFields().end(),
                         [&](const ParameterField& f) { return f.name() == key; }))
            problems.push_back({key, std::string(kUnknownField)});
    }

    // Each field is checked alone by the configure button's rules, so that
    // one bad field does not hide the next.
    FormValues values;
    std::vector<const ParameterField*> loaded;
    for (const ParameterField& field : ParameterFields()) {
        const auto it = fields->find(std::string(field.name()));
        if (it == fields->end()) continue;
        std::optional<FieldState> state = ReadField(field, *it, problems);
        if (!state) continue;
        values[field] = std::move(*state);
        const ConfigureResult check = BuildConfigureRequest(FormValuesSnapshot(values));
        values[field].ticked = false;
        if (!check.errorMessage.empty()) {
            problems.push_back({field.accessibleLabel, check.errorMessage});
            continue;
        }
        loaded.push_back(&field);
    }
    if (!problems.empty()) return result;
    for (const ParameterField* field : loaded) values[*field].ticked = true;
    result.values = std::move(values);
    return result;
}

ParameterFileLoad LoadParameterFile(const std::string& path) {
    const ReadOutcome read = ReadWholeFile(path, kMaxParameterFileSize);
    if (!read.content) {
        ParameterFileLoad result;
        const std::string message = read.tooLarge
                                        ? std::string(kTooLarge) + "：" + path
                                        : std::string(kUnreadable) + path + "（" + read.reason + "）";
        result.problems.push_back({{}, message});
        return result;
    }
    return ParseParameterFile(*read.content);
}

std::vector<const ParameterField*> FieldsToSave(const FormValues& values) {
    std::vector<const ParameterField*> ticked;
    std::vector<const ParameterField*> holding;
    for (const ParameterField& field : ParameterFields()) {
        if (values[field].ticked) ticked.push_back(&field);
        if (values.holdsValue(field)) holding.push_back(&field);
    }
    return ticked.empty() ? holding : ticked;
}

std::string FormatParameterFile(const FormValues& values, const std::vector<const ParameterField*>& fields) {
    OrderedJson root = OrderedJson::object();
    root["format"] = kParameterFileFormat;
    root["version"] = kParameterFileVersion;
    OrderedJson& out = root["fields"] = OrderedJson::object();
    for (const ParameterField& field : ParameterFields())
        if (std::find(fields.begin(), fields.end(), &field) != fields.end())
            out[std::string(field.name())] = FileValue(field, values[field]);
    // Texts come out of the GBK conversion as valid UTF-8; replace guards the rest.
    return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string SaveParameterFile(const std::string& path, const FormValues& values,
                              const std::vector<const ParameterField*>& fields) {
    const std::string reason = ReplaceFileAtomically(path, FormatParameterFile(values, fields));
    if (reason.empty()) return {};
    return std::string(kUnsaved) + path + "（" + reason + "）";
}

std::string ProblemsText(const std::vector<ParameterFileProblem>& problems) {
    std::string text;
    for (const ParameterFileProblem& problem : problems) {
        if (!text.empty()) text += "\n";
        text += problem.label.empty() ? problem.message : problem.label + "：" + problem.message;
    }
    return text;
}

}  // namespace quill
