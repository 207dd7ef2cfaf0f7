// Whole-file reading with a size bound and atomic replacement of a file, for
// the parameter files. One implementation per platform (file_access_posix.cpp);
// platform errors become short Chinese reasons in that file only. Any thread.
#pragma once

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace quill {

struct ReadOutcome {
    std::optional<std::string> content;  // nullopt on failure
    std::string reason;                  // UTF-8, why it failed; empty on success
    bool tooLarge = false;               // the file holds more than the bound
};

// The whole content of a regular file of at most maxBytes bytes.
ReadOutcome ReadWholeFile(const std::string& path, std::size_t maxBytes);

// Writes content to a temporary file in the target's folder, flushes it to
// the disk and renames it over the target: the target is either the old file
// or the new one, never a part of either. On failure the temporary file is
// removed. A replaced file keeps its permissions; a new one is its owner's only.
// Returns the reason of a failure (UTF-8), empty on success.
std::string ReplaceFileAtomically(const std::string& path, std::string_view content);

// Appends content to the file in one write, creating the file (its owner's
// only) and its missing folders. Returns the reason of a failure, empty on success.
std::string AppendToFile(const std::string& path, std::string_view content);

// Creates the file, its owner's only, when it does not exist yet (an existing
// file keeps its permissions): for files that will hold a unit's values.
// Returns the reason of a failure, empty on success.
std::string CreateOwnerOnlyFile(const std::string& path);

// A file in the user's data folder for this tool; empty when the platform
// names no such folder.
std::string UserDataFile(std::string_view name);

// The calendar time of t in the local zone.
std::tm LocalTime(std::time_t t);

}  // namespace quill
