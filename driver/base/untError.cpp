#include "driver/base/untError.h"

#include <array>
#include <string_view>

namespace {

struct CodeText {
    std::int32_t code;
    std::string_view text;
};

constexpr std::array kRegisterTexts = {
    CodeText{0, "Ошибок нет"},
    CodeText{1, "Некорректные параметры команды"},
    CodeText{2, "Некорректное состояние"},
    CodeText{3, "Авария ЭКЛЗ"},
    CodeText{4, "Неверная контрольная сумма ЭКЛЗ"},
    CodeText{5, "Исчерпан лимит времени использования ЭКЛЗ"},
    CodeText{6, "Переполнение ЭКЛЗ"},
    CodeText{7, "Некорректны дата или время"},
    CodeText{8, "Нет запрошенных в ЭКЛЗ данных"},
    CodeText{9, "Переполнение буфера чека"},
    CodeText{21, "Аппаратная ошибка"},
    CodeText{22, "Нет установленной памяти"},
    CodeText{23, "Память не инициализирована"},
    CodeText{24, "Инициализация запрещена"},
    CodeText{25, "Отсутствует ФП"},
    CodeText{26, "Ошибка соединения"},
    CodeText{27, "Отсутствие бумаги"},
    CodeText{28, "Чек не открыт"},
    CodeText{29, "Некорректное значение"},
    CodeText{30, "Чек открыт"},
    CodeText{31, "Неверное количество"},
    CodeText{32, "Неверная цена"},
    CodeText{33, "Сумма клиента меньше итога чека"},
    CodeText{34, "Введена скидка/наценка"},
    CodeText{35, "Операция запрещена в таблице"},
    CodeText{36, "24 часа истекли"},
    CodeText{37, "Сумма сторно больше итога чека"},
    CodeText{38, "Переполнение регистра остатка товара"},
    CodeText{39, "Отсутствует ЭКЛЗ"},
    CodeText{40, "Нарушение контроля наличности"},
    CodeText{41, "Открыта смена"},
    CodeText{42, "Номер ЭКЛЗ не совпадает записью активизации"},
    CodeText{43, "ЭКЛЗ не активизирована"},
    CodeText{44, "Архив ЭКЛЗ закрыт"},
    CodeText{45, "Операция невозможна без ЭКЛЗ"},
    CodeText{46, "Некорректный вид оплаты"},
    CodeText{47, "ККМ не фискализирована"},
    CodeText{48, "Последняя запись в ФП некорректна"},
    CodeText{49, "Повторный ввод точки не возможен"},
    CodeText{50, "Нажата несекционная клавиша"},
    CodeText{51, "Переполнение 10 десятичных разрядов"},
    CodeText{52, "Отсутствует внутренний товар"},
    CodeText{53, "Неверный номер секции"},
    CodeText{129, "Неверный номер регистра"},
    CodeText{130, "Неверный номер таблицы"},
    CodeText{131, "Неверный номер ряда"},
    CodeText{132, "Неверный номер поля"},
    CodeText{133, "Неверный номер устройства"},
    CodeText{134, "Неверный номер блока"},
    CodeText{135, "Неверный номер бита"},
    CodeText{136, "Неверный номер порта"},
    CodeText{137, "Неверный код скорости"},
    CodeText{138, "Команда не доступна"},
    CodeText{139, "Неверный тип поля"},
    CodeText{140, "Неверное значение"},
    CodeText{141, "Сеть занята"},
};

constexpr std::array kDriverTexts = {
    CodeText{E_OK, "Ошибок нет"},
    CodeText{E_NOCONNECTION, "Нет связи"},
    CodeText{E_PORTUNAVAILABLE, "Порт недоступен"},
    CodeText{E_USERBREAK, "Работа драйвера прервана пользователем"},
    CodeText{E_INVALIDVALUE, "Недопустимое значение"},
    CodeText{E_ADDDEVICE, "Невозможно добавить устройство"},
    CodeText{E_DELETEDEVICE, "Невозможно удалить устройство"},
    CodeText{E_LDNOTFOUND, "Логическое устройство не найдено"},
    CodeText{E_PORTBUSY, "Порт занят приложением"},
    CodeText{E_CRC, "Ошибка CRC кадра"},
    CodeText{E_COMMANDNOTFOUND, "Команда не найдена"},
};

template <std::size_t N>
const std::string_view* Find(const std::array<CodeText, N>& table, std::int32_t code) {
    for (const auto& e : table) {
        if (e.code == code) return &e.text;
    }
    return nullptr;
}

}  // namespace

EDriverError::EDriverError(std::int32_t code) : EDriverError(code, GetDriverErrorText(code)) {}

std::string GetResultText(std::int32_t code) {
    if (const auto* text = Find(kRegisterTexts, code)) return std::string(*text);
    return "Ошибка ККМ: " + std::to_string(code);
}

std::string GetDriverErrorText(std::int32_t code) {
    if (const auto* text = Find(kDriverTexts, code)) return std::string(*text);
    return "Неопознанная ошибка";
}

std::string GetResultDescription(std::int32_t code) {
    return code <= 0 ? GetDriverErrorText(code) : GetResultText(code);
}
