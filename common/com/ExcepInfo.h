#pragma once
// The EXCEPINFO that a failing IDispatch::Invoke may fill, owned by the caller: its strings are freed with
// it.

#include <string>

#include "common/com/ComText.h"
#include "common/com/OleAuto.h"

namespace tessel {

class ExcepInfo {
  public:
    ExcepInfo() : info_{} {}
    ~ExcepInfo() {
        SysFreeString(info_.bstrSource);
        SysFreeString(info_.bstrDescription);
        SysFreeString(info_.bstrHelpFile);
    }
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;

    // For Invoke's pExcepInfo.
    EXCEPINFO* Get() { return &info_; }

    // The server's description in UTF-8, "" when it gave none. A server that defers the filling in is asked
    // to fill it in first, once.
    std::string Description() {
        if (info_.pfnDeferredFillIn != nullptr) {
            const auto fillIn = info_.pfnDeferredFillIn;
            info_.pfnDeferredFillIn = nullptr;
            static_cast<void>(fillIn(&info_));
        }
        return BstrToUtf8(info_.bstrDescription);
    }

  private:
    EXCEPINFO info_;
};

}  // namespace tessel
