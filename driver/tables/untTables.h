#pragma once
// The model of a register's tables: the tables of one device, the field definitions of each table, one value
// cell per row and field, the validation of a typed-in value, the cache of structures in the settings store
// and the export file (".xch") that saves and loads table contents.
//
// Threads: the model has no lock. While the transfer engine's worker runs, the worker alone changes the
// model, and OnAdd and OnChange are then called on the worker's thread; the owner touches the model again
// only after the operation has ended.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "driver/automation/TesselDrv_TLB.h"

class TTable;
class TTables;
class TFields;

// A refused value, a missing field definition, a table of impossible size. The message is the user's.
class ETablesError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Where the structures of every device are cached, below HKEY_CURRENT_USER.
inline constexpr const char* kTableDefsKey = "Software\\Korvex\\TesselDrv\\TesselDrv\\TableDefs";

// The largest counts a table can have: the register reports rows in 16 bits and fields in 8.
inline constexpr std::int32_t kMaxTableRows = 0xFFFF;
inline constexpr std::int32_t kMaxTableFields = 0xFF;
// The most cells all the tables of one device may have together. Each cell is read or written by an
// exchange of its own (tens of milliseconds at the fastest), so this many take the better part of a day
// and no register keeps more; a structure answer beyond it (255 tables of 65535 rows x 255 fields could be
// claimed) is refused instead of being taken for a register's tables.
inline constexpr std::int64_t kMaxTotalCells = std::int64_t{1} << 20;

// A decimal 32-bit integer with an optional sign and nothing else; false (value untouched) otherwise.
bool TryParseInt32(std::string_view text, std::int32_t& value);

// "число", "строка", or "неизвестен" for any other value.
std::string FieldTypeName(std::int32_t fieldType);

// One field definition as the register reports it.
class TFieldDef {
  public:
    std::string Name;
    std::int32_t Size = 0;  // strings: the longest value in characters
    std::int32_t TableNumber = 0;
    std::int32_t Number = 0;  // field number from 1
    std::int32_t FieldType = ftInt;
    std::int32_t MinValue = 0;  // numbers only
    std::int32_t MaxValue = 0;

    // Characters a column needs: strings the Size, numbers the digits of MaxValue; never less than the
    // length of Name.
    int DisplayWidth() const;
    // "Строка до %d символов" or "Число %d..%d".
    std::string Hint() const;
    // The range the one-row editor shows: MinValue..MaxValue for numbers, 0..Size for anything else.
    std::int32_t ShownMin() const;
    std::int32_t ShownMax() const;
};

// The field definitions of one table, owned.
class TFieldDefs {
  public:
    int Count() const { return static_cast<int>(items_.size()); }
    // Throws std::out_of_range outside 0..Count-1.
    TFieldDef& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
    TFieldDef& Add(TFieldDef def);
    void Clear() { items_.clear(); }
    // Ascending by Number; definitions with equal numbers keep their order.
    void SortByNumber();

  private:
    std::vector<std::unique_ptr<TFieldDef>> items_;
};

// One value cell. Created only by its table.
class TField {
    friend class TFields;
    struct TKey {
        explicit TKey() = default;
    };

  public:
    TField(TKey, TFields& owner, std::int32_t tableNumber, std::int32_t row, std::int32_t fieldNumber);
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    // The value as text, for both types; empty until read or loaded.
    const std::string& Value() const { return value_; }
    // Stores `text` and notifies the table when it differs from Value; an equal text does nothing.
    void SetValue(const std::string& text);

    TFields& Owner() const { return owner_; }

    const std::int32_t TableNumber;
    const std::int32_t Row;          // from 1
    const std::int32_t FieldNumber;  // from 1
    // To be written to the device by a bulk write.
    bool Modified = false;

  private:
    TFields& owner_;
    std::string value_;
};

// The cells of one table in row-major order, owned. A table has RowCount x FieldCount cells, but each is
// made only when it is first asked for (read, loaded, edited): a register's structure alone costs nothing,
// however large it claims its tables are. A cell not made yet has an empty value and no mark.
class TFields {
  public:
    explicit TFields(TTable& table) : table_(table) {}
    TFields(const TFields&) = delete;
    TFields& operator=(const TFields&) = delete;

    // RowCount x FieldCount.
    int Count() const;
    // The cell at `index` (row-major), made when first asked for. Throws std::out_of_range outside
    // 0..Count-1.
    TField& Items(int index) const;
    // The cell of a field and row, made when first asked for, or null when the table has none.
    TField* Find(std::int32_t fieldNumber, std::int32_t row) const;
    // The cell at `index` when it has been made, else null; makes none. Null outside 0..Count-1.
    TField* Made(int index) const;
    // The value at `index` without making the cell: empty for one not made. Empty outside 0..Count-1.
    const std::string& ValueAt(int index) const;
    // Each cell made so far, in row-major order.
    void ForEachMade(const std::function<void(TField& cell)>& action) const;
    int MadeCount() const { return static_cast<int>(items_.size()); }
    void ClearModified();
    // Empties every value without notifying the table.
    void ClearValues();

    TTable& Table() const { return table_; }

  private:
    friend class TTable;
    friend class TField;
    void Changed(TField& cell);

    TTable& table_;
    mutable std::map<int, std::unique_ptr<TField>> items_;  // by index; cells are made by const lookups
};

// One table: its structure, cells and field definitions. Created only by TTables::Add.
class TTable {
    friend class TTables;
    struct TKey {
        explicit TKey() = default;
    };

  public:
    using TChangeEvent = std::function<void(TTable& table)>;

