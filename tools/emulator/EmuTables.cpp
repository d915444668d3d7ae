#include "tools/emulator/EmuTables.h"

#include <charconv>
#include <stdexcept>

#include "common/platform/CodePage.h"

namespace {

constexpr std::uint8_t kNumber = 0;
constexpr std::uint8_t kText = 1;
constexpr std::int64_t kMaxBcd = 99'999'999'999'999LL;  // 14 digits

EmuFieldDef Number(std::string name, std::uint8_t size, std::int64_t min, std::int64_t max) {
    return {std::move(name), kNumber, size, min, max};
}

EmuFieldDef Text(std::string name, std::uint8_t size) {
    return {std::move(name), kText, size, 0, 0};
}

EmuCell N(std::int64_t value) {
    return {value, {}};
}

EmuCell T(std::string value) {
    return {0, std::move(value)};
}

EmuTable GeneralParameters() {
    EmuTable t{"Общие параметры",
               {Number("Номер ККМ в магазине", 1, 1, 99), Number("Автоматическое обнуление", 1, 0, 1),
                Number("Код организации", 7, 0, kMaxBcd), Number("Звуковой сигнал", 1, 0, 1),
                Number("Печать рекламного текста", 1, 0, 1), Number("Время открытия ящика", 1, 1, 255)},
               {}};
    t.rows.push_back({N(1), N(0), N(12345), N(1), N(1), N(10)});
    return t;
}

EmuTable Cashiers() {
    EmuTable t{"Кассиры и администраторы", {Number("Пароль", 4, 0, 99'999'999), Text("Имя", 21)}, {}};
    constexpr int kCashiers = 28;
    for (int i = 1; i <= kCashiers; ++i) t.rows.push_back({N(i), T("Кассир " + std::to_string(i))});
    t.rows.push_back({N(29), T("Администратор")});
    t.rows.push_back({N(30), T("Сист. администратор")});
    return t;
}

EmuTable Sections() {
    EmuTable t{"Секции", {Text("Название", 20)}, {}};
    constexpr int kSections = 16;
    for (int i = 1; i <= kSections; ++i) t.rows.push_back({T("Секция " + std::to_string(i))});
    return t;
}

EmuTable Taxes() {
    // Rates in hundredths of a percent.
    EmuTable t{"Налоги", {Number("Ставка", 2, 0, 9999), Text("Название", 20)}, {}};
    t.rows = {{N(1800), T("НДС 18%")}, {N(1000), T("НДС 10%")}, {N(0), T("НДС 0%")}, {N(0), T("Без НДС")}};
    return t;
}

EmuTable PaymentTypes() {
    EmuTable t{"Виды оплат", {Text("Название", 20), Number("Разрешить сдачу", 1, 0, 1)}, {}};
    t.rows = {
        {T("Наличными"), N(1)}, {T("Кредитом"), N(0)}, {T("Тарой"), N(0)}, {T("Платёжной картой"), N(0)}};
    return t;
}

EmuTable ReceiptTexts() {
    EmuTable t{"Текст в чеке", {Text("Строка", 36)}, {}};
    t.rows = {{T("ДОБРО ПОЖАЛОВАТЬ!")}, {T("")}, {T("")}, {T("")}, {T("")}, {T("СПАСИБО ЗА ПОКУПКУ")}};
    return t;
}

// Seven bytes of 14 digits, the lowest two digits in the first byte.
Bytes ToBcd(std::int64_t value) {
    Bytes out(EmuTables::kBcdBytes, 0x00);
    for (auto& byte : out) {
        const auto low = static_cast<std::uint8_t>(value % 10);
        value /= 10;
        const auto high = static_cast<std::uint8_t>(value % 10);
        value /= 10;
        byte = static_cast<std::uint8_t>(high << 4 | low);
    }
    return out;
}

bool ParseWhole(const std::string& text, std::int64_t& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

}  // namespace

EmuTables::EmuTables() : tables_(Initial()) {}

std::vector<EmuTable> EmuTables::Initial() {
    return {GeneralParameters(), Cashiers(), Sections(), Taxes(), PaymentTypes(), ReceiptTexts()};
}

void EmuTables::Init() {
    tables_ = Initial();
}

std::int32_t EmuTables::Structure(std::uint8_t table, EmuTableStruct& out) const {
    if (table < 1 || table > tables_.size()) return kEmuBadTable;
    const EmuTable& t = tables_[table - 1];
    out = {t.name, static_cast<std::uint16_t>(t.rows.size()), static_cast<std::uint8_t>(t.fields.size())};
    return kEmuTableOk;
}

std::int32_t EmuTables::Field(std::uint8_t table, std::uint8_t field, EmuFieldDef& out) const {
    if (table < 1 || table > tables_.size()) return kEmuBadTable;
    const EmuTable& t = tables_[table - 1];
    if (field < 1 || field > t.fields.size()) return kEmuBadField;
    out = t.fields[field - 1];
    return kEmuTableOk;
}

std::int32_t EmuTables::Read(std::uint8_t table, std::uint16_t row, std::uint8_t field, std::uint8_t& type,
                             Bytes& value) const {
    if (table < 1 || table > tables_.size()) return kEmuBadTable;
    const EmuTable& t = tables_[table - 1];
    if (row < 1 || row > t.rows.size()) return kEmuBadRow;
    if (field < 1 || field > t.fields.size()) return kEmuBadField;
    const EmuFieldDef& def = t.fields[field - 1];
    const EmuCell& cell = t.rows[row - 1][field - 1];
    type = def.type;
    if (table == kBcdTable && field == kBcdField) {
        value = ToBcd(cell.number);
    } else if (def.type == kNumber) {
        value.assign(def.size, 0x00);
        const auto bits = static_cast<std::uint64_t>(cell.number);
        for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    } else {
        const std::string bytes = tessel::Utf8ToCp1251(cell.text);
        value.assign(bytes.begin(), bytes.end());
        value.resize(def.size, 0x00);
    }
    return kEmuTableOk;
}

std::int32_t EmuTables::Write(std::uint8_t table, std::uint16_t row, std::uint8_t field, std::uint8_t type,
                              const std::string& value) {
    if (table < 1 || table > tables_.size()) return kEmuBadTable;
    EmuTable& t = tables_[table - 1];
    if (row < 1 || row > t.rows.size()) return kEmuBadRow;
    if (field < 1 || field > t.fields.size()) return kEmuBadField;
    const EmuFieldDef& def = t.fields[field - 1];
    if (type != def.type) return kEmuBadType;
    EmuCell& cell = t.rows[row - 1][field - 1];
    if (def.type == kNumber) {
        std::int64_t number = 0;
        if (!ParseWhole(value, number) || number < def.min || number > def.max) return kEmuBadValue;
        cell.number = number;
    } else {
        if (tessel::Utf8ToCp1251(value).size() > def.size) return kEmuBadValue;
        cell.text = value;
    }
    return kEmuTableOk;
}

const EmuCell& EmuTables::Cell(std::uint8_t table, std::uint16_t row, std::uint8_t field) const {
    if (table < 1 || table > tables_.size()) throw std::out_of_range("no table " + std::to_string(table));
    const EmuTable& t = tables_[table - 1];
    if (row < 1 || row > t.rows.size() || field < 1 || field > t.fields.size()) {
        throw std::out_of_range("table " + std::to_string(table) + " has no row " + std::to_string(row) +
                                " field " + std::to_string(field));
    }
    return t.rows[row - 1][field - 1];
}
