#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channels/open_channel.hpp"
#include "channels/read_channel.hpp"
#include "platform/timer.hpp"
#include "serial/serial_port.hpp"

namespace cncsend {
namespace {

// A comm device that does what the test tells it and records every call.
struct FakeComm {
    std::vector<std::string> calls;
    std::string fail;  // the operation that fails
    std::string opened_path;
    unsigned opened_access = 99;
    int open_handles = 0;
    CommProperties properties{};
    std::uint32_t rx_size = 0, tx_size = 0;
    CommTimeouts device_timeouts{10, 20, 30, 40, 50};
    CommTimeouts applied_timeouts{};
    LineSettings device_settings{};
    LineSettings applied_settings{};
    std::uint32_t modem = ModemDsr | ModemCarrierDetect;
    std::uint32_t waiting = 0;
    std::size_t read_gives = 0;
    std::string written;

    bool step(const char* name) {
        calls.push_back(name);
        return fail != name;
    }
};

FakeComm* fake = nullptr;

const CommOps kFakeOps = {
    [](const char* path, unsigned access) -> CommHandle {
        if (!fake->step("open")) return kInvalidCommHandle;
        fake->opened_path = path;
        fake->opened_access = access;
        ++fake->open_handles;
        return 7;
    },
    [](CommHandle) {
        fake->calls.push_back("close");
        --fake->open_handles;
    },
    [](CommHandle, CommProperties* p) {
        *p = fake->properties;
        return fake->step("get_properties");
    },
    [](CommHandle, std::uint32_t rx, std::uint32_t tx) {
        fake->rx_size = rx;
        fake->tx_size = tx;
        return fake->step("setup_queues");
    },
    [](CommHandle, CommTimeouts* t) {
        *t = fake->device_timeouts;
        return fake->step("get_timeouts");
    },
    [](CommHandle, const CommTimeouts* t) {
        fake->applied_timeouts = *t;
        return fake->step("set_timeouts");
    },
    [](CommHandle, LineSettings* s) {
        *s = fake->device_settings;
        return fake->step("get_line_settings");
    },
    [](CommHandle, const LineSettings* s) {
        fake->applied_settings = *s;
        return fake->step("set_line_settings");
    },
    [](CommHandle) { fake->calls.push_back("raise_dtr"); },
    [](CommHandle, std::uint32_t* status) {
        *status = fake->modem;
        return fake->step("modem_status");
    },
    [](CommHandle, std::uint32_t* count) {
        *count = fake->waiting;
        return fake->step("bytes_waiting");
    },
    [](CommHandle, char* buffer, std::size_t wanted, std::size_t* got) {
        if (!fake->step("read")) return false;
        *got = std::min(wanted, fake->read_gives);
        for (std::size_t i = 0; i < *got; ++i) buffer[i] = static_cast<char>('a' + i);
        return true;
    },
    [](CommHandle, const char* bytes, std::size_t count) {
        if (!fake->step("write")) return false;
        fake->written.append(bytes, count);
        return true;
    },
    [](CommHandle, bool, int) { return static_cast<int>(WaitByteReady); },
    [](const char* path) { return std::string("device of ") + path; },
    [] { return std::string("refused"); },
};

class SerialPortWithFakeDevice : public testing::Test {
  protected:
    void SetUp() override {
        fake = &device;
        set_comm_ops(&kFakeOps);
        device.device_settings.xon_char = 17;
        device.device_settings.eof_char = 26;
        device.device_settings.outx_dsr_flow = true;
        device.device_settings.out_x = true;
        device.device_settings.null_strip = true;
    }
    void TearDown() override {
        close_all_channels();
        set_comm_ops(nullptr);
        fake = nullptr;
    }
    int open(const std::string& text, int number = 2, ChannelMode mode = ChannelMode::Binary,
             ChannelAccess access = ChannelAccess::Default) {
        return open_serial_channel(text, mode, access, 0, number, 0, std::nullopt);
    }
    FakeComm device;
};

const char kController[] = "com1:9600,n,8,1,RS,DS0,CS0,CD0";

TEST_F(SerialPortWithFakeDevice, ControllerStringConfiguresTheLine) {
    device.properties = {0, 8192, 0, 0};
    ASSERT_EQ(open(kController), 0);
    EXPECT_EQ(device.opened_path, "COM1");
    EXPECT_EQ(device.opened_access, CommRead | CommWrite);
    // Receive queue from the driver's maximum, transmit from the fallback.
    EXPECT_EQ(device.rx_size, 8192u);
    EXPECT_EQ(device.tx_size, 16384u);
    // Time-outs go back as the device had them.
    EXPECT_EQ(device.applied_timeouts.read_interval, 10u);
    EXPECT_EQ(device.applied_timeouts.read_total_constant, 30u);
    const LineSettings& s = device.applied_settings;
    EXPECT_EQ(s.baud_rate, 9600u);
    EXPECT_EQ(s.byte_size, 8);
    EXPECT_EQ(s.parity, LineParity::None);
    EXPECT_EQ(s.stop_bits, LineStopBits::One);
    EXPECT_TRUE(s.binary);
    EXPECT_FALSE(s.parity_check || s.outx_cts_flow || s.outx_dsr_flow || s.dsr_sensitivity);
    EXPECT_FALSE(s.out_x || s.in_x || s.null_strip || s.abort_on_error);
    EXPECT_EQ(s.dtr_control, DtrControl::Disable);
    EXPECT_EQ(s.rts_control, RtsControl::Disable);
    // Untouched fields keep the device's values.
    EXPECT_EQ(s.xon_char, 17);
    EXPECT_EQ(s.eof_char, 26);
    // DTR goes up after the settings; no modem line is waited for.
    const std::vector<std::string> steps = {
        "open",         "get_properties",    "setup_queues",      "get_timeouts",
        "set_timeouts", "get_line_settings", "set_line_settings", "raise_dtr"};
    EXPECT_EQ(device.calls, steps);

    Channel* ch = resolve_channel(2);
    EXPECT_EQ(ch->kind, ChannelKind::Serial);
    EXPECT_EQ(ch->ops, &SerialOps);
    EXPECT_EQ(ch->size, 0);
    auto* options = static_cast<SerialOptions*>(ch->device);
    ASSERT_NE(options->open_port, nullptr);
    EXPECT_EQ(options->open_port->port, 1u);
    EXPECT_EQ(options->open_port->options, options);

    EXPECT_EQ(close_channel(2), 0);
    EXPECT_EQ(device.open_handles, 0);
}

TEST_F(SerialPortWithFakeDevice, DefaultsAskForHandshakesAndWaitForDsr) {
    device.properties = {1024, 0, 2048, 0};
    ASSERT_EQ(open("COM1:,,,,TB100,RB0,DT,PE,ASC"), 0);
    EXPECT_EQ(device.rx_size, 1024u);
    EXPECT_EQ(device.tx_size, 100u);
    EXPECT_EQ(device.applied_timeouts.read_interval, 1000u);
    EXPECT_EQ(device.applied_timeouts.read_total_multiplier, 0u);
    EXPECT_EQ(device.applied_timeouts.read_total_constant, 0u);
    EXPECT_EQ(device.applied_timeouts.write_total_constant, 50u);
    const LineSettings& s = device.applied_settings;
    EXPECT_EQ(s.baud_rate, 300u);
    EXPECT_EQ(s.byte_size, 7);
    EXPECT_EQ(s.parity, LineParity::Even);
    EXPECT_FALSE(s.binary);
    EXPECT_TRUE(s.parity_check && s.outx_cts_flow && s.dsr_sensitivity);
    EXPECT_EQ(s.dtr_control, DtrControl::Enable);
    EXPECT_EQ(s.rts_control, RtsControl::Handshake);
    EXPECT_EQ(device.calls.back(), "modem_status");
}

TEST_F(SerialPortWithFakeDevice, DevicePathFollowsThePortNumber) {
    const struct {
        const char* text;
        const char* path;
        std::uint32_t port;
    } cases[] = {{"ABCD:9600,N,8,1,DS0", "COM1:", 1},
                 {"COM9:9600,N,8,1,DS0", "COM9", 9},
                 {"COM12:9600,N,8,1,DS0", "\\\\.\\COM12", 12},
                 {"SER:9600,N,8,1,DS0", "COM1", 1}};
    for (const auto& c : cases) {
        ASSERT_EQ(open(c.text), 0) << c.text;
        EXPECT_EQ(device.opened_path, c.path);
        auto* options = static_cast<SerialOptions*>(resolve_channel(2)->device);
        EXPECT_EQ(options->open_port->port, c.port);
        close_channel(2);
    }
}

TEST_F(SerialPortWithFakeDevice, AccessRightsFollowTheChannel) {
    const struct {
        ChannelMode mode;
        ChannelAccess access;
        unsigned rights;
        ChannelMode mode_after;
        ChannelAccess access_after;
    } cases[] = {
        {ChannelMode::Binary, ChannelAccess::Read, CommRead, ChannelMode::Binary,
         ChannelAccess::Read},
        {ChannelMode::Binary, ChannelAccess::Write, CommWrite, ChannelMode::Binary,
         ChannelAccess::Write},
        {ChannelMode::Input, ChannelAccess::Default, CommRead | CommWrite, ChannelMode::Input,
         ChannelAccess::Default},
        {ChannelMode::Random, ChannelAccess::Read, CommRead | CommWrite, ChannelMode::Binary,
         ChannelAccess::ReadWrite},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(open(kController, 2, c.mode, c.access), 0);
        EXPECT_EQ(device.opened_access, c.rights);
        EXPECT_EQ(resolve_channel(2)->mode, c.mode_after);
        EXPECT_EQ(resolve_channel(2)->access, c.access_after);
        close_channel(2);
    }
}

TEST_F(SerialPortWithFakeDevice, EachFailingStepGivesItsCodeAndLeavesNothingOpen) {
    const struct {
        const char* failing;
        const char* text;
        int code;
        std::size_t calls;  // calls made, the close included; 0: not counted
        std::uint32_t modem = ModemDsr;
    } cases[] = {
        {"open", kController, 2, 1},
        {"get_properties", kController, 8, 3},
        {"setup_queues", kController, 1, 4},
        {"get_timeouts", kController, 8, 5},
        {"set_timeouts", kController, 1, 6},
        {"get_line_settings", kController, 8, 7},
        {"set_line_settings", kController, 1, 8},
        // The modem check runs after a failed step too and turns 8 into 1.
        {"get_properties", "COM1:9600,N,8,1,DS50", 1, 0, 0},
        {"modem_status", "COM1:9600,N,8,1,DS50", 1, 10},
    };
    for (const auto& c : cases) {
        device.calls.clear();
        device.fail = c.failing;
        device.modem = c.modem;
        EXPECT_EQ(open(c.text), c.code) << c.failing << " " << c.text;
        EXPECT_EQ(last_error(), c.code);
        if (c.calls != 0) {
            EXPECT_EQ(device.calls.size(), c.calls) << c.failing;
        }
        EXPECT_EQ(device.open_handles, 0);
        EXPECT_FALSE(is_open(resolve_channel(2)));
        if (c.code != 2) {
            EXPECT_EQ(device.calls.back(), "close");
        }
    }
    // The channel stays free for the next open.
    device.fail.clear();
    EXPECT_EQ(open(kController), 0);
}

TEST_F(SerialPortWithFakeDevice, RefusedBeforeTheDeviceIsTouched) {
    EXPECT_EQ(open("COM1:9600,N,8,1,IR3"), 1);
    EXPECT_EQ(open(kController, 0), 1);
    EXPECT_EQ(open(kController, 256), 1);
    EXPECT_EQ(open("COM1:9600,N,8,1,RS5"), 1);
    EXPECT_TRUE(device.calls.empty());
    ASSERT_EQ(open(kController, 3), 0);
    EXPECT_EQ(open(kController, 3), 1);
    EXPECT_TRUE(is_open(resolve_channel(3)));
}

TEST_F(SerialPortWithFakeDevice, MissingCarrierFailsTheOpenAfterItsTimeOut) {
    device.modem = ModemDsr;
    const long double start = seconds_timer();
    EXPECT_EQ(open("COM1:9600,N,8,1,CD200,DS0"), 1);
    const long double elapsed = seconds_timer() - start;
    EXPECT_GE(elapsed, 0.2L);
    EXPECT_LT(elapsed, 2.0L);
    EXPECT_EQ(device.open_handles, 0);
}

TEST_F(SerialPortWithFakeDevice, ModemCheckGuardsEveryReadAndWrite) {
    ASSERT_EQ(open("COM1:9600,N,8,1,DS100,CD0"), 0);
    Channel& ch = *resolve_channel(2);
    ASSERT_EQ(ch.ops->write(ch, "G1\r\n", 4), 0);
    device.modem = 0;  // DSR drops
    EXPECT_EQ(ch.ops->write(ch, "M5\r\n", 4), 3);
    char byte = 0;
    std::size_t count = 1;
    EXPECT_EQ(ch.ops->read(ch, &byte, count), 3);
    EXPECT_EQ(device.written, "G1\r\n");
    EXPECT_EQ(std::count(device.calls.begin(), device.calls.end(), "read"), 0);
}

TEST_F(SerialPortWithFakeDevice, TransfersAndStatusQueries) {
    ASSERT_EQ(open(kController), 0);
    Channel& ch = *resolve_channel(2);
    char buffer[8] = {};

    device.read_gives = 3;  // fewer than asked: no second read
    std::size_t count = 5;
    EXPECT_EQ(ch.ops->read(ch, buffer, count), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(std::string(buffer, 3), "abc");

    device.read_gives = 0;  // time-outs expired
    count = 1;
    EXPECT_EQ(ch.ops->read(ch, buffer, count), 0);
    EXPECT_EQ(count, 0u);

    device.fail = "read";
    count = 4;
    EXPECT_EQ(ch.ops->read(ch, buffer, count), 3);
    EXPECT_EQ(count, 4u);

    device.fail = "write";  // the device moved fewer bytes than given
    EXPECT_EQ(ch.ops->write(ch, "X\r\n", 3), 3);

    device.fail.clear();
    std::int64_t waiting = -1;
    device.waiting = 5;
    EXPECT_EQ(ch.ops->tell(ch, waiting), 0);
    EXPECT_EQ(waiting, 5);
    EXPECT_EQ(ch.ops->at_end(ch), 0);
    device.waiting = 0;
    EXPECT_EQ(ch.ops->at_end(ch), 1);
    // A failed status query is recorded, also where only a value comes back.
    device.fail = "bytes_waiting";
    set_last_error(0);
    EXPECT_EQ(ch.ops->tell(ch, waiting), 1);
    EXPECT_EQ(last_error(), 1);
    set_last_error(0);
    EXPECT_EQ(ch.ops->at_end(ch), -1);
    EXPECT_EQ(last_error(), 1);
    set_last_error(0);
    EXPECT_EQ(channel_position(2), 0);
    EXPECT_EQ(last_error(), 1);
    set_last_error(0);
    EXPECT_EQ(channel_at_end(2), -1);
    EXPECT_EQ(last_error(), 1);

    device.fail.clear();
    const std::uint16_t wide[] = {0x4241};
    EXPECT_EQ(ch.ops->write_wide(ch, wide, 1), 0);
    EXPECT_EQ(device.written, "AB");
}

TEST_F(SerialPortWithFakeDevice, WaitReadyOnlyForOpenSerialChannels) {
    EXPECT_EQ(serial_wait_ready(2, false, 0), WaitLineLost);
    ASSERT_EQ(open(kController), 0);
    EXPECT_EQ(serial_wait_ready(2, true, 0), WaitByteReady);
    EXPECT_EQ(serial_wait_ready(0, false, 0), WaitLineLost);
}

}  // namespace
}  // namespace cncsend
