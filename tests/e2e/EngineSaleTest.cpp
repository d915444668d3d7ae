// A whole sale played by the emulated register and answered by the engine as a back-office client would.
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/commands/CommandFactory.h"
#include "driver/engine/untEcrDrv.h"
#include "support/EmuFixture.h"
#include "tools/emulator/EmuScript.h"

namespace {

// What the client answers to one opcode: the properties it sets, and how the register must read them.
struct ClientAnswer {
    std::uint8_t opcode;
    std::function<void(TEcrDrv&)> set;
    EmuFieldList expected;
};

const std::vector<ClientAnswer>& ClientAnswers() {
    static const std::vector<ClientAnswer> answers = {
        {0x81,
         [](TEcrDrv& e) {
             e.Text = "Хлеб \"Бородинский\"";
             e.Price = 459000;
             e.Section = 2;
             e.Tax1 = 1;
             e.Tax2 = 0;
             e.Tax3 = 3;
             e.Tax4 = 0;
         },
         {{"Text", "\"Хлеб \\\"Бородинский\\\"\""},
          {"Price", "45.90"},
          {"Section", "2"},
          {"Tax1", "1"},
          {"Tax2", "0"},
          {"Tax3", "3"},
          {"Tax4", "0"}}},
        {0x82,
         [](TEcrDrv& e) {
             e.BarcodeType = 1;
             e.Text = "Сыр российский, весовой, очень длинное название товара";
             e.Price = 6120000;
             e.Section = 1;
             e.Tax1 = 2;
             e.Tax2 = 0;
             e.Tax3 = 0;
             e.Tax4 = 4;
             e.BarcodeWeight = 0.75;
         },
         // the name is cut at forty characters
         {{"BarcodeType", "1"},
          {"Text", "\"Сыр российский, весовой, очень длинное н\""},
          {"Price", "612.00"},
          {"Section", "1"},
          {"Tax1", "2"},
          {"Tax2", "0"},
          {"Tax3", "0"},
          {"Tax4", "4"},
          {"BarcodeWeight", "0.750"}}},
        {0x84,
         [](TEcrDrv& e) {
             e.Text = "Скидка по коду 7";
             e.Summ = 50000;
         },
         {{"Text", "\"Скидка по коду 7\""}, {"Summ", "5.00"}}},
        {0x85,
         [](TEcrDrv& e) {
             e.Text = "Дисконтная карта";
             e.Summ = 45150;
         },
         // money travels in hundredths, the half rounded up
         {{"Text", "\"Дисконтная карта\""}, {"Summ", "4.52"}}},
        {0x86,
         [](TEcrDrv& e) {
             e.Text = "";
             e.Summ = 0;
         },
         {{"Text", "\"\""}, {"Summ", "0.00"}}},
        {0x88,
         [](TEcrDrv& e) {
             e.PayType = 2;
             e.Summ = 503000;
         },
         {{"PayType", "2"}, {"Summ", "50.30"}}},
        {0x90,
         [](TEcrDrv& e) {
             e.TaxSumm1 = 15000;
             e.TaxSumm2 = 0;
             e.TaxSumm3 = 1234500;
             e.TaxSumm4 = 100;
         },
         {{"TaxSumm1", "1.50"}, {"TaxSumm2", "0.00"}, {"TaxSumm3", "123.45"}, {"TaxSumm4", "0.01"}}},
    };
    return answers;
}

// Opcodes without answer data are answered with the result byte alone.
const ClientAnswer& AnswerFor(std::uint8_t opcode) {
    static const ClientAnswer none{0, [](TEcrDrv&) {}, {}};
    for (const ClientAnswer& a : ClientAnswers()) {
        if (a.opcode == opcode) return a;
    }
    return none;
}

// The answer block the register must receive: the expected fields through the class's own encoder.
Bytes ExpectedAnswerData(std::uint8_t opcode) {
    auto probe = CreateCommand(opcode);
    for (const auto& [name, value] : AnswerFor(opcode).expected) SetAnswerField(*probe, name, value);
    return probe->EncodeAnswer();
}

class EngineSale : public tessel_test::EmuEngineTest {
  protected:
    // Answers the announced command `id` as a client: reads the request, checks it against `step`, sets
    // the answer properties and sends the answer. `first`: the first request of the register.
    void AnswerAsClient(std::int32_t id, const EmuScriptStep& step, bool first) {
        TEcrDrv& e = *engine_;
        e.CommandID = id;
        ASSERT_EQ(e.GetCommandParams(), 0) << e.ResultDescription;
        ASSERT_EQ(e.Holder().Code, step.Opcode()) << "line " << step.line;
        ASSERT_TRUE(e.Holder().IsRequest());
        EXPECT_TRUE(e.Holder().ExecuteFlag) << "line " << step.line;
        // The first request of fresh counters repeats them exactly, so it is a rollback as well.
        EXPECT_EQ(e.Holder().RollbackFlag, step.rollback || first) << "line " << step.line;
        // Every request property the script set, read back through the class's own view of the record.
        auto view = CreateCommand(step.Opcode());
        view->LoadFromDriver(e);
        EXPECT_EQ(RequestFields(*view), RequestFields(*step.request)) << "line " << step.line;

        AnswerFor(step.Opcode()).set(e);
        ASSERT_EQ(SendAnswer(), 0) << e.ResultDescription;
        EXPECT_EQ(e.DeleteCommand(), 0);
    }
};

TEST_F(EngineSale, EngineAnswersTheWholeExampleSale) {
    const EmuScript script = EmuScript::Parse(EmuScript::ExampleText());
    const std::vector<EmuScriptStep>& steps = script.Steps();

    // The register's side checks each answer as it arrives.
    std::mutex mutex;
    std::vector<std::string> described;
    bool allAnswered = false;
    std::jthread reg([&] {
        allAnswered =
            RunScript(*line_, script, 3000, [&](const EmuScriptStep& step, const EmuStepOutcome& out) {
                std::lock_guard lock(mutex);
                described.push_back(DescribeOutcome(step, out));
                ASSERT_NE(out.answer, nullptr) << described.back();
                const TCommand& answer = *out.answer;
                EXPECT_EQ(answer.ResultCode, 0) << described.back();
                EXPECT_EQ(answer.Code, step.Opcode());
                EXPECT_EQ(answer.SrcAddress, 1) << "from the computer";
                EXPECT_EQ(answer.DstAddress, step.address);
                EXPECT_EQ(answer.Data, ExpectedAnswerData(step.Opcode())) << described.back();
                EXPECT_EQ(AnswerFields(answer), AnswerFor(step.Opcode()).expected) << described.back();
            });
    });

    for (std::size_t i = 0; i < steps.size(); ++i) {
        ASSERT_TRUE(PumpUntil(i + 1, 5000)) << "no request from line " << steps[i].line;
        AnswerAsClient(announced_[i], steps[i], i == 0);
        if (HasFatalFailure()) return;
    }
    reg.join();
    EXPECT_TRUE(allAnswered);
    EXPECT_EQ(described.size(), steps.size());
    EXPECT_EQ(announced_.size(), steps.size()) << "nothing was announced twice";
    EXPECT_EQ(engine_->Received().Count(), 0u);

    // The last request closed the shift: its clock reached the date and time properties.
    EXPECT_EQ(engine_->Holder().Code, 0x52);
    EXPECT_EQ(engine_->GetECRDateStr(), "09.02.2024");
    EXPECT_EQ(engine_->GetECRTimeStr(), "20:05:00");
    EXPECT_EQ(engine_->Summ, 2803000);
    EXPECT_EQ(engine_->OperationNumber, 3);
}

TEST_F(EngineSale, RunnerReportsTheAnswersAndStopsWhereNoneCame) {
    // 81h is answered with data; the next request gets no answer and the script ends there.
    const EmuScript script = EmuScript::Parse("register 2\n81 Code=123 Quantity=2\n80 Price=1\n83 Summ=1\n");
    std::string text;
    std::jthread reg([&] { text = RunScriptText(*line_, script, 1500); });
    ASSERT_TRUE(PumpUntil(1, 5000));
    AnswerAsClient(announced_[0], script.Steps()[0], true);
    ASSERT_TRUE(PumpUntil(2, 5000));
    reg.join();
    EXPECT_EQ(text,
              "LINE 2 ADDR 2 OP 81h ANSWER 0 \"Ошибок нет\" Text=\"Хлеб \\\"Бородинский\\\"\" Price=45.90 "
              "Section=2 Tax1=1 Tax2=0 Tax3=3 Tax4=0\n"
              "LINE 3 ADDR 2 OP 80h NO ANSWER (time-out)\n");
}

}  // namespace
