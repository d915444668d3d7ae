// The property page's behaviour against the in-process driver and an emulated register, through a view that
// records what it is told.
#include <gmock/gmock.h>

#include <stdexcept>

#include "driver/base/untError.h"
#include "driver/forms/PageForm.h"
#include "support/FormsFixture.h"

namespace tessel_test {
namespace {

class RecordingPageView : public IPageView {
  public:
    void SetBusy(bool busy) override { busy_.push_back(busy); }
    void ShowError(const std::string& text) override { errors_.push_back(text); }
    void ShowValues(const std::string& version, const TPageSettings& settings, bool deviceEnabled) override {
        version_ = version;
        settings_ = settings;
        deviceEnabled_ = deviceEnabled;
    }
    TPageSettings Settings() const override { return settings_; }
    void ShowDevices(const std::vector<std::string>& entries, int current, bool listEnabled,
                     bool buttonEnabled) override {
        entries_ = entries;
        current_ = current;
        listEnabled_ = listEnabled;
        buttonEnabled_ = buttonEnabled;
    }
    void ShowResult(const std::string& line) override { result_ = line; }
    void ShowDeviceEnabled(bool enabled) override { deviceEnabled_ = enabled; }
    void ShowBaudRate(int index) override { settings_.baudRateIndex = index; }
    LONG OwnerHandle() const override { return 4321; }
    bool ShowDevicesDialog() override { return devicesDialog_(); }
    void CentreFrame() override { ++centred_; }

