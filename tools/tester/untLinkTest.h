#pragma once
// The link test: the exchange-parameters request called again and again, with its statistics.

#include <cstdint>
#include <string>

#include "tools/tester/Driver.h"

namespace tessel::tst {

struct TLinkStats {
    std::uint64_t Calls = 0;
    std::uint64_t Failures = 0;
    std::uint32_t ElapsedMs = 0;  // since the start click

    // Calls × 1000 / elapsed ms, truncated; 0 before a millisecond has passed.
    std::uint64_t CallsPerSecond() const;
    // "%.2f" of the failures' share of the calls in per cent ("0.00" before the first call).
    std::string FailurePercentText() const;
    // Whole seconds elapsed.
    std::uint32_t ElapsedSeconds() const { return ElapsedMs / 1000; }
    // "%.1f" milliseconds a call took on average ("0.0" before the first call).
    std::string MsPerCallText() const;
};

// One call of the test: GetExchangeParam, counted in `stats` (the elapsed time is the caller's). With
// `stopOnError` a failure raises EDriverError with the driver's text, after it is counted; otherwise the
// result is returned.
LONG LinkTestCall(TDriver& driver, TLinkStats& stats, bool stopOnError);

}  // namespace tessel::tst
