#include "driver/tables/untTables.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

#include "common/ini/BigIni.h"
#include "common/platform/AtomicFile.h"
#include "common/platform/CodePage.h"
#include "common/platform/Registry.h"
#include "common/platform/TextFormat.h"
#include "driver/tables/untIniProfile.h"

namespace {

constexpr const char* kFieldDefsKey = "FIELDDEFS";

// Value names of the cache.
constexpr const char* kTableName = "TableName";
constexpr const char* kTableNumber = "TableNumber";
constexpr const char* kRowCount = "RowCount";
constexpr const char* kFieldCount = "FieldCount";
constexpr const char* kName = "Name";
constexpr const char* kSize = "Size";
constexpr const char* kNumber = "Number";
constexpr const char* kType = "Type";
constexpr const char* kMinValue = "MinValue";
constexpr const char* kMaxValue = "MaxValue";

// Export files may hold cashiers' passwords: readable by their owner only.
constexpr mode_t kExportFileMode = 0600;

int CharCount(std::string_view utf8) {
    int count = 0;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        tessel::NextUtf8Char(utf8, pos);
        ++count;
    }
    return count;
}

bool HasAllValues(const tessel::Registry& key, std::initializer_list<const char*> names) {
    return std::all_of(names.begin(), names.end(), [&](const char* name) { return key.ValueExists(name); });
}

std::string FieldDefsPath(const std::string& devicePath, std::int32_t tableNumber) {
    return devicePath + "\\" + std::to_string(tableNumber) + "\\" + kFieldDefsKey;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// A value as the export file carries it: quoted when the reading rules (blanks around it dropped, one pair of
// quotation marks removed) would change it.
std::string ExportValue(const std::string& value) {
    const bool blankAround = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
    const bool quoted =
        value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    return blankAround || quoted ? "\"" + value + "\"" : value;
}

}  // namespace

// ---- numbers and names ----

bool TryParseInt32(std::string_view text, std::int32_t& value) {
    std::string_view digits = text;
    const bool negative = !digits.empty() && digits.front() == '-';
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
    if (digits.empty()) return false;
    std::int64_t magnitude = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > std::int64_t{1} << 31) return false;
    }
    const std::int64_t number = negative ? -magnitude : magnitude;
    if (number > std::numeric_limits<std::int32_t>::max()) return false;
    value = static_cast<std::int32_t>(number);
    return true;
}

std::string FieldTypeName(std::int32_t fieldType) {
    switch (fieldType) {
        case ftInt:
            return "число";
        case ftStr:
            return "строка";
        default:
            return "неизвестен";
    }
}

std::string CellKey(std::int32_t row, std::int32_t fieldNumber) {
    return tessel::FormatText("%.4d.%.2d", row, fieldNumber);
}

// ---- TFieldDef ----

int TFieldDef::DisplayWidth() const {
    const int width = FieldType == ftStr ? Size : static_cast<int>(std::to_string(MaxValue).size());
    return std::max(width, CharCount(Name));
}

std::string TFieldDef::Hint() const {
    if (FieldType == ftStr) return tessel::FormatText("Строка до %d символов", Size);
    return tessel::FormatText("Число %d..%d", MinValue, MaxValue);
}

std::int32_t TFieldDef::ShownMin() const {
    return FieldType == ftInt ? MinValue : 0;
}

std::int32_t TFieldDef::ShownMax() const {
    return FieldType == ftInt ? MaxValue : Size;
}

// ---- TFieldDefs ----

TFieldDef& TFieldDefs::Add(TFieldDef def) {
    items_.push_back(std::make_unique<TFieldDef>(std::move(def)));
    return *items_.back();
}

void TFieldDefs::SortByNumber() {
    std::stable_sort(items_.begin(), items_.end(),
                     [](const auto& a, const auto& b) { return a->Number < b->Number; });
}

// ---- TField and TFields ----

TField::TField(TKey, TFields& owner, std::int32_t tableNumber, std::int32_t row, std::int32_t fieldNumber)
    : TableNumber(tableNumber), Row(row), FieldNumber(fieldNumber), owner_(owner) {}

void TField::SetValue(const std::string& text) {
    if (text == value_) return;
    value_ = text;
    owner_.Changed(*this);
}

