#pragma once

#include <ctime>

#include "civil.h"

namespace tvl {

// Where time matters the clock is passed in, so tests can set the minute instead of
// waiting for it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::time_t now() const = 0;
    LocalDateTime localNow() const { return localDateTime(now()); }
};

class SystemClock final : public Clock {
public:
    std::time_t now() const override { return std::time(nullptr); }
};

// A process-wide system clock for callers that do not inject one.
const Clock& systemClock();

}  // namespace tvl
