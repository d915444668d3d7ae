#pragma once
// The emulated register's settings tables: a fixed set of numbered tables, each of rows of typed fields, with
// the contents a new register starts with. Plain data, copied with the model; reads and writes answer with
// the register's own result codes rather than throwing, as the register does on the line.

#include <cstdint>
#include <string>
#include <vector>

#include "common/platform/Bytes.h"

// Result codes of table access.
enum EmuTableResult : std::int32_t {
    kEmuTableOk = 0,
    kEmuBadTable = 130,  // "Неверный номер таблицы"
    kEmuBadRow = 131,    // "Неверный номер ряда"
    kEmuBadField = 132,  // "Неверный номер поля"
    kEmuBadType = 139,   // "Неверный тип поля"
    kEmuBadValue = 140,  // "Неверное значение"
};

struct EmuFieldDef {
    std::string name;        // at most 40 bytes in the register's code page
    std::uint8_t type = 0;   // 0 number, 1 text
    std::uint8_t size = 1;   // bytes on the line: 1..8 for numbers, the longest text for texts
    std::int64_t min = 0;    // numbers only
    std::int64_t max = 255;  // numbers only
    bool operator==(const EmuFieldDef&) const = default;
};

// One stored value: `number` for number fields, `text` (UTF-8) for text fields.
struct EmuCell {
    std::int64_t number = 0;
    std::string text;
    bool operator==(const EmuCell&) const = default;
};

struct EmuTable {
    std::string name;
    std::vector<EmuFieldDef> fields;         // field N is fields[N - 1]
    std::vector<std::vector<EmuCell>> rows;  // row N is rows[N - 1], one cell per field
    bool operator==(const EmuTable&) const = default;
};

// What the table-structure answer reports.
struct EmuTableStruct {
    std::string name;
    std::uint16_t rowCount = 0;
    std::uint8_t fieldCount = 0;
};

class EmuTables {
  public:
    // Tables 1..6 with their initial contents: general parameters (field 3 of table 1 a 14-digit number that
    // travels as seven BCD bytes), cashiers and administrators, sections, taxes, payment types, receipt
    // texts.
    EmuTables();

    static constexpr std::uint8_t kBcdTable = 1;
    static constexpr std::uint8_t kBcdField = 3;
    static constexpr std::size_t kBcdBytes = 7;

    std::size_t TableCount() const { return tables_.size(); }

    // Numbers count from 1. Each returns kEmuTableOk, or kEmuBadTable / kEmuBadRow / kEmuBadField for the
    // first number that names nothing; outputs are left alone on failure.
    std::int32_t Structure(std::uint8_t table, EmuTableStruct& out) const;
    std::int32_t Field(std::uint8_t table, std::uint8_t field, EmuFieldDef& out) const;
    // The value bytes as the register sends them: the BCD field as seven BCD bytes (lowest digits first),
    // numbers as `size` little-endian bytes, texts in Windows-1251 filled with 00h to `size` bytes.
    std::int32_t Read(std::uint8_t table, std::uint16_t row, std::uint8_t field, std::uint8_t& type,
                      Bytes& value) const;
    // Writes the text `value` (as the driver sends it: a decimal number, or the text) into a field. Also
    // fails with kEmuBadType when `type` is not the field's, and kEmuBadValue for a number that is not a
    // whole decimal number within min..max (the BCD field: up to 14 digits) or a text longer than the field.
    // Nothing changes on failure.
    std::int32_t Write(std::uint8_t table, std::uint16_t row, std::uint8_t field, std::uint8_t type,
                       const std::string& value);
    // Restores every table to its initial contents.
    void Init();

    // The stored cell, for saving; throws std::out_of_range for numbers that name nothing.
    const EmuCell& Cell(std::uint8_t table, std::uint16_t row, std::uint8_t field) const;

    bool operator==(const EmuTables&) const = default;

  private:
    static std::vector<EmuTable> Initial();

    std::vector<EmuTable> tables_;
};
