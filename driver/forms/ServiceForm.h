#pragma once
// TServiceForm: what the service dialog ("Управление ККМ") does: it sets the register's date and time,
// initialises its tables and opens the status dialog. Its two pickers follow a running clock, the
// computer's or the register's as "Из ККМ" read it, each until the user edits it: "Установить время" then
// sends the time of the click, not the time the dialog opened.

#include <cstdint>
#include <functional>

#include "driver/base/untTypes.h"
#include "driver/client/DriverCalls.h"
#include "driver/forms/FormView.h"

class IServiceView : public IFormView {
  public:
    // Shows the date of `value` in the date picker, or its time of day in the time picker; the view does not
    // take either for an edit of the user.
    virtual void ShowDate(TDateTime value) = 0;
    virtual void ShowTime(TDateTime value) = 0;
    // What the pickers hold: a date (at 00:00) and a time of day (of 30.12.1899).
    virtual TDateTime PickedDate() const = 0;
    virtual TDateTime PickedTime() const = 0;
    // Calls the form's ClockTick once after `ms` milliseconds, in place of a call still to come; or no more.
    virtual void StartClockTimer(int ms) = 0;
    virtual void StopClockTimer() = 0;
    // The dialog's native window handle: the owner of the status dialog it opens (ParentWnd).
    virtual LONG WindowHandle() const = 0;
};

class TServiceForm {
  public:
    // A clock: milliseconds since 30.12.1899 00:00 of its time zone.
    using TClock = std::function<std::int64_t()>;
    // The computer's clock in its local time.
    static std::int64_t LocalClock();

    TServiceForm(const TDriverCalls& driver, IServiceView& view, TClock clock = LocalClock);

    // The dialog opens: both pickers follow the computer's clock.
    void Open();
    // The buttons. Each runs as an action: the view's buttons are disabled meanwhile, an error is shown.
    void SetDate();
    void SetTime();
    void FromECR();
    void FromPC();
    void InitTables();
    void GetStatus();
    // The user edits a picker: from then on it keeps what the user gives it.
    void DateEdited();
    void TimeEdited();
    // The view's clock timer fired.
    void ClockTick();

  private:
    // Both pickers follow `clock_` moved by `offsetMs`.
    void FollowClock(std::int64_t offsetMs);
    // The followed clock now.
    std::int64_t ClockNow() const { return clock_() + offsetMs_; }
    // Shows the followed clock in the pickers that follow it, and waits for its next second.
    void ShowClock();

    const TDriverCalls& driver_;
    IServiceView& view_;
    TClock clock_;
    std::int64_t offsetMs_ = 0;
    bool dateFollows_ = false;
    bool timeFollows_ = false;
};
