#pragma once
// An owned file descriptor, closed when the object goes: the platform layer's.

#include "common/platform/UniqueFd.h"

namespace tessel_test {

using Fd = tessel::UniqueFd;

}  // namespace tessel_test
