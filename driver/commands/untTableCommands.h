#pragma once
// Table commands: writing (1Eh) and reading (1Fh) one field of one row, restoring the tables (24h), and the
// structure of a table (2Dh) and of a field (2Eh).
//
// Every class serves both directions: the driver encodes requests and decodes answers, the register emulator
// and the command tester decode requests and encode answers. Request and answer fields live side by side.
//
// Common promises of these classes:
// - RequestLength / AnswerLength give 1 + the request block and 2 + the fixed part of the answer block.
// - Decoders read at most the block they are given; a field beyond a short block reads as 0 or ends early
//   (SetFrame refuses short blocks before decoding, so decoded objects keep their initial fields then).
// - SaveToDriver copies the request fields for a request object and the answer fields for an answer object
//   into the record; LoadFromDriver copies the same properties back, keeping the low bits of a property
//   wider than its field (table number 257 goes out as 1).
// - Assign copies the base fields from any command, and the own fields only from an object of the same
//   class.
//
// Field values. FieldValue is text; its bytes on the line depend on the field:
// - field 3 of table 1: seven BCD bytes of up to 14 digits, filled on the left
//   with zeros; read without leading zeros ("0" when all are zero);
// - a text field (type not 0): the text in Windows-1251 and one 00h byte; read up to the first 00h without
//   trailing blanks;
// - a number field (type 0): four bytes of the decimal number, whatever the field's size; read as up to
//   eight little-endian bytes in decimal.
// No value bytes at all read as empty text.

#include <cstdint>
#include <string>

#include "common/platform/Bytes.h"
#include "driver/link/untCommand.h"

// Field type codes of the register.
constexpr std::uint8_t kFieldTypeInt = 0;
constexpr std::uint8_t kFieldTypeStr = 1;

// Whether the field travels as seven BCD bytes rather than by its type.
bool IsBcdTableField(std::int32_t tableNumber, std::int32_t fieldNumber);

// The value bytes of `value` for a field of type `fieldType` (or the BCD field). Fails with
// std::invalid_argument, whose message names the value, when a number field's text is not a whole decimal
// number from -2147483648 to 4294967295 (the values four bytes hold, signed or not) or the BCD field's text
// is not made of digits: the value is never sent as another number.
Bytes EncodeFieldValue(const std::string& value, bool bcd, std::uint8_t fieldType);
// The text of value bytes, as described above. Never fails.
std::string DecodeFieldValue(const Bytes& bytes, bool bcd, std::uint8_t fieldType);

// 1Eh, "Запись таблицы": one field of one row; no answer data.
class TCommand1Eh : public TCommand {
  public:
    int RequestLength() const override { return 1 + 5; }
    // The type byte goes out as 0 for the BCD field. Fails as EncodeFieldValue does.
    Bytes EncodeRequest() const override;
    // The value is read by the table and field numbers and the type byte of the same block.
    void DecodeRequest(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t TableNumber = 0;
    std::uint16_t RowNumber = 0;
    std::uint8_t FieldNumber = 0;
    std::uint8_t FieldType = 0;
    std::string FieldValue;
};

// 1Fh, "Чтение таблицы": one field of one row.
//
// The answer alone does not say which field it carries, so an answer object keeps the value bytes as they
// came and reads or writes them by the record's TableNumber and FieldNumber (those of the request the answer
// belongs to) and the answer's own type byte.
class TCommand1Fh : public TCommand {
  public:
    int RequestLength() const override { return 1 + 4; }
    int AnswerLength() const override { return 2 + 1; }
    Bytes EncodeRequest() const override;
    Bytes EncodeAnswer() const override;
    void DecodeRequest(const Bytes& data) override;
    void DecodeAnswer(const Bytes& data) override;
    // An answer sets FieldType and FieldValue, the value read as described above.
    void SaveToDriver(TECRDrvData& data) const override;
    // An answer takes FieldType and the bytes of FieldValue; fails as EncodeFieldValue does, before anything
    // is sent.
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t TableNumber = 0;
    std::uint16_t RowNumber = 0;
    std::uint8_t FieldNumber = 0;
    // Answer
    std::uint8_t FieldType = 0;
    Bytes FieldValueBytes;
};

// 24h, "Инициализация таблиц": no data either way; the register restores its tables.
class TCommand24h : public TCommand {};

// 2Dh, "Запрос структуры таблицы": name, rows and fields of one table.
class TCommand2Dh : public TCommand {
  public:
    int RequestLength() const override { return 1 + 1; }
    int AnswerLength() const override { return 2 + 43; }
    Bytes EncodeRequest() const override;
    // The name goes out in Windows-1251, cut at 40 bytes and filled with 00h.
    Bytes EncodeAnswer() const override;
    void DecodeRequest(const Bytes& data) override;
    // The name loses leading and trailing blanks and control characters.
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    // Copies the answer's name and counts too, so a kept answer repeats them.
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t TableNumber = 0;
    // Answer
    std::string TableName;
    std::uint16_t RowCount = 0;
    std::uint8_t FieldCount = 0;
};

// 2Eh, "Запрос структуры поля": name, type, size and limits of one field, passed on as the register
// reports them.
class TCommand2Eh : public TCommand {
  public:
    int RequestLength() const override { return 1 + 2; }
    int AnswerLength() const override { return 2 + 50; }
    Bytes EncodeRequest() const override;
    // The name goes out in Windows-1251, cut at 40 bytes and filled with 00h.
    Bytes EncodeAnswer() const override;
    void DecodeRequest(const Bytes& data) override;
    // The name loses leading and trailing blanks and control characters.
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t TableNumber = 0;
    std::uint8_t FieldNumber = 0;
    // Answer
    std::string FieldName;
    std::uint8_t FieldType = 0;
    std::uint8_t FieldSize = 0;
    std::int32_t FieldMinValue = 0;
    std::int32_t FieldMaxValue = 0;
};
