// The request for the driver's low-latency mode: what it asks, and that a
// line whose driver refuses still works.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/comm.hpp"
#include "platform/posix/low_latency.hpp"

namespace cncsend {
namespace {

// A serial driver that answers TIOCGSERIAL/TIOCSSERIAL as told and keeps
// what it was asked.
struct FakeDriver {
    bool has_mode = true;     // TIOCGSERIAL works
    bool takes_mode = true;   // TIOCSSERIAL works
    int flags_held = 0x1000;  // flags the driver reports
    std::vector<unsigned long> requests;
    std::vector<int> fds;
    serial_struct set_to{};
};

FakeDriver* driver = nullptr;

int fake_call(int fd, unsigned long request, void* argument) {
    driver->requests.push_back(request);
    driver->fds.push_back(fd);
    auto* settings = static_cast<serial_struct*>(argument);
    if (request == TIOCGSERIAL) {
        if (!driver->has_mode) return -1;
        settings->flags = driver->flags_held;
        settings->baud_base = 24000000;
        return 0;
    }
    if (request == TIOCSSERIAL) {
        driver->set_to = *settings;
        return driver->takes_mode ? 0 : -1;
    }
    return -1;
}

class LowLatency : public testing::Test {
  protected:
    void SetUp() override {
        driver = &fake;
        set_serial_driver_call(fake_call);
    }
    void TearDown() override {
        set_serial_driver_call(nullptr);
        driver = nullptr;
    }
    FakeDriver fake;
};

TEST_F(LowLatency, AsksForTheModeKeepingTheDriversOtherSettings) {
    struct Case {
        const char* what;
        bool has_mode, takes_mode;
        int flags_held;
        bool granted;
        std::vector<unsigned long> requests;
    };
    const Case cases[] = {
        {"driver grants", true, true, 0x1000, true, {TIOCGSERIAL, TIOCSSERIAL}},
        {"driver refuses the change", true, false, 0x1000, false, {TIOCGSERIAL, TIOCSSERIAL}},
        {"driver has no such mode", false, true, 0x1000, false, {TIOCGSERIAL}},
        {"already low latency", true, true, 0x1000 | ASYNC_LOW_LATENCY, true, {TIOCGSERIAL}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake = FakeDriver{c.has_mode, c.takes_mode, c.flags_held, {}, {}, {}};
        EXPECT_EQ(request_low_latency(5), c.granted);
        EXPECT_EQ(fake.requests, c.requests);
        if (c.requests.size() == 2) {
            EXPECT_EQ(fake.set_to.flags, 0x1000 | static_cast<int>(ASYNC_LOW_LATENCY));
            EXPECT_EQ(fake.set_to.baud_base, 24000000);
        }
    }
}

// The backend asks when it configures a real line, and a refusal leaves
// the configuration a success.
TEST_F(LowLatency, ConfiguringALineAsksAndIgnoresARefusal) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string path = ptsname(master);
    const CommOps& ops = native_comm_ops();
    const CommHandle handle = ops.open(path.c_str(), CommRead | CommWrite);
    ASSERT_NE(handle, kInvalidCommHandle);
    LineSettings settings{};
    settings.baud_rate = 9600;
    settings.byte_size = 8;
    for (bool refuse : {false, true}) {
        SCOPED_TRACE(refuse ? "refused" : "granted");
        fake = FakeDriver{};
        fake.has_mode = !refuse;
        EXPECT_TRUE(ops.set_line_settings(handle, &settings));
        ASSERT_FALSE(fake.requests.empty());
        EXPECT_EQ(fake.requests.front(), static_cast<unsigned long>(TIOCGSERIAL));
        EXPECT_EQ(fake.fds.front(), static_cast<int>(handle));
    }
    // The pseudo-terminal's own driver has no such mode either.
    set_serial_driver_call(nullptr);
    EXPECT_FALSE(request_low_latency(static_cast<int>(handle)));
    EXPECT_TRUE(ops.set_line_settings(handle, &settings));
    ops.close(handle);
    close(master);
}

}  // namespace
}  // namespace cncsend
