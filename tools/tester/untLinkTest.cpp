#include "tools/tester/untLinkTest.h"

#include "common/platform/TextFormat.h"

namespace tessel::tst {

std::uint64_t TLinkStats::CallsPerSecond() const {
    return ElapsedMs == 0 ? 0 : Calls * 1000 / ElapsedMs;
}

std::string TLinkStats::FailurePercentText() const {
    const double percent =
        Calls == 0 ? 0.0 : 100.0 * static_cast<double>(Failures) / static_cast<double>(Calls);
    return FormatText("%.2f", percent);
}

std::string TLinkStats::MsPerCallText() const {
    const double ms = Calls == 0 ? 0.0 : static_cast<double>(ElapsedMs) / static_cast<double>(Calls);
    return FormatText("%.1f", ms);
}

LONG LinkTestCall(TDriver& driver, TLinkStats& stats, bool stopOnError) {
    const auto sequence = driver.Sequence();
    const LONG result = driver.Call("GetExchangeParam");
    ++stats.Calls;
    if (result != 0) {
        ++stats.Failures;
        if (stopOnError) throw EDriverError(driver.GetText("ResultDescription"), result);
    }
    return result;
}

}  // namespace tessel::tst
