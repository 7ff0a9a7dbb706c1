#pragma once
// Real files in a fresh temporary directory, opened as channels; every
// channel and the field source are dropped after each test.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "channels/file_channel.hpp"
#include "channels/input_source.hpp"
#include "channels/open_channel.hpp"
#include "channels/read_channel.hpp"

namespace cncsend {

class ChannelFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name)
            if (c == '/') c = '_';
        dir_ = std::filesystem::temp_directory_path() / ("cncsend_" + name);
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }

    void TearDown() override {
        close_all_channels();
        release_input_source();
        std::filesystem::remove_all(dir_);
    }

    std::string write_file(const std::string& name, const std::string& bytes) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // Writes the bytes to a file and opens it for reading on the channel.
    void open_with(int number, const std::string& bytes, ChannelMode mode,
                   std::int32_t record_length = 0) {
        const std::string path = write_file("file" + std::to_string(number), bytes);
        ASSERT_EQ(open_file_channel(path, mode, ChannelAccess::Read, 0, number, record_length), 0);
    }

    // Every line up to the end, as a job loop reads them.
    static std::vector<std::string> all_lines(int number) {
        std::vector<std::string> lines;
        while (channel_at_end(number) == 0 && lines.size() < 100) {
            std::string line = "stale";
            EXPECT_EQ(read_line(number, line), 0);
            lines.push_back(line);
        }
        return lines;
    }

    std::filesystem::path dir_;
};

}  // namespace cncsend
