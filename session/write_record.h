// The record of writes, fed by the session's report of each write: what a
// front end turns a WriteReport into, and the history file it appends to.
// Written once for every front end; the caller's (user-interface) thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "form/write_history.h"
#include "session/session_host.h"

namespace quill {

// The record of one write; passwords as "******" unless showSecrets.
HistoryRecord WriteRecordOf(const WriteReport& report, std::string_view frontEnd, std::string_view port,
                            bool showSecrets = false);

// Appends to the history file. A file that cannot be written is said once
// (the returned text, UTF-8); after that the tool goes on without a word.
class WriteHistory {
  public:
    explicit WriteHistory(std::string path = DefaultHistoryPath()) : path_(std::move(path)) {}
    std::optional<std::string> append(const HistoryRecord& record);
    // The record of the report, appended; the information-area text to show
    // when the history cannot be written and has not said so before.
    std::optional<std::string> record(const WriteReport& report, std::string_view frontEnd,
                                      std::string_view port, bool showSecrets = false);

  private:
    std::string path_;
    bool told_ = false;
};

}  // namespace quill
