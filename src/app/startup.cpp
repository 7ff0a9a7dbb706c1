#include "app/startup.hpp"

#include <clocale>
#include <cstdlib>

#include "channels/channel.hpp"
#include "channels/input_source.hpp"
#include "channels/open_channel.hpp"
#include "channels/read_channel.hpp"
#include "console/console_screen.hpp"
#include "console/line_input.hpp"
#include "console/print_format.hpp"
#include "platform/process.hpp"

namespace cncsend {

namespace {
std::int32_t start_count = 0;
}

void io_startup() {
    if (++start_count != 1) return;
    io_state() = IoState{};
    prepare_floating_point();
    std::setlocale(LC_CTYPE, "");
    // Reading bytes from the console before any prompt still reads keys.
    set_console_read_installer(install_console_read);
}

void io_shutdown() {
    if (--start_count != 0) return;
    close_all_channels();
    release_input_source();
    release_error_state();
    release_print_format_state();
    release_console_state();
}

std::int32_t io_start_count() {
    return start_count;
}

void set_program_args(std::int32_t count, char** vector) {
    io_state().argument_count = count;
    io_state().argument_vector = vector;
}

std::string command_tail(std::int32_t index) {
    const IoState& state = io_state();
    const std::int32_t count = state.argument_count;
    if (index < 0) {
        std::string tail;
        for (std::int32_t i = 1; i < count; ++i) {
            if (i > 1) tail += ' ';
            tail += state.argument_vector[i];
        }
        return tail;
    }
    if (index < count && state.argument_vector) return state.argument_vector[index];
    return {};
}

std::string exe_directory() {
    const ProcessOps& ops = process_ops();
    std::string path = ops.executable_path();
    // Both separators count, whatever the platform writes.
    std::size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos) return {};
    std::string dir = path.substr(0, cut);
    if (dir.empty()) return std::string(1, path[cut]);  // the root of a tree
    if (dir.size() == 2 && dir[1] == ':' &&
        ((dir[0] >= 'A' && dir[0] <= 'Z') || (dir[0] >= 'a' && dir[0] <= 'z')))
        dir += '\\';  // the root of a drive
    return dir;
}

void end_program(int exit_code) {
    std::exit(exit_code);
}

}  // namespace cncsend