    TTable(TKey, TTables& owner, std::string name, std::int32_t number, std::int32_t rowCount,
           std::int32_t fieldCount);
    TTable(const TTable&) = delete;
    TTable& operator=(const TTable&) = delete;

    const std::string Name;
    const std::int32_t Number;
    const std::int32_t RowCount;
    const std::int32_t FieldCount;
    // Takes part in bulk read, write, save and load.
    bool Selected = true;
    // Called after one of the cells changed value (see the note on threads above).
    TChangeEvent OnChange;

    TFields& Fields() { return fields_; }
    const TFields& Fields() const { return fields_; }
    TFieldDefs& FieldDefs() { return fieldDefs_; }
    const TFieldDefs& FieldDefs() const { return fieldDefs_; }
    // The cell whose value changed last, or null.
    TField* ChangedField() const { return changedField_; }
    TTables& Owner() const { return owner_; }

    // True when FieldDefs holds exactly FieldCount definitions.
    bool StructureComplete() const { return fieldDefs_.Count() == FieldCount; }

    // Replaces FieldDefs with the cached definitions of this table (sorted by Number); definitions lacking a
    // value are skipped. False, with FieldDefs empty, when the cache cannot be read.
    bool LoadFieldDefs();
    // Caches a complete structure (FieldCount >= 1 and at least FieldCount definitions), replacing what was
    // cached for this table's fields; anything else is not written. Failures are ignored: it is only a cache.
    void SaveFieldDefs() const;

    // The definition at position FieldNumber - 1. Throws ETablesError "Не найдена структура поля с номером
    // %d".
    const TFieldDef& FieldDefOf(const TField& cell) const;
    // Assigns a typed-in value: numbers must be 32-bit integers within MinValue..MaxValue, strings are not
    // checked. Throws ETablesError with the user's message; the cell then keeps its value.
    void SetCellText(TField& cell, const std::string& text);

  private:
    friend class TFields;
    void CellChanged(TField& cell);

    TTables& owner_;
    TFields fields_;
    TFieldDefs fieldDefs_;
    TField* changedField_ = nullptr;
};

// What SaveToFile wrote: the tables whose sections the file holds, in file order, and the Selected tables
// with cells it left out because a table written before them holds a section of the same name (sections
// compare without case), each with that table.
struct TExportResult {
    struct TLeftOut {
        const TTable* Table;
        const TTable* Holder;
    };
    std::vector<const TTable*> Written;
    std::vector<TLeftOut> LeftOut;
};

// The tables of one device, owned.
class TTables {
  public:
    using TAddEvent = std::function<void(TTable& table)>;

    TTables() = default;
    TTables(const TTables&) = delete;
    TTables& operator=(const TTables&) = delete;

    // Names the device's structure set: the subkey of the cache below kTableDefsKey. A key that is empty or
    // holds a backslash names no subkey: the cache is then neither read nor written.
    std::string DeviceKey;
    // Called with each table as it is added (see the note on threads above).
    TAddEvent OnAdd;

    int Count() const { return static_cast<int>(items_.size()); }
    // Throws std::out_of_range outside 0..Count-1.
    TTable& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }

    // Creates a table of RowCount x FieldCount empty cells (made when first asked for), appends it and calls
    // OnAdd. Throws ETablesError for counts outside 0..kMaxTableRows and 0..kMaxTableFields, and when the
    // tables' cells together would be more than kMaxTotalCells; the list is then unchanged.
    TTable& Add(std::string name, std::int32_t number, std::int32_t rowCount, std::int32_t fieldCount);
    void Clear() { items_.clear(); }

    // The first table with that number or (exactly, with case) that name; null when none.
    TTable* FindByNumber(std::int32_t number) const;
    TTable* FindByName(std::string_view name) const;
    bool HasSelected() const;
    void ClearSelection();

    // Replaces the list with the cached tables of DeviceKey, sorted by number, each with its cached field
    // definitions; subkeys lacking a value are skipped. True when the device's subkey has at least one
    // subkey. A cache that cannot be read (a value of the wrong type, a damaged store) is deleted and gives
    // false with an empty list, so the structure is read from the device again.
    bool LoadFromRegistry();
    // Replaces the device's subkey with the tables of the list. Failures are ignored: it is only a cache.
    void SaveToRegistry() const;

    // Writes every cell of every Selected table to the export file (Windows-1251, CR LF), replacing the file.
    // A value that the reading rules would change (surrounding blanks or quotation marks) is written inside
    // double quotation marks. Of two written tables whose names are one section name (without case, as
    // sections compare), the second is left out, and the result says so: its section could not be told apart
    // from the first one's. A table whose name only an unselected table shares is written; a load gives its
    // section to the first table of that name. Throws EIniFileError (naming the file) when the file cannot
    // be written.
    TExportResult SaveToFile(const std::string& path) const;
    // Loads an export file: the tables named by its sections (exactly, first table of a name) become the
    // only Selected ones; their cells found in the file take the file's values unchecked and are marked
    // Modified, the other cells of those tables lose the mark. Nothing happens when the file does not exist.
    // The whole file is checked first: a damaged file throws EIniProfileError (file and line) and changes
    // nothing; an unreadable one throws std::system_error. Returns the numbers of the lines skipped because
    // they hold no "=" (TIniProfile::SkippedLines).
    std::vector<int> LoadFromFile(const std::string& path);

    // The cache key of the device, or empty when DeviceKey names none.
    std::string RegistryPath() const;

    // RowCount x FieldCount of every table of the list.
    std::int64_t TotalCells() const;

  private:
    std::vector<std::unique_ptr<TTable>> items_;
};

// The export file's key of a cell: "%.4d.%.2d" of row and field ("0012.03").
std::string CellKey(std::int32_t row, std::int32_t fieldNumber);
