// The history of writes as the windows' history dialog lists it: one row per
// record, newest first, each cell the text of one column of kHistoryColumns
// (form/window_texts.h), and a note for the line below the table. Decided
// here once so that both windows list the same rows in the same words. Pure
// functions; any thread.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "form/window_texts.h"
#include "form/write_history.h"

namespace quill {

using HistoryRow = std::array<std::string, kHistoryColumnCount>;

struct HistoryTable {
    std::vector<HistoryRow> rows;  // newest first
    std::string note;              // empty, or what the operator should know about the list
};

// One record's cells: the time without its "T", the front end, port and DTU
// as recorded, the write's and the read-back's outcome in words, and the
// fields written (their count, then the first labels).
HistoryRow HistoryRowOf(const HistoryRecord& record);

// Every record of the file, the last written first. The note says that there
// is nothing to list, that the file could not be read, or how many lines
// were no record.
HistoryTable HistoryTableOf(const HistoryRead& read);

}  // namespace quill
