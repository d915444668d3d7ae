// The 1C:Enterprise component as the platform meets it: the package's zip, the library for this system
// loaded alone, objects made and initialised in the platform's order, members reached by their Russian names
// as a configuration's script does, against the emulator program on a pseudo-terminal.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "native1c/NativeHost.h"
#include "support/EmulatorProgram.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace {

using native_host::ComponentLibrary;
using native_host::PlatformObject;
using native_host::ScriptError;
using native_host::TestConnection;
using native_host::TestMemory;
using native_host::Value;

// The register asks for goods by code 123, quantity 2.
const std::string kGoodsRequest = "send 2 81 01 00 D0 07 00 00 00 7B 00 00 00 00 01";

class NativeComponent : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<TempDir>();
        library_ = std::make_unique<ComponentLibrary>(TESSEL_1C_ZIP, folder_->Path());
    }
    // Unloads the library as the platform does at its end: no thread of the component may still run.
    static void TearDownTestSuite() {
        library_.reset();
        folder_.reset();
    }
    void SetUp() override {
        emulator_.emplace(tessel_test::kRegisterAt2);
        port_.emplace(tessel_test::PortVariable(1), emulator_->Path());
    }
    void TearDown() override {
        EXPECT_EQ(memory_.Live(), 0u) << "blocks the component gave the platform were not freed";
        EXPECT_EQ(memory_.Faults(), std::vector<std::string>{});
    }

    std::unique_ptr<PlatformObject> NewObject() {
        return std::make_unique<PlatformObject>(*library_, memory_);
    }

    static void OpenPort(PlatformObject& driver) {
        driver.Set("НомерПорта", Value::Number(1));
        driver.Set("Бензиновая", Value::Flag(true));  // a pseudo-terminal has no modem lines to pace
        driver.Set("Таймаут", Value::Number(500));
        driver.Set("ПортОткрыт", Value::Flag(true));
        ASSERT_EQ(driver.Get("Результат").number, 0) << driver.Get("ОписаниеРезультата").text;
    }

    // What a configuration's external event handler does with a request for goods: reads it, answers it
    // with the goods' name, price, section and taxes, and forgets it unless told to keep it.
    static void AnswerGoods(PlatformObject& driver, const TestConnection::Event& event, bool forget = true) {
        ASSERT_EQ(event.source, "ДрайверККМ");
        ASSERT_EQ(event.message, "ИдентификаторКоманды");
        driver.Set("НомерКоманды", Value::Number(std::stol(event.data)));
        ASSERT_EQ(driver.Call("ПолучитьПараметрыКоманды").number, 0);
        EXPECT_EQ(driver.Get("КодКоманды").number, 0x81);
        EXPECT_EQ(driver.Get("Код").text, "123");
        EXPECT_EQ(driver.Get("Количество").real, 2.0);
        driver.Set("Текст", Value::Text("Молоко"));
        driver.Set("Цена", Value::Real(45.50));
        driver.Set("Секция", Value::Number(3));
        driver.Set("Налог1", Value::Number(1));
        for (const char* none : {"Налог2", "Налог3", "Налог4"}) driver.Set(none, Value::Number(0));
        driver.Set("ТипКоманды", Value::Number(1));
        driver.Set("АдресПриемника", driver.Get("АдресИсточника"));
        driver.Set("АдресИсточника", driver.Get("АдресПК"));
        driver.Set("КодОшибкиКоманды", Value::Number(0));
        ASSERT_EQ(driver.Call("ПередатьКоманду").number, 0) << driver.Get("ОписаниеРезультата").text;
        if (forget) {
            ASSERT_EQ(driver.Call("УдалитьКоманду").number, 0);
        }
    }

    // The emulator's report of the answer it got: the name in Windows-1251 (40 bytes, blank-filled), 45.50 in
    // hundredths,
    // section 3, the first tax.
    static void ExpectGoodsAnswer(const std::string& line) {
        EXPECT_TRUE(line.starts_with("ANSWER 0 \"Ошибок нет\" DATA CC EE EB EE EA EE 20")) << line;
        EXPECT_TRUE(line.ends_with("C6 11 00 00 00 03 01 00 00 00")) << line;
    }

    static inline std::unique_ptr<TempDir> folder_;
    static inline std::unique_ptr<ComponentLibrary> library_;
    TestMemory memory_;
    std::optional<tessel_test::EmulatorProgram> emulator_;
    std::optional<tessel_test::ScopedEnv> port_;
};

