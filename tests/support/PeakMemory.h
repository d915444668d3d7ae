#pragma once
// The most memory the test program has held so far, to show that an operation took little of it: what it
// adds to the peak bounds what it allocated at once.

#include <sys/resource.h>

namespace tessel_test {

// The peak resident size of this process in kilobytes.
inline long PeakKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace tessel_test
