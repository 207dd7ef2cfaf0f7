#include "form/item_text.h"

#include "form/window_layout.h"
#include "protocol/item_table.h"
#include "protocol/read_answer.h"
#include "protocol/text_codec.h"

namespace quill {
namespace {

// The entry a list shows for an index; an index beyond the list selects none.
std::string ListEntry(int listId, int index) {
    const ControlDef* list = FindControl(listId);
    if (list == nullptr || index < 0 || static_cast<std::size_t>(index) >= list->items.size())
        return "(no entry " + std::to_string(index) + ")";
    return std::string(list->items[static_cast<std::size_t>(index)]);
}

}  // namespace

std::string ItemValueText(const ItemView& item, bool quoteTexts) {
    const std::optional<ItemUpdate> read = ReadItem(item);
    const ItemDef* def = FindItem(item.type);
    if (!read || def == nullptr) return {};
    const bool quoted =
        quoteTexts && (def->readKind == ReadKind::Text || def->readKind == ReadKind::LongText ||
                       def->readKind == ReadKind::Ucs2Text);
    std::string shown;
    for (const ControlUpdate& update : read->updates) {
        if (!shown.empty()) shown += ", ";
        if (update.selectIndex)
            shown += ListEntry(update.controlId, update.index);
        else if (quoted)
            shown += '"' + GbkToUtf8(update.text) + '"';
        else
            shown += GbkToUtf8(update.text);
    }
    // The heartbeat's hex text ends with a blank after its last pair.
    while (def->readKind == ReadKind::Hex && !shown.empty() && shown.back() == ' ') shown.pop_back();
    return shown;
}

}  // namespace quill