int TFields::Count() const {
    // The table's counts are checked at its creation: at most kMaxTotalCells together.
    return table_.RowCount * table_.FieldCount;
}

TField& TFields::Items(int index) const {
    if (index < 0 || index >= Count()) throw std::out_of_range("cell index out of range");
    std::unique_ptr<TField>& cell = items_[index];
    if (!cell) {
        cell = std::make_unique<TField>(TField::TKey{}, const_cast<TFields&>(*this), table_.Number,
                                        index / table_.FieldCount + 1, index % table_.FieldCount + 1);
    }
    return *cell;
}

TField* TFields::Find(std::int32_t fieldNumber, std::int32_t row) const {
    const std::int32_t fields = table_.FieldCount;
    if (fieldNumber < 1 || fieldNumber > fields || row < 1 || row > table_.RowCount) return nullptr;
    return &Items((row - 1) * fields + (fieldNumber - 1));
}

TField* TFields::Made(int index) const {
    const auto it = items_.find(index);
    return it == items_.end() ? nullptr : it->second.get();
}

const std::string& TFields::ValueAt(int index) const {
    static const std::string empty;
    const TField* cell = Made(index);
    return cell != nullptr ? cell->Value() : empty;
}

void TFields::ForEachMade(const std::function<void(TField& cell)>& action) const {
    for (const auto& [index, cell] : items_) action(*cell);
}

void TFields::ClearModified() {
    for (const auto& [index, cell] : items_) cell->Modified = false;
}

void TFields::ClearValues() {
    for (const auto& [index, cell] : items_) cell->value_.clear();
}

void TFields::Changed(TField& cell) {
    table_.CellChanged(cell);
}

// ---- TTable ----

TTable::TTable(TKey, TTables& owner, std::string name, std::int32_t number, std::int32_t rowCount,
               std::int32_t fieldCount)
    : Name(std::move(name)),
      Number(number),
      RowCount(rowCount),
      FieldCount(fieldCount),
      owner_(owner),
      fields_(*this) {
    if (rowCount < 0 || rowCount > kMaxTableRows || fieldCount < 0 || fieldCount > kMaxTableFields)
        throw ETablesError(tessel::FormatText("Неверная структура таблицы %d: рядов %d, полей %d", number,
                                              rowCount, fieldCount));
}

void TTable::CellChanged(TField& cell) {
    changedField_ = &cell;
    if (OnChange) OnChange(*this);
}

const TFieldDef& TTable::FieldDefOf(const TField& cell) const {
    const std::int32_t index = cell.FieldNumber - 1;
    if (index < 0 || index >= fieldDefs_.Count())
        throw ETablesError(tessel::FormatText("Не найдена структура поля с номером %d", cell.FieldNumber));
    return fieldDefs_.Items(index);
}

void TTable::SetCellText(TField& cell, const std::string& text) {
    if (text == cell.Value()) return;
    const TFieldDef& def = FieldDefOf(cell);
    if (def.FieldType == ftInt) {
        std::int32_t number = 0;
        if (!TryParseInt32(text, number))
            throw ETablesError(
                tessel::FormatText("Неверное значение поля \"%s\".\r\n\"%s\" не является целым числом.",
                                   def.Name.c_str(), text.c_str()));
        if (number < def.MinValue || number > def.MaxValue)
            throw ETablesError(tessel::FormatText(
                "Неверное значение поля \"%s\" (%d).\r\nЗначения поля должны находиться в диапазоне %d..%d.",
                def.Name.c_str(), number, def.MinValue, def.MaxValue));
    }
    cell.SetValue(text);
}

bool TTable::LoadFieldDefs() {
    fieldDefs_.Clear();
    const std::string device = owner_.RegistryPath();
    if (device.empty()) return false;
    try {
        const std::string path = FieldDefsPath(device, Number);
        tessel::Registry defs;
        if (!defs.OpenKey(path, false)) return true;
        for (const std::string& position : defs.GetKeyNames()) {
            tessel::Registry key;
            if (!key.OpenKey(path + "\\" + position, false)) continue;
            if (!HasAllValues(key, {kName, kSize, kType, kNumber, kMinValue, kMaxValue})) continue;
            TFieldDef def;
            def.Name = key.ReadString(kName);
            def.Size = key.ReadInteger(kSize);
            def.TableNumber = Number;
            def.Number = key.ReadInteger(kNumber);
            def.FieldType = key.ReadInteger(kType);
            def.MinValue = key.ReadInteger(kMinValue);
            def.MaxValue = key.ReadInteger(kMaxValue);
            fieldDefs_.Add(std::move(def));
        }
        fieldDefs_.SortByNumber();
        return true;
    } catch (const std::exception&) {
        fieldDefs_.Clear();
        return false;
    }
}

