#pragma once
#include <cstdint>

namespace cncsend {

enum class TimerSource : std::int32_t { Unset = 0, TickCount = 1, PerformanceCounter = 2 };

// Seconds from the clock's own origin; only differences mean anything.
long double seconds_timer();
void sleep_ms(std::uint32_t milliseconds);

// The source chosen by the first seconds_timer call (Unset before it).
TimerSource timer_source();
// Forgets the chosen source; for tests that install another process table.
void reset_timer_source();

}  // namespace cncsend
