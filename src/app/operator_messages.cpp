#include "app/operator_messages.hpp"

#include <cstring>

#include "app/run_record.hpp"
#include "app/startup.hpp"
#include "console/console_screen.hpp"
#include "console/print.hpp"
#include "serial/serial_port.hpp"

namespace cncsend {

namespace {

// Texts are bytes of the console's code page: \x94 is ö.
[[noreturn]] void show_and_end(const std::string& text) {
    // Start on a fresh line of our own, wherever the cursor stood.
    if (cursor_column() != 1) print_text(0, "", kPrintNewline);
    move_cursor(0, 0, 1);
    print_text(0, text, kPrintNewline);
    record_end_message(text);
    end_program(1);
}

std::string with_reason(std::string text, const std::string& reason) {
    if (!reason.empty()) text += ": " + reason;
    return text;
}

}  // namespace

void fail_port_not_open(const std::string& options) {
    const SerialOpenFailure failure = describe_serial_open_failure(options);
    show_and_end(with_reason("Die Schnittstelle " + failure.port + " (" + failure.device +
                                 ") kann nicht ge\x94"
                                 "ffnet werden",
                             failure.reason));
}

void fail_job_not_open(const std::string& name, int system_error) {
    show_and_end(with_reason("Die Auftragsdatei " + name +
                                 " kann nicht ge\x94"
                                 "ffnet werden",
                             system_error != 0 ? std::strerror(system_error) : ""));
}

void fail_connection_lost(const std::string& what) {
    record_end_lost();
    show_and_end("Die Verbindung zur Steuerung ist unterbrochen (" + what + ").");
}

void fail_record_not_open(const std::string& name, const std::string& reason) {
    show_and_end(with_reason("Die Protokolldatei " + name +
                                 " kann nicht ge\x94"
                                 "ffnet werden",
                             reason));
}

void report_record_write_failure(const std::string& name, const std::string& reason) {
    if (cursor_column() != 1) print_text(0, "", kPrintNewline);
    print_text(
        0, with_reason("Schreiben in die Protokolldatei " + name + " ist fehlgeschlagen", reason),
        kPrintNewline);
}

}  // namespace cncsend
