// What the status, service and log dialogs do, over views that record what they are told, against the
// driver in process and an emulated register behind a driver interface that records and fails calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "driver/base/untDateTime.h"
#include "driver/forms/LogForm.h"
#include "driver/forms/ServiceForm.h"
#include "driver/forms/StatusForm.h"
#include "support/EmuFixture.h"
#include "support/ForwardingDriver.h"
#include "support/TempDir.h"

namespace tessel_test {
namespace {

namespace Id = TesselDispId;

// A view that records how the form used the dialog's buttons and error box.
template <typename View>
class Recording : public View {
  public:
    std::vector<bool> busy;
    std::vector<std::string> errors;
    void SetBusy(bool value) override { busy.push_back(value); }
    void ShowError(const std::string& text) override { errors.push_back(text); }
};

// Marks what went through it, so that a line shows which formatter made it.
class MarkingFormat : public IDateTimeFormat {
  public:
    std::string DateText(TDateTime value) const override { return "D" + DateToStr(value); }
    std::string TimeText(TDateTime value) const override { return "T" + TimeToStr(value); }
};

class StatusView : public Recording<IStatusView> {
  public:
    std::vector<std::string> lines{"a line from before"};
    void ClearLines() override { lines.clear(); }
    void AddLine(const std::string& line) override { lines.push_back(line); }
    const IDateTimeFormat& DateTimeFormat() const override { return format_; }

  private:
    MarkingFormat format_;
};

class ServiceView : public Recording<IServiceView> {
  public:
    TDateTime shownDate = -1, shownTime = -1, pickedDate = 0, pickedTime = 0;
    int timerMs = -1;  // -1: stopped
    void ShowDate(TDateTime value) override { shownDate = value; }
    void ShowTime(TDateTime value) override { shownTime = value; }
    TDateTime PickedDate() const override { return pickedDate; }
    TDateTime PickedTime() const override { return pickedTime; }
    void StartClockTimer(int ms) override { timerMs = ms; }
    void StopClockTimer() override { timerMs = -1; }
    LONG WindowHandle() const override { return 0x5A17; }
};

class LogView : public Recording<ILogView> {
  public:
    bool enabled = false, focused = false;
    std::string name;
    std::optional<std::string> answer;  // what the file dialog gives
    std::string askedFilter, askedStart;
    void ShowLogEnabled(bool value) override { enabled = value; }
    void ShowFileName(const std::string& value) override { name = value; }
    bool LogEnabled() const override { return enabled; }
    std::string FileName() const override { return name; }
    std::optional<std::string> AskFileName(const std::string& filter, const std::string& start) override {
        askedFilter = filter;
        askedStart = start;
        return answer;
    }
    void FocusFileName() override { focused = true; }
};

TDateTime Date(int year, int month, int day) {
    TDateTime value = 0;
    EXPECT_TRUE(TryEncodeDate(year, month, day, value));
    return value;
}

TDateTime Time(int hour, int minute, int second) {
    TDateTime value = 0;
    EXPECT_TRUE(TryEncodeTime(hour, minute, second, value));
    return value;
}

// A reading of the forms' clock.
std::int64_t ClockAt(TDateTime date, TDateTime time, int ms = 0) {
    return std::llround((date + time) * 86400.0) * 1000 + ms;
}

// An automation object on COM1 against one emulated register at address 2, reached through a driver
// interface that records and fails calls.
class ServiceFormsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ForgetDriverSettings();
        object_.Attach(NewEmuObject().Detach());
        ASSERT_EQ(object_->put_DeviceEnabled(VARIANT_TRUE), S_OK);
        forward_ = std::make_unique<ForwardingDriver>(object_);
        calls_ = std::make_unique<TDriverCalls>(forward_.get());
    }
    void TearDown() override {
        calls_.reset();
        forward_.reset();
        object_.Reset();
    }

