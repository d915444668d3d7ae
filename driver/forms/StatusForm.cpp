#include "driver/forms/StatusForm.h"

#include <string>

#include "driver/base/untDateTime.h"

namespace {

std::string DateText(const IDateTimeFormat& format, TDateTime value) {
    int year = 0, month = 0, day = 0;
    return DecodeDate(value, year, month, day) ? format.DateText(value) : std::string();
}

std::string TimeText(const IDateTimeFormat& format, TDateTime value) {
    int year = 0, month = 0, day = 0;
    return DecodeDate(value, year, month, day) ? format.TimeText(value) : std::string();
}

}  // namespace

std::string DateTimeText(const IDateTimeFormat& format, TDateTime value) {
    int hour = 0, minute = 0, second = 0;
    if (!DecodeTime(value, hour, minute, second)) return {};
    const std::string date = format.DateText(value);
    if (hour == 0 && minute == 0 && second == 0) return date;
    return date + ' ' + format.TimeText(value);
}

void TStatusForm::AddLine(const char* label, const std::string& value) {
    view_.AddLine(std::string(label) + " : " + value);
}

void TStatusForm::AddLine(const char* label, TDriverCalls::TLongGet get) {
    AddLine(label, std::to_string(driver_.Get(get)));
}

void TStatusForm::AddLine(const char* label, TDriverCalls::TStringGet get) {
    AddLine(label, driver_.Get(get));
}

void TStatusForm::ECRStatus() {
    RunAction(view_, [this] {
        const IDateTimeFormat& format = view_.DateTimeFormat();
        view_.ClearLines();
        driver_.Check(&ITesselDriver::GetECRStatus);
        driver_.Check(&ITesselDriver::GetDeviceMetrics);
        AddLine("Номер оператора", &ITesselDriver::get_OperatorNumber);
        AddLine("Версия ПО ККМ  ", &ITesselDriver::get_ECRSoftVersion);
        AddLine("Сборка ПО ККМ  ", &ITesselDriver::get_ECRSoftBuild);
        AddLine("Дата ПО ККМ    ", DateTimeText(format, driver_.Get(&ITesselDriver::get_ECRSoftDate)));
        AddLine("Номер документа", &ITesselDriver::get_DocumentNumber);
        AddLine("Флаги ККМ      ", &ITesselDriver::get_ECRFlags);
        AddLine("Режим ККМ      ", &ITesselDriver::get_ECRModeDescription);
        AddLine("Подрежим ККМ   ", &ITesselDriver::get_ECRAdvancedModeDescription);
        AddLine("Порт ККМ       ", &ITesselDriver::get_ECRPortNumber);
        AddLine("Дата ККМ       ", DateText(format, driver_.Get(&ITesselDriver::get_ECRDate)));
        AddLine("Время ККМ      ", TimeText(format, driver_.Get(&ITesselDriver::get_ECRTime)));
    });
}

void TStatusForm::FMStatus() {
    RunAction(view_, [this] {
        view_.ClearLines();
        driver_.Check(&ITesselDriver::GetFMStatus);
        AddLine("Версия ПО ФП              ", &ITesselDriver::get_FMSoftVersion);
        AddLine("Сборка ПО ФП              ", &ITesselDriver::get_FMSoftBuild);
        AddLine("Заводской номер           ", &ITesselDriver::get_SerialNumber);
        AddLine("Последняя смена           ", &ITesselDriver::get_SessionNumber);
        AddLine("Свободно записей          ", &ITesselDriver::get_FreeRecordInFM);
        AddLine("Количество перерегистраций", &ITesselDriver::get_RegistrationNumber);
        AddLine("Осталось перерегистраций  ", &ITesselDriver::get_FreeRegistration);
        AddLine("ИНН                       ", &ITesselDriver::get_INN);
        AddLine("Количество активизаций    ", &ITesselDriver::get_ActivizationNumber);
        AddLine("Осталось активизаций      ", &ITesselDriver::get_FreeActivization);
        AddLine("Регистрационный номер ЭКЛЗ", &ITesselDriver::get_EKLZNumber);
    });
}
