// The model's clock: scenario time counts milliseconds from the start, and the
// local time it stands for is a base time plus that count on the civil
// calendar, so call states carry entry times a monitor can show.
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

namespace sim {

// Scenario time in milliseconds since the model started.
using SimTime = std::uint64_t;

// Scenario time plus a base local time, as SYSTEMTIME.
SYSTEMTIME AddMilliseconds(const SYSTEMTIME& base, SimTime tMs);

}  // namespace sim
