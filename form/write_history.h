// The history of writes: one JSON line per write, from every front end,
// appended to a file in the user's data folder, so that "what was written to
// this unit, when, and did it verify?" has an answer without a provision log.
//
// - A record is appended with one write of the whole line, so a process
//   killed mid-record leaves every earlier line intact; a line that is not
//   whole (or not a record) is skipped when the file is read.
// - The file is its owner's alone (it holds the unit's values); passwords are
//   kept out of it unless the caller asks for them.
// - Pure functions and the file's two calls; the caller's thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quill {

struct HistoryField {
    std::string label;
    std::string value;
    friend bool operator==(const HistoryField&, const HistoryField&) = default;
};

struct HistoryRecord {
    std::string time;      // local time with its zone: 2026-12-09T11:55:12+08:00
    std::string frontEnd;  // "window", "write", "provision"
    std::string port;
    std::string dtuId;  // empty when the session had not read it
    std::vector<HistoryField> fields;
    std::string verdict;                 // "written", "refused", "no-answer", "cut-off"
    std::string verification;            // "none", "passed", "differs", "read-back failed", "no-answer"
    std::vector<std::string> differing;  // labels
    std::vector<std::string> unwritten;  // labels
    friend bool operator==(const HistoryRecord&, const HistoryRecord&) = default;
};

std::string HistoryLine(const HistoryRecord& record);  // one JSON object, no line end
std::optional<HistoryRecord> ParseHistoryLine(std::string_view line);

// $XDG_DATA_HOME/quillmere/history.jsonl (default ~/.local/share); on Windows
// %APPDATA%\Quillmere\history.jsonl. Empty when neither can be found.
std::string DefaultHistoryPath();

// Appends the line and its end, creating the folders and the file (owner
// only) as needed. Returns why it failed (UTF-8), empty on success.
std::string AppendHistoryLine(const std::string& path, std::string_view line);

struct HistoryRead {
    std::vector<HistoryRecord> records;  // in file order: oldest first
    std::size_t skipped = 0;             // lines that are no whole record
    std::string error;                   // the file could not be read (a missing file is no error)
};
HistoryRead ReadHistory(const std::string& path);

// The records of one DTU and/or since a date (YYYY-MM-DD, or a full time; an
// empty filter passes everything).
std::vector<HistoryRecord> FilterHistory(const std::vector<HistoryRecord>& records, std::string_view dtuId,
                                         std::string_view since);

// Now, as HistoryRecord::time writes it.
std::string LocalTimeWithZone();

}  // namespace quill