    std::vector<bool> busy_;
    std::vector<std::string> errors_;
    std::string version_;
    TPageSettings settings_;  // what the user has set
    bool deviceEnabled_ = false;
    std::vector<std::string> entries_;
    int current_ = -2;
    bool listEnabled_ = false;
    bool buttonEnabled_ = false;
    std::string result_ = "untouched";
    std::function<bool()> devicesDialog_ = [] { return false; };
    int centred_ = 0;
};

class PageFormTest : public FormsTest {
  protected:
    RecordingPageView view_;
    TPageForm form_{Calls(), view_};
};

TEST_F(PageFormTest, LoadShowsTheDriverAndApplyWritesThePageInItsOrder) {
    Calls().Put(&ITesselDriver::put_Timeout, 700);
    Calls().Put(&ITesselDriver::put_BaudRate, 5);
    form_.UpdatePropertyPage();
    EXPECT_EQ(view_.version_, "Версия: " + Calls().Get(&ITesselDriver::get_Version));
    EXPECT_EQ(view_.settings_.timeout, 700);
    EXPECT_EQ(TPageForm::BaudRateItems()[static_cast<std::size_t>(view_.settings_.baudRateIndex)], "19200");
    EXPECT_EQ(TPageForm::PortItems()[static_cast<std::size_t>(view_.settings_.portIndex)], "COM 1");
    EXPECT_EQ(view_.entries_, std::vector<std::string>{"№ 1 " + Calls().Get(&ITesselDriver::get_LDName)});

    view_.settings_.timeout = 1234;
    view_.settings_.portIndex = 1;
    const std::size_t before = Forward().Puts().size();
    ASSERT_TRUE(form_.Apply());
    std::vector<LONG> puts = Forward().Puts();
    puts.erase(puts.begin(), puts.begin() + static_cast<std::ptrdiff_t>(before));
    using namespace TesselDispId;
    EXPECT_EQ(puts,
              (std::vector<LONG>{Fuel, BaudRate, DstAddress, PortNumber, SrcAddress, RepCount, Timeout}));
    EXPECT_EQ(GetLong(&ITesselDriver::get_Timeout), 1234);
    view_.settings_.portIndex = -1;  // a port the list has not got stays as it is
    ASSERT_TRUE(form_.Apply());
    EXPECT_EQ(GetLong(&ITesselDriver::get_PortNumber), 2);

    form_.DefaultsClicked();
    EXPECT_EQ(view_.settings_.timeout, 1000);
    EXPECT_EQ(TPageForm::BaudRateItems()[static_cast<std::size_t>(view_.settings_.baudRateIndex)], "4800");
}

struct DeviceListCase {
    int devices;
    bool locked;
    bool listEnabled;
    bool buttonEnabled;
};

void PrintTo(const DeviceListCase& c, std::ostream* os) {
    *os << c.devices << " devices" << (c.locked ? ", locked" : "");
}

class PageDeviceListTest : public PageFormTest, public ::testing::WithParamInterface<DeviceListCase> {};

TEST_P(PageDeviceListTest, ListAndButtonFollowTheCountAndTheLockAndTheCurrentDeviceStays) {
    const DeviceListCase c = GetParam();
    AddDevices(c.devices - 1);
    Calls().Put(&ITesselDriver::put_LDIndex, 0);
    Calls().Put(&ITesselDriver::put_LockDevices, c.locked);
    form_.UpdatePropertyPage();
    ASSERT_EQ(view_.entries_.size(), static_cast<std::size_t>(c.devices));
    EXPECT_EQ(view_.current_, 0);
    EXPECT_EQ(GetLong(&ITesselDriver::get_LDIndex), 0);
    EXPECT_EQ(view_.listEnabled_, c.listEnabled);
    EXPECT_EQ(view_.buttonEnabled_, c.buttonEnabled);
    if (c.devices >= 10) {
        EXPECT_THAT(view_.entries_[8], ::testing::StartsWith("№ 9 "));
        EXPECT_THAT(view_.entries_[9], ::testing::StartsWith("№10 "));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PageDeviceListTest,
                         ::testing::Values(DeviceListCase{1, false, false, true},
                                           DeviceListCase{2, false, true, true},
                                           DeviceListCase{2, true, false, false},
                                           DeviceListCase{10, false, true, true}));

struct LinkCase {
    bool enabledBefore;
    bool registerAnswers;
    const char* result;
};

void PrintTo(const LinkCase& c, std::ostream* os) {
    *os << (c.enabledBefore ? "open" : "closed") << " port, register "
        << (c.registerAnswers ? "answers" : "silent");
}

class PageLinkTest : public PageFormTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(PageLinkTest, LinkTestShowsTheRegisterOrTheErrorAndKeepsDeviceEnabled) {
    const LinkCase c = GetParam();
    Calls().Put(&ITesselDriver::put_DeviceEnabled, c.enabledBefore);
    Calls().Put(&ITesselDriver::put_RepCount, 1);
    form_.UpdatePropertyPage();
    if (!c.registerAnswers) line_->DropAnswer(line_->AnswerCount() + 1);
    form_.ConnectClicked();
    EXPECT_THAT(view_.result_, ::testing::StartsWith(c.result));
    EXPECT_EQ(GetBool(&ITesselDriver::get_DeviceEnabled), c.enabledBefore);
    EXPECT_EQ(view_.busy_, (std::vector<bool>{true, false}));
}

INSTANTIATE_TEST_SUITE_P(Cases, PageLinkTest,
                         ::testing::Values(LinkCase{false, true, "Название ККМ: Эмулятор ККМ"},
                                           LinkCase{true, true, "Название ККМ: Эмулятор ККМ"},
                                           LinkCase{false, false, "(-1) "}, LinkCase{true, false, "(-1) "}));

struct DialogCase {
    void (TPageForm::*click)();
    LONG dispId;
};

class PageDialogTest : public PageFormTest, public ::testing::WithParamInterface<DialogCase> {};

// The nested dialogs open through the driver's methods, owned by the page's window; ParentWnd is put back.
TEST_P(PageDialogTest, ButtonCallsTheDriverOverThePageAndShowsItsResult) {
    const DialogCase c = GetParam();
    Calls().Put(&ITesselDriver::put_ParentWnd, 77);
    Forward().FailMethod(c.dispId, -199, "Нет дисплея для окон драйвера");
    (form_.*c.click)();
    EXPECT_EQ(Forward().Calls(c.dispId), 1);
    EXPECT_EQ(view_.result_, "(-199) Нет дисплея для окон драйвера");
    EXPECT_EQ(GetLong(&ITesselDriver::get_ParentWnd), 77);
    EXPECT_EQ(view_.busy_, (std::vector<bool>{true, false}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageDialogTest,
    ::testing::Values(DialogCase{&TPageForm::TablesClicked, TesselDispId::ShowTablesDlg},
                      DialogCase{&TPageForm::ServiceClicked, TesselDispId::ShowServiceDlg},
                      DialogCase{&TPageForm::LogParamsClicked, TesselDispId::ShowLogDlg},
                      DialogCase{&TPageForm::SearchClicked, TesselDispId::ShowSearchDlg}));

TEST_F(PageFormTest, DeviceEnabledClickShowsWhatTheDriverReached) {
    form_.UpdatePropertyPage();
    form_.DeviceEnabledClicked(true);
    EXPECT_EQ(view_.result_, "(0) Ошибок нет");
    EXPECT_TRUE(view_.deviceEnabled_);
    form_.DeviceEnabledClicked(false);
    EXPECT_FALSE(GetBool(&ITesselDriver::get_DeviceEnabled));
    view_.settings_.portIndex = 30;  // COM 31: no such port
    form_.DeviceEnabledClicked(true);
    EXPECT_THAT(view_.result_, ::testing::Not(::testing::StartsWith("(0) ")));
    EXPECT_FALSE(view_.deviceEnabled_);
    EXPECT_TRUE(view_.busy_.empty());
}

TEST_F(PageFormTest, DevicesDialogThatChangedTheListOrTheDeviceReloadsThePage) {
    form_.UpdatePropertyPage();
    view_.devicesDialog_ = [&] {
        AddDevices(1);
        Calls().Put(&ITesselDriver::put_Timeout, 2500);
        return true;
    };
    form_.DeviceClicked();
    EXPECT_EQ(view_.entries_.size(), 2u);
    EXPECT_EQ(view_.current_, 1);
    EXPECT_EQ(view_.settings_.timeout, 2500);
    EXPECT_TRUE(view_.listEnabled_);
}

struct ErrorCase {
    std::function<void()> raise;
    const char* line;
};

class PageErrorTest : public PageFormTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(PageErrorTest, AnErrorGoesToTheResultLineNotToABox) {
    view_.devicesDialog_ = [] {
        GetParam().raise();
        return false;
    };
    form_.DeviceClicked();
    EXPECT_EQ(view_.result_, GetParam().line);
    EXPECT_TRUE(view_.errors_.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, PageErrorTest,
                         ::testing::Values(ErrorCase{[] { throw EDriverError(-7, "Ошибка добавления"); },
                                                     "(-7) Ошибка добавления"},
                                           ErrorCase{[] { throw std::runtime_error("сбой"); }, "сбой"},
                                           ErrorCase{[] { throw 1; }, "Неизвестная ошибка"}));

}  // namespace
}  // namespace tessel_test
