// Arbitrary form snapshots into the configure encoder: any bytes (GBK or not)
// in every value control, any list index, any set of ticks.
//
// Input: records, each
//   row    item table row (modulo the row count)
//   flags  bit 0 ticks the field (clear: unticks it), bit 1 adds 256 to the
//          value length, bit 2 reads list indices as 4-byte big-endian
//          numbers instead of one signed byte each
//   length value length (cut to what the input has left)
//   value  the text of the value control, or the indices of the field's lists
// A later record for the same field replaces the earlier one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_reference.h"
#include "protocol/configure_request.h"
#include "protocol/frame.h"
#include "protocol/item_table.h"
#include "protocol/wire.h"
#include "protocol/value_codec.h"
#include "tests/protocol/form_snapshot_fake.h"

namespace {

using quill::ItemDef;
using quill::WriteRule;
using Bytes = std::span<const std::uint8_t>;

bool UsesLists(const ItemDef& def) {
    return def.writeRule == WriteRule::SerialLists || def.writeRule == WriteRule::ListChoice;
}

bool Writable(const ItemDef& def) {
    return def.writeRule != WriteRule::None && def.checkBoxId != 0;
}

quill::MapFormSnapshot SnapshotFrom(Bytes in) {
    quill::MapFormSnapshot form;
    const auto rows = quill::ItemTable();
    std::size_t p = 0;
    while (in.size() - p >= 3) {
        const ItemDef& def = rows[in[p] % rows.size()];
        const std::uint8_t flags = in[p + 1];
        std::size_t length = in[p + 2] + ((flags & 2) != 0 ? 256u : 0u);
        p += 3;
        length = std::min(length, in.size() - p);
        const Bytes value = in.subspan(p, length);
        p += length;
        if (!Writable(def)) continue;
        if ((flags & 1) != 0)
            form.ticks.insert(def.checkBoxId);
        else
            form.ticks.erase(def.checkBoxId);
        if (!UsesLists(def)) {
            form.texts[def.valueIds[0]] = std::string(value.begin(), value.end());
            continue;
        }
        const std::size_t width = (flags & 4) != 0 ? 4 : 1;
        for (std::size_t i = 0;
             i < static_cast<std::size_t>(def.valueCount) && (i + 1) * width <= value.size(); ++i) {
            const Bytes v = value.subspan(i * width, width);
            const int index = width == 1 ? static_cast<int>(static_cast<std::int8_t>(v[0]))
                                         : static_cast<int>(static_cast<std::uint32_t>(v[0]) << 24 |
                                                            v[1] << 16 | v[2] << 8 | v[3]);
            form.lists[def.valueIds[i]] = index;
        }
    }
    return form;
}

std::set<std::string> KnownMessages() {
    std::set<std::string> known{std::string(quill::kAddressFormatMessage),
                                std::string(quill::kAddressRangeMessage),
                                "站点最大为8个字节",
                                "消息体名称最长为8个字节",
                                "消息体状态为1个汉字",
                                "请选择-波特率！",
                                "请选择-数据位！",
                                "请选择-停止位！",
                                "请选择-校验位！"};
    for (const ItemDef& def : quill::ItemTable()) {
        if (!def.emptyMessage.empty()) known.insert(std::string(def.emptyMessage));
        if (Writable(def)) known.insert(quill::ValueTooLongMessage(def.label));
    }
    return known;
}

bool Contains(Bytes codes, std::uint8_t b) {
    return std::find(codes.begin(), codes.end(), b) != codes.end();
}

// One encoded item against the field it came from.
void CheckItem(const ItemDef& def, const quill::MapFormSnapshot& form, Bytes v) {
    const std::string text = form.text(def.valueIds[0]);
    const Bytes textBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    const auto same = [&](Bytes a, Bytes b) { return std::equal(a.begin(), a.end(), b.begin(), b.end()); };
    const std::int32_t number = ReferenceDecimal(text);
    const auto lo = static_cast<std::uint8_t>(number & 0xFF);
    const auto hi = static_cast<std::uint8_t>((number / 256) & 0xFF);
    switch (def.writeRule) {
        case WriteRule::RequiredText:
            FUZZ_CHECK(!text.empty() && same(v, textBytes));
            break;
        case WriteRule::OptionalText:
            FUZZ_CHECK(same(v, textBytes));
            break;
        case WriteRule::TextEmptyAsZero:
            FUZZ_CHECK(text.empty() ? v.size() == 1 && v[0] == 0 : same(v, textBytes));
            break;
        case WriteRule::Password:
            FUZZ_CHECK(text.size() == 6 && same(v, textBytes));
            break;
        case WriteRule::Number:
            FUZZ_CHECK(!text.empty());
            if (def.format == quill::ValueFormat::WordBE)
                FUZZ_CHECK(v.size() == 2 && v[0] == hi && v[1] == lo);
            else if (def.format == quill::ValueFormat::WordLE)
                FUZZ_CHECK(v.size() == 2 && v[0] == lo && v[1] == hi);
            else
                FUZZ_CHECK(v.size() == 1 && v[0] == lo);
            break;
        case WriteRule::DebugState:
            FUZZ_CHECK(!text.empty() && v.size() == 1 &&
                       v[0] == static_cast<std::uint8_t>((number % 16) & 0xFF));
            break;
        case WriteRule::Address:
            FUZZ_CHECK(!text.empty() && v.size() == 4);
            break;
        case WriteRule::SerialLists: {
            static constexpr std::uint8_t kData[]{0x00, 0x01, 0x02, 0x03};
            static constexpr std::uint8_t kStop[]{0x00, 0x04};
            static constexpr std::uint8_t kParity[]{0x00, 0x08, 0x18};
            static constexpr std::uint8_t kFlow[]{0x01, 0x02, 0x03, 0x04, 0x05};
            FUZZ_CHECK(v.size() == 7);
            const std::uint32_t rate = static_cast<std::uint32_t>(v[0]) << 16 | v[1] << 8 | v[2];
            FUZZ_CHECK(std::find(quill::BaudTable.begin(), quill::BaudTable.end(), rate) !=
                       quill::BaudTable.end());
            FUZZ_CHECK(Contains(kData, v[3]) && Contains(kStop, v[4]) && Contains(kParity, v[5]) &&
                       Contains(kFlow, v[6]));
            break;
        }
        case WriteRule::ListChoice: {
            const int index = form.listIndex(def.valueIds[0]);
            FUZZ_CHECK((index == 0 || index == 1) && v.size() == 1 && v[0] == index);
            break;
        }
        case WriteRule::DataChannel:
        case WriteRule::FilterMode: {
            const int highest = def.writeRule == WriteRule::DataChannel ? 1 : 3;
            FUZZ_CHECK(!text.empty() && v.size() == 1 && v[0] <= highest && v[0] == number % 256);
            break;
        }
        case WriteRule::StationName:
        case WriteRule::BodyName:
        case WriteRule::BodyState: {
            std::size_t n = 0;
            for (const unsigned char c : text) n += c >= 0x80 ? 1 : 2;
            FUZZ_CHECK(!text.empty() && v.size() == n);
            FUZZ_CHECK(def.writeRule == WriteRule::BodyState ? n == 2 : n <= 16);
            break;
        }
        case WriteRule::HexText:
            FUZZ_CHECK(!text.empty() && v.size() <= text.size() / 2);
            break;
        case WriteRule::None:
            FUZZ_CHECK(false);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::set<std::string> known = KnownMessages();
    const quill::MapFormSnapshot form = SnapshotFrom(Bytes(data, size));
    const quill::ConfigureResult result = quill::BuildConfigureRequest(form);

    std::vector<std::uint8_t> tickedTypes;
    for (const ItemDef& def : quill::ItemTable())
        if (Writable(def) && form.ticked(def.checkBoxId)) tickedTypes.push_back(def.type);

    if (!result.errorMessage.empty()) {
        FUZZ_CHECK(result.frames.empty());
        FUZZ_CHECK(!tickedTypes.empty());  // nothing ticked always gives the empty frame
        FUZZ_CHECK(known.count(result.errorMessage) == 1);
        return 0;
    }
    FUZZ_CHECK(!result.frames.empty());
    std::vector<std::uint8_t> itemTypes;
    std::size_t previousSize = 0;
    for (const quill::ConfigureFrame& frame : result.frames) {
        const std::vector<std::uint8_t>& f = frame.bytes;
        FUZZ_CHECK(f.size() >= quill::kMinFrameLength && f.size() <= quill::kMaxConfigureFrame);
        FUZZ_CHECK(f.front() == quill::kFrameDelimiter && f[1] == quill::Command::ConfigureRequest &&
                   f.back() == quill::kFrameDelimiter);
        FUZZ_CHECK(quill::FrameLengthField(f) == f.size());
        FUZZ_CHECK(std::all_of(f.begin() + 4, f.begin() + 15, [](std::uint8_t b) { return b == 0; }));

        std::vector<std::uint8_t> frameTypes;
        std::size_t itemBytes = 0;
        std::size_t firstItem = 0;
        const bool wellFormed = quill::ForEachItem(f, [&](const quill::ItemView& item) {
            const ItemDef* def = quill::FindItem(item.type);
            FUZZ_CHECK(def != nullptr && Writable(*def));
            if (!itemTypes.empty()) FUZZ_CHECK(item.type > itemTypes.back());
            if (frameTypes.empty()) firstItem = item.value.size() + 2;
            itemTypes.push_back(item.type);
            frameTypes.push_back(item.type);
            itemBytes += item.value.size() + 2;
            CheckItem(*def, form, item.value);
        });
        FUZZ_CHECK(wellFormed);
        FUZZ_CHECK(frameTypes == frame.types);
        FUZZ_CHECK(quill::kMinFrameLength + itemBytes == f.size());
        // Only a full frame is followed by another: its successor's first item did not fit.
        if (previousSize != 0)
            FUZZ_CHECK(!frameTypes.empty() && previousSize + firstItem > quill::kMaxConfigureFrame);
        previousSize = f.size();
    }
    FUZZ_CHECK(itemTypes == tickedTypes);  // one item per ticked field, in type order
    return 0;
}
