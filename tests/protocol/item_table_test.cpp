#include "protocol/item_table.h"

#include <gtest/gtest.h>

#include <set>

namespace quill {
namespace {

TEST(ItemTable, HoldsTheFieldsOfTheFormAndTypeSix) {
    int fields = 0, shown = 0;
    std::set<int> checkBoxes;
    for (const ItemDef& d : ItemTable()) {
        if (d.checkBoxId == 0) continue;
        ++fields;
        shown += d.shown ? 1 : 0;
        EXPECT_TRUE(checkBoxes.insert(d.checkBoxId).second) << d.name;
    }
    EXPECT_EQ(fields, 113);
    EXPECT_EQ(shown, 55);  // 15 IEC fields and 40 message body fields
    ASSERT_NE(FindItem(0x06), nullptr);
    EXPECT_EQ(FindItem(0x06)->format, ValueFormat::Skipped);
}

TEST(ItemTable, NumberedFieldsSkip205And238) {
    EXPECT_EQ(FindItem(205), nullptr);
    EXPECT_EQ(FindItem(238), nullptr);
    struct Case {
        int checkBox;
        int type;
        const char* label;
    };
    for (const Case c :
         {Case{1320, 0xC7, " 2"}, Case{1330, 0xCC, "7"}, Case{1332, 0xCE, "8"}, Case{1388, 0xEA, "36"},
          Case{1390, 0xEB, "40"}, Case{1394, 0xED, "42"}, Case{1396, 0xEF, "37"}, Case{1400, 0xF1, "39"}}) {
        const ItemDef* d = FindItemByCheckBox(c.checkBox);
        ASSERT_NE(d, nullptr) << c.checkBox;
        EXPECT_EQ(d->type, c.type) << c.checkBox;
        EXPECT_EQ(d->label, c.label) << c.checkBox;
        EXPECT_EQ(d->valueIds[0], c.checkBox + 1);
    }
}

TEST(ItemTable, MessageBodyControlsFollowTheirTypes) {
    // name, address, state 1, state 0 edits of bodies 1..10
    const int edits[4][10] = {{1095, 1103, 1111, 1167, 1175, 1183, 1191, 1199, 1207, 1311},
                              {1097, 1105, 1113, 1169, 1177, 1185, 1193, 1201, 1209, 1313},
                              {1099, 1107, 1163, 1171, 1179, 1187, 1195, 1203, 1307, 1315},
                              {1101, 1109, 1165, 1173, 1181, 1189, 1197, 1205, 1309, 1317}};
    for (int k = 0; k < 10; ++k)
        for (int offset = 0; offset < 4; ++offset) {
            const ItemDef* d = FindItem(static_cast<std::uint8_t>(0x9E + 4 * k + offset));
            ASSERT_NE(d, nullptr);
            EXPECT_EQ(d->valueIds[0], edits[offset][k]) << "body " << k + 1 << " offset " << offset;
            EXPECT_EQ(d->format, offset == 1 ? ValueFormat::WordLE : ValueFormat::DeviceText);
        }
}

TEST(ItemTable, ExceptionalCheckBoxPairs) {
    EXPECT_EQ(FindItemByCheckBox(1015)->valueIds[0], 1022);
    EXPECT_EQ(FindItemByCheckBox(1023)->valueIds[0], 1044);
    EXPECT_EQ(FindItemByCheckBox(1051)->valueIds[0], 1071);
    EXPECT_EQ(FindItemByCheckBox(1074)->valueIds[0], 1079);
    const ItemDef* serial = FindItemByCheckBox(1021);
    ASSERT_EQ(serial->valueCount, 5);
    EXPECT_EQ(serial->valueIds, (std::array<int, 5>{1016, 1017, 1018, 1019, 1020}));
    EXPECT_EQ(FindItemByValueControl(1018), serial);
}

}  // namespace
}  // namespace quill
