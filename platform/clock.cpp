#include "platform/clock.h"

namespace tessaly::platform {

LocalTime LocalNow() { return CurrentEnv().Now(); }

LocalTime LocalTimeOf(int64_t seconds) { return CurrentEnv().ToLocal(seconds); }

}  // namespace tessaly::platform
