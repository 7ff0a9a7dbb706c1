#include "platform/timer.hpp"

#include "platform/process.hpp"

namespace cncsend {

namespace {
TimerSource source = TimerSource::Unset;
double reciprocal_frequency = 0.0;
}  // namespace

long double seconds_timer() {
    const ProcessOps& ops = process_ops();
    if (source == TimerSource::Unset) {
        std::int64_t frequency = 0;
        if (ops.counter_frequency && ops.counter_frequency(&frequency) && frequency > 0) {
            source = TimerSource::PerformanceCounter;
            reciprocal_frequency = 1.0 / static_cast<double>(frequency);
        } else {
            source = TimerSource::TickCount;
        }
    }
    if (source == TimerSource::TickCount)
        return static_cast<long double>(ops.tick_count()) * 0.001L;
    return static_cast<long double>(ops.read_counter()) * reciprocal_frequency;
}

void sleep_ms(std::uint32_t milliseconds) {
    process_ops().sleep(milliseconds);
}

TimerSource timer_source() {
    return source;
}

void reset_timer_source() {
    source = TimerSource::Unset;
    reciprocal_frequency = 0.0;
}

}  // namespace cncsend
