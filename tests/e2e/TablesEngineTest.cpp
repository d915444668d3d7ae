// The table transfer engine through a real automation object against the register emulator: the structure,
// the cache, export and import that restore the register's tables, abort, and the driver's events flowing
// while the engine's worker runs. The test's thread owns the object and waits in the progress window's modal
// wait, as the tables dialog's thread does.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <initializer_list>
#include <optional>
#include <string>
#include <thread>

#include "common/com/ComPtr.h"
#include "driver/automation/oleMain.h"
#include "driver/tables/untECR.h"
#include "support/ComSinks.h"
#include "support/EmuFixture.h"
#include "support/TempDir.h"

namespace {

using tessel::ComPtr;

constexpr std::uint8_t kRegister = 2;
constexpr std::uint8_t kGetTableStruct = 0x2D;
constexpr std::uint8_t kGetFieldStruct = 0x2E;
constexpr std::uint8_t kReadTable = 0x1F;
constexpr std::uint8_t kWriteTable = 0x1E;
// Cells and fields of the emulator's six tables.
constexpr int kCells = 6 + 60 + 16 + 8 + 8 + 6;
constexpr int kFields = 6 + 2 + 1 + 2 + 2 + 1;

class TablesEngineEmu : public ::testing::Test {
  protected:
    void SetUp() override {
        tessel_test::ForgetDriverSettings();
        driver_.Attach(tessel_test::NewEmuObject().Detach());
        ASSERT_EQ(driver_->put_DeviceEnabled(VARIANT_TRUE), S_OK);
    }

    void TearDown() override {
        ecr_.reset();
        driver_.Reset();
    }

    // A new engine whose progress window answers the abort question Yes and the error question No.
    TECR& NewEcr() {
        ecr_.reset();
        auto progress = std::make_unique<TConsoleProgress>([this](const std::string&) {
            if (abortAsked_) abortAsked_->set_value();
            abortAsked_.reset();
            return true;
        });
        progress_ = progress.get();
        ecr_ = std::make_unique<TECR>(driver_.Get(), std::move(progress));
        return *ecr_;
    }

    std::uint64_t Executions(std::uint8_t opcode) const { return line_->ExecutionCount(kRegister, opcode); }

    // Leaves only the tables with these numbers selected (every exchange takes the line's 100 ms quiet time,
    // so the shorter tests keep to a few small tables).
    static void SelectOnly(TTables& tables, std::initializer_list<int> numbers) {
        tables.ClearSelection();
        for (int n : numbers) tables.FindByNumber(n)->Selected = true;
    }

