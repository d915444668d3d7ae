// The engine against the register emulator for the register, decimal point, clock and table commands.
#include <gtest/gtest.h>

#include <string>

#include "driver/engine/untEcrDrv.h"
#include "support/EmuFixture.h"

namespace {

class EngineTables : public tessel_test::EmuEngineTest {
  protected:
    // Reads one field; the result code, with FieldType and FieldValue left in the engine.
    std::int32_t Read(int table, int row, int field) {
        engine_->TableNumber = table;
        engine_->RowNumber = row;
        engine_->FieldNumber = field;
        return engine_->ReadTable();
    }

    std::int32_t Write(int table, int row, int field, int type, const std::string& value) {
        engine_->TableNumber = table;
        engine_->RowNumber = row;
        engine_->FieldNumber = field;
        engine_->FieldType = type;
        engine_->FieldValue = value;
        return engine_->WriteTable();
    }
};

TEST_F(EngineTables, RegistersAreReadAndRestRegistersWritten) {
    line_->UpdateModel(2, [](EmuRegisterModel& m) {
        m.cashRegisters[200] = 12345;
        m.operationRegisters[17] = 4321;
        m.restRegisters[999] = -5;
    });
    TEcrDrv& e = *engine_;
    e.RegisterNumber = 200;
    ASSERT_EQ(e.GetCashReg(), 0) << e.ResultDescription;
    EXPECT_EQ(e.CashRegister, 1'234'500);  // 123.45
    e.RegisterNumber = 17;
    ASSERT_EQ(e.GetOperationReg(), 0) << e.ResultDescription;
    EXPECT_EQ(e.OperationRegister, 4321);
    e.RegisterNumber = 999;
    ASSERT_EQ(e.GetRestReg(), 0) << e.ResultDescription;
    EXPECT_EQ(e.RestRegister, -5);

    e.RestRegister = -1;
    ASSERT_EQ(e.SetRestReg(), 0) << e.ResultDescription;
    EXPECT_EQ(line_->Model(2).restRegisters[999], -1);
    e.RestRegister = 0;
    ASSERT_EQ(e.GetRestReg(), 0);
    EXPECT_EQ(e.RestRegister, -1);

    // Numbers beyond the register's registers; the money value is cleared by the failed answer.
    e.RegisterNumber = 256;
    EXPECT_EQ(e.GetCashReg(), 129);
    EXPECT_EQ(e.ResultDescription, "Неверный номер регистра");
    EXPECT_EQ(e.CashRegister, 0);
    EXPECT_EQ(e.GetOperationReg(), 129);
    e.RegisterNumber = 1000;
    EXPECT_EQ(e.SetRestReg(), 129);
}

TEST_F(EngineTables, PointAndClockShowInTheStatus) {
    TEcrDrv& e = *engine_;
    e.PositionOfPoint = 1;
    ASSERT_EQ(e.SetPointPosition(), 0) << e.ResultDescription;
    ASSERT_EQ(e.GetECRStatus(), 0) << e.ResultDescription;
    EXPECT_NE(e.ECRFlags & 0x0100, 0);
    e.PositionOfPoint = 0;
    ASSERT_EQ(e.SetPointPosition(), 0);
    ASSERT_EQ(e.GetECRStatus(), 0);
    EXPECT_EQ(e.ECRFlags & 0x0100, 0);
    e.PositionOfPoint = 3;
    EXPECT_EQ(e.SetPointPosition(), 140);

    e.SetECRDateStr("29.02.2028");
    ASSERT_EQ(e.SetDate(), 0) << e.ResultDescription;
    e.SetECRTimeStr("07:08:00");
    ASSERT_EQ(e.SetTime(), 0) << e.ResultDescription;
    e.ECRDay = 1;
    e.ECRHour = 1;
    ASSERT_EQ(e.GetECRStatus(), 0) << e.ResultDescription;
    EXPECT_EQ(e.GetECRDateStr(), "29.02.2028");
    EXPECT_EQ(e.ECRHour, 7);
    EXPECT_EQ(e.ECRMin, 8);
    EXPECT_LE(e.ECRSec, 5);  // the clock runs on from the setting

    // Refused values leave the clock alone.
    e.ECRDay = 30;
    e.ECRMonth = 2;
    e.ECRYear = 28;
    EXPECT_EQ(e.SetDate(), 7);
    EXPECT_EQ(e.ResultDescription, "Некорректны дата или время");
    e.ECRHour = 24;
    EXPECT_EQ(e.SetTime(), 7);
    ASSERT_EQ(e.GetECRStatus(), 0);
    EXPECT_EQ(e.GetECRDateStr(), "29.02.2028");
}

TEST_F(EngineTables, StructuresOfTablesAndFields) {
    TEcrDrv& e = *engine_;
    e.TableNumber = 2;
    ASSERT_EQ(e.GetTableStruct(), 0) << e.ResultDescription;
    EXPECT_EQ(e.TableName, "Кассиры и администраторы");
    EXPECT_EQ(e.RowCount, 30);
    EXPECT_EQ(e.FieldCount, 2);

    e.FieldNumber = 2;
    ASSERT_EQ(e.GetFieldStruct(), 0) << e.ResultDescription;
    EXPECT_EQ(e.FieldName, "Имя");
    EXPECT_EQ(e.FieldType, 1);
    EXPECT_EQ(e.FieldSize, 21);
    e.TableNumber = 4;
    e.FieldNumber = 1;
    ASSERT_EQ(e.GetFieldStruct(), 0) << e.ResultDescription;
    EXPECT_EQ(e.FieldType, 0);
    EXPECT_EQ(e.FieldSize, 2);
    EXPECT_EQ(e.FieldMinValue, 0);
    EXPECT_EQ(e.FieldMaxValue, 9999);

    e.TableNumber = 7;
    EXPECT_EQ(e.GetTableStruct(), 130);
    EXPECT_EQ(e.ResultDescription, "Неверный номер таблицы");
    e.TableNumber = 4;
    e.FieldNumber = 3;
    EXPECT_EQ(e.GetFieldStruct(), 132);
}

struct TableCase {
    const char* name;
    int table, row, field, type;
    const char* written;  // what WriteTable sends
    const char* read;     // what ReadTable gives back afterwards
};

class EngineTableFields : public EngineTables, public ::testing::WithParamInterface<TableCase> {};

TEST_P(EngineTableFields, WrittenValueReadsBack) {
    const TableCase& c = GetParam();
    ASSERT_EQ(Write(c.table, c.row, c.field, c.type, c.written), 0) << engine_->ResultDescription;
    engine_->FieldType = 9;
    engine_->FieldValue = "?";
    ASSERT_EQ(Read(c.table, c.row, c.field), 0) << engine_->ResultDescription;
    EXPECT_EQ(engine_->FieldType, c.type);
    EXPECT_EQ(engine_->FieldValue, c.read);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, EngineTableFields,
    ::testing::Values(TableCase{"BcdNumber", 1, 1, 3, 0, "00012345678901", "12345678901"},
                      TableCase{"BcdZero", 1, 1, 3, 0, "0", "0"},
                      TableCase{"OneByteNumber", 1, 1, 1, 0, "99", "99"},
                      TableCase{"TwoByteNumber", 4, 2, 1, 0, "257", "257"},
                      TableCase{"Password", 2, 30, 1, 0, "99999999", "99999999"},
                      TableCase{"CyrillicName", 2, 1, 2, 1, "Иванова М.П.", "Иванова М.П."},
                      TableCase{"TrailingBlanksDropped", 3, 16, 1, 1, "Бакалея  ", "Бакалея"},
                      TableCase{"LongestReceiptLine", 6, 6, 1, 1, "123456789012345678901234567890123456",
                                "123456789012345678901234567890123456"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTables, RefusedWritesKeepTheField) {
    struct Refusal {
        int table, row, field, type;
        const char* value;
        std::int32_t result;
    };
    const Refusal refusals[] = {
        {9, 1, 1, 0, "1", 130},
        {2, 31, 1, 0, "1", 131},
        {2, 1, 5, 0, "1", 132},
        {2, 1, 2, 0, "1", 139},
        {4, 1, 1, 0, "10000", 140},                  // a rate beyond 99.99 %
        {3, 1, 1, 1, "Хлебобулочные изделия", 140},  // 21 letters in a 20-byte field
    };
    for (const Refusal& r : refusals) {
        EXPECT_EQ(Write(r.table, r.row, r.field, r.type, r.value), r.result) << r.value;
    }
    ASSERT_EQ(Read(4, 1, 1), 0);
    EXPECT_EQ(engine_->FieldValue, "1800");
    ASSERT_EQ(Read(3, 1, 1), 0);
    EXPECT_EQ(engine_->FieldValue, "Секция 1");
    EXPECT_EQ(Read(3, 17, 1), 131);
    EXPECT_EQ(engine_->ResultDescription, "Неверный номер ряда");

    // Not a number: refused by the driver before anything is sent.
    const std::uint64_t writes = line_->ExecutionCount(2, 0x1E);
    EXPECT_EQ(Write(4, 1, 1, 0, "18,5"), -199);
    EXPECT_EQ(line_->ExecutionCount(2, 0x1E), writes);
}

TEST_F(EngineTables, InitTablesRestoresTheInitialContents) {
    ASSERT_EQ(Write(2, 1, 2, 1, "Петров"), 0) << engine_->ResultDescription;
    ASSERT_EQ(Write(1, 1, 3, 0, "7"), 0) << engine_->ResultDescription;
    ASSERT_EQ(engine_->InitTables(), 0) << engine_->ResultDescription;
    ASSERT_EQ(Read(2, 1, 2), 0);
    EXPECT_EQ(engine_->FieldValue, "Кассир 1");
    ASSERT_EQ(Read(1, 1, 3), 0);
    EXPECT_EQ(engine_->FieldValue, "12345");
}

}  // namespace
