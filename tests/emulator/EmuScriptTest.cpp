// Scripts of the registers' requests: reading, field forms, errors by line, answer listings.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/platform/AtomicFile.h"
#include "driver/commands/CommandFactory.h"
#include "driver/commands/untPaymentCommands.h"
#include "driver/commands/untSaleCommands.h"
#include "support/TempDir.h"
#include "tools/emulator/EmuScript.h"

namespace {

// One field form per row: the script line, the request block it must encode to.
struct FormCase {
    const char* script;
    Bytes payload;
};

class ScriptForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(ScriptForms, EncodeTheRequestBytes) {
    const EmuScript script = EmuScript::Parse(GetParam().script);
    ASSERT_EQ(script.Steps().size(), 1u);
    EXPECT_EQ(script.Steps()[0].Payload(), GetParam().payload);
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, ScriptForms,
    ::testing::Values(
        // bytes, a quantity of thousandths, money of hundredths
        FormCase{"80 RegType=1 RegSign=2 Quantity=1.000 Price=100 Section=3 OperatorNumber=255",
                 {0x80, 1, 2, 0xE8, 3, 0, 0, 0, 0x10, 0x27, 0, 0, 0, 3, 255}},
        FormCase{"80h Quantity=0.5 Price=0.01", {0x80, 0, 0, 0xF4, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}},
        // a code as five bytes
        FormCase{"81 Code=12345", {0x81, 0, 0, 0, 0, 0, 0, 0, 0x39, 0x30, 0, 0, 0, 0}},
        FormCase{"84 Code=1099511627775 RecSumm=1.5",
                 {0x84, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 150, 0, 0, 0, 0, 0}},
        // a text, with escapes and in Windows-1251 on the wire
        FormCase{R"(85 Barcode="a \"b\" \\ #;")",
                 {0x85, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'a', ' ', '"', 'b', '"', ' ', '\\', ' ', '#', ';'}},
        FormCase{"82 Barcode=\"Чек\"", {0x82, 0, 0, 0, 0, 0, 0, 0, 0, 0xD7, 0xE5, 0xEA}},
        // words, little-endian
        FormCase{"91 DocumentNumber=65535 ReceiptNumber=258",
                 {0x91, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 2, 1}},
        // the six-byte sum of the cash operations
        FormCase{"52 Summ=10000 OperationNumber=1",
                 {0x52, 0x40, 0x42, 0x0F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}},
        FormCase{"87 PayType=2 Summ=12.3456", {0x87, 2, 0, 0, 0xD3, 4, 0, 0, 0, 0}}));

// A faulty line among good ones: the error names it.
struct ErrorCase {
    const char* line;
    const char* fragment;  // part of the message
};

class ScriptErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ScriptErrors, NameTheLine) {
    const std::string text = std::string("# heading\n80 Price=1\n\n") + GetParam().line + "\n83 Summ=1\n";
    try {
        EmuScript::Parse(text);
        FAIL() << "accepted: " << GetParam().line;
    } catch (const EmuScriptError& e) {
        EXPECT_EQ(e.Line(), 4);
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("line 4: ", 0), 0u) << message;
        EXPECT_NE(message.find(GetParam().fragment), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryMistake, ScriptErrors,
    ::testing::Values(
        ErrorCase{"11 RegType=1", "opcode 11h"}, ErrorCase{"8G", "expected an opcode"},
        ErrorCase{"180", "expected an opcode"}, ErrorCase{"80 Colour=1", "unknown field Colour"},
        ErrorCase{"80 Text=\"x\"", "unknown field Text"},  // an answer field
        ErrorCase{"80 RegType", "expected Name=Value"}, ErrorCase{"80 =1", "expected Name=Value"},
        ErrorCase{"80 RegType=1 RegType=2", "given twice"}, ErrorCase{"80 RegType=256", "RegType"},
        ErrorCase{"80 RegType=-1", "RegType"}, ErrorCase{"80 RegType=", "RegType"},
        ErrorCase{"80 Section=0x1", "Section"}, ErrorCase{"91 ReceiptNumber=65536", "ReceiptNumber"},
        ErrorCase{"80 Price=1.23456", "Price"}, ErrorCase{"80 Price=-1", "Price"},
        ErrorCase{"80 Price=1.", "Price"}, ErrorCase{"80 Price=99999999999999999999", "Price"},
        // whole and fraction each within 64 bits, together beyond them
        ErrorCase{"80 Price=922337203685477.9999", "Price"},
        ErrorCase{"80 Quantity=9223372036854775.808", "Quantity"},
        ErrorCase{"80 Quantity=1.0001", "Quantity"}, ErrorCase{"80 Quantity=1e3", "Quantity"},
        ErrorCase{"81 Code=1099511627776", "Code"}, ErrorCase{"81 Code=\"12\"", "Code"},
        ErrorCase{"82 Barcode=123", "double quotes"}, ErrorCase{"82 Barcode=\"12", "closing quote"},
        ErrorCase{"82 Barcode=\"a\\n\"", "escape"}, ErrorCase{"82 Barcode=\"中\"", "code page"},
        // a five-byte sum has its limit below what the script's money form can say
        ErrorCase{"83 Summ=10995116277.76", "cannot be encoded"}, ErrorCase{"register", "one address"},
        ErrorCase{"register 0", "broadcast"}, ErrorCase{"register 256", "register"},
        ErrorCase{"rollback", "takes a request"}, ErrorCase{"rollback rollback 80", "expected an opcode"}));

TEST(ScriptErrors, TooLongForAFrame) {
    const std::string line = "85 Barcode=\"" + std::string(240, '1') + "\"";
    try {
        EmuScript::Parse("\n" + line);
        FAIL();
    } catch (const EmuScriptError& e) {
        EXPECT_EQ(e.Line(), 2);
        EXPECT_NE(std::string(e.what()).find("a frame carries"), std::string::npos) << e.what();
    }
}

TEST(EmuScript, RegisterLinesAndCommentsSetAddressesAndLines) {
    const EmuScript script = EmuScript::Parse(
        "80 Price=1 ; before any register\n"
        "  # only a comment\n"
        "register 7\t; the next register\n"
        "81 Code=5\r\n"
        "register 3\n"
        "50 Summ=2\n"
        "rollback 50 Summ=3",
        9);
    ASSERT_EQ(script.Steps().size(), 4u);
    const int lines[] = {1, 4, 6, 7};
    const std::uint8_t addresses[] = {9, 7, 3, 3};
    const std::uint8_t opcodes[] = {0x80, 0x81, 0x50, 0x50};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(script.Steps()[i].line, lines[i]);
        EXPECT_EQ(script.Steps()[i].address, addresses[i]);
        EXPECT_EQ(script.Steps()[i].Opcode(), opcodes[i]);
        EXPECT_EQ(script.Steps()[i].rollback, i == 3);
    }
}

TEST(EmuScript, LoadReadsAFileAndNamesItInErrors) {
    TempDir dir;
    tessel::WriteFileAtomically(dir.File("sale.txt"), "register 4\n86 RecSumm=3.5\n87 Summ=x\n");
    try {
        EmuScript::Load(dir.File("sale.txt"));
        FAIL();
    } catch (const EmuScriptError& e) {
        EXPECT_EQ(e.Line(), 3);
        EXPECT_EQ(std::string(e.what()), dir.File("sale.txt") + ": line 3: " + e.Reason());
    }
    EXPECT_THROW(EmuScript::Load(dir.File("missing.txt")), std::runtime_error);
}

TEST(EmuScript, ExampleIsARealisticSaleCoveringEveryOpcode) {
    const EmuScript script = EmuScript::Parse(EmuScript::ExampleText(), 5);
    std::set<std::uint8_t> seen;
    for (const EmuScriptStep& step : script.Steps()) {
        seen.insert(step.Opcode());
        EXPECT_EQ(step.address, 5) << "played by the caller's register";
    }
    EXPECT_EQ(seen, (std::set<std::uint8_t>{0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x90, 0x91,
                                            0x50, 0x51, 0x52}));
    EXPECT_EQ(script.Steps().front().Opcode(), 0x80);
    EXPECT_EQ(script.Steps().back().Opcode(), 0x52) << "the shift closes last";
}

