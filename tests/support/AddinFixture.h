#pragma once
// A 1C:Enterprise host's view of a new adapter object: its language extension and IInitDone, the members
// reached by name as a configuration reaches them, and the engine's counters in a folder of the fixture's
// own.

#include <gtest/gtest.h>

#include <string>

#include "common/com/AddIn1C.h"
#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "driver/automation/ole1C.h"
#include "support/DriverFixture.h"
#include "common/com/OwnedVariant.h"

namespace tessel_test {

class AddinFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ForgetDriverSettings();
        ASSERT_EQ(Tole1C::CreateInstance(IID_ILanguageExtender, ext_.PutVoid()), S_OK);
        ASSERT_EQ(ext_.As(IID_IInitDone, init_), S_OK);
    }
    // Releases the object before anything a derived fixture handed it (hosts, sinks) goes.
    void TearDown() override {
        init_.Reset();
        ext_.Reset();
    }

    // The index of a property or method by either name; the lookup must succeed.
    LONG Prop(const char* name) {
        LONG index = -1;
        EXPECT_EQ(ext_->FindProp(tessel::Utf8ToBstr(name).get(), &index), S_OK) << name;
        return index;
    }
    LONG Method(const char* name) {
        LONG index = -1;
        EXPECT_EQ(ext_->FindMethod(tessel::Utf8ToBstr(name).get(), &index), S_OK) << name;
        return index;
    }

    // The property's value as the host reads it; the caller clears it.
    VARIANT Get(const char* name) {
        VARIANT value;
        VariantInit(&value);
        EXPECT_EQ(ext_->GetPropVal(Prop(name), &value), S_OK) << name;
        return value;
    }
    LONG GetLong(const char* name) {
        tessel::OwnedVariant value;
        *value = Get(name);
        EXPECT_EQ(value->vt, VT_I4) << name;
        return value->lVal;
    }
    // A text property; "" when the value is no text.
    std::string GetText(const char* name) {
        tessel::OwnedVariant value;
        *value = Get(name);
        return value->vt == VT_BSTR ? tessel::BstrToUtf8(value->bstrVal) : std::string();
    }
    HRESULT SetLong(const char* name, LONG value) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = value;
        return ext_->SetPropVal(Prop(name), &v);
    }
    // Calls a method as a function; its value, the result code.
    LONG Call(const char* name) {
        tessel::OwnedVariant result;
        EXPECT_EQ(ext_->CallAsFunc(Method(name), result.Get(), nullptr), S_OK) << name;
        EXPECT_EQ(result->vt, VT_I4) << name;
        return result->lVal;
    }

    ScopedEngineFactory engines_;
    tessel::ComPtr<ILanguageExtender> ext_;
    tessel::ComPtr<IInitDone> init_;
};

}  // namespace tessel_test