    // The register's clock as GetECRStatus reads it.
    std::pair<TDateTime, TDateTime> RegisterClock() {
        EXPECT_EQ(calls_->Call(&ITesselDriver::GetECRStatus), 0);
        return {calls_->Get(&ITesselDriver::get_ECRDate), calls_->Get(&ITesselDriver::get_ECRTime)};
    }

    ScopedEngineFactory engines_;
    EmuPort line_{1, {2}};
    tessel::ComPtr<ITesselDriver> object_;
    std::unique_ptr<ForwardingDriver> forward_;
    std::unique_ptr<TDriverCalls> calls_;
};

// Where " : " starts, in characters.
std::ptrdiff_t ColonColumn(const std::string& line) {
    const std::string head = line.substr(0, line.find(" : "));
    return std::ranges::count_if(head, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
}

struct StatusCase {
    void (TStatusForm::*button)();
    std::vector<LONG> methods;
    const char* first;
    const char* last;
    const char* dateLine;  // a line the view's formatter made, or none
};

void PrintTo(const StatusCase& c, std::ostream* os) {
    *os << c.first;
}

class StatusFormTest : public ServiceFormsTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusFormTest, LinesLineUpAfterTheCheckedCalls) {
    line_->UpdateModel(2, [](EmuRegisterModel& m) {
        m.clock = EmuDateTime{15, 3, 24, 9, 5, 7};
        m.eklzNumber = 1234567890;
    });
    StatusView view;
    TStatusForm form(*calls_, view);
    (form.*GetParam().button)();
    EXPECT_EQ(forward_->Trail(), GetParam().methods);
    EXPECT_TRUE(view.errors.empty());
    EXPECT_EQ(view.busy, (std::vector<bool>{true, false}));
    ASSERT_EQ(view.lines.size(), 11u);
    EXPECT_EQ(view.lines.front(), GetParam().first);
    EXPECT_EQ(view.lines.back(), GetParam().last);
    for (const std::string& line : view.lines)
        EXPECT_EQ(ColonColumn(line), ColonColumn(view.lines[0])) << line;
    if (GetParam().dateLine != nullptr) {
        EXPECT_NE(std::ranges::count(view.lines, GetParam().dateLine), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Buttons, StatusFormTest,
                         ::testing::Values(
                             // The software date is midnight: the date alone.
                             StatusCase{&TStatusForm::ECRStatus,
                                        {Id::GetECRStatus, Id::GetDeviceMetrics},
                                        "Номер оператора : 1",
                                        "Время ККМ       : T09:05:07",
                                        "Дата ПО ККМ     : D01.06.2005"},
                             StatusCase{&TStatusForm::FMStatus,
                                        {Id::GetFMStatus},
                                        "Версия ПО ФП               : 1.02",
                                        "Регистрационный номер ЭКЛЗ : 1234567890",
                                        nullptr}));

struct StatusFailure {
    LONG failing;
    void (TStatusForm::*button)();
    std::vector<LONG> methods;
};

void PrintTo(const StatusFailure& c, std::ostream* os) {
    *os << "method " << c.failing;
}

class StatusFailureTest : public ServiceFormsTest, public ::testing::WithParamInterface<StatusFailure> {};

TEST_P(StatusFailureTest, StopsWithTheTextEmptyAndTheErrorShown) {
    forward_->FailMethod(GetParam().failing, -3, "Нет связи");
    StatusView view;
    TStatusForm form(*calls_, view);
    (form.*GetParam().button)();
    EXPECT_EQ(forward_->Trail(), GetParam().methods);
    EXPECT_TRUE(view.lines.empty());
    EXPECT_EQ(view.errors, std::vector<std::string>{"Нет связи"});
    EXPECT_EQ(view.busy, (std::vector<bool>{true, false}));
}

INSTANTIATE_TEST_SUITE_P(
    Calls, StatusFailureTest,
    ::testing::Values(StatusFailure{Id::GetECRStatus, &TStatusForm::ECRStatus, {Id::GetECRStatus}},
                      StatusFailure{Id::GetDeviceMetrics,
                                    &TStatusForm::ECRStatus,
                                    {Id::GetECRStatus, Id::GetDeviceMetrics}},
                      StatusFailure{Id::GetFMStatus, &TStatusForm::FMStatus, {Id::GetFMStatus}}));

// The pickers follow the clock, each until the user edits it; the buttons send what follows or was edited.
TEST_F(ServiceFormsTest, PickersFollowTheClockUntilEdited) {
    std::int64_t now = ClockAt(Date(2025, 12, 31), Time(23, 58, 1), 250);
    ServiceView view;
    TServiceForm form(*calls_, view, [&] { return now; });
    form.Open();
    EXPECT_EQ(view.shownDate, Date(2025, 12, 31));
    EXPECT_DOUBLE_EQ(view.shownTime, Time(23, 58, 1));
    EXPECT_EQ(view.timerMs, 750);

    now += 2000;
    form.ClockTick();
    EXPECT_DOUBLE_EQ(view.shownTime, Time(23, 58, 3));
    form.SetDate();
    form.TimeEdited();
    view.pickedTime = Time(7, 6, 5);
    now += 1000;
    form.ClockTick();
    EXPECT_DOUBLE_EQ(view.shownTime, Time(23, 58, 3));
    EXPECT_EQ(view.timerMs, 750);
    form.SetTime();
    form.DateEdited();
    EXPECT_EQ(view.timerMs, -1);

    EXPECT_TRUE(view.errors.empty());
    EXPECT_EQ(view.busy, (std::vector<bool>{true, false, true, false}));
    const auto [date, time] = RegisterClock();
    EXPECT_EQ(date, Date(2025, 12, 31));
    int hour = 0, minute = 0, second = 0;
    ASSERT_TRUE(DecodeTime(time, hour, minute, second));
    EXPECT_EQ(hour * 60 + minute, 7 * 60 + 6);
}

TEST_F(ServiceFormsTest, FromEcrFollowsTheRegisterAndFromPcTheComputerWithoutAWord) {
    line_->UpdateModel(2, [](EmuRegisterModel& m) { m.clock = EmuDateTime{15, 3, 24, 9, 5, 7}; });
    std::int64_t now = ClockAt(Date(2026, 1, 2), Time(12, 0, 0), 400);
    ServiceView view;
    TServiceForm form(*calls_, view, [&] { return now; });
    form.Open();
    form.DateEdited();
    form.FromECR();
    EXPECT_EQ(view.shownDate, Date(2024, 3, 15));
    EXPECT_DOUBLE_EQ(view.shownTime, Time(9, 5, 7));
    now += 1700;
    form.ClockTick();
    EXPECT_DOUBLE_EQ(view.shownTime, Time(9, 5, 8));

    const auto answers = line_->AnswerCount();
    form.FromPC();
    EXPECT_EQ(line_->AnswerCount(), answers);
    EXPECT_EQ(view.shownDate, Date(2026, 1, 2));
    EXPECT_DOUBLE_EQ(view.shownTime, Time(12, 0, 2));
    EXPECT_TRUE(view.errors.empty());
}

class InitTablesFormTest : public ServiceFormsTest, public ::testing::WithParamInterface<bool> {};

TEST_P(InitTablesFormTest, RunsWithItsTimeoutAndPutsTheOldOneBack) {
    const bool fails = GetParam();
    if (fails) forward_->FailMethod(Id::InitTables, -1, "Нет связи");
    calls_->Put(&ITesselDriver::put_Timeout, 700);
    LONG during = 0;
    forward_->beforeMethod = [&](LONG id) {
        if (id == Id::InitTables) object_->get_Timeout(&during);
    };
    ServiceView view;
    TServiceForm form(*calls_, view);
    form.InitTables();
    EXPECT_EQ(during, 30000);
    EXPECT_EQ(calls_->Get(&ITesselDriver::get_Timeout), 700);
    EXPECT_EQ(view.errors, fails ? std::vector<std::string>{"Нет связи"} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Device, InitTablesFormTest, ::testing::Bool());

TEST_F(ServiceFormsTest, StatusDialogIsOwnedByTheServiceWindowWhileItIsOpen) {
    forward_->FailMethod(Id::ShowStatusDlg, 0, "");
    LONG during = 0;
    forward_->beforeMethod = [&](LONG id) {
        if (id == Id::ShowStatusDlg) object_->get_ParentWnd(&during);
    };
    ServiceView view;
    TServiceForm form(*calls_, view);
    form.GetStatus();
    EXPECT_EQ(during, view.WindowHandle());
    EXPECT_EQ(calls_->Get(&ITesselDriver::get_ParentWnd), 0);
    EXPECT_TRUE(view.errors.empty());
}

TEST_F(ServiceFormsTest, LogFillsThenWritesEnabledBeforeTheName) {
    TempDir folder;
    calls_->Put(&ITesselDriver::put_LogFileName, folder.Path() + "/before.log");
    LogView view;
    TLogForm form(*calls_, view);
    form.Fill();
    EXPECT_FALSE(view.enabled);
    EXPECT_EQ(view.name, folder.Path() + "/before.log");

    view.answer = folder.Path() + "/chosen.log";
    form.ChooseFile();
    EXPECT_EQ(view.askedFilter, "Лог-файлы (*.log)|*.log|Все файлы (*.*)|*.*");
    EXPECT_EQ(view.askedStart, folder.Path() + "/before.log");
    view.answer.reset();
    form.ChooseFile();
    EXPECT_EQ(view.name, folder.Path() + "/chosen.log");

    view.enabled = true;
    ASSERT_TRUE(form.Accept());
    // Accepting made no file: the log makes it when it writes.
    EXPECT_FALSE(std::filesystem::exists(folder.Path() + "/chosen.log"));
    const auto before = forward_->Trail().size();
    form.Apply();
    const std::vector<LONG> trail = forward_->Trail();
    EXPECT_EQ(std::vector<LONG>(trail.begin() + static_cast<std::ptrdiff_t>(before), trail.end()),
              (std::vector<LONG>{Id::LogEnabled, Id::LogFileName}));
    EXPECT_TRUE(calls_->Get(&ITesselDriver::get_LogEnabled));
    EXPECT_EQ(calls_->Get(&ITesselDriver::get_LogFileName), folder.Path() + "/chosen.log");
    calls_->Put(&ITesselDriver::put_LogEnabled, false);
}

struct WritableCase {
    const char* name;  // "$" stands for a folder that exists
    const char* why;   // empty: writable
};

void PrintTo(const WritableCase& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

class WritableTest : public ::testing::TestWithParam<WritableCase> {};

TEST_P(WritableTest, SaysWhyTheLogCannotWriteAFile) {
    TempDir folder;
    std::string name = GetParam().name;
    if (const auto at = name.find('$'); at != std::string::npos) name.replace(at, 1, folder.Path());
    EXPECT_EQ(WhyNotWritable(name).value_or(""), GetParam().why);
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

INSTANTIATE_TEST_SUITE_P(Names, WritableTest,
                         ::testing::Values(WritableCase{"$/new.log", ""}, WritableCase{"$", "это не файл"},
                                           WritableCase{"  ", "не задано имя файла"},
                                           WritableCase{"/nonexistent/folder/tessel.log",
                                                        "нет папки /nonexistent/folder"}));

TEST_F(ServiceFormsTest, LogRefusesAnUnwritableFileOnlyWhenItMatters) {
    const std::string missing = "/nonexistent/folder/tessel.log";
    calls_->Put(&ITesselDriver::put_LogFileName, missing);
    LogView view;
    TLogForm form(*calls_, view);
    form.Fill();
    // Off and left where it was: nothing to write.
    EXPECT_TRUE(form.Accept());
    view.enabled = true;
    EXPECT_FALSE(form.Accept());
    EXPECT_EQ(view.errors, std::vector<std::string>{"Лог-файл не может быть записан: " + missing +
                                                    " (нет папки /nonexistent/folder)"});
    EXPECT_TRUE(view.focused);
}

}  // namespace
}  // namespace tessel_test