// What a request sets reads back in the script's own forms, so listings can be pasted into scripts.
TEST(EmuScript, RequestFieldsReadBackAsWritten) {
    const char* line = "82 RegType=1 RegSign=0 Quantity=0.750 OperatorNumber=30 Barcode=\"46 \\\"01\\\"\"";
    const EmuScript script = EmuScript::Parse(line);
    const EmuFieldList expected{{"RegType", "1"},
                                {"RegSign", "0"},
                                {"Quantity", "0.750"},
                                {"OperatorNumber", "30"},
                                {"Barcode", "\"46 \\\"01\\\"\""}};
    EXPECT_EQ(RequestFields(*script.Steps()[0].request), expected);
    std::string again = "82";
    for (const auto& [name, value] : expected) again += " " + name + "=" + value;
    EXPECT_EQ(EmuScript::Parse(again).Steps()[0].Payload(), script.Steps()[0].Payload());
}

// Answer fields set by name go through the class's codec and list back equal.
struct AnswerCase {
    std::uint8_t opcode;
    EmuFieldList fields;
};

class ScriptAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ScriptAnswers, ListEveryDecodedField) {
    auto sent = CreateCommand(GetParam().opcode);
    for (const auto& [name, value] : GetParam().fields) SetAnswerField(*sent, name, value);
    auto decoded = CreateCommand(GetParam().opcode);
    decoded->DecodeAnswer(sent->EncodeAnswer());
    EXPECT_EQ(AnswerFields(*decoded), GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(EveryAnswer, ScriptAnswers,
                         ::testing::Values(AnswerCase{0x81,
                                                      {{"Text", "\"Хлеб \\\"Бородинский\\\"\""},
                                                       {"Price", "45.90"},
                                                       {"Section", "2"},
                                                       {"Tax1", "1"},
                                                       {"Tax2", "0"},
                                                       {"Tax3", "0"},
                                                       {"Tax4", "4"}}},
                                           AnswerCase{0x82,
                                                      {{"BarcodeType", "3"},
                                                       {"Text", "\"Сыр\""},
                                                       {"Price", "612.00"},
                                                       {"Section", "1"},
                                                       {"Tax1", "2"},
                                                       {"Tax2", "0"},
                                                       {"Tax3", "0"},
                                                       {"Tax4", "0"},
                                                       {"BarcodeWeight", "0.375"}}},
                                           AnswerCase{0x84, {{"Text", "\"Карта\""}, {"Summ", "5.00"}}},
                                           AnswerCase{0x85, {{"Text", "\"\""}, {"Summ", "0.00"}}},
                                           AnswerCase{0x86, {{"Text", "\"Скидка 5%\""}, {"Summ", "4.27"}}},
                                           AnswerCase{0x88, {{"PayType", "2"}, {"Summ", "80.30"}}},
                                           AnswerCase{0x90,
                                                      {{"TaxSumm1", "1.50"},
                                                       {"TaxSumm2", "0.00"},
                                                       {"TaxSumm3", "10995116277.75"},
                                                       {"TaxSumm4", "0.01"}}},
                                           AnswerCase{0x80, {}}, AnswerCase{0x91, {}}, AnswerCase{0x51, {}}));

TEST(EmuScript, ListingsOfOtherOpcodesAndClassesAreEmpty) {
    EXPECT_TRUE(AnswerFields(*CreateCommand(0x11)).empty());
    TCommand bare;
    bare.Code = 0x81;  // the opcode of a class it is not
    EXPECT_TRUE(AnswerFields(bare).empty());
    EXPECT_THROW(SetAnswerField(*CreateCommand(0x11), "Text", "\"x\""), std::invalid_argument);
}

TEST(EmuScript, MoneyAndQuantityForms) {
    EXPECT_EQ(FormatMoney(125000), "12.50");
    EXPECT_EQ(FormatMoney(123456), "12.3456");
    EXPECT_EQ(FormatMoney(0), "0.00");
    EXPECT_EQ(FormatMoney(-15000), "-1.50");
    EXPECT_EQ(FormatQuantity(1.0), "1.000");
}

}  // namespace
