#include "app/run_job.hpp"

#include <cerrno>
#include <cstdint>
#include <string>

#include "app/controller_link.hpp"
#include "app/operator_messages.hpp"
#include "app/progress.hpp"
#include "app/run_record.hpp"
#include "app/startup.hpp"
#include "channels/field_reader.hpp"
#include "channels/file_channel.hpp"
#include "channels/input_source.hpp"
#include "channels/open_channel.hpp"
#include "channels/read_channel.hpp"
#include "console/console_screen.hpp"
#include "console/line_input.hpp"
#include "console/print.hpp"
#include "console/print_format.hpp"
#include "platform/timer.hpp"
#include "serial/serial_port.hpp"

namespace cncsend {

namespace {

constexpr int kConsole = 0;
constexpr int kJob = 1;
constexpr int kPort = 2;
constexpr int kConfig = 3;
constexpr const char* kPortOptions = "com1:9600,n,8,1,RS,DS0,CS0,CD0";

struct AxisFactors {
    std::int32_t x, y, z;
};

// Products wrap like the controller's 32-bit arithmetic expects.
std::int32_t wrapping_product(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

AxisFactors read_axis_factors() {
    AxisFactors f{0, 0, 0};
    open_file_channel(exe_directory() + "\\down.cfg", ChannelMode::Input, ChannelAccess::Default, 0,
                      kConfig, 0);
    for (std::int32_t* factor : {&f.x, &f.y, &f.z}) {
        select_input_channel(kConfig);
        read_int_field(*factor);
    }
    close_channel(kConfig);
    return f;
}

std::int32_t ask(const std::string& question) {
    prompt_input(question, -1, -1);
    std::int32_t value = 0;
    read_int_field(value);
    return value;
}

void wait_for_enter() {
    prompt_input("", -1, -1);
    std::string ignored;
    read_string_field(ignored);
}

void count_down() {
    const long double end = seconds_timer() + 3.0L;
    while (seconds_timer() < end) {
        move_cursor(1, 1, 0);
        print_number(kConsole, static_cast<double>(end - seconds_timer()), 0);
        print_text(kConsole, "     ", kPrintNewline);
        // A short pause keeps the redraws smooth without burning a core.
        sleep_ms(10);
    }
}

// The job line in the operator's message when the line to the controller
// is lost.
std::string job_line_name(std::int64_t line_number) {
    return "Zeile " + std::to_string(line_number) + " des Auftrags";
}

void stream_job() {
    clear_screen();
    move_cursor(10, 10, -1);
    print_text(kConsole, "Es sind an Prozent abgearbeitet:", kPrintNewline);
    const std::int64_t job_length = channel_length(kJob);

    std::string line;
    std::int64_t line_number = 0;
    while (channel_at_end(kJob) != -1) {
        read_line(kJob, line);
        ++line_number;
        const std::int32_t percent = progress_percent(channel_position(kJob), job_length);
        move_cursor(10, 60, -1);
        begin_formatted_print("#####");
        print_formatted(kConsole, percent, 0);
        end_formatted_print(kConsole);
        // The last reply and this progress reach the screen together, before
        // the line goes out.
        hold_console_output(false);

        print_text(kPort, line, kPrintNewline);
        record_send(line_number, line);
        if (!await_reply(kPort, true)) fail_connection_lost(job_line_name(line_number));
        const std::string reply = read_reply(kPort);
        hold_console_output(true);
        move_cursor(12, 60, -1);
        print_text(kConsole, reply, 0);
        if (reply != "0") {
            hold_console_output(false);
            print_text(kConsole, "Fehler:", 0);
            print_text(kConsole, reply, kPrintNewline);
            wait_for_enter();
            record_pause_end();
        }
    }
    hold_console_output(false);
}

}  // namespace

void run_job() {
    const AxisFactors factors = read_axis_factors();

    // A job named but not there must not pass for a finished job; with no
    // name at all the operator gets the preparation alone, as asked.
    const std::string job_name = command_tail(-1);
    errno = 0;
    if (open_file_channel(job_name, ChannelMode::Binary, ChannelAccess::Read, 0, kJob, 0) != 0 &&
        !job_name.empty())
        fail_job_not_open(job_name, errno);

    open_run_record(job_name, channel_length(kJob), kPortOptions, factors.x, factors.y, factors.z);
    // Without the port every exchange would wait for ever.
    if (open_serial_channel(kPortOptions, ChannelMode::Binary, ChannelAccess::Default, 0, kPort, 0,
                            std::nullopt) != 0)
        fail_port_not_open(kPortOptions);

    const std::int32_t offset_x = ask("Verschiebung in x ");
    const std::int32_t offset_y = ask("Verschiebung in y ");
    const std::int32_t offset_z = ask("Verschiebung in z ");
    const std::int32_t spindle_speed = ask("Spindeldrehzahl ");
    record_answers(offset_x, offset_y, offset_z, spindle_speed);

    send_command("@07", kPort);
    send_command("@0R7", kPort);
    send_command("@0M" + int_to_text(wrapping_product(factors.x, offset_x)) + ",3000," +
                     int_to_text(wrapping_product(factors.y, offset_y)) + ",3000," +
                     int_to_text(wrapping_product(factors.z, offset_z)) + ",3000,0,30",
                 kPort);
    send_command("@0n7", kPort);

    print_text(kConsole,
               "Fr\x84ser"
               "h\x94he einstellen, Return f\x81r weiter ..",
               kPrintNewline);
    send_command("", kPort);
    wait_for_enter();

    send_command("@0B 65530," + int_to_text(spindle_speed), kPort);
    count_down();
    stream_job();
    send_command("@0B 65530,0", kPort);
    record_end_normal();
    end_program(0);
}

}  // namespace cncsend
