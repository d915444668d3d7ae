// The table transfer engine against a scripted driver: structure and values, the cache, the error question,
// abort, and failures inside the worker.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/platform/Registry.h"
#include "driver/base/untError.h"
#include "driver/tables/untECR.h"
#include "tables/FakeDriver.h"

namespace {

namespace Id = TesselDispId;

const std::string kDevicePath = std::string(kTableDefsKey) + "\\A.21234";

std::vector<FakeTable> TwoTables() {
    return {
        {"Общие", {{"Номер ККМ", ftInt, 1, 1, 99}, {"Название", ftStr, 10, 0, 0}}, {{"1", "Магазин"}}},
        {"Кассиры",
         {{"Пароль", ftInt, 4, 0, 9999}, {"Имя", ftStr, 21, 0, 0}},
         {{"1", "Кассир 1"}, {"2", "Кассир 2"}, {"30", "Администратор"}}},
    };
}

class Ecr : public ::testing::Test {
  protected:
    void SetUp() override {
        tessel::Registry().DeleteKey(kTableDefsKey);
        driver_.tables = TwoTables();
        ecr_ = MakeEcr();
    }

    std::unique_ptr<TECR> MakeEcr() {
        auto progress = std::make_unique<TConsoleProgress>(
            [this](const std::string& text) {
                std::lock_guard lock(mutex_);
                abortQuestions_.push_back(text);
                if (abortAsked_) abortAsked_->set_value();
                abortAsked_.reset();
                return abortAnswer_;
            },
            [this](const std::string& text) {
                std::lock_guard lock(mutex_);
                errorQuestions_.push_back(text);
                return continueAnswer_;
            });
        progress_ = progress.get();
        return std::make_unique<TECR>(&driver_, std::move(progress));
    }

    // Presses "Прервать" while the driver carries out `method` for table `table`, and lets that step end only
    // once the abort question is open, so the worker's next step is the one that sees the answer.
    // `thenWait`, when given, is awaited at most `bound` after the question opened, before the step goes on.
    void AbortDuring(LONG method, LONG table, std::shared_future<void> thenWait = {},
                     std::chrono::milliseconds bound = std::chrono::milliseconds(0)) {
        driver_.beforeCall = [this, method, table, thenWait, bound,
                              fired = false](const FakeCall& call) mutable {
            if (fired || call.method != method || call.table != table) return;
            fired = true;
            std::future<void> asked;
            {
                std::lock_guard lock(mutex_);
                abortAsked_.emplace();
                asked = abortAsked_->get_future();
            }
            progress_->PressAbort();
            ASSERT_EQ(asked.wait_for(std::chrono::seconds(10)), std::future_status::ready);
            if (thenWait.valid()) thenWait.wait_for(bound);
        };
    }

    std::vector<std::string> ErrorQuestions() {
        std::lock_guard lock(mutex_);
        return errorQuestions_;
    }

    int CountCalls(const FakeCall& call) const {
        int n = 0;
        for (const FakeCall& c : driver_.Calls()) n += c == call ? 1 : 0;
        return n;
    }

    FakeDriver driver_;
    TConsoleProgress* progress_ = nullptr;
    std::unique_ptr<TECR> ecr_;

