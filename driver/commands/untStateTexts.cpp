#include "driver/commands/untStateTexts.h"

#include <array>
#include <string_view>

namespace {

constexpr std::string_view kTaxInspector = "режим налогового инспектора";
constexpr std::string_view kProgramming = "режим программирования";
constexpr std::string_view kTechnological = "технологический режим";
constexpr std::string_view kClock = "режим индикации и ввода времени";
constexpr std::string_view kRegistration = "режим регистрации";
constexpr std::string_view kEklzReports = "режим отчетов ЭКЛЗ";
constexpr std::string_view kXReports = "режим отчетов без гашения";
constexpr std::string_view kZReports = "режим отчетов с гашением";
constexpr std::string_view kParameters = "режим программирования параметров";

using Column = std::array<std::string_view, 8>;

// Modes 0..7 for model 0, model 1, models 2 to 5, model 6.
constexpr Column kModel0 = {kTaxInspector, kProgramming, kTechnological, kClock,
                            kRegistration, kEklzReports, kXReports,      kZReports};
constexpr Column kModel1 = {kProgramming, kTaxInspector, kEklzReports, kTechnological,
                            kClock,       kRegistration, kXReports,    kZReports};
constexpr Column kModels2to5 = {kTechnological, kRegistration, kXReports,    kZReports,
                                kProgramming,   kTaxInspector, kEklzReports, kClock};
constexpr Column kModel6 = {kParameters,   kXReports,      kEklzReports, kRegistration,
                            kTaxInspector, kTechnological, kZReports,    kClock};

const Column* ColumnFor(std::int32_t model) {
    switch (model) {
        case 0:
            return &kModel0;
        case 1:
            return &kModel1;
        case 2:
        case 3:
        case 4:
        case 5:
            return &kModels2to5;
        case 6:
            return &kModel6;
        default:
            return nullptr;
    }
}

}  // namespace

std::string GetECRModeText(std::int32_t model, std::int32_t mode) {
    if (mode == 255 && model >= 2 && model <= 5) return "выбор режима";
    const Column* column = ColumnFor(model);
    if (column != nullptr && mode >= 0 && mode < static_cast<std::int32_t>(column->size())) {
        return std::string((*column)[static_cast<std::size_t>(mode)]);
    }
    return std::to_string(mode);
}

std::string GetECRAdvancedModeText(std::int32_t submode) {
    static constexpr std::array<std::string_view, 4> kTexts = {
        "все нормально", "пассивное отсутствие бумаги", "активное отсутствие бумаги", "ожидание нажатия С"};
    if (submode >= 0 && submode < static_cast<std::int32_t>(kTexts.size())) {
        return std::string(kTexts[static_cast<std::size_t>(submode)]);
    }
    return std::to_string(submode);
}

std::string GetECRDeviceName(std::int32_t device) {
    static constexpr std::array<std::string_view, 7> kNames = {"накопитель ФП",
                                                               "часы",
                                                               "энергонезависимая память",
                                                               "процессор ФП",
                                                               "память программ ККМ",
                                                               "оперативная память ККМ",
                                                               "внешнее ОЗУ"};
    if (device >= 1 && device <= static_cast<std::int32_t>(kNames.size())) {
        return std::string(kNames[static_cast<std::size_t>(device - 1)]);
    }
    return {};
}
