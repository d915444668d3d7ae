#pragma once
// TfmSearch ("Поиск ККМ"): starts and stops the device search, shows what it tries and the registers it
// found, and sets the driver up for the one the user chooses (Fuel, PortNumber, BaudRate, DstAddress).
//
// The search engine is made at the first start and lives until the window closes; closing the window in
// any way stops a running search and waits for it. Its notifications come on the search thread and are
// applied to the controls on the window's thread.

#include <cstdint>
#include <memory>
#include <utility>

#include "driver/forms/DialogCall.h"
#include "driver/calls/DriverCalls.h"
#include "driver/dialogs/MyForm.h"
#include "driver/search/Search.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class TfmSearchParams;

class TfmSearch final : public TMyForm {
  public:
    // Loads the search parameters from the settings (throws tessel::RegistryError when they are damaged).
    TfmSearch(QWidget* parent, ITesselDriver* driver);
    ~TfmSearch() override;

    const TSearchParams& Params() const { return params_; }

    // Stops and frees the engine before the window closes, however it closes.
    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    TECRSearch& Engine();
    void StartClicked();
    void SetupClicked();
    void Choose();
    // A notification of the engine, on the window's thread.
    void Notified(const TSearchNotification& n);
    void StopEngine();

    std::unique_ptr<TDriverCalls> driver_;
    TSearchECRs found_;
    TSearchParams params_;
    std::unique_ptr<TECRSearch> search_;
    std::unique_ptr<TfmSearchParams> paramsWindow_;
    bool running_ = false;  // between the notifications of a search's start and end
    // The speed and kind the bar last counted since it was reset: a combination tried on several ports at
    // once counts once.
    std::pair<std::int32_t, std::int32_t> counted_{0, 0};

    QLabel* lblInfo_ = nullptr;
    QList<QLabel*> comboLabels_;  // the three headings and the three values
    QLabel* lblPort_ = nullptr;
    QLabel* lblBaudRate_ = nullptr;
    QLabel* lblECRType_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QTreeWidget* listView_ = nullptr;
    QPushButton* btnStart_ = nullptr;
    QPushButton* btnSetup_ = nullptr;
};

// Shows TfmSearch modally over ParentWnd; 1 when a register was chosen, 0 otherwise.
LONG ShowSearch(const TDialogCall& call);
