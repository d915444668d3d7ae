#pragma once
// The search window ("Поиск ККМ"): starts and stops the device search, shows what it tries and the registers
// it found, and sets the driver up for the one the user chooses (Fuel, PortNumber, BaudRate, DstAddress).
//
// The search engine is made at the first start and lives until the window closes; closing the window in any
// way stops a running search and waits for it. The engine notifies on its own thread; the view hands each
// notification to the window's thread, where the form applies it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "driver/client/DriverCalls.h"
#include "driver/forms/FormView.h"
#include "driver/search/Search.h"

// One row of the found registers' list, as the user reads it.
struct TSearchRow {
    std::string port;  // "COM5", or "COM5 (tcp://10.0.0.7:4001)" for a port mapped to a network address
    std::string speed;
    std::string address;  // decimal
    std::string kind;     // "обычная", "бензиновая"
    std::string name;
    std::int32_t id = 0;  // the found register the row stands for
};

class ISearchView : public IFormView {
  public:
    // Runs `task` later on the window's thread and never waits for it. Called on any thread (the search
    // thread among them); a task still waiting when the window is destroyed is dropped, not run.
    virtual void Post(std::function<void()> task) = 0;
    // The status line.
    virtual void ShowInfo(const std::string& text) = 0;
    // Shows or hides the headings and values of the combination tried and the progress bar.
    virtual void ShowProgressControls(bool shown) = 0;
    // The values of the combination tried, each already ": "-prefixed (empty: cleared).
    virtual void ShowCombination(const std::string& port, const std::string& speed,
                                 const std::string& kind) = 0;
    virtual void SetProgress(int position, int maximum) = 0;
    virtual void SetStartButton(const std::string& caption, bool enabled) = 0;
    virtual void EnableStart(bool enabled) = 0;
    virtual void EnableSetup(bool enabled) = 0;
    virtual void ClearRows() = 0;
    // Adds a row at the end, selects and focuses it and scrolls it into view.
    virtual void AddRow(const TSearchRow& row) = 0;
    // The id of the selected row; 0 when no row is selected.
    virtual std::int32_t SelectedRow() const = 0;
    // Opens the parameters window over this one with a copy of `params`; on OK the window's checks are in
    // `params` and the result is true.
    virtual bool EditParams(TSearchParams& params) = 0;
    // Closes the window: with OK (a register was chosen) or with Cancel.
    virtual void Close(bool ok) = 0;
};

class TSearchForm {
  public:
    // Loads the search parameters from the settings (throws tessel::RegistryError when they are damaged).
    TSearchForm(const TDriverCalls& driver, ISearchView& view);
    // Stops a running search and waits for it.
    ~TSearchForm();
    TSearchForm(const TSearchForm&) = delete;
    TSearchForm& operator=(const TSearchForm&) = delete;

    // The initial texts and states of the controls.
    void Init();
    // "Начать" / "Прервать".
    void StartClicked();
    // "Свойства...": the parameters window; its checks are saved on OK.
    void SetupClicked();
    // OK or a double click on the list: the selected register becomes the driver's connection.
    void Choose();
    // The window closes, in any way: the search stops and the engine goes.
    void Closing();

    // A notification of the engine, on the window's thread (the view's Post brings it there).
    void Notified(const TSearchNotification& n);

    const TSearchParams& Params() const { return params_; }
    // Between the notifications of a search's start and end.
    bool Running() const { return running_; }
    const TSearchECRs& Found() const { return found_; }

  private:
    TECRSearch& Engine();
    void StopEngine();

    const TDriverCalls& driver_;
    ISearchView& view_;
    TSearchECRs found_;
    TSearchParams params_;
    std::unique_ptr<TECRSearch> search_;
    bool running_ = false;
    int progress_ = 0;
    int progressMaximum_ = 0;
    // The speed and kind the bar last counted since it was reset: a combination tried on several ports at
    // once counts once.
    std::pair<std::int32_t, std::int32_t> counted_{0, 0};
};
