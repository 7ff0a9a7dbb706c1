#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "serial/serial_options.hpp"

namespace cncsend {
namespace {

using P = SerialParity;
using S = SerialStopBits;

// Expected record; fields left at the sentinel are not compared.
struct Expect {
    const char* text;
    int code;
    const char* device_name = nullptr;
    std::uint32_t port = 0;
    std::uint32_t baud = 300;
    P parity = P::Even;
    std::uint32_t data_bits = 7;
    S stop = S::One;
    std::uint32_t cts = 1000, dsr = 1000, cd = 0;
    std::int32_t rts_off = 0, text_mode = 0, parity_check = 0;
    std::uint32_t ir = 0;
};

void PrintTo(const Expect& e, std::ostream* os) {
    *os << '"' << e.text << '"';
}

class GrammarTable : public testing::TestWithParam<Expect> {};

TEST_P(GrammarTable, ParsesAsExpected) {
    const Expect& e = GetParam();
    const std::string text = e.text;
    SerialOptions o;
    ASSERT_EQ(parse_serial_options(text.data(), text.size(), o), e.code) << text;
    if (e.code != 0) return;
    if (e.device_name) {
        EXPECT_EQ(o.device_name, e.device_name);
    }
    EXPECT_EQ(o.port, e.port);
    EXPECT_EQ(o.baud_rate, e.baud);
    EXPECT_EQ(o.parity, e.parity);
    EXPECT_EQ(o.data_bits, e.data_bits);
    EXPECT_EQ(o.stop_bits, e.stop);
    EXPECT_EQ(o.cts_timeout, e.cts);
    EXPECT_EQ(o.dsr_timeout, e.dsr);
    EXPECT_EQ(o.cd_timeout, e.cd);
    EXPECT_EQ(o.rts_off, e.rts_off);
    EXPECT_EQ(o.text_mode, e.text_mode);
    EXPECT_EQ(o.parity_check, e.parity_check);
    EXPECT_EQ(o.ir_value, e.ir);
    EXPECT_EQ(o.open_timeout, 0u);
    EXPECT_EQ(o.open_port, nullptr);
}

Expect ok(const char* text, std::uint32_t port = 1, const char* device = "COM1:") {
    Expect e{text, 0};
    e.port = port;
    e.device_name = device;
    return e;
}
Expect fails(const char* text) {
    return Expect{text, 1};
}
Expect with(Expect e, void (*change)(Expect&)) {
    change(e);
    return e;
}

const Expect kCases[] = {
    // The controller's own string.
    with(ok("com1:9600,n,8,1,RS,DS0,CS0,CD0"),
         [](Expect& e) {
             e.baud = 9600, e.parity = P::None, e.data_bits = 8, e.cts = 0, e.dsr = 0,
             e.rts_off = 1;
         }),
    // Defaults, and stop bits derived from speed and data bits.
    ok("COM1:"),
    with(ok("COM1:110"), [](Expect& e) { e.baud = 110, e.stop = S::Two; }),
    with(ok("COM1:110,,5"),
         [](Expect& e) { e.baud = 110, e.data_bits = 5, e.stop = S::OneAndHalf; }),
    with(ok("COM1:150,,5"), [](Expect& e) { e.baud = 150, e.data_bits = 5; }),
    with(ok("COM1:110,,8,1"), [](Expect& e) { e.baud = 110, e.data_bits = 8, e.stop = S::One; }),
    // Stop bits as a number.
    with(ok("COM1:9600,N,8,1.5"),
         [](Expect& e) {
             e.baud = 9600, e.parity = P::None, e.data_bits = 8, e.stop = S::OneAndHalf;
         }),
    with(ok("COM1:9600,N,8,2"),
         [](Expect& e) { e.baud = 9600, e.parity = P::None, e.data_bits = 8, e.stop = S::Two; }),
    with(ok("COM1:9600,N,8,1.0"),
         [](Expect& e) { e.baud = 9600, e.parity = P::None, e.data_bits = 8; }),
    fails("COM1:9600,N,8,3"),
    fails("COM1:9600,N,8,1.2"),
    fails("COM1:9600,N,8,1x"),
    // Parity letters; PE at position 1 and at a keyword position.
    with(ok("COM1:9600,PE,8,1"),
         [](Expect& e) { e.baud = 9600, e.data_bits = 8, e.parity_check = 1; }),
    with(ok("COM1:9600,o,8,1,PE"),
         [](Expect& e) { e.baud = 9600, e.parity = P::Odd, e.data_bits = 8, e.parity_check = 1; }),
    with(ok("COM1:1200,m"), [](Expect& e) { e.baud = 1200, e.parity = P::Mark; }),
    with(ok("COM1:1200,S"), [](Expect& e) { e.baud = 1200, e.parity = P::Space; }),
    fails("COM1:9600,X"),
    // Blanks around items and the commas.
    with(ok("COM1:9600 , n ,8"),
         [](Expect& e) { e.baud = 9600, e.parity = P::None, e.data_bits = 8; }),
    with(ok("COM1:\t9600\t,,7,"), [](Expect& e) { e.baud = 9600; }),
    // Numbers as strtoul reads them: sign taken, overflow saturates.
    with(ok("COM1:-1"), [](Expect& e) { e.baud = 4294967295u; }),
    with(ok("COM1:99999999999"), [](Expect& e) { e.baud = 4294967295u; }),
    fails("COM1:96x0"),
    // Keywords: prefix ones with numbers, whole-item ones, order, last wins.
    with(ok("COM1:9600,N,8,1,CS"),
         [](Expect& e) { e.baud = 9600, e.parity = P::None, e.data_bits = 8, e.cts = 0; }),
    with(ok("COM1:,,,,cs 250,DS0,CD7,ds5"), [](Expect& e) { e.cts = 250, e.dsr = 5, e.cd = 7; }),
    with(ok("COM1:,,,,LF,BIN,ASC"), [](Expect& e) { e.text_mode = 1; }),
    with(ok("COM1:,,,,RS"), [](Expect& e) { e.rts_off = 1; }),
    fails("COM1:9600,N,8,1,CSX"),
    fails("COM1:9600,N,8,1,RS5"),
    fails("COM1:9600,N,8,1,CDROM"),
    fails("COM1:9600,N,8,1,XX"),
    fails("COM1:9600,RS"),  // keywords only from position 4 on
    with(ok("COM1:9600,N,8,1,IR3"),
         [](Expect& e) { e.baud = 9600, e.parity = P::None, e.data_bits = 8, e.ir = 3; }),
    // Device names.
    with(ok("SER:9600"), [](Expect& e) { e.baud = 9600; }),
    with(ok("COM12:9600", 12, "COM12:"), [](Expect& e) { e.baud = 9600; }),
    ok("com01:"),
    ok("COM0:", 0, "COM0"),
    ok("ABCD:", 0, "ABCD"),
    ok("COM:", 0, "COM"),
    fails("COMX:"),
    fails("COM1"),
    fails("AB:"),
    fails("ABCD"),
};

INSTANTIATE_TEST_SUITE_P(SerialOptionsString, GrammarTable, testing::ValuesIn(kCases));

}  // namespace
}  // namespace cncsend
