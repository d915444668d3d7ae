#include "driver/search/untSearchParams.h"

#include <algorithm>
#include <array>

#include "common/platform/Registry.h"

const char* const kSearchPortsKey = "Software\\Korvex\\TesselDrv\\TesselDrv\\Параметры поиска\\Порты";
const char* const kSearchECRTypesKey = "Software\\Korvex\\TesselDrv\\TesselDrv\\Параметры поиска\\Типы ККМ";
const char* const kSearchBaudRatesKey = "Software\\Korvex\\TesselDrv\\TesselDrv\\Параметры поиска\\Скорости";

namespace {

constexpr std::array<const char*, kSearchBaudRateCount> kBaudRateTexts = {
    "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
constexpr std::array<const char*, kSearchECRTypeCount> kECRTypeTexts = {"Обычные ККМ", "Бензиновые ККМ"};
constexpr std::array<TSearchList, 3> kLists = {TSearchList::Ports, TSearchList::ECRTypes,
                                               TSearchList::BaudRates};

const char* KeyOf(TSearchList list) {
    switch (list) {
        case TSearchList::Ports:
            return kSearchPortsKey;
        case TSearchList::ECRTypes:
            return kSearchECRTypesKey;
        case TSearchList::BaudRates:
            return kSearchBaudRatesKey;
    }
    throw std::invalid_argument("unknown search list");
}

}  // namespace

std::string BaudRateText(std::int32_t code) {
    if (code < 1 || code > static_cast<std::int32_t>(kBaudRateTexts.size())) return "Недопустимое значение";
    return kBaudRateTexts[static_cast<std::size_t>(code - 1)];
}

TSearchParams::TSearchParams() {
    SetDefaults();
}

void TSearchParams::SetDefaults() {
    ports_.clear();
    for (std::size_t i = 1; i <= kSearchPortCount; ++i) ports_.push_back({"COM" + std::to_string(i), true});
    ecrTypes_.clear();
    for (std::size_t i = 0; i < kECRTypeTexts.size(); ++i) ecrTypes_.push_back({kECRTypeTexts[i], i == 0});
    baudRates_.clear();
    for (const char* text : kBaudRateTexts) baudRates_.push_back({text, true});
}

void TSearchParams::Load() {
    SetDefaults();
    for (TSearchList list : kLists) {
        tessel::Registry reg;
        if (!reg.OpenKey(KeyOf(list), false)) continue;
        const std::vector<std::string> names = reg.GetValueNames();
        std::vector<TSearchItem>& items = MutableItems(list);
        const std::size_t count = std::min(names.size(), items.size());
        for (std::size_t p = 0; p < count; ++p) {
            // A value of another type is someone else's damage: it must not keep the search from opening.
            if (reg.GetDataType(names[p]) != tessel::RegValueType::DWord) continue;
            items[p].Checked = reg.ReadInteger(names[p]) != 0;
        }
    }
}

void TSearchParams::Save() const {
    for (TSearchList list : kLists) {
        tessel::Registry reg;
        reg.OpenKey(KeyOf(list), true);
        for (const TSearchItem& item : Items(list)) reg.WriteInteger(item.Text, item.Checked ? 1 : 0);
    }
}

void TSearchParams::Validate() const {
    if (!AnyChecked(TSearchList::Ports)) throw ESearchError("Нет выбранных портов для поиска.");
    if (!AnyChecked(TSearchList::BaudRates)) throw ESearchError("Нет выбранных скоростей для поиска.");
    if (!AnyChecked(TSearchList::ECRTypes)) throw ESearchError("Нет выбранных типов ККМ для поиска.");
}

const std::vector<TSearchItem>& TSearchParams::Items(TSearchList list) const {
    switch (list) {
        case TSearchList::Ports:
            return ports_;
        case TSearchList::ECRTypes:
            return ecrTypes_;
        case TSearchList::BaudRates:
            return baudRates_;
    }
    throw std::invalid_argument("unknown search list");
}

std::vector<TSearchItem>& TSearchParams::MutableItems(TSearchList list) {
    return const_cast<std::vector<TSearchItem>&>(Items(list));
}

bool TSearchParams::Checked(TSearchList list, std::size_t index) const {
    return Items(list).at(index).Checked;
}

void TSearchParams::SetChecked(TSearchList list, std::size_t index, bool checked) {
    MutableItems(list).at(index).Checked = checked;
}

void TSearchParams::SetAll(TSearchList list, bool checked) {
    for (TSearchItem& item : MutableItems(list)) item.Checked = checked;
}

bool TSearchParams::AnyChecked(TSearchList list) const {
    const std::vector<TSearchItem>& items = Items(list);
    return std::any_of(items.begin(), items.end(), [](const TSearchItem& item) { return item.Checked; });
}
