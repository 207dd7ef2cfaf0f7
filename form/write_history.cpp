#include "form/write_history.h"

#include <chrono>
#include <ctime>
#include <nlohmann/json.hpp>

#include "form/file_access.h"

namespace quill {
namespace {

using Json = nlohmann::ordered_json;

// A history file is read whole; far beyond years of writes at a bench.
constexpr std::size_t kMaxHistoryBytes = 256u * 1024 * 1024;

Json Labels(const std::vector<std::string>& labels) {
    Json list = Json::array();
    for (const std::string& label : labels) list.push_back(label);
    return list;
}

bool Strings(const Json& value, std::vector<std::string>& out) {
    if (!value.is_array()) return false;
    for (const Json& item : value) {
        if (!item.is_string()) return false;
        out.push_back(item.get<std::string>());
    }
    return true;
}

}  // namespace

std::string HistoryLine(const HistoryRecord& record) {
    Json fields = Json::array();
    for (const HistoryField& field : record.fields)
        fields.push_back({{"field", field.label}, {"value", field.value}});
    const Json line{{"time", record.time},
                    {"frontEnd", record.frontEnd},
                    {"port", record.port},
                    {"dtuId", record.dtuId},
                    {"verdict", record.verdict},
                    {"verification", record.verification},
                    {"fields", fields},
                    {"differing", Labels(record.differing)},
                    {"unwritten", Labels(record.unwritten)}};
    // Replacement characters rather than an exception for bytes no text holds.
    return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<HistoryRecord> ParseHistoryLine(std::string_view line) {
    const Json json = Json::parse(line.begin(), line.end(), nullptr, false);
    if (!json.is_object()) return std::nullopt;
    HistoryRecord record;
    for (auto [key, target] :
         {std::pair{"time", &record.time}, std::pair{"frontEnd", &record.frontEnd},
          std::pair{"port", &record.port}, std::pair{"dtuId", &record.dtuId},
          std::pair{"verdict", &record.verdict}, std::pair{"verification", &record.verification}}) {
        const auto it = json.find(key);
        if (it == json.end() || !it->is_string()) return std::nullopt;
        *target = it->get<std::string>();
    }
    const auto fields = json.find("fields");
    if (fields == json.end() || !fields->is_array()) return std::nullopt;
    for (const Json& field : *fields) {
        const auto label = field.find("field");
        const auto value = field.find("value");
        if (label == field.end() || value == field.end() || !label->is_string() || !value->is_string())
            return std::nullopt;
        record.fields.push_back({label->get<std::string>(), value->get<std::string>()});
    }
    for (auto [key, target] :
         {std::pair{"differing", &record.differing}, std::pair{"unwritten", &record.unwritten}}) {
        const auto it = json.find(key);
        if (it == json.end() || !Strings(*it, *target)) return std::nullopt;
    }
    return record;
}

std::string DefaultHistoryPath() {
    return UserDataFile("history.jsonl");
}

std::string AppendHistoryLine(const std::string& path, std::string_view line) {
    std::string whole(line);
    whole += '\n';
    return AppendToFile(path, whole);
}

HistoryRead ReadHistory(const std::string& path) {
    HistoryRead read;
    const ReadOutcome file = ReadWholeFile(path, kMaxHistoryBytes);
    if (!file.content) {
        // No history yet is an empty one.
        if (file.reason != "文件或文件夹不存在") read.error = file.tooLarge ? "文件过大" : file.reason;
        return read;
    }
    const std::string& text = *file.content;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) {  // a record cut off at its end
            ++read.skipped;
            break;
        }
        const std::string_view line(text.data() + begin, end - begin);
        if (!line.empty()) {
            if (std::optional<HistoryRecord> record = ParseHistoryLine(line))
                read.records.push_back(std::move(*record));
            else
                ++read.skipped;
        }
        begin = end + 1;
    }
    return read;
}

// Times are written in one format, so a date compares as text with their start.
std::vector<HistoryRecord> FilterHistory(const std::vector<HistoryRecord>& records, std::string_view dtuId,
                                         std::string_view since) {
    std::vector<HistoryRecord> kept;
    for (const HistoryRecord& record : records) {
        if (!dtuId.empty() && record.dtuId != dtuId) continue;
        if (!since.empty() && std::string_view(record.time).substr(0, since.size()) < since) continue;
        kept.push_back(record);
    }
    return kept;
}

std::string LocalTimeWithZone() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    const std::tm local = LocalTime(now);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    // +0800 -> +08:00
    const std::string_view time(text, n);
    if (n < 5 || (time[n - 5] != '+' && time[n - 5] != '-')) return std::string(time);
    return std::string(time.substr(0, n - 2)) + ":" + std::string(time.substr(n - 2));
}

}  // namespace quill
