#include <gtest/gtest.h>

#include <string>

#include "platform/utc_time.hpp"

namespace cncsend {
namespace {

TEST(UtcTime, CalendarEdgesToTheMillisecond) {
    struct Case {
        std::int64_t unix_ms;
        const char* text;
    };
    const Case cases[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {86'399'999, "1970-01-01T23:59:59.999Z"},
        {-1, "1969-12-31T23:59:59.999Z"},
        {951'782'400'000, "2000-02-29T00:00:00.000Z"},  // leap day of a century year
        {1'709'164'800'123, "2024-02-29T00:00:00.123Z"},
        {1'798'990'231'123, "2027-01-03T15:30:31.123Z"},
        {4'102'444'799'999, "2099-12-31T23:59:59.999Z"},
    };
    for (const Case& c : cases) {
        char text[kUtcTimeLength];
        format_utc_time(c.unix_ms, text);
        EXPECT_EQ(std::string(text, kUtcTimeLength), c.text) << c.unix_ms;
    }
}

}  // namespace
}  // namespace cncsend
