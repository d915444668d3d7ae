#pragma once
// Table commands: writing (1Eh) and reading (1Fh) one field of one row, restoring the tables (24h), and the
// structure of a table (2Dh) and of a field (2Eh).
//
// Each class is described by its field table (FieldCommand.h), which serves both directions: the driver
// encodes requests and decodes answers, the register emulator decodes requests and encodes answers. Request
// and answer fields live side by side.
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
#include <span>
#include <string>

#include "common/platform/Bytes.h"
#include "driver/commands/FieldCommand.h"

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

// The request of 1Eh and 1Fh: one field of one row.
struct TCellNumbers {
    std::uint8_t TableNumber = 0;
    std::uint16_t RowNumber = 0;
    std::uint8_t FieldNumber = 0;
};

// 1Eh, "Запись таблицы": one field of one row; no answer data. The type byte goes out as 0 for the BCD field;
// the value is written and read by the table and field numbers and the type byte of the same block, and a
// value that is no number for a number field fails as EncodeFieldValue does.
class TCommand1Eh final : public TFieldCommand<TCommand1Eh>, public TCellNumbers {
  public:
    static std::span<const TField> FieldTable();

    // Request, after the cell's numbers
    std::uint8_t FieldType = 0;
    std::string FieldValue;
};

// 1Fh, "Чтение таблицы": one field of one row.
//
// The answer alone does not say which field it carries, so an answer object keeps the value bytes as they
// came and reads or writes them by the record's TableNumber and FieldNumber (those of the request the answer
// belongs to) and the answer's own type byte: saved, an answer sets FieldType and FieldValue read as
// described above; loaded, it takes FieldType and the bytes of FieldValue, and fails as EncodeFieldValue does
// before anything changes.
class TCommand1Fh final : public TFieldCommand<TCommand1Fh>, public TCellNumbers {
  public:
    static std::span<const TField> FieldTable();

    // Answer (the request is the cell's numbers)
    std::uint8_t FieldType = 0;
    Bytes FieldValueBytes;
};

// 24h, "Инициализация таблиц": no data either way; the register restores its tables.
class TCommand24h final : public TFieldCommand<TCommand24h> {
  public:
    static std::span<const TField> FieldTable();
};

// 2Dh, "Запрос структуры таблицы": name, rows and fields of one table. The name goes out in Windows-1251, cut
// at 40 bytes and filled with 00h, and reads without leading and trailing blanks and control characters. A
// kept answer (Assign) repeats the name and counts.
class TCommand2Dh final : public TFieldCommand<TCommand2Dh> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint8_t TableNumber = 0;
    // Answer
    std::string TableName;
    std::uint16_t RowCount = 0;
    std::uint8_t FieldCount = 0;
};

// 2Eh, "Запрос структуры поля": name, type, size and limits of one field, passed on as the register reports
// them; the name as 2Dh's.
class TCommand2Eh final : public TFieldCommand<TCommand2Eh> {
  public:
    static std::span<const TField> FieldTable();

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
