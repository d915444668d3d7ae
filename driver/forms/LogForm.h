#pragma once
// TLogForm: what the log dialog ("Параметры лога") does: it switches the driver's exchange log on or off and
// chooses its file.

#include <optional>
#include <string>

#include "driver/client/DriverCalls.h"
#include "driver/forms/FormView.h"

class ILogView : public IFormView {
  public:
    virtual void ShowLogEnabled(bool enabled) = 0;
    virtual void ShowFileName(const std::string& name) = 0;
    virtual bool LogEnabled() const = 0;
    virtual std::string FileName() const = 0;
    // A file dialog for a file that need not exist yet, with `filter` ("description|patterns|..."), starting
    // from the file `start` (none when empty); the name chosen, or nothing when the user cancelled.
    virtual std::optional<std::string> AskFileName(const std::string& filter, const std::string& start) = 0;
    virtual void FocusFileName() = 0;
};

class TLogForm {
  public:
    // The filter of the file dialog that "..." opens.
    static const char* const kFilter;

    TLogForm(const TDriverCalls& driver, ILogView& view) : driver_(driver), view_(view) {}

    // The dialog opens: it shows LogEnabled and LogFileName. A failing driver call throws.
    void Fill();
    // "...": a chosen file replaces the name in the field.
    void ChooseFile();
    // OK: whether the dialog may close. The log writes silently or not at all, so a file it cannot write is
    // refused here, where the user sees why: while the log is to be kept in, or moved to, such a file.
    bool Accept();
    // After OK: LogEnabled, then LogFileName. A failing driver call throws.
    void Apply();

  private:
    const TDriverCalls& driver_;
    ILogView& view_;
    std::string openedName_;  // the file the dialog opened with
};

// Why the log cannot be written to the file `name` (UTF-8), or nothing when it can: a file that exists must
// be a file the user may write, a new one a file that can be made in its folder (made and removed again).
std::optional<std::string> WhyNotWritable(const std::string& name);
