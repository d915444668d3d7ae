// The logical-device dialog's behaviour against the in-process driver, through a view that records what it
// is told.
#include <gmock/gmock.h>

#include "driver/forms/DevicesForm.h"
#include "support/FormsFixture.h"

namespace tessel_test {
namespace {

class RecordingDevicesView : public IDevicesView {
  public:
    void SetBusy(bool) override {}
    void ShowError(const std::string& text) override { errors_.push_back(text); }
    void ShowDevices(const std::vector<std::string>& entries, int current) override {
        entries_ = entries;
        selected_ = current;
    }
    void ShowEntry(int row, const std::string& text) override {
        entries_.at(static_cast<std::size_t>(row)) = text;
    }
    int SelectedRow() const override { return selected_; }
    void ShowName(const std::string& name) override { name_ = name; }
    void EnableAdd(bool enabled) override { addEnabled_ = enabled; }
    void EnableDelete(bool enabled) override { deleteEnabled_ = enabled; }

    std::vector<std::string> errors_;
    std::vector<std::string> entries_;
    int selected_ = -2;
    std::string name_;
    bool addEnabled_ = false;
    bool deleteEnabled_ = false;
};

class DevicesFormTest : public FormsTest {
  protected:
    LONG Count() { return GetLong(&ITesselDriver::get_LDCount); }

    RecordingDevicesView view_;
    TDevicesForm form_{Calls(), view_};
};

struct CountCase {
    int devices;
    bool addEnabled;
    bool deleteEnabled;
};

void PrintTo(const CountCase& c, std::ostream* os) {
    *os << c.devices << " devices";
}

class DevicesCountTest : public DevicesFormTest, public ::testing::WithParamInterface<CountCase> {};

// A disabled action does nothing also when it comes by its key.
TEST_P(DevicesCountTest, AddAndDeleteFollowTheCountAndDoNothingWhileDisabled) {
    const CountCase c = GetParam();
    AddDevices(c.devices - 1);
    form_.Load();
    ASSERT_EQ(view_.entries_.size(), static_cast<std::size_t>(c.devices));
    EXPECT_EQ(view_.selected_, c.devices - 1);
    EXPECT_EQ(view_.addEnabled_, c.addEnabled);
    EXPECT_EQ(view_.deleteEnabled_, c.deleteEnabled);
    if (!c.addEnabled) form_.AddClicked();
    if (!c.deleteEnabled) form_.DeleteClicked();
    EXPECT_EQ(Count(), c.devices);
    EXPECT_FALSE(form_.Changed());
    EXPECT_TRUE(view_.errors_.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, DevicesCountTest,
                         ::testing::Values(CountCase{1, true, false}, CountCase{2, true, true},
                                           CountCase{99, false, true}));

TEST_F(DevicesFormTest, ClickedRowIsRenamedByEveryEditAndEscTakesTheTypingBack) {
    AddDevices(1);
    form_.Load();
    const std::string second = view_.entries_[1];
    view_.selected_ = 0;
    form_.RowClicked(0);
    EXPECT_EQ(GetLong(&ITesselDriver::get_LDIndex), 0);
    for (const char* typed : {"К", "Ка", "Касса у входа"}) form_.NameEdited(typed);
    EXPECT_EQ(Calls().Get(&ITesselDriver::get_LDName), "Касса у входа");
    EXPECT_EQ(view_.entries_, (std::vector<std::string>{"№ 1 Касса у входа", second}));
    view_.name_ = "typed, not yet taken";
    form_.NameEscaped();
    EXPECT_EQ(view_.name_, "Касса у входа");
}

TEST_F(DevicesFormTest, RowTheDriverRefusesIsShownInTheErrorBox) {
    form_.Load();
    form_.RowClicked(5);
    ASSERT_EQ(view_.errors_.size(), 1u);
    EXPECT_FALSE(view_.errors_[0].empty());
    EXPECT_EQ(GetLong(&ITesselDriver::get_LDIndex), 0);
}

}  // namespace
}  // namespace tessel_test
