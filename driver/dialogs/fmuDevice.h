#pragma once
// TfmDevice ("Логические устройства"): the window of the logical-device dialog, a view of TDevicesForm.

#include "driver/client/DriverCalls.h"
#include "driver/dialogs/MyForm.h"
#include "driver/forms/DevicesForm.h"

class QAction;
class QLineEdit;
class QListWidget;
class QPushButton;

class TfmDevice : public TMyForm, private IDevicesView {
  public:
    TfmDevice(QWidget* parent, const TDriverCalls& driver);

    // Whether a device was added or deleted while the dialog was open.
    bool Changed() const { return form_.Changed(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // IDevicesView
    void SetBusy(bool) override {}
    void ShowError(const std::string& text) override;
    void ShowDevices(const std::vector<std::string>& entries, int current) override;
    void ShowEntry(int row, const std::string& text) override;
    int SelectedRow() const override;
    void ShowName(const std::string& name) override;
    void EnableAdd(bool enabled) override;
    void EnableDelete(bool enabled) override;

    TDevicesForm form_;
    QListWidget* lbDevice_ = nullptr;
    QLineEdit* edtDeviceName_ = nullptr;
    QPushButton* btnAdd_ = nullptr;
    QPushButton* btnDelete_ = nullptr;
    QAction* actAdd_ = nullptr;
    QAction* actDelete_ = nullptr;
};

// Shows TfmDevice modally over `parent`; whether a device was added or deleted.
bool ShowDevices(const TDriverCalls& driver, QWidget* parent);
