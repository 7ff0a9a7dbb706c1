#pragma once
#include <gtest/gtest.h>

#include "channels/channel.hpp"
#include "channels/open_channel.hpp"
#include "temp_dir.hpp"

namespace cncsend::test {

// Every test starts with all channels closed and a fresh temporary folder.
class ChannelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        io_state().any_channel_opened = true;
        close_all_channels();
        set_last_error(0);
    }
    void TearDown() override {
        io_state().any_channel_opened = true;
        close_all_channels();
    }
    TempDir dir;
};

}  // namespace cncsend::test
