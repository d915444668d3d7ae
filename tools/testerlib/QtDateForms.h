#pragma once
// Dates and times of the command tester's parameters in the system's short formats (the locale that LC_ALL,
// LC_TIME or LANG names, else the Russian forms), as the driver's windows show them.

#include "tools/testerlib/untCmdValue.h"

class TQtDateForms final : public tessel::cmd::TCmdDateForms {
  public:
    std::string DateText(DATE value) const override;
    std::string TimeText(DATE value) const override;
    // The short format first; then the forms every user of these programs may type: "dd.MM.yyyy",
    // "yyyy-MM-dd", "HH:mm[:ss]".
    std::optional<DATE> ParseDate(std::string_view text) const override;
    std::optional<DATE> ParseTime(std::string_view text) const override;
    DATE Now() const override;
};