    tessel_test::ScopedEngineFactory engines_;
    TempDir files_;
    tessel_test::EmuPort line_{1, {kRegister}};
    ComPtr<ITesselDriver> driver_;
    TConsoleProgress* progress_ = nullptr;
    std::unique_ptr<TECR> ecr_;
    std::optional<std::promise<void>> abortAsked_;  // owner thread
};

TEST_F(TablesEngineEmu, ExportedTablesWrittenBackRestoreTheRegister) {
    TECR& ecr = NewEcr();
    ASSERT_TRUE(ecr.Open());
    ASSERT_EQ(ecr.Tables().Count(), 6);
    EXPECT_EQ(Executions(kGetTableStruct), 7u) << "the list ends at the answer 130 for table 7";
    EXPECT_EQ(ecr.Tables().Items(1).Name, "Кассиры и администраторы");
    EXPECT_EQ(ecr.Tables().Items(1).RowCount, 30);

    ASSERT_TRUE(ecr.ReadSelected());
    EXPECT_EQ(Executions(kReadTable), static_cast<std::uint64_t>(kCells));
    EXPECT_EQ(ecr.Tables().Items(1).Fields().Find(2, 29)->Value(), "Администратор");
    EXPECT_EQ(ecr.Tables().Items(0).Fields().Find(3, 1)->Value(), "12345");
    EXPECT_EQ(ecr.Tables().Items(4).Fields().Find(1, 4)->Value(), "Платёжной картой");
    const std::string file = files_.File("Таблицы.xch");
    ecr.Tables().SaveToFile(file);

    const EmuTables original = line_->Model(kRegister).tables;
    line_->UpdateModel(kRegister, [](EmuRegisterModel& m) {
        ASSERT_EQ(m.tables.Write(1, 1, 3, 0, "777"), kEmuTableOk);
        ASSERT_EQ(m.tables.Write(3, 16, 1, 1, "Другая секция"), kEmuTableOk);
        ASSERT_EQ(m.tables.Write(4, 1, 1, 0, "0"), kEmuTableOk);
        ASSERT_EQ(m.tables.Write(6, 2, 1, 1, "ЛИШНЯЯ СТРОКА"), kEmuTableOk);
    });
    ASSERT_FALSE(line_->Model(kRegister).tables == original);

    // A fresh engine, as a new tables dialog: the structure comes from the cache, the values from the file.
    TECR& again = NewEcr();
    ASSERT_TRUE(again.Open());
    again.Tables().LoadFromFile(file);
    for (int i = 0; i < again.Tables().Count(); ++i) EXPECT_TRUE(again.Tables().Items(i).Selected);
    // The user narrows the choice to the changed tables, as in the choice dialog.
    SelectOnly(again.Tables(), {1, 3, 4, 6});
    ASSERT_TRUE(again.WriteSelected());
    EXPECT_EQ(Executions(kWriteTable), 6u + 16u + 8u + 6u);
    EXPECT_EQ(Executions(kGetFieldStruct), static_cast<std::uint64_t>(kFields)) << "the cached structures";
    EXPECT_TRUE(line_->Model(kRegister).tables == original);
}

TEST_F(TablesEngineEmu, ACachedStructureIsReadWithoutAnyGetFieldStruct) {
    ASSERT_TRUE(NewEcr().Open());
    SelectOnly(ecr_->Tables(), {1});
    ASSERT_TRUE(ecr_->ReadSelected());
    EXPECT_EQ(Executions(kGetFieldStruct), 6u);
    EXPECT_EQ(ecr_->Tables().Items(0).FieldDefs().Items(2).Name, "Код организации");

    TECR& again = NewEcr();
    ASSERT_TRUE(again.Open());
    EXPECT_EQ(Executions(kGetTableStruct), 7u) << "the list came from the cache";
    SelectOnly(again.Tables(), {1});
    ASSERT_TRUE(again.ReadSelected());
    EXPECT_EQ(Executions(kGetFieldStruct), 6u);
    EXPECT_EQ(Executions(kReadTable), 2u * 6u);
    EXPECT_EQ(again.Tables().Items(0).Fields().Find(6, 1)->Value(), "10");
}

TEST_F(TablesEngineEmu, AbortStopsTheWorkerBeforeItsNextStep) {
    TECR& ecr = NewEcr();
    ASSERT_TRUE(ecr.Open());
    SelectOnly(ecr.Tables(), {1, 3});
    // "Прервать" pressed after the fourth cell of the second table; the worker goes on only once the
    // question is open.
    progress_->SetOnUpdate([this, pressed = false](const TConsoleProgress::TState& state) mutable {
        if (pressed || state.info[2] != "Полей всего: 16 прочитано: 4") return;
        pressed = true;
        std::future<void> asked = abortAsked_.emplace().get_future();
        progress_->PressAbort();
        EXPECT_EQ(asked.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    });
    EXPECT_FALSE(ecr.ReadSelected());
    ecr.WaitForWorker();
    EXPECT_TRUE(ecr.Aborted());
    EXPECT_EQ(Executions(kReadTable), 6u + 4u);
    EXPECT_EQ(ecr.Tables().FindByNumber(3)->Fields().Items(3).Value(), "Секция 4");
    EXPECT_EQ(ecr.Tables().FindByNumber(3)->Fields().Items(4).Value(), "");
}

TEST_F(TablesEngineEmu, TheDriversEventsFlowWhileTheWorkerRuns) {
    tessel_test::CommandSink sink;
    DWORD cookie = 0;
    ASSERT_EQ(tessel_test::Advise(driver_.Get(), DIID_IDriverEvents, &sink, &cookie), S_OK);

    TECR& ecr = NewEcr();
    ASSERT_TRUE(ecr.Open());
    SelectOnly(ecr.Tables(), {3});
    // Midway through the read the register sends a request of its own; the worker waits until the owner
    // thread, inside the modal wait, has raised the event.
    std::atomic<bool> delivered{false};
    std::jthread request;
    progress_->SetOnUpdate([&, sent = false](const TConsoleProgress::TState& state) mutable {
        if (sent || state.info[2].find("прочитано: 5") == std::string::npos) return;
        sent = true;
        request = std::jthread([this] { line_->SendRequest(kRegister, {0x80, 1, 2, 3}, 300); });
        delivered = sink.WaitFor(1, std::chrono::seconds(10));
    });
    ASSERT_TRUE(ecr.ReadSelected());
    request.join();
    EXPECT_TRUE(delivered);
    EXPECT_EQ(sink.Thread(), std::this_thread::get_id());
    EXPECT_EQ(tessel_test::Unadvise(driver_.Get(), DIID_IDriverEvents, cookie), S_OK);
}

}  // namespace
