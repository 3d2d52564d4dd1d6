// The local clock, read through the current Env so that tests can stop it.
#pragma once

#include <cstdint>

#include "platform/env.h"

namespace tessaly::platform {

LocalTime LocalNow();
// A moment given in seconds since the epoch, on the local clock.
LocalTime LocalTimeOf(int64_t seconds);
// year * 10000 + month * 100 + day.
inline int32_t DateNumber(const LocalTime& t) { return t.year * 10000 + t.month * 100 + t.day; }

}  // namespace tessaly::platform
