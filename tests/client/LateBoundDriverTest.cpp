// The client library's late-bound calls against a double of the driver object: how a value of another type
// is taken, what a refused call hands the program's handler, and that a name is asked for once.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "common/com/ComText.h"
#include "support/StackDispatch.h"
#include "driver/client/DriverClient.h"

using namespace tessel::client;

namespace {

constexpr DISPID kText = 1;    // "Text": a property that reads "12"
constexpr DISPID kBroken = 2;  // "Broken": every call fails with the object's own description

class DriverDouble : public tessel_test::StackDispatch {
  public:
    int lookups = 0;

    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) override {
        ++lookups;
        const std::string name = tessel::BstrToUtf8(names[0]);
        *id = name == "Text" ? kText : name == "Broken" ? kBroken : DISPID_UNKNOWN;
        return *id == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
    }
    STDMETHOD(Invoke)
    (DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO* exception, UINT*) override {
        if (id == kBroken) {
            exception->bstrDescription = tessel::Utf8ToBstr("the register is busy").release();
            return DISP_E_EXCEPTION;
        }
        result->vt = VT_BSTR;
        result->bstrVal = tessel::Utf8ToBstr("12").release();
        return S_OK;
    }
};

class LateBoundDriverTest : public ::testing::Test {
  protected:
    LateBoundDriver Driver(Conversion conversion) {
        return LateBoundDriver(
            tessel::ComPtr<IDispatch>(&object_), [this](const CallFailure& f) { seen_ = f; }, conversion);
    }

    DriverDouble object_;
    CallFailure seen_;
};

TEST_F(LateBoundDriverTest, ATextIsConvertedOnlyWhenTheCallerCoerces) {
    EXPECT_EQ(Driver(Conversion::Coerce).GetLong("Text"), 12);

    EXPECT_THROW(Driver(Conversion::Exact).GetLong("Text"), ClientError);
    EXPECT_EQ(seen_.step, CallFailure::Step::Convert);
    EXPECT_EQ(seen_.wanted, VT_I4);
    EXPECT_EQ(seen_.member, "Text");
}

TEST_F(LateBoundDriverTest, ARefusedCallCarriesTheObjectsDescription) {
    try {
        Driver(Conversion::Coerce).GetText("Broken");
        ADD_FAILURE() << "no failure";
    } catch (const ClientError& e) {
        EXPECT_EQ(seen_.step, CallFailure::Step::Invoke);
        EXPECT_EQ(seen_.flags, DISPATCH_PROPERTYGET);
        EXPECT_EQ(e.Result(), DISP_E_EXCEPTION);
        EXPECT_STREQ(e.what(), "reading Broken failed: DISP_E_EXCEPTION (80020009h) the register is busy");
    }
}

TEST_F(LateBoundDriverTest, TheHandlersOwnErrorReplacesTheLibrarys) {
    LateBoundDriver driver(tessel::ComPtr<IDispatch>(&object_),
                           [](const CallFailure& f) { throw std::invalid_argument(f.member + " unknown"); });
    EXPECT_THROW(driver.PutLong("Missing", 1), std::invalid_argument);
}

TEST_F(LateBoundDriverTest, ANameIsAskedForOncePerObject) {
    const LateBoundDriver driver = Driver(Conversion::Coerce);
    driver.GetText("Text");
    driver.GetText("Text");
    EXPECT_EQ(driver.IdOf("Text"), kText);
    EXPECT_EQ(object_.lookups, 1);
}

}  // namespace
