#pragma once
// The search windows on Win32: "Поиск ККМ" and "Свойства поиска" (TSearchForm and TSearchParamsForm do what
// they do). The engine's notifications come on the search thread; the window queues them and posts itself
// one message to run them on its own thread, never sending to it from the search thread.

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "driver/client/DriverCalls.h"
#include "driver/forms/DialogCall.h"
#include "driver/forms/SearchForm.h"
#include "driver/forms/SearchParamsForm.h"
#include "driver/win32ui/WinForm.h"

class TWinSearchParams final : public TWinForm, private ISearchParamsView {
  public:
    TWinSearchParams();

    // Shows `params` in the lists modally over `owner`; on OK the checks go back into `params` and the
    // result is true.
    bool Edit(HWND owner, TSearchParams& params);

    void SetBusy(bool busy) override { TWinForm::SetBusy(busy); }
    void ShowError(const std::string& text) override { TWinForm::ShowError(text); }

  protected:
    bool OnInit() override;
    bool OnCommand(int id, int code) override;

  private:
    // ISearchParamsView
    void ShowList(TSearchList list, const std::vector<TSearchItem>& items) override;
    std::vector<bool> Checks(TSearchList list) const override;

    TSearchParamsForm form_{*this};
    TSearchParams* editing_ = nullptr;  // the caller's parameters while the window is open
    HWND tips_ = nullptr;               // the buttons' hints; owned by the window, gone with it
};

class TWinSearch final : public TWinForm, private ISearchView {
  public:
    // Loads the search parameters from the settings (throws tessel::RegistryError when they are damaged).
    explicit TWinSearch(ITesselDriver* driver);
    ~TWinSearch() override;

    void SetBusy(bool busy) override { TWinForm::SetBusy(busy); }
    void ShowError(const std::string& text) override { TWinForm::ShowError(text); }

  protected:
    bool OnInit() override;
    bool OnCommand(int id, int code) override;
    LRESULT OnNotify(const NMHDR& header) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

  private:
    // ISearchView
    void Post(std::function<void()> task) override;
    void ShowInfo(const std::string& text) override;
    void ShowProgressControls(bool shown) override;
    void ShowCombination(const std::string& port, const std::string& speed, const std::string& kind) override;
    void SetProgress(int position, int maximum) override;
    void SetStartButton(const std::string& caption, bool enabled) override;
    void EnableStart(bool enabled) override;
    void EnableSetup(bool enabled) override;
    void ClearRows() override;
    void AddRow(const TSearchRow& row) override;
    std::int32_t SelectedRow() const override;
    bool EditParams(TSearchParams& params) override;
    void Close(bool ok) override;

    // Runs the tasks posted so far, on the window's thread.
    void RunPosted();

    std::unique_ptr<TDriverCalls> driver_;
    std::unique_ptr<TWinSearchParams> paramsWindow_;
    std::mutex postMutex_;
    std::deque<std::function<void()>> posted_;  // under postMutex_
    HWND target_ = nullptr;                     // under postMutex_: where posts go; none once the window went
    bool woken_ = false;                        // under postMutex_: a message to run them is on its way
    std::unique_ptr<TSearchForm> form_;
};

// Shows the search window modally over the window ParentWnd names; 1 when a register was chosen, 0 otherwise.
LONG ShowWinSearch(const TDialogCall& call);
