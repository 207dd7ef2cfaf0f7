// Verification after a write: which of the written items a later read answer
// does not show as written. Both sides go through the read-back mapping, so
// a value counts as stored when the form would show it the same way. Pure.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "protocol/configure_request.h"
#include "protocol/read_answer.h"

namespace quill {

// Item types of the frames' items, in the frames' order, whose controls a
// read answer fills differently from what was written (or not at all).
std::vector<std::uint8_t> DifferingTypes(std::span<const ConfigureFrame> written,
                                         std::span<const std::uint8_t> readAnswer);
// The same against what a read answer filled (ApplyReadAnswer's items).
std::vector<std::uint8_t> DifferingTypes(std::span<const ConfigureFrame> written,
                                         std::span<const ItemUpdate> readFills);

}  // namespace quill
