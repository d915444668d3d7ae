#include <gtest/gtest.h>

#include "driver/base/untError.h"
#include "driver/commands/untStateTexts.h"

namespace {

struct CodeCase {
    std::int32_t code;
    const char* text;
};

class ResultText : public ::testing::TestWithParam<CodeCase> {};

TEST_P(ResultText, Describes) {
    EXPECT_EQ(GetResultDescription(GetParam().code), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(All, ResultText,
                         ::testing::Values(CodeCase{0, "Ошибок нет"}, CodeCase{2, "Некорректное состояние"},
                                           CodeCase{10, "Ошибка ККМ: 10"},
                                           CodeCase{53, "Неверный номер секции"},
                                           CodeCase{54, "Ошибка ККМ: 54"}, CodeCase{141, "Сеть занята"},
                                           CodeCase{142, "Ошибка ККМ: 142"}, CodeCase{255, "Ошибка ККМ: 255"},
                                           CodeCase{-1, "Нет связи"}, CodeCase{-2, "Неопознанная ошибка"},
                                           CodeCase{-14, "Порт занят приложением"},
                                           CodeCase{-16, "Команда не найдена"},
                                           CodeCase{-199, "Неопознанная ошибка"}));

struct ModeCase {
    std::int32_t model, mode;
    const char* text;
};

class ModeText : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeText, Describes) {
    EXPECT_EQ(GetECRModeText(GetParam().model, GetParam().mode), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    All, ModeText,
    ::testing::Values(ModeCase{0, 4, "режим регистрации"}, ModeCase{3, 4, "режим программирования"},
                      ModeCase{1, 2, "режим отчетов ЭКЛЗ"},
                      ModeCase{6, 0, "режим программирования параметров"},
                      ModeCase{6, 7, "режим индикации и ввода времени"}, ModeCase{2, 255, "выбор режима"},
                      ModeCase{5, 255, "выбор режима"}, ModeCase{0, 255, "255"}, ModeCase{1, 255, "255"},
                      ModeCase{6, 255, "255"}, ModeCase{7, 1, "1"}, ModeCase{3, 8, "8"}));

TEST(StateTexts, SubmodesAndDevices) {
    EXPECT_EQ(GetECRAdvancedModeText(3), "ожидание нажатия С");
    EXPECT_EQ(GetECRAdvancedModeText(4), "4");
    EXPECT_EQ(GetECRDeviceName(1), "накопитель ФП");
    EXPECT_EQ(GetECRDeviceName(7), "внешнее ОЗУ");
    EXPECT_EQ(GetECRDeviceName(0), "");
    EXPECT_EQ(GetECRDeviceName(8), "");
}

TEST(DriverError, CarriesCodeAndText) {
    const EDriverError e(E_INVALIDVALUE);
    EXPECT_EQ(e.ErrorCode(), -6);
    EXPECT_STREQ(e.what(), "Недопустимое значение");
}

}  // namespace
