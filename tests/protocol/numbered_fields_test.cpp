// The hidden numbered fields, keyed by their controls: which item a ticked
// check box writes and which edit a read answer's item fills. Control ids,
// type codes and item bytes are typed from the frame format, not taken from
// the item table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/configure_request.h"
#include "protocol/read_answer.h"
#include "tests/protocol/form_snapshot_fake.h"

namespace quill {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct NumberedCase {
    const char* name;
    int checkBoxId;
    int editId;
    std::string text;  // GBK
    Bytes item;        // as written; a read answer carrying it fills the edit with `text`
};

const NumberedCase kCases[] = {
    {"Caption3", 1322, 1323, "13912345678",
     {0xC8, 0x0D, '1', '3', '9', '1', '2', '3', '4', '5', '6', '7', '8'}},
    {"Caption7", 1330, 1331, "0", {0xCC, 0x03, '0'}},
    {"Caption8AfterTheGap", 1332, 1333, "+8613800100500",
     {0xCE, 0x10, '+', '8', '6', '1', '3', '8', '0', '0', '1', '0', '0', '5', '0', '0'}},
    {"Caption22", 1360, 1361, "95598", {0xDC, 0x07, '9', '5', '5', '9', '8'}},
    {"Caption36", 1388, 1389, "10086", {0xEA, 0x07, '1', '0', '0', '8', '6'}},
    {"Caption40", 1390, 1391, "A1", {0xEB, 0x04, 'A', '1'}},
    {"Caption42Empty", 1394, 1395, "", {0xED, 0x03, 0x00}},
    {"Caption37AfterTheGap", 1396, 1397, "13700000001",
     {0xEF, 0x0D, '1', '3', '7', '0', '0', '0', '0', '0', '0', '0', '1'}},
    {"Caption38Chinese", 1398, 1399, "\xD5\xBE", {0xF0, 0x04, 0xD5, 0xBE}},
};

void PrintTo(const NumberedCase& c, std::ostream* os) {
    *os << c.name;
}

class NumberedFieldTest : public ::testing::TestWithParam<NumberedCase> {};

TEST_P(NumberedFieldTest, TheTickedCheckBoxWritesItsItem) {
    const NumberedCase& c = GetParam();
    MapFormSnapshot form;
    form.ticks = {c.checkBoxId};
    form.texts[c.editId] = c.text;
    const ConfigureResult r = BuildConfigureRequest(form);
    ASSERT_EQ(r.errorMessage, "");
    ASSERT_EQ(r.frames.size(), 1u);
    Bytes frame{0x7B, 0x0C, 0x00, static_cast<std::uint8_t>(16 + c.item.size()), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    frame.insert(frame.end(), c.item.begin(), c.item.end());
    frame.push_back(0x7B);
    EXPECT_EQ(r.frames[0].bytes, frame);
}

TEST_P(NumberedFieldTest, TheReadItemFillsItsEdit) {
    const NumberedCase& c = GetParam();
    Bytes frame{0x7B, 0x8B, 0x00, static_cast<std::uint8_t>(16 + c.item.size()), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    frame.insert(frame.end(), c.item.begin(), c.item.end());
    frame.push_back(0x7B);
    const std::vector<ItemUpdate> read = ApplyReadAnswer(frame);
    ASSERT_EQ(read.size(), 1u);
    ASSERT_EQ(read[0].updates.size(), 1u);
    EXPECT_EQ(read[0].type, c.item[0]);
    EXPECT_EQ(read[0].updates[0].controlId, c.editId);
    EXPECT_FALSE(read[0].updates[0].selectIndex);
    EXPECT_EQ(read[0].updates[0].text, c.text);
}

INSTANTIATE_TEST_SUITE_P(Fields, NumberedFieldTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quill
