#include "form/binding_table.h"

#include <gtest/gtest.h>

#include <set>

#include "form/parameter_fields.h"

namespace quill {
namespace {

TEST(BindingTable, VisitsTheControlsInExchangeOrder) {
    const int head[] = {1000, 1025, 1010, 1008, 1002, 1006, 1004, 1042, 1040, 1048, 1046, 1036, 1035,
                        1063, 1065, 1070, 1076, 1078, 1022, 1044, 1050, 1071, 1073, 1079, 1081};
    const auto table = BindingTable();
    ASSERT_EQ(table.size(), 113u);
    for (std::size_t i = 0; i < std::size(head); ++i) EXPECT_EQ(table[i].controlId, head[i]) << "row " << i;
    // The odd edits from 1079 on rise, jumping the gaps 1113 -> 1163 and 1209 -> 1307.
    for (std::size_t i = 24; i < table.size(); ++i) {
        const int step = table[i].controlId - table[i - 1].controlId;
        EXPECT_TRUE(step == 2 || (table[i - 1].controlId == 1113 && table[i].controlId == 1163) ||
                    (table[i - 1].controlId == 1209 && table[i].controlId == 1307))
            << table[i - 1].controlId << " -> " << table[i].controlId;
    }
    EXPECT_EQ(table.back().controlId, 1401);
    EXPECT_EQ(BindingIndex(1035), 12u);
    EXPECT_EQ(BindingIndex(1319), BindingIndex(1317).value() + 1);
    EXPECT_FALSE(BindingIndex(1012).has_value());
}

TEST(BindingTable, BindsEveryTextFieldOnceAndOneUnsignedNumber) {
    std::set<int> bound;
    int unsignedRows = 0;
    for (const Binding& b : BindingTable()) {
        EXPECT_TRUE(bound.insert(b.controlId).second) << b.controlId;
        unsignedRows += b.kind == BindingKind::Unsigned ? 1 : 0;
        if (b.controlId == kInfoAreaId || b.controlId == kSendEditId || b.controlId == kIntervalEditId)
            continue;
        const ParameterField* f = FindFieldByValueControl(b.controlId);
        ASSERT_NE(f, nullptr) << b.controlId;
        EXPECT_EQ(f->kind, FieldKind::Text) << b.controlId;
    }
    EXPECT_EQ(unsignedRows, 1);
    EXPECT_EQ(BindingTable()[12].kind, BindingKind::Unsigned);
    for (const ParameterField& f : ParameterFields())
        if (f.kind == FieldKind::Text) {
            EXPECT_TRUE(bound.count(f.valueIds().front())) << f.name();
        }
}

struct UnsignedCase {
    std::string_view text;
    std::optional<std::uint32_t> value;
};

class ParseUnsigned : public ::testing::TestWithParam<UnsignedCase> {};

TEST_P(ParseUnsigned, AcceptsDecimalDigitsWithBlanksAroundThem) {
    EXPECT_EQ(ParseUnsignedText(GetParam().text), GetParam().value) << "'" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseUnsigned,
    ::testing::Values(UnsignedCase{"1000", 1000u}, UnsignedCase{"0", 0u}, UnsignedCase{"00012", 12u},
                      UnsignedCase{" 250 ", 250u}, UnsignedCase{"\t7\t", 7u},
                      UnsignedCase{"4294967295", 4294967295u}, UnsignedCase{"4294967296", std::nullopt},
                      UnsignedCase{"99999999999999999999999", std::nullopt}, UnsignedCase{"", std::nullopt},
                      UnsignedCase{"   ", std::nullopt}, UnsignedCase{"-1", std::nullopt},
                      UnsignedCase{"+5", std::nullopt}, UnsignedCase{"12a", std::nullopt},
                      UnsignedCase{"1 2", std::nullopt}, UnsignedCase{"0x10", std::nullopt},
                      UnsignedCase{"\xA3\xB1", std::nullopt}));  // a full-width digit in GBK

}  // namespace
}  // namespace quill
