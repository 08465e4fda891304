#pragma once

#include "core/clock.h"
#include "core/minutewalk.h"

namespace tvl::test {

// A clock that stands still until the test moves it.
class FakeClock : public Clock {
public:
    std::time_t t = 1796638500;  // 2026-12-07 10:15:00 UTC, a Monday
    std::time_t now() const override { return t; }
    void advanceMinutes(int n) { t += std::time_t{60} * n; }
    void advanceSeconds(int n) { t += n; }
    // To a wall-clock minute and second; the tests that use it run in UTC, where the
    // wall clock's minutes count from the epoch.
    void set(CivilMinute m, int second = 0) { t = static_cast<std::time_t>(m * 60 + second); }
};

}  // namespace tvl::test
