// A form snapshot held in maps, for tests and fuzzers of the configure request.
#pragma once

#include <map>
#include <set>
#include <string>

#include "protocol/configure_request.h"
#include "protocol/item_table.h"

namespace quill {

class MapFormSnapshot : public FormSnapshot {
  public:
    bool ticked(int checkBoxId) const override { return ticks.count(checkBoxId) != 0; }
    std::string text(int editId) const override {
        const auto it = texts.find(editId);
        return it != texts.end() ? it->second : std::string();
    }
    int listIndex(int listId) const override {
        const auto it = lists.find(listId);
        return it != lists.end() ? it->second : -1;
    }

    // Ticks the field of `type` and sets the text of its (first) value control.
    MapFormSnapshot& Field(std::uint8_t type, std::string gbk) {
        const ItemDef* def = FindItem(type);
        if (def == nullptr || def->checkBoxId == 0) return *this;
        ticks.insert(def->checkBoxId);
        texts[def->valueIds[0]] = std::move(gbk);
        return *this;
    }
    // Ticks the field of `type` and selects entries of its lists, in control order.
    MapFormSnapshot& Lists(std::uint8_t type, std::initializer_list<int> indices) {
        const ItemDef* def = FindItem(type);
        if (def == nullptr || def->checkBoxId == 0) return *this;
        ticks.insert(def->checkBoxId);
        std::size_t i = 0;
        for (const int index : indices)
            if (i < static_cast<std::size_t>(def->valueCount)) lists[def->valueIds[i++]] = index;
        return *this;
    }

    std::set<int> ticks;
    std::map<int, std::string> texts;
    std::map<int, int> lists;
};

}  // namespace quill