void TTable::SaveFieldDefs() const {
    if (FieldCount < 1 || fieldDefs_.Count() < FieldCount) return;
    const std::string device = owner_.RegistryPath();
    if (device.empty()) return;
    try {
        // Only below a cached table: a table subkey without its values would make the next load trust an
        // empty list.
        tessel::Registry table;
        if (!table.OpenKey(device + "\\" + std::to_string(Number), false) ||
            !HasAllValues(table, {kRowCount, kTableName, kFieldCount, kTableNumber}))
            return;
        const std::string path = FieldDefsPath(device, Number);
        tessel::Registry defs;
        defs.DeleteKey(path);  // definitions beyond the new count must not survive
        for (std::int32_t position = 0; position < FieldCount; ++position) {
            const TFieldDef& def = fieldDefs_.Items(position);
            tessel::Registry key;
            if (!key.OpenKey(path + "\\" + std::to_string(position), true)) return;
            key.WriteString(kName, def.Name);
            key.WriteInteger(kSize, def.Size);
            key.WriteInteger(kNumber, def.Number);
            key.WriteInteger(kType, def.FieldType);
            key.WriteInteger(kMinValue, def.MinValue);
            key.WriteInteger(kMaxValue, def.MaxValue);
        }
    } catch (const std::exception&) {
        // Only a cache: the structure is read from the device again when it is missing.
    }
}

// ---- TTables ----

std::int64_t TTables::TotalCells() const {
    std::int64_t total = 0;
    for (const auto& table : items_) total += std::int64_t{table->RowCount} * table->FieldCount;
    return total;
}

TTable& TTables::Add(std::string name, std::int32_t number, std::int32_t rowCount, std::int32_t fieldCount) {
    const std::int64_t cells = std::int64_t{std::max(rowCount, 0)} * std::max(fieldCount, 0);
    if (rowCount >= 0 && rowCount <= kMaxTableRows && fieldCount >= 0 && fieldCount <= kMaxTableFields &&
        TotalCells() + cells > kMaxTotalCells) {
        throw ETablesError(tessel::FormatText(
            "Слишком большая структура таблиц ККМ: с таблицей %d (рядов %d, полей %d) ячеек было бы %lld, "
            "а допустимо не более %lld.",
            number, rowCount, fieldCount, static_cast<long long>(TotalCells() + cells),
            static_cast<long long>(kMaxTotalCells)));
    }
    items_.push_back(
        std::make_unique<TTable>(TTable::TKey{}, *this, std::move(name), number, rowCount, fieldCount));
    TTable& table = *items_.back();
    if (OnAdd) OnAdd(table);
    return table;
}

TTable* TTables::FindByNumber(std::int32_t number) const {
    const auto it =
        std::find_if(items_.begin(), items_.end(), [&](const auto& t) { return t->Number == number; });
    return it == items_.end() ? nullptr : it->get();
}

TTable* TTables::FindByName(std::string_view name) const {
    const auto it =
        std::find_if(items_.begin(), items_.end(), [&](const auto& t) { return t->Name == name; });
    return it == items_.end() ? nullptr : it->get();
}

bool TTables::HasSelected() const {
    return std::any_of(items_.begin(), items_.end(), [](const auto& t) { return t->Selected; });
}

void TTables::ClearSelection() {
    for (const auto& table : items_) table->Selected = false;
}

std::string TTables::RegistryPath() const {
    if (DeviceKey.empty() || DeviceKey.find('\\') != std::string::npos) return {};
    return std::string(kTableDefsKey) + "\\" + DeviceKey;
}

