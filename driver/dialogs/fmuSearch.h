#pragma once
// TfmSearch ("Поиск ККМ"): the Qt window of the search (TSearchForm does what it does). The engine's
// notifications come on the search thread and reach the form on the window's thread, as queued calls.

#include <memory>

#include "driver/client/DriverCalls.h"
#include "driver/dialogs/MyForm.h"
#include "driver/forms/DialogCall.h"
#include "driver/forms/SearchForm.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class TfmSearchParams;

class TfmSearch final : public TMyForm, private ISearchView {
  public:
    // Loads the search parameters from the settings (throws tessel::RegistryError when they are damaged).
    TfmSearch(QWidget* parent, ITesselDriver* driver);
    ~TfmSearch() override;

    // Stops and frees the engine before the window closes, however it closes.
    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // ISearchView
    void SetBusy(bool busy) override;
    void ShowError(const std::string& text) override;
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

    std::unique_ptr<TDriverCalls> driver_;
    std::unique_ptr<TfmSearchParams> paramsWindow_;

    QLabel* lblInfo_ = nullptr;
    QList<QLabel*> comboLabels_;  // the three headings and the three values
    QLabel* lblPort_ = nullptr;
    QLabel* lblBaudRate_ = nullptr;
    QLabel* lblECRType_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QTreeWidget* listView_ = nullptr;
    QPushButton* btnStart_ = nullptr;
    QPushButton* btnSetup_ = nullptr;
    // Last: made when the controls are there, gone (its search stopped) before they go.
    std::unique_ptr<TSearchForm> form_;
};

// Shows TfmSearch modally over ParentWnd; 1 when a register was chosen, 0 otherwise.
LONG ShowSearch(const TDialogCall& call);
