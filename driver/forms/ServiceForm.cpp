#include "driver/forms/ServiceForm.h"

#include <chrono>
#include <ctime>
#include <stdexcept>
#include <utility>

#include "common/platform/CivilDate.h"
#include "driver/base/untDateTime.h"

namespace {

// The driver waits this long for the register to initialise its tables.
constexpr LONG kInitTablesTimeout = 30000;

constexpr std::int64_t kMsPerDay = 86400000;
constexpr std::int64_t kOleEpochDay = tessel::DaysFromCivil(1899, 12, 30);

std::int64_t FloorDiv(std::int64_t value, std::int64_t by) {
    return value / by - (value % by < 0 ? 1 : 0);
}

// The date of a clock reading, at 00:00.
TDateTime DateOf(std::int64_t ms) {
    return static_cast<TDateTime>(FloorDiv(ms, kMsPerDay));
}

// The time of day of a clock reading in whole seconds, as the pickers show it.
TDateTime TimeOf(std::int64_t ms) {
    const std::int64_t seconds = (ms - FloorDiv(ms, kMsPerDay) * kMsPerDay) / 1000;
    return static_cast<TDateTime>(seconds) / 86400.0;
}

}  // namespace

std::int64_t TServiceForm::LocalClock() {
    const auto now = std::chrono::system_clock::now();
    const std::int64_t ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const std::int64_t days =
        tessel::DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                              static_cast<unsigned>(local.tm_mday)) -
        kOleEpochDay;
    return days * kMsPerDay + ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + ms;
}

TServiceForm::TServiceForm(const TDriverCalls& driver, IServiceView& view, TClock clock)
    : driver_(driver), view_(view), clock_(std::move(clock)) {}

void TServiceForm::Open() {
    FollowClock(0);
}

void TServiceForm::SetDate() {
    RunAction(view_, [this] {
        driver_.Put(&ITesselDriver::put_ECRDate, dateFollows_ ? DateOf(ClockNow()) : view_.PickedDate());
        driver_.Check(&ITesselDriver::SetDate);
    });
}

void TServiceForm::SetTime() {
    RunAction(view_, [this] {
        driver_.Put(&ITesselDriver::put_ECRTime, timeFollows_ ? TimeOf(ClockNow()) : view_.PickedTime());
        driver_.Check(&ITesselDriver::SetTime);
    });
}

void TServiceForm::FromECR() {
    RunAction(view_, [this] {
        driver_.Check(&ITesselDriver::GetECRStatus);
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
        if (!DecodeDate(driver_.Get(&ITesselDriver::get_ECRDate), year, month, day) ||
            !DecodeTime(driver_.Get(&ITesselDriver::get_ECRTime), hour, minute, second))
            throw std::runtime_error("ККМ сообщила неверные дату или время");
        const std::int64_t days =
            tessel::DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
            kOleEpochDay;
        const std::int64_t registerMs = days * kMsPerDay + ((hour * 60 + minute) * 60 + second) * 1000;
        FollowClock(registerMs - clock_());
    });
}

void TServiceForm::FromPC() {
    RunAction(view_, [this] { FollowClock(0); });
}

void TServiceForm::InitTables() {
    RunAction(view_, [this] {
        const LONG timeout = driver_.Get(&ITesselDriver::get_Timeout);
        driver_.Put(&ITesselDriver::put_Timeout, kInitTablesTimeout);
        try {
            driver_.Check(&ITesselDriver::InitTables);
        } catch (...) {
            driver_.Put(&ITesselDriver::put_Timeout, timeout);
            throw;
        }
        driver_.Put(&ITesselDriver::put_Timeout, timeout);
    });
}

void TServiceForm::GetStatus() {
    RunAction(view_, [this] {
        const TScopedParentWnd owner(driver_, view_.WindowHandle());
        driver_.Check(&ITesselDriver::ShowStatusDlg);
    });
}

void TServiceForm::DateEdited() {
    dateFollows_ = false;
    if (!timeFollows_) view_.StopClockTimer();
}

void TServiceForm::TimeEdited() {
    timeFollows_ = false;
    if (!dateFollows_) view_.StopClockTimer();
}

void TServiceForm::ClockTick() {
    ShowClock();
}

void TServiceForm::FollowClock(std::int64_t offsetMs) {
    offsetMs_ = offsetMs;
    dateFollows_ = true;
    timeFollows_ = true;
    ShowClock();
}

void TServiceForm::ShowClock() {
    const std::int64_t now = ClockNow();
    if (dateFollows_) view_.ShowDate(DateOf(now));
    if (timeFollows_) view_.ShowTime(TimeOf(now));
    if (dateFollows_ || timeFollows_)
        view_.StartClockTimer(static_cast<int>(1000 - (now - FloorDiv(now, 1000) * 1000)));
    else
        view_.StopClockTimer();
}
