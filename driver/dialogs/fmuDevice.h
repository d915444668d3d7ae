#pragma once
// TfmDevice ("Логические устройства"): adds, deletes and renames the driver's logical devices.

#include <QString>

#include "driver/client/DriverCalls.h"
#include "driver/dialogs/MyForm.h"

class QAction;
class QLineEdit;
class QListWidget;
class QPushButton;

// A logical device in a list: "№ %d %s" up to number 9, "№%d %s" from 10, so that the names line up.
QString DeviceEntryText(LONG number, const QString& name);

class TfmDevice : public TMyForm {
  public:
    TfmDevice(QWidget* parent, const TDriverCalls& driver);

    // Whether a device was added or deleted while the dialog was open.
    bool Changed() const { return changed_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Lists the devices again, keeping the current one current and selected.
    void Rebuild();
    void Add();
    void Delete();
    void RowClicked(int row);
    void Rename(const QString& name);

    const TDriverCalls& driver_;
    bool changed_ = false;
    QListWidget* lbDevice_ = nullptr;
    QLineEdit* edtDeviceName_ = nullptr;
    QPushButton* btnAdd_ = nullptr;
    QPushButton* btnDelete_ = nullptr;
    QAction* actAdd_ = nullptr;
    QAction* actDelete_ = nullptr;
};

// Shows TfmDevice modally over `parent`; whether a device was added or deleted.
bool ShowDevices(const TDriverCalls& driver, QWidget* parent);
