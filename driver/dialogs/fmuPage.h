#pragma once
// TfmPage: the window of the driver's property page, a view of TPageForm.

#include <QList>
#include <QWidget>
#include <functional>
#include <memory>

#include "driver/client/DriverCalls.h"
#include "driver/forms/PageForm.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TfmPage : public QWidget, private IPageView {
  public:
    // The page inside `parent`, working on `driver`; null for a page that is only measured.
    TfmPage(QWidget* parent, ITesselDriver* driver);
    ~TfmPage() override;

    // The size of the page: the right edge of "Проверка связи" plus 16 pixels by the bottom of the result
    // line plus 33.
    static QSize PageSize();

    // Called when the user changes a value that UpdateObject writes.
    std::function<void()> onModified;

    // Loads the values and the logical devices.
    void UpdatePropertyPage();
    // UpdateObject for the frame; false when it failed (the result line says why).
    bool Apply();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BuildControls();
    void Modified();

    // IPageView
    void SetBusy(bool busy) override;
    void ShowError(const std::string& text) override;
    void ShowValues(const std::string& version, const TPageSettings& settings, bool deviceEnabled) override;
    TPageSettings Settings() const override;
    void ShowDevices(const std::vector<std::string>& entries, int current, bool listEnabled,
                     bool buttonEnabled) override;
    void ShowResult(const std::string& line) override;
    void ShowDeviceEnabled(bool enabled) override;
    void ShowBaudRate(int index) override;
    LONG OwnerHandle() const override;
    bool ShowDevicesDialog() override;
    void CentreFrame() override;

    std::unique_ptr<TDriverCalls> driver_;
    std::unique_ptr<TPageForm> form_;

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
    QList<QPushButton*> actionButtons_;
};
