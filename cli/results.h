// What a command, or one unit of a provisioning, ended with, and the one
// table that says for each: the exit code, the word of a unit's record in the
// log, the unit's line on stdout, the message on stderr and the line of the
// --help epilogue. Every command exits through it, and the provisioner records
// its units by it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "cli/console_host.h"

namespace quill::cli {

enum class StepResult : std::uint8_t {
    // A step's, and so a unit's or a command's:
    Done,         // the awaited outcome (connected, read, written, verified)
    Failed,       // a read answer could not be taken
    Refused,      // the DTU refused a frame of the write
    Differs,      // the read-back (check: the unit) differs from the file
    NotReadBack,  // the read-back after the write could not be taken: nothing was compared
    NotSent,      // the session refused the request itself (a box was shown)
    NoDtu,        // no announcement, or no answer, in time
    OpenFailed,   // the port could not be opened
    Lost,         // the port went away
    Interrupted,  // Ctrl-C
    // A command's own, before or after its steps:
    UnitsFailed,        // provision: a unit did not pass
    BadArguments,       // the argument parser has said why
    BadFile,            // the parameter file's problems
    FileNotSendable,    // check: the file makes no request
    NoSaveFolder,       // read --save into a folder that is not there
    TraceNotWritable,   // --trace
    LogNotWritable,     // provision --log
    NotSaved,           // read --save failed after printing
    HistoryUnreadable,  // history
    NoPortToTry,        // --port auto found no candidate
};

struct ResultRow {
    StepResult result;
    int code;
    std::string_view logWord;  // a unit's "result" in the log; empty: never a unit's
    std::string_view shown;    // a unit's line on stdout; "{}" takes the detail
    std::string_view message;  // stderr, as the command ends; "{}" takes the detail; empty: said already
    std::string_view meaning;  // the --help epilogue's words
};

// Every row, by exit code.
std::span<const ResultRow> ResultRows();
const ResultRow& RowOf(StepResult result);

// A row's text with the detail in place of its "{}".
std::string Filled(std::string_view text, std::string_view detail);

// Says the row's message (if it has one) and gives the exit code.
int Exit(Console& console, StepResult result, std::string_view detail = {});

// The --help epilogue's exit codes, one row a line.
std::string ExitCodesHelp();

}  // namespace quill::cli
