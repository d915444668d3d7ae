#pragma once
// TfmPage: the driver's property page. It edits the current logical device (port, speed, addresses) and the
// exchange settings, tests the link, changes the register's speed and opens the other dialogs, all through
// the driver's ITesselDriver. The result of the last action is shown in its result line as "(%d) %s"; any
// error in a handler goes there too, and the page stays usable.

#include <QList>
#include <QWidget>
#include <functional>

#include "driver/client/DriverCalls.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TfmPage : public QWidget {
  public:
    // The page inside `parent`, working on `driver`; null for a page that is only measured.
    TfmPage(QWidget* parent, ITesselDriver* driver);

    // The size of the page: the right edge of "Проверка связи" plus 16 pixels by the bottom of the result
    // line plus 33.
    static QSize PageSize();

    // Called when the user changes a value that UpdateObject writes.
    std::function<void()> onModified;

    // Loads the values and the logical devices.
    void UpdatePropertyPage();
    // Writes the page's values: Fuel, BaudRate, DstAddress, PortNumber, SrcAddress, RepCount, Timeout.
    void UpdateObject();
    // UpdateObject for the frame; false when it failed (the result line says why).
    bool Apply();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BuildControls();
    void LoadValues();
    void LoadDevices();
    // Runs a handler; an error goes to the result line: a driver error as "(%d) %s", another as its text.
    bool Guard(const std::function<void()>& handler);
    // Runs an action with the eight action buttons disabled, enabling them again in every case.
    void RunAction(const std::function<void()>& action);
    void ShowResult();
    void Modified();

    void ConnectClicked();
    void SetBaudRateClicked();
    void DialogClicked(TDriverCalls::TMethod method);
    void SearchClicked();
    void AboutClicked();
    void DefaultsClicked();
    void DeviceClicked();
    void DeviceChosen(int index);
    void DeviceEnabledClicked();

    std::unique_ptr<TDriverCalls> driver_;
    bool centred_ = false;

    QComboBox* cbDevice_ = nullptr;
    QPushButton* btnDevice_ = nullptr;
    QComboBox* cbPortNumber_ = nullptr;
    QComboBox* cbBaudRate_ = nullptr;
    QSpinBox* edtDstAddress_ = nullptr;
    QSpinBox* edtSrcAddress_ = nullptr;
    QSpinBox* edtTimeout_ = nullptr;
    QSpinBox* edtRepCount_ = nullptr;
    QCheckBox* chbDeviceEnabled_ = nullptr;
    QCheckBox* chbFuel_ = nullptr;
    QLineEdit* edtResult_ = nullptr;
    QLabel* lblVersion_ = nullptr;
    QPushButton* btnConnect_ = nullptr;
    QList<QPushButton*> actionButtons_;
};