    std::mutex mutex_;
    bool abortAnswer_ = true;
    bool continueAnswer_ = false;
    std::vector<std::string> abortQuestions_;
    std::vector<std::string> errorQuestions_;
    std::optional<std::promise<void>> abortAsked_;
};

TEST_F(Ecr, OpenReadsTheStructureUntil130AndCachesIt) {
    ASSERT_TRUE(ecr_->Open());
    EXPECT_EQ(ecr_->DeviceIdText(), "A.2");
    EXPECT_EQ(ecr_->DeviceIdNumber(), 1234);
    EXPECT_EQ(ecr_->Tables().DeviceKey, "A.21234");
    ASSERT_EQ(ecr_->Tables().Count(), 2);
    EXPECT_EQ(ecr_->Tables().Items(1).Name, "Кассиры");
    EXPECT_EQ(ecr_->Tables().Items(1).RowCount, 3);
    EXPECT_EQ(ecr_->Tables().Items(1).FieldCount, 2);
    EXPECT_EQ(driver_.Count(Id::GetTableStruct), 3);
    EXPECT_EQ(progress_->State().caption, "Чтение структуры таблиц...");
    EXPECT_EQ(progress_->State().max, 10);
    EXPECT_EQ(progress_->State().info[0], "Прочитано таблиц: 2");
    EXPECT_TRUE(tessel::Registry().KeyExists(kDevicePath + "\\2"));

    // The next opening trusts the cache and asks the device for its status only.
    ecr_.reset();
    EXPECT_EQ(driver_.refs, 0);
    driver_.ClearCalls();
    ecr_ = MakeEcr();
    ASSERT_TRUE(ecr_->Open());
    EXPECT_EQ(ecr_->Tables().Count(), 2);
    ASSERT_EQ(driver_.Calls().size(), 1u);
    EXPECT_EQ(driver_.Calls()[0].method, Id::GetECRStatus);
}

TEST_F(Ecr, OpenRaisesTheDriverErrorOfGetECRStatus) {
    driver_.FailNext(Id::GetECRStatus, 2);
    try {
        ecr_->Open();
        FAIL() << "opened";
    } catch (const EDriverError& e) {
        EXPECT_EQ(e.ErrorCode(), 2);
        EXPECT_STREQ(e.what(), "Ошибка 2");
    }
    EXPECT_EQ(driver_.Count(Id::GetTableStruct), 0);
}

TEST_F(Ecr, ADeviceWithoutTablesEmptiesTheListAndTheCache) {
    ASSERT_TRUE(ecr_->Open());
    driver_.tables.clear();
    ASSERT_TRUE(ecr_->ReadStructure());
    EXPECT_EQ(ecr_->Tables().Count(), 0);
    EXPECT_FALSE(tessel::Registry().KeyExists(kDevicePath));

    driver_.ClearCalls();
    ecr_ = MakeEcr();
    ASSERT_TRUE(ecr_->Open());
    EXPECT_EQ(driver_.Count(Id::GetTableStruct), 1) << "no cache: the device is asked again";
}

TEST_F(Ecr, ReadSelectedReadsMissingStructuresOnceAndEveryValue) {
    ASSERT_TRUE(ecr_->Open());
    ASSERT_TRUE(ecr_->ReadSelected());
    EXPECT_EQ(driver_.Count(Id::GetFieldStruct), 4);
    EXPECT_EQ(driver_.Count(Id::ReadTable), 8);
    const TTable& cashiers = ecr_->Tables().Items(1);
    EXPECT_EQ(cashiers.Fields().Find(2, 3)->Value(), "Администратор");
    EXPECT_EQ(cashiers.Fields().Find(1, 3)->Value(), "30");
    ASSERT_TRUE(cashiers.StructureComplete());
    EXPECT_EQ(cashiers.FieldDefs().Items(0).MaxValue, 9999);
    EXPECT_EQ(cashiers.FieldDefs().Items(1).FieldType, ftStr);
    EXPECT_EQ(progress_->State().max, 8 + 4);

    // The structures are now cached: a new engine reads the values without any GetFieldStruct.
    driver_.ClearCalls();
    ecr_ = MakeEcr();
    ASSERT_TRUE(ecr_->Open());
    ASSERT_TRUE(ecr_->ReadSelected());
    EXPECT_EQ(driver_.Count(Id::GetFieldStruct), 0);
    EXPECT_EQ(driver_.Count(Id::GetTableStruct), 0);
    EXPECT_EQ(driver_.Count(Id::ReadTable), 8);
    EXPECT_EQ(progress_->State().max, 8);
}

TEST_F(Ecr, YesThreeTimesRepeatsTheSameCellThreeTimes) {
    ASSERT_TRUE(ecr_->Open());
    continueAnswer_ = true;
    driver_.FailNext(Id::ReadTable, 140, 3);
    TTable& cashiers = ecr_->Tables().Items(1);
    ASSERT_TRUE(ecr_->ReadTableData(cashiers));
    EXPECT_EQ(ecr_->CurrentTable(), &cashiers);
    EXPECT_EQ(CountCalls({Id::ReadTable, 2, 1, 1}), 4);
    EXPECT_EQ(CountCalls({Id::ReadTable, 2, 1, 2}), 1);
    EXPECT_EQ(ErrorQuestions(),
              std::vector<std::string>(3, "Ошибка: (140) Ошибка 140\r\nПродолжить выполнение ?"));
    EXPECT_EQ(progress_->State().caption, "Чтение данных таблицы...");
    EXPECT_EQ(progress_->State().info[2], "Полей всего: 6 прочитано: 6");
}

TEST_F(Ecr, NoEndsTheOperationWithFalse) {
    ASSERT_TRUE(ecr_->Open());
    driver_.FailNext(Id::ReadTable, 140, 1);
    TTable& cashiers = ecr_->Tables().Items(1);
    EXPECT_FALSE(ecr_->ReadTableData(cashiers));
    EXPECT_EQ(driver_.Count(Id::ReadTable), 1);
    EXPECT_EQ(ErrorQuestions().size(), 1u);

    driver_.FailNext(Id::GetFieldStruct, 132, 1);
    EXPECT_FALSE(ecr_->ReadFieldStructure(cashiers));
    EXPECT_EQ(cashiers.FieldDefs().Count(), 0);
}

TEST_F(Ecr, WriteSelectedWritesTheMarkedCellsAndSkipsInvalidNumbers) {
    ASSERT_TRUE(ecr_->Open());
    TTables& tables = ecr_->Tables();
    tables.Items(0).Selected = false;
    TTable& cashiers = tables.Items(1);
    const auto mark = [&](int field, int row, const std::string& value) {
        TField* cell = cashiers.Fields().Find(field, row);
        cell->SetValue(value);
        cell->Modified = true;
    };
    mark(1, 1, "1234");
    mark(2, 1, "Петров");
    mark(1, 2, "12ab");   // letters in a number
    mark(1, 3, "10000");  // beyond 9999
    ASSERT_TRUE(ecr_->WriteSelected());

    EXPECT_EQ(driver_.tables[1].rows[0], (std::vector<std::string>{"1234", "Петров"}));
    EXPECT_EQ(driver_.tables[1].rows[1][0], "2");
    EXPECT_EQ(driver_.tables[1].rows[2][0], "30");
    EXPECT_EQ(driver_.Count(Id::WriteTable), 2);
    EXPECT_EQ(driver_.Count(Id::GetFieldStruct), 2) << "the structure is read first";
    EXPECT_EQ(cashiers.Fields().Find(1, 2)->Value(), "12ab");
    EXPECT_FALSE(cashiers.Fields().Find(1, 2)->Modified);
    EXPECT_FALSE(cashiers.Fields().Find(1, 3)->Modified);
    EXPECT_TRUE(cashiers.Fields().Find(1, 1)->Modified) << "marks stay after a write";
    EXPECT_EQ(progress_->State().caption, "Запись таблиц...");
    EXPECT_EQ(progress_->State().max, 6);
    EXPECT_EQ(progress_->State().info[0], "Запись таблицы 'Кассиры'");
    EXPECT_EQ(progress_->State().info[2], "Полей всего: 6 записано: 6");
}

TEST_F(Ecr, AFailedWriteIsRepeatedOnYes) {
    ASSERT_TRUE(ecr_->Open());
    ecr_->Tables().Items(0).Selected = false;
    TField* cell = ecr_->Tables().Items(1).Fields().Find(2, 2);
    cell->SetValue("Сидоров");
    cell->Modified = true;
    continueAnswer_ = true;
    driver_.FailNext(Id::WriteTable, 35, 3);
    ASSERT_TRUE(ecr_->WriteSelected());
    EXPECT_EQ(CountCalls({Id::WriteTable, 2, 2, 2}), 4);
    EXPECT_EQ(driver_.tables[1].rows[1][1], "Сидоров");
    EXPECT_EQ(driver_.Long(Id::FieldType), ftStr);
}

TEST_F(Ecr, AbortDuringReadStructureKeepsWhatWasReadAndCachesNothing) {
    driver_.tables.push_back({"Третья", {{"Поле", ftInt, 1, 0, 1}}, {{"0"}}});
    AbortDuring(Id::GetTableStruct, 2);
    EXPECT_FALSE(ecr_->Open());
    ecr_->WaitForWorker();
    EXPECT_TRUE(ecr_->Aborted());
    EXPECT_EQ(abortQuestions_, std::vector<std::string>{"Прервать выполнение ?"});
    EXPECT_EQ(driver_.Count(Id::GetTableStruct), 2) << "the worker stops before its next step";
    EXPECT_EQ(ecr_->Tables().Count(), 2);
    EXPECT_FALSE(tessel::Registry().KeyExists(kDevicePath));

    // The next operation starts clean.
    driver_.beforeCall = nullptr;
    EXPECT_TRUE(ecr_->ReadStructure());
    EXPECT_FALSE(ecr_->Aborted());
    EXPECT_EQ(ecr_->Tables().Count(), 3);
}

TEST_F(Ecr, AnAbortedOperationReturnsOnlyOnceItsWorkerHasEnded) {
    ASSERT_TRUE(ecr_->Open());
    std::atomic<bool> returned{false};
    std::atomic<int> changesAfterReturn{0};
    for (int i = 0; i < ecr_->Tables().Count(); ++i) {
        ecr_->Tables().Items(i).OnChange = [&](TTable&) {
            if (returned) ++changesAfterReturn;
        };
    }
    // The read in progress when "Прервать" is answered ends only once the operation has returned, or after a
    // bound should the operation wait for it.
    std::promise<void> returnedSignal;
    AbortDuring(Id::ReadTable, 2, returnedSignal.get_future().share(), std::chrono::milliseconds(500));
    EXPECT_FALSE(ecr_->ReadSelected());
    returned = true;
    returnedSignal.set_value();
    const int callsAtReturn = driver_.Count(Id::ReadTable);
    ecr_->WaitForWorker();
    EXPECT_EQ(changesAfterReturn, 0) << "the worker stored a value after the model was handed back";
    EXPECT_EQ(driver_.Count(Id::ReadTable), callsAtReturn);
    EXPECT_EQ(ecr_->Tables().Items(1).Fields().Items(0).Value(), "1") << "the read in progress is kept";
    EXPECT_TRUE(ecr_->Tables().Items(1).Fields().Items(1).Value().empty()) << "no read after the abort";
}

TEST_F(Ecr, AbortedWriteStopsWithoutAskingAboutAFailedStep) {
    ASSERT_TRUE(ecr_->Open());
    ASSERT_TRUE(ecr_->ReadSelected());
    for (int i = 0; i < ecr_->Tables().Count(); ++i) {
        TFields& cells = ecr_->Tables().Items(i).Fields();
        for (int k = 0; k < cells.Count(); ++k) cells.Items(k).Modified = true;
    }
    driver_.ClearCalls();
    continueAnswer_ = true;
    driver_.FailNext(Id::WriteTable, 35, 1);
    AbortDuring(Id::WriteTable, 1);
    EXPECT_FALSE(ecr_->WriteSelected());
    ecr_->WaitForWorker();
    EXPECT_EQ(driver_.Count(Id::WriteTable), 1);
    EXPECT_TRUE(ErrorQuestions().empty());
}

TEST_F(Ecr, AFailingInterfaceCallEndsTheOperationWithFalse) {
    ASSERT_TRUE(ecr_->Open());
    driver_.BreakMethod(Id::ReadTable);
    EXPECT_FALSE(ecr_->ReadSelected());
    EXPECT_EQ(driver_.Count(Id::ReadTable), 1);
    driver_.BreakMethod(Id::GetTableStruct);
    EXPECT_FALSE(ecr_->ReadStructure());
}

TEST_F(Ecr, ImpossibleStructuresAndForeignTables) {
    driver_.tables[1].rows.resize(70000, {"0", ""});  // more rows than the register can report
    EXPECT_FALSE(ecr_->Open());
    EXPECT_FALSE(tessel::Registry().KeyExists(kDevicePath));

    TTables foreign;
    TTable& table = foreign.Add("Чужая", 1, 1, 1);
    EXPECT_FALSE(ecr_->ReadTableData(table));
    EXPECT_FALSE(ecr_->ReadFieldStructure(table));
    EXPECT_EQ(driver_.Count(Id::ReadTable), 0);
}

// A register that claims more cells than any has: the list is not taken, and the reason can be shown.
TEST_F(Ecr, AStructureBeyondTheDevicesTotalIsRefusedWithItsReason) {
    driver_.tables.assign(2, FakeTable{"Огромная", std::vector<FakeField>(kMaxTableFields),
                                       std::vector<std::vector<std::string>>(kMaxTableRows)});
    EXPECT_FALSE(ecr_->Open());
    EXPECT_EQ(ecr_->Tables().Count(), 0);
    EXPECT_NE(ecr_->LastError().find("Слишком большая структура таблиц ККМ"), std::string::npos)
        << ecr_->LastError();
    EXPECT_FALSE(tessel::Registry().KeyExists(kDevicePath));
}

TEST_F(Ecr, TableNumbersStopAtTheLastOneAByteCarries) {
    driver_.tables.assign(300, FakeTable{"Т", {}, {}});
    ASSERT_TRUE(ecr_->ReadStructure());
    EXPECT_EQ(ecr_->Tables().Count(), 255);
    EXPECT_EQ(driver_.Count(Id::GetTableStruct), 255);
}

TEST_F(Ecr, TablesWithoutCellsNeedNoDeviceSteps) {
    driver_.tables = {{"Без рядов", {{"Поле", ftInt, 1, 0, 1}}, {}}, {"Без полей", {}, {{}, {}}}};
    ASSERT_TRUE(ecr_->Open());
    ASSERT_TRUE(ecr_->ReadSelected());
    ASSERT_TRUE(ecr_->WriteSelected());
    EXPECT_EQ(driver_.Count(Id::ReadTable), 0);
    EXPECT_EQ(driver_.Count(Id::WriteTable), 0);
    EXPECT_EQ(driver_.Count(Id::GetFieldStruct), 1);
}

}  // namespace
