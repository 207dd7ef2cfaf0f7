// An item's value as the form shows it, as one UTF-8 text: list selections
// by their entry, texts decoded from GBK, several controls joined by ", ".
// For the trace and the record of writes, which show values outside the form.
#pragma once

#include <string>

#include "protocol/frame.h"

namespace quill {

// Empty when the form does not show the item. quoteTexts: texts in double
// quotes, so that an empty or blank-ended one stays visible.
std::string ItemValueText(const ItemView& item, bool quoteTexts);

}  // namespace quill
