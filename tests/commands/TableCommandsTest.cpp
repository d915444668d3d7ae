#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "driver/base/ECRDrvData.h"
#include "driver/commands/CommandFactory.h"
#include "driver/commands/untTableCommands.h"
#include "driver/link/untCodecs.h"
#include "support/CommandLayouts.h"
#include "support/Frames.h"

namespace {

void BcdField(TECRDrvData& d) {
    d.TableNumber = 1, d.FieldNumber = 3;
}
void OtherField(TECRDrvData& d) {
    d.TableNumber = 2, d.FieldNumber = 3;
}

Bytes NameBlock(const Bytes& name, std::uint8_t fill, const Bytes& rest) {
    return Cat({Name40(name, fill), rest});
}

// Every layout both ways: the properties (on top of the markers) and the data block they make.
const std::vector<LayoutCase>& Layouts() {
    // clang-format off
    static const std::vector<LayoutCase> cases = {
        {"write_text_request", 0x1E, kRequest, 5,
         [](TECRDrvData& d) {
             d.TableNumber = 4, d.RowNumber = 0x0102, d.FieldNumber = 2, d.FieldType = 1, d.FieldValue = "Кассир";
         },
         {4, 0x02, 0x01, 2, 1, 0xCA, 0xE0, 0xF1, 0xF1, 0xE8, 0xF0, 0x00}},
        {"write_number_request", 0x1E, kRequest, 5,
         [](TECRDrvData& d) {
             d.TableNumber = 2, d.RowNumber = 1, d.FieldNumber = 5, d.FieldType = 0, d.FieldValue = "257";
         },
         {2, 1, 0, 5, 0, 0x01, 0x01, 0x00, 0x00}},
        {"write_bcd_request", 0x1E, kRequest, 5,
         [](TECRDrvData& d) {
             d.TableNumber = 1, d.RowNumber = 1, d.FieldNumber = 3, d.FieldType = 0, d.FieldValue = "12345";
         },
         {1, 1, 0, 3, 0, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {"write_answer", 0x1E, kAnswer, 0, &NoFields, {}},
        {"read_request", 0x1F, kRequest, 4,
         [](TECRDrvData& d) { d.TableNumber = 7, d.RowNumber = 0x0201, d.FieldNumber = 9; }, {7, 0x01, 0x02, 9}},
        {"read_text_answer", 0x1F, kAnswer, 1,
         [](TECRDrvData& d) { d.FieldType = 1, d.FieldValue = "Итог"; },
         {1, 0xC8, 0xF2, 0xEE, 0xE3, 0x00}, &OtherField},
        {"read_number_answer", 0x1F, kAnswer, 1,
         [](TECRDrvData& d) { d.FieldType = 0, d.FieldValue = "4294967295"; },
         {0, 0xFF, 0xFF, 0xFF, 0xFF}, &OtherField},
        {"read_bcd_answer", 0x1F, kAnswer, 1,
         [](TECRDrvData& d) { d.FieldType = 0, d.FieldValue = "7712345678"; },
         {0, 0x78, 0x56, 0x34, 0x12, 0x77, 0x00, 0x00}, &BcdField},
        {"init_request", 0x24, kRequest, 0, &NoFields, {}},
        {"init_answer", 0x24, kAnswer, 0, &NoFields, {}},
        {"table_struct_request", 0x2D, kRequest, 1, [](TECRDrvData& d) { d.TableNumber = 3; }, {3}},
        {"table_struct_answer", 0x2D, kAnswer, 43,
         [](TECRDrvData& d) { d.TableName = "Тип и режим", d.RowCount = 0x0130, d.FieldCount = 12; },
         NameBlock({0xD2, 0xE8, 0xEF, 0x20, 0xE8, 0x20, 0xF0, 0xE5, 0xE6, 0xE8, 0xEC}, 0x00, {0x30, 0x01, 12})},
        {"field_struct_request", 0x2E, kRequest, 2,
         [](TECRDrvData& d) { d.TableNumber = 1, d.FieldNumber = 3; }, {1, 3}},
        {"field_struct_answer", 0x2E, kAnswer, 50,
         [](TECRDrvData& d) {
             d.FieldName = "Пароль", d.FieldType = 0, d.FieldSize = 4, d.FieldMinValue = -5;
             d.FieldMaxValue = 99999999;
         },
         NameBlock({0xCF, 0xE0, 0xF0, 0xEE, 0xEB, 0xFC}, 0x00,
                   {0, 4, 0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xE0, 0xF5, 0x05})},
    };
    // clang-format on
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Table, CommandLayout, ::testing::ValuesIn(Layouts()), LayoutName<LayoutCase>);

// Value bytes to text, as a 1Fh answer or a received 1Eh request reads them.
struct ReadCase {
    const char* name;
    Bytes bytes;
    bool bcd;
    std::uint8_t type;
    const char* text;
};

class FieldValueRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(FieldValueRead, Reads) {
    const ReadCase& c = GetParam();
    EXPECT_EQ(DecodeFieldValue(c.bytes, c.bcd, c.type), c.text);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, FieldValueRead, ::testing::Values(
    ReadCase{"bcd", {0x45, 0x23, 0x01, 0, 0, 0, 0}, true, 0, "12345"},
    ReadCase{"bcd_all_zeros", Bytes(7, 0x00), true, 0, "0"},
    ReadCase{"bcd_whatever_type", {0x99, 0, 0, 0, 0, 0, 0}, true, 1, "99"},
    ReadCase{"bcd_full", {0x34, 0x12, 0x90, 0x78, 0x56, 0x34, 0x12}, true, 0, "12345678901234"},
    ReadCase{"text_to_first_zero", {'A', 'B', ' ', ' ', 0x00, 'C'}, false, 1, "AB"},
    ReadCase{"text_keeps_leading_blanks", {' ', 'A', 0x00}, false, 1, " A"},
    ReadCase{"text_without_zero", {0xCA, 0xCA, 0xCC}, false, 1, "ККМ"},
    ReadCase{"text_any_type_but_0", {'x', 0x00}, false, 7, "x"},
    ReadCase{"number_two_bytes", {0x01, 0x01}, false, 0, "257"},
    ReadCase{"number_one_byte", {0xFF}, false, 0, "255"},
    ReadCase{"number_four_bytes_unsigned", {0xFE, 0xFF, 0xFF, 0xFF}, false, 0, "4294967294"},
    ReadCase{"number_eight_bytes", Bytes(8, 0xFF), false, 0, "-1"},
    ReadCase{"number_at_most_eight_bytes", {1, 0, 0, 0, 0, 0, 0, 0, 9}, false, 0, "1"},
    ReadCase{"no_bytes", {}, false, 0, ""},
    ReadCase{"no_bcd_bytes", {}, true, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Text to value bytes, as a 1Eh request or the driver's 1Fh answer writes them; a null `bytes` marks a
// refusal.
struct WriteCase {
    const char* name;
    const char* text;
    bool bcd;
    std::uint8_t type;
    const char* hex;
};

class FieldValueWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(FieldValueWrite, WritesOrRefuses) {
    const WriteCase& c = GetParam();
    if (c.hex != nullptr) {
        EXPECT_EQ(BytesToHex(EncodeFieldValue(c.text, c.bcd, c.type)), c.hex);
        return;
    }
    try {
        (void)EncodeFieldValue(c.text, c.bcd, c.type);
        ADD_FAILURE() << "not refused";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find(std::string("'") + c.text + "'"), std::string::npos);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, FieldValueWrite, ::testing::Values(
    WriteCase{"number", "257", false, 0, "01 01 00 00 "},
    WriteCase{"number_plus", "+7", false, 0, "07 00 00 00 "},
    WriteCase{"number_negative", "-2", false, 0, "FE FF FF FF "},
    WriteCase{"number_lowest", "-2147483648", false, 0, "00 00 00 80 "},
    WriteCase{"number_highest_unsigned", "4294967295", false, 0, "FF FF FF FF "},
    WriteCase{"text", "Чек", false, 1, "D7 E5 EA 00 "},
    WriteCase{"text_longer_than_its_field_sent_whole", "0123456789", false, 1, "30 31 32 33 34 35 36 37 38 39 00 "},
    WriteCase{"empty_text", "", false, 1, "00 "},
    WriteCase{"bcd", "12345", true, 1, "45 23 01 00 00 00 00 "},
    WriteCase{"bcd_empty", "", true, 0, "00 00 00 00 00 00 00 "},
    WriteCase{"bcd_cut_to_14", "123456789012345", true, 0, "34 12 90 78 56 34 12 "},
    WriteCase{"number_letters", "abc", false, 0, nullptr},
    WriteCase{"number_empty", "", false, 0, nullptr},
    WriteCase{"number_fraction", "12.5", false, 0, nullptr},
    WriteCase{"number_blank", " 5", false, 0, nullptr},
    WriteCase{"number_two_signs", "+-1", false, 0, nullptr},
    WriteCase{"number_too_large", "4294967296", false, 0, nullptr},
    WriteCase{"number_too_small", "-2147483649", false, 0, nullptr},
    WriteCase{"number_beyond_64_bits", "99999999999999999999", false, 0, nullptr},
    WriteCase{"bcd_letters", "12a45", true, 0, nullptr},
    WriteCase{"bcd_negative", "-5", true, 0, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The field type goes out as 0 for the BCD field whatever FieldType holds.
TEST(TableCommands, BcdFieldWrittenWithTypeZero) {
    TECRDrvData d;
    d.TableNumber = 1, d.RowNumber = 1, d.FieldNumber = 3, d.FieldType = 1, d.FieldValue = "12345";
    TCommand1Eh command;
    command.LoadFromDriver(d);
    EXPECT_EQ(BytesToHex(command.EncodeRequest()), "01 01 00 03 00 45 23 01 00 00 00 00 ");
}

// A number field that holds no number fails before any byte is built, with the message the engine reports
// under -199 (it is no driver error).
TEST(TableCommands, WriteOfNoNumberFailsBeforeSending) {
    TECRDrvData d;
    d.TableNumber = 2, d.FieldNumber = 1, d.FieldType = 0, d.FieldValue = "12x";
    auto command = CreateCommand(0x1E);
    command->LoadFromDriver(d);
    EXPECT_THROW((void)command->BuildBody(), std::invalid_argument);

    auto answer = CreateCommand(0x1F);
    answer->CommandType = 1;
    d.FieldType = 1;  // a text value first
    answer->LoadFromDriver(d);
    d.FieldType = 0;
    EXPECT_THROW(answer->LoadFromDriver(d), std::invalid_argument);
    EXPECT_EQ(BytesToHex(answer->EncodeAnswer()), "01 31 32 78 00 ");  // the refused value changed nothing
}

// The table the value belongs to is the one of the record, not of the answer (which does not name it).
TEST(TableCommands, ReadAnswerValueFollowsRecordTable) {
    TCommand1Fh answer;
    answer.CommandType = 1;
    answer.SetFrame(ReceivedFrame(0x1F, true, {0, 0x45, 0x23, 0x01, 0, 0, 0, 0}), true);
    TECRDrvData d;
    d.TableNumber = 1, d.FieldNumber = 3;
    answer.SaveToDriver(d);
    EXPECT_EQ(d.FieldValue, "12345");
    d.TableNumber = 1, d.FieldNumber = 4;
    answer.SaveToDriver(d);
    EXPECT_EQ(d.FieldValue, "74565");  // 45 23 01 as a little-endian number
}

// A kept 2Dh answer repeats the table's name, rows and fields, not an empty structure.
TEST(TableCommands, KeptTableStructAnswerRepeatsStructure) {
    TECRDrvData d;
    d.TableName = "Пароли", d.RowCount = 30, d.FieldCount = 1;
    auto sent = CreateCommand(0x2D);
    sent->CommandType = 1;
    sent->LoadFromDriver(d);
    auto kept = CreateCommand(0x2D);
    kept->Assign(*sent);
    TECRDrvData out;
    kept->SaveToDriver(out);
    EXPECT_EQ(out.TableName, "Пароли");
    EXPECT_EQ(out.RowCount, 30);
    EXPECT_EQ(out.FieldCount, 1);
    EXPECT_EQ(kept->BuildBody(), sent->BuildBody());
}

TEST(TableCommands, BlankFilledNameReadsWithoutBlanks) {
    TCommand2Dh command;
    command.CommandType = 1;
    command.SetFrame(ReceivedFrame(0x2D, true, NameBlock({'A', 'B', ' ', 'C'}, ' ', {1, 0, 2})), true);
    EXPECT_EQ(command.TableName, "AB C");
    EXPECT_EQ(command.RowCount, 1);
    EXPECT_EQ(command.FieldCount, 2);
}

}  // namespace
