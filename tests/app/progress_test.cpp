#include "app/progress.hpp"

#include <gtest/gtest.h>

namespace cncsend::test {
namespace {

TEST(Progress, IsTheFloorOfConsumedBytesInPercentAndStaysInRange) {
    struct Case {
        std::int64_t consumed, length;
        std::int32_t percent;
    } cases[] = {
        {0, 10, 0},
        {5, 10, 50},
        {10, 10, 100},
        {2, 3, 66},
        {1, 300, 0},
        // A file that grew or shrank while it was sent.
        {15, 10, 100},
        {3, 0, 100},
        {0, 0, 100},
        // Beyond 32 bits the 64-bit product still gives the right value.
        {std::int64_t{3} << 40, std::int64_t{4} << 40, 75},
    };
    for (const Case& c : cases)
        EXPECT_EQ(progress_percent(c.consumed, c.length), c.percent)
            << c.consumed << " of " << c.length;
}

}  // namespace
}  // namespace cncsend::test