TEST_F(NativeComponent, TourByRussianNames) {
    EXPECT_EQ(library_->ClassNames(), std::vector<std::string>{"TesselDriver"});
    const auto driver = NewObject();
    EXPECT_EQ(driver->Extension(), "TesselDriver");
    EXPECT_EQ(driver->Version(), 2000);
    EXPECT_GE(driver->Connection().GetEventBufferDepth(), 100)
        << "the buffer of one event would lose requests";
    // Either name in any case finds the one method; its names come back in both languages.
    IComponentBase& object = driver->Object();
    const long index = object.FindMethod(u"получитьсостояниеККМ");
    ASSERT_GE(index, 0);
    EXPECT_EQ(object.FindMethod(u"GetECRStatus"), index);
    EXPECT_EQ(driver->Take(object.GetMethodName(index, 0)), "GetECRStatus");
    EXPECT_EQ(driver->Take(object.GetMethodName(index, 1)), "ПолучитьСостояниеККМ");

    OpenPort(*driver);
    EXPECT_EQ(driver->Get("ПортОткрыт").vt, VTYPE_BOOL);
    EXPECT_TRUE(driver->Get("ПортОткрыт").flag);
    EXPECT_EQ(driver->Call("ПолучитьСостояниеККМ").number, 0);
    EXPECT_EQ(driver->Get("ОписаниеРезультата").text, "Ошибок нет");
    EXPECT_EQ(driver->Get("РежимККМ").vt, VTYPE_I4);

    // Money keeps four decimals and takes whole numbers; dates go both ways as calendar parts.
    driver->Set("Сумма", Value::Real(1234.5678));
    EXPECT_EQ(driver->Get("Сумма").real, 1234.5678);
    driver->Set("Цена", Value::Number(7));
    EXPECT_EQ(driver->Get("Цена").vt, VTYPE_R8);
    EXPECT_EQ(driver->Get("Цена").real, 7.0);
    driver->Set("ДатаККМ", Value::Date(2024, 2, 29));
    EXPECT_EQ(driver->Get("ДеньККМ").number, 29);
    EXPECT_EQ(driver->Get("ГодККМ").number, 24);
    const Value date = driver->Get("ДатаККМ");
    ASSERT_EQ(date.vt, VTYPE_TM);
    EXPECT_EQ(date.date.tm_year + 1900, 2024);
    EXPECT_EQ(date.date.tm_mon + 1, 2);
    EXPECT_EQ(date.date.tm_mday, 29);

    // The register asks; the platform hears it on the component's thread and the configuration answers.
    emulator_->Process().Write(kGoodsRequest + "\n");
    const TestConnection::Event event = driver->Connection().NextEvent();
    EXPECT_NE(event.thread, std::this_thread::get_id());
    AnswerGoods(*driver, event);
    ExpectGoodsAnswer(emulator_->Process().ReadLine().value_or("(no answer)"));
    EXPECT_EQ(driver->Connection().Queued(), 0u) << "one request, one event";
    EXPECT_TRUE(driver->Connection().Errors().empty());
}

TEST_F(NativeComponent, ObjectsShareOneDriverWhichEndsWithTheLast) {
    long kept = 0;
    {
        const auto first = NewObject();
        OpenPort(*first);
        const auto second = NewObject();
        EXPECT_TRUE(second->Get("ПортОткрыт").flag) << "the second object joins the open port";

        emulator_->Process().Write(kGoodsRequest + "\n");
        const TestConnection::Event heard = first->Connection().NextEvent();
        EXPECT_EQ(second->Connection().NextEvent().data, heard.data) << "every object hears each request";
        AnswerGoods(*second, heard, false);
        ExpectGoodsAnswer(emulator_->Process().ReadLine().value_or("(no answer)"));
        kept = std::stol(heard.data);
    }
    // A new object after the last: a new engine, without the old one's received commands, on the settings
    // the old one saved (its port open again).
    const auto again = NewObject();
    again->Set("НомерКоманды", Value::Number(kept));
    EXPECT_EQ(again->Call("ПолучитьПараметрыКоманды").number, -16);
    EXPECT_EQ(again->Get("Таймаут").number, 500);
    EXPECT_TRUE(again->Get("ПортОткрыт").flag);
    EXPECT_EQ(again->Call("Гудок").number, 0);
}

// What a script does wrong, and the error it sees.
struct Misuse {
    const char* name;
    void (*act)(PlatformObject&);
    const char* raised;
    bool byComponent;  // told through AddError (else the platform refuses by itself)
};
void PrintTo(const Misuse& m, std::ostream* os) {
    *os << m.name;
}
class NativeComponentMisuse : public NativeComponent, public ::testing::WithParamInterface<Misuse> {};

TEST_P(NativeComponentMisuse, RaisesInTheScriptAndLeavesTheObjectUsable) {
    const Misuse& m = GetParam();
    const auto driver = NewObject();
    try {
        m.act(*driver);
        ADD_FAILURE() << "nothing was raised";
    } catch (const ScriptError& error) {
        EXPECT_EQ(std::string(error.what()), m.raised);
    }
    const std::vector<TestConnection::Error> errors = driver->Connection().Errors();
    ASSERT_EQ(errors.size(), m.byComponent ? 1u : 0u);
    if (m.byComponent) {
        EXPECT_EQ(errors[0].code, ADDIN_E_FAIL);
        EXPECT_EQ(errors[0].source, "Драйвер ККМ");
        EXPECT_NE(errors[0].scode, 0) << "a zero code would not raise the error in the script";
    }
    // A driver failure is no script error: it stays in the result code.
    const tessel_test::ScopedEnv nowhere(tessel_test::PortVariable(2), folder_->File("no-port"));
    driver->Set("НомерПорта", Value::Number(2));
    const long result = driver->Call("Гудок").number;
    EXPECT_LT(result, 0);
    EXPECT_EQ(driver->Get("Результат").number, result);
    EXPECT_EQ(driver->Connection().Errors().size(), errors.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NativeComponentMisuse,
    ::testing::Values(
        Misuse{"UnknownMethod", [](PlatformObject& d) { d.Call("НапечататьЧек"); },
               "Метод объекта не обнаружен (НапечататьЧек)", false},
        Misuse{"UnknownProperty", [](PlatformObject& d) { d.Get("Цвет"); },
               "Поле объекта не обнаружено (Цвет)", false},
        Misuse{"ReadOnlyProperty", [](PlatformObject& d) { d.Set("Результат", Value::Number(0)); },
               "Поле объекта недоступно для записи (Результат)", false},
        Misuse{"TextForANumber", [](PlatformObject& d) { d.Set("Таймаут", Value::Text("долго")); },
               "Значение не подходит для свойства Таймаут", true},
        Misuse{"NoSuchDay", [](PlatformObject& d) { d.Set("ДатаККМ", Value::Date(2023, 2, 29)); },
               "Значение не подходит для свойства ДатаККМ", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
