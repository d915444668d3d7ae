// The driver reached by its ProgID, when it cannot be: the messages the tester shows for it.
#include <gtest/gtest.h>

#include "tools/testerlib/untCmdDriver.h"

using namespace tessel::cmd;

namespace {

TEST(CmdDriver, AnUnregisteredClassSaysHowToRegisterTheDriver) {
    // This test program's settings store registers nothing.
    try {
        TCmdDriver::Create();
        ADD_FAILURE() << "created";
    } catch (const ECmdDriverError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("«Addin.TesselDriver»"), std::string::npos) << text;
        EXPECT_NE(text.find("tessel-regsvr libTesselDrv.so"), std::string::npos) << text;
        EXPECT_TRUE(FAILED(e.Result()));
    }
}

TEST(CmdDriver, AFailureWithoutAKnownTextIsNamedByItsCode) {
    EXPECT_EQ(OleErrorText(static_cast<HRESULT>(0x80041234u)), "Ошибка OLE 80041234h");
}

}  // namespace
