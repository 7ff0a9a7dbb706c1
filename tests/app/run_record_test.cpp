#include <gtest/gtest.h>

#include <string>

#include "app/run_record.hpp"

namespace cncsend {
namespace {

// One event is one line, whatever the job file or the controller holds;
// other bytes are kept as they went on the wire.
TEST(RunRecordText, ControlBytesQuotesAndBackslashesAreEscaped) {
    struct Case {
        std::string text;
        std::string quoted;
    };
    const Case cases[] = {
        {"", R"("")"},
        {"G1 X10.5 F300", R"("G1 X10.5 F300")"},
        {"\r\n\t", R"("\r\n\t")"},
        {"say \"hi\" \\ there", R"("say \"hi\" \\ there")"},
        {std::string("\0\x1a\x1b\x7f", 4), R"("\x00\x1A\x1B\x7F")"},
        {"Fr\x84ser \xff", "\"Fr\x84ser \xff\""},
    };
    for (const Case& c : cases) EXPECT_EQ(quoted_record_text(c.text), c.quoted) << c.quoted;
}

}  // namespace
}  // namespace cncsend
