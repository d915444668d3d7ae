#pragma once
// TStatusForm: what the status dialog ("Состояние ККМ и ФП") does. Each of its two buttons asks the register
// and writes the answer as lines of "label : value", the labels padded so that the colons line up in a
// fixed-width font.

#include <string>

#include "driver/base/untTypes.h"
#include "driver/client/DriverCalls.h"
#include "driver/forms/FormView.h"

// The system's short date and time formats, as the toolkit that draws the window knows them.
class IDateTimeFormat {
  public:
    virtual ~IDateTimeFormat() = default;
    // The date of `value` in the short date format; `value` is a date that DecodeDate splits.
    virtual std::string DateText(TDateTime value) const = 0;
    // The time of day of `value` in the short time format, with seconds.
    virtual std::string TimeText(TDateTime value) const = 0;
};

// The date of `value`, and its time after a blank unless that is midnight; empty for a value that names no
// date.
std::string DateTimeText(const IDateTimeFormat& format, TDateTime value);

class IStatusView : public IFormView {
  public:
    // Empties the text area.
    virtual void ClearLines() = 0;
    // Adds a line at the end of the text area.
    virtual void AddLine(const std::string& line) = 0;
    virtual const IDateTimeFormat& DateTimeFormat() const = 0;
};

class TStatusForm {
  public:
    TStatusForm(const TDriverCalls& driver, IStatusView& view) : driver_(driver), view_(view) {}

    // "Состояние ККМ" and "Состояние ФП": empty the text area, ask the register, add one line per item. An
    // error stops the action and is shown; the lines added before it stay.
    void ECRStatus();
    void FMStatus();

  private:
    void AddLine(const char* label, const std::string& value);
    void AddLine(const char* label, TDriverCalls::TLongGet get);
    void AddLine(const char* label, TDriverCalls::TStringGet get);

    const TDriverCalls& driver_;
    IStatusView& view_;
};