bool TTables::LoadFromRegistry() {
    Clear();
    const std::string path = RegistryPath();
    if (path.empty()) return false;
    try {
        tessel::Registry device;
        if (!device.OpenKey(path, false)) return false;
        const std::vector<std::string> names = device.GetKeyNames();
        for (const std::string& name : names) {
            tessel::Registry key;
            if (!key.OpenKey(path + "\\" + name, false)) continue;
            if (!HasAllValues(key, {kRowCount, kTableName, kFieldCount, kTableNumber})) continue;
            const std::int32_t rows = key.ReadInteger(kRowCount);
            std::string tableName = key.ReadString(kTableName);
            const std::int32_t fields = key.ReadInteger(kFieldCount);
            const std::int32_t number = key.ReadInteger(kTableNumber);
            TTable& table = Add(std::move(tableName), number, rows, fields);
            if (!table.LoadFieldDefs()) throw ETablesError("Не прочитаны структуры полей");
        }
        std::stable_sort(items_.begin(), items_.end(),
                         [](const auto& a, const auto& b) { return a->Number < b->Number; });
        return !names.empty();
    } catch (const std::exception&) {
        Clear();
        try {
            tessel::Registry().DeleteKey(path);
        } catch (const std::exception&) {
            // A store that cannot be changed keeps the damaged entry; the device is asked all the same.
        }
        return false;
    }
}

void TTables::SaveToRegistry() const {
    const std::string path = RegistryPath();
    if (path.empty()) return;
    try {
        tessel::Registry().DeleteKey(path);
    } catch (const std::exception&) {
        return;
    }
    for (const auto& table : items_) {
        try {
            tessel::Registry key;
            if (!key.OpenKey(path + "\\" + std::to_string(table->Number), true)) continue;
            key.WriteInteger(kRowCount, table->RowCount);
            key.WriteInteger(kFieldCount, table->FieldCount);
            key.WriteString(kTableName, table->Name);
            key.WriteInteger(kTableNumber, table->Number);
        } catch (const std::exception&) {
            continue;  // only a cache
        }
        table->SaveFieldDefs();
    }
}

TExportResult TTables::SaveToFile(const std::string& path) const {
    TExportResult result;
    TBigIniFile ini("");
    std::vector<std::string> keys;
    for (const auto& table : items_) {
        if (!table->Selected || table->Fields().Count() == 0) continue;
        const std::string section = tessel::Utf8ToCp1251(table->Name);
        ini.ReadSection(section, keys);
        if (!keys.empty()) {
            // The section is taken: the holder is the written table whose name is that section's.
            const std::string taken = tessel::Cp1251ToUtf8(section);
            const auto holder =
                std::find_if(result.Written.begin(), result.Written.end(), [&](const TTable* t) {
                    return tessel::SameTextNoCase(tessel::Cp1251ToUtf8(tessel::Utf8ToCp1251(t->Name)), taken);
                });
            result.LeftOut.push_back({table.get(), holder == result.Written.end() ? nullptr : *holder});
            continue;
        }
        result.Written.push_back(table.get());
        // Every cell, those never made with their empty value, without making them.
        const TFields& cells = table->Fields();
        for (int k = 0; k < cells.Count(); ++k) {
            ini.WriteString(section, CellKey(k / table->FieldCount + 1, k % table->FieldCount + 1),
                            tessel::Utf8ToCp1251(ExportValue(cells.ValueAt(k))));
        }
    }
    const std::string text = ini.SaveToText();
    try {
        if (text.empty()) {
            std::filesystem::remove(path);
        } else {
            tessel::WriteFileAtomically(path, text, kExportFileMode);
        }
    } catch (const std::exception& e) {
        throw EIniFileError(path, e.what());
    }
    return result;
}

std::vector<int> TTables::LoadFromFile(const std::string& path) {
    const std::optional<TIniProfile> profile = TIniProfile::LoadCp1251File(path);
    if (!profile) return {};
    ClearSelection();
    for (const std::string& section : profile->SectionNames()) {
        TTable* table = FindByName(section);
        if (table == nullptr) continue;
        table->Selected = true;
        TFields& cells = table->Fields();
        cells.ClearModified();
        // Only the cells the file holds are made.
        for (int k = 0; k < cells.Count(); ++k) {
            if (std::optional<std::string> value =
                    profile->Value(section, CellKey(k / table->FieldCount + 1, k % table->FieldCount + 1))) {
                TField& cell = cells.Items(k);
                cell.SetValue(*value);
                cell.Modified = true;
            }
        }
    }
    return profile->SkippedLines();
}
